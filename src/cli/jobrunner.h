#pragma once

#include <QByteArray>
#include <QEventLoop>
#include <QList>
#include <QObject>

namespace tavik7::cli {

class PortJob;
struct CliOptions;

// Runs the jobs of one command side by side in one event loop and passes on
// what they print in the order their ports were given: the first unfinished
// job prints at once, the others are held back until those before them end.
class JobRunner : public QObject
{
    Q_OBJECT

public:
    // --json: a port that fails without a line of its own gets the failure
    // line; --quiet and --wait are the runner's too.
    explicit JobRunner(const CliOptions &options, QObject *parent = nullptr);

    // The runner becomes the job's parent.
    void add(PortJob *job);
    // A port refused before anything was opened, reported in its place.
    void addRefused(const QString &port, int exitCode, const QString &error, const QString &message);
    // Starts every job and returns when all have ended: the highest exit code.
    int run();

private:
    struct Slot
    {
        PortJob *job = nullptr; // null: refused before it started
        QString port;
        int refusedExitCode = 0;
        QByteArray standardOutput;
        QByteArray diagnostics;
        bool printed = false;   // the job wrote to stdout itself
        QString lastMessage;    // its last line on stderr, without the prefix
        QByteArray bookNotice;  // kept through --quiet
        // Its finished() has come. A job counts itself done before that, with
        // its failure line still to be added here: passed over then, the line
        // would be lost.
        bool ended = false;
    };

    [[nodiscard]] static bool isFinished(const Slot &slot);
    [[nodiscard]] static int exitCode(const Slot &slot);
    [[nodiscard]] static QByteArray framed(Slot &slot, const QByteArray &bytes);
    void startWhenPresent(int index);
    void take(int index, const QByteArray &bytes, bool diagnostic);
    void onFinished(int index);
    void passOn();
    void put(int index, const QByteArray &bytes, bool diagnostic);
    void outputFailed(int index, int error);
    void drawProgress();
    void eraseProgress();

    QList<Slot> m_slots;
    int m_next = 0;     // the job whose output goes out at once
    int m_finished = 0;
    int m_language;
    bool m_json;
    bool m_quiet;
    int m_waitSeconds;
    static constexpr int kPortPollMs = 100;
    bool m_anyOutput = false;    // something went to stdout already
    bool m_outputFailed = false; // stdout refused a write: nothing more goes there
    bool m_progress = false; // stderr is a terminal and there are several jobs
    int m_progressWidth = 0;
    QEventLoop m_loop;
};

} // namespace tavik7::cli
