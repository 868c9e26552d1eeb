#pragma once

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include "console.h"

class QSerialPort;

namespace tavik7 {

class DeviceLink;

// Listens to the device's NAMUR output on a port its user lends it: switches
// the line to the NAMUR settings, takes the byte stream apart into telegrams,
// reports them rendered and writes them, time-stamped, as lines of a log file.
// It knows no widget: the window, a command-line program and the tests show
// what it reports.
class NamurListener : public QObject
{
    Q_OBJECT

public:
    enum class State { Idle, Listening };
    Q_ENUM(State)

    // What went wrong with the log file. Each is reported once per listening.
    enum class LogTrouble {
        None,
        // Could not be opened or written; its lines are lost until it opens.
        Unwritable,
        // The name leads to a link or another file now; the lines go on into
        // the file opened at the start.
        Replaced,
    };
    Q_ENUM(LogTrouble)

    // What a log line stands for: a telegram, or what the line brought
    // besides (noise glued to a telegram, bytes dropped at the limit).
    enum class LineKind { Telegram, Noise, Dropped };
    Q_ENUM(LineKind)

    explicit NamurListener(QObject *parent = nullptr);
    ~NamurListener() override;

    // The save dialog chose path, asking before it replaces a file: the next
    // start that logs to path empties it, later starts add to it.
    void logFileChosen(const QString &path);

    // Takes the open port, switches it to 2400 baud 7E1, discards what it
    // held and listens; logs to logPath unless that is empty. False, leaving
    // the port alone, when already listening or the port is not open.
    bool start(QSerialPort *port, const QString &logPath);
    // The same on the port link lends; the port goes back to link, with its
    // own service settings, on every way listening ends, and at once when
    // the start is refused. No request reaches the device meanwhile.
    bool start(DeviceLink *link, const QString &logPath);
    // Takes what the port still holds, closes the log, puts the port back to
    // 1200 baud 8N1 and lets it go.
    void stop();
    // The port is gone: ends listening without touching it. Closing the port
    // while listening does the same.
    void abandonPort();

    [[nodiscard]] State state() const { return m_state; }
    [[nodiscard]] bool isListening() const { return m_state == State::Listening; }
    // The log of the current listening; empty when not logging.
    [[nodiscard]] QString logPath() const { return m_record.logPath; }

signals:
    void started();
    // The complete telegrams of one read, oldest first, as the console shows them.
    void telegramsReceived(const QStringList &rendered);
    // One line of the log as the file holds it, without its CR LF.
    void logLineWritten(const QString &line, tavik7::NamurListener::LineKind kind);
    // Lines that did not reach the file (a write failed, the file is not
    // open), oldest first; logTrouble() says Unwritable as well.
    void logLinesLost(const QStringList &lines);
    void logTrouble(tavik7::NamurListener::LogTrouble trouble, const QString &path);
    // A line for the console where every front end has the same to say: a
    // replaced log's lines are no longer where the technician would look.
    void noted(const tavik7::ConsoleEntry &note);
    // Listening has ended; the port is back at the service settings (and
    // with its lender), or gone.
    void stopped();

private:
    void onReadyRead();
    void take(QByteArray bytes);
    void writeLogLine(const QString &line, LineKind kind);
    void openLog(bool truncate);
    void flushLog();
    void closeLog();
    void finish();
    void report(LogTrouble trouble);

    State m_state = State::Idle;
    struct Record
    {
        QPointer<QSerialPort> port;
        QPointer<DeviceLink> lender; // null: the port is the caller's own
        QString logPath;  // empty: not logging
        QFile logFile;    // as opened at the start, or at a later try
        QByteArray pending;   // a telegram whose CR LF has not come yet
        QByteArray unwritten; // log lines since the last flush
        LogTrouble reported = LogTrouble::None;
        // Over the whole run, across starts:
        int linesSinceFlush = 0;
        QString pathToEmpty; // chosen in the dialog, not started with yet
    } m_record;
};

} // namespace tavik7
