#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

// Runs tavik7-devsim, the simulated device, for a test and reads its log.
//
// The simulator writes the path of its serial port as its first line, then
// one line per event: "RX <command>" for each request it received ("RX LP",
// "RX L_ZLW", "RX S_ZLW 123", "RX SP <hex>"), "TX <hex>" for each answer once
// sent, "CTL OK ..." for each control line, and "FAULT", "MODE", "STATE",
// "INFO" lines. Every wait below keeps the event loop running, so the
// program under test goes on working while the test waits.
//
// The executable is the one named by the compile definition
// TAVIK7_DEVSIM_PATH of the test target.
class DevSim
{
public:
    // The simulator's complaints belong in the test output.
    DevSim() { m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel); }
    ~DevSim(); // kills the simulator if it still runs
    DevSim(const DevSim &) = delete;
    DevSim &operator=(const DevSim &) = delete;

    // Starts the simulator with these options (see tavik7-devsim --help) and
    // waits up to 5 s for its port path.
    bool start(const QStringList &args = {});

    [[nodiscard]] QString portPath() const { return m_portPath; }
    // The simulator's process id, to freeze it (SIGSTOP) or kill it mid-answer.
    [[nodiscard]] qint64 processId() const { return m_process.processId(); }
    [[nodiscard]] QString errorString() const { return m_error; }

    // The "RX ..." lines received so far, oldest first.
    QStringList received() { return lines(QStringLiteral("RX ")); }
    // Only their commands ("LP", "S_ZLW"), for tests that follow a sequence.
    QStringList commands();
    // Forgets the log lines seen so far; counts start again at zero.
    void clearLog();

    // Wait until at least count requests ("RX"), answers or NAMUR telegrams
    // ("TX") have arrived in total, or for a line that starts with prefix,
    // e.g. "MODE parameter-interface".
    bool waitForReceived(int count, int timeoutMs = 5000) { return waitForLines(QStringLiteral("RX "), count, timeoutMs); }
    bool waitForSent(int count, int timeoutMs = 5000) { return waitForLines(QStringLiteral("TX "), count, timeoutMs); }
    bool waitForLine(const QString &prefix, int timeoutMs = 5000) { return waitForLines(prefix, 1, timeoutMs); }

    // Sends one control line ("fault silent=LP", "fault-once badcrc=LP",
    // "clear-faults", "set counter=42", "hangup", "quit") and waits until
    // the simulator confirms it; false if it refused it or never answered.
    bool control(const QByteArray &line, int timeoutMs = 5000);

    // Waits until the simulator has ended by itself, as after a hang-up.
    bool waitForFinished(int timeoutMs = 5000);

private:
    void readOutput();
    QStringList lines(const QString &prefix);
    bool waitForLines(const QString &prefix, int count, int timeoutMs);

    QProcess m_process;
    QByteArray m_partial;
    QStringList m_lines;
    QString m_portPath;
    QString m_error;
};
