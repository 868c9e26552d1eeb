#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace devsim {

// The four commands of the parameter interface.
enum class Command {
    ReadParameters,  // "LP"
    WriteParameters, // "SP" telegram
    ReadCounter,     // "L_ZLW"
    WriteCounter,    // "S_ZLW"
};

enum class FaultKind {
    Silent,   // no reaction at all: the PC runs into its time-out
    Pieces,   // answer in pieces of 1..3 bytes with pauses between them
    BadCrc,   // "LP" answer with its last CRC byte flipped
    Error,    // "Fehler!" instead of carrying out the command
    Garbage,  // a few stray bytes before the answer
    Hangup,   // the line goes dead before the answer: the simulator ends
    Bytewise, // one byte per write, paced
    Late,     // the answer comes kLateAnswerMs after the command, past a short time-out
    Padded,   // a blank between the answer and its line end
    Indented, // a blank before the answer
    Echo,     // the command's name and a blank before the answer, on its line
    Other,    // "?" and a line end instead of the answer; the command is carried out
};

// Longer than the waits a test gives the PC, short enough for a quick test.
constexpr int kLateAnswerMs = 1000;

// How a command's answer is disturbed; the union of every fault that applies.
struct FaultEffects
{
    bool silent = false;
    bool pieces = false;
    bool badCrc = false;
    bool error = false;
    bool garbage = false;
    bool hangup = false;
    bool bytewise = false;
    bool late = false;
    bool padded = false;
    bool indented = false;
    bool echo = false;
    bool other = false;

    // The command itself is not carried out, only its answer changes otherwise.
    [[nodiscard]] bool suppressesCommand() const { return silent || error || hangup; }
    [[nodiscard]] QStringList names() const;
};

// The faults set from the command line or the control input. A fault applies
// to every later command it names until cleared, or only to the next one.
class FaultSet
{
public:
    // description: KIND or KIND=COMMAND[,COMMAND...]; COMMAND is LP, SP, L_ZLW or S_ZLW.
    bool add(const QString &description, bool once, QString *error);
    void clear() { m_faults.clear(); }
    [[nodiscard]] bool isEmpty() const { return m_faults.isEmpty(); }

    // The effects for one received command; used-up one-shot faults go away.
    FaultEffects take(Command command);

    static QString kindNames();

private:
    struct Fault
    {
        FaultKind kind;
        unsigned commands; // bit per Command
        bool once;
    };
    QList<Fault> m_faults;
};

[[nodiscard]] QString commandName(Command command);

} // namespace devsim
