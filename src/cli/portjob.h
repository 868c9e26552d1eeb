#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

#include "commandline.h"
#include "devicebookkeeper.h"
#include "console.h"
#include "devicelink.h"
#include "exitcodes.h"

namespace tavik7::cli {

class WireTrace;

// What a device said when it was read: its parameters and its counter.
struct DeviceReading
{
    ParameterRecord record{};
    QString counterDigits; // the reading's digits, as "S_ZLW" would send them back
    QString counterText;   // as the window's entry shows them, comma included
};

// One command on one port: owns the device link, opens the port, reads the
// device when asked, and ends with an exit code. What it prints goes out by
// signal, so a run over several ports can keep the ports' order.
class PortJob : public QObject
{
    Q_OBJECT

public:
    PortJob(const QString &port, const CliOptions &options, QObject *parent = nullptr);

    void start();
    // SIGINT or SIGTERM: a write on the wire is completed, anything else ends now.
    virtual void interrupt();

    [[nodiscard]] int exitCode() const { return m_exitCode; }
    [[nodiscard]] bool isFinished() const { return m_stage == Stage::Done; }
    [[nodiscard]] const QString &port() const { return m_port; }
    // Why the port did not open, when that ended the job.
    [[nodiscard]] std::optional<PortOpenFailure> openFailure() const { return m_openFailure; }
    // Why the book missed an action of this job; empty while it missed none.
    [[nodiscard]] const QString &bookMissed() const { return m_bookMissed; }
    // The event missed by the book waits in the outbox.
    [[nodiscard]] bool bookKept() const { return m_bookKept; }

signals:
    void standardOutput(const QByteArray &bytes);
    void diagnostics(const QByteArray &bytes);
    // The device book missed this port's work: said even under --quiet.
    void bookNotice(const QByteArray &bytes);
    void finished();

protected:
    enum class Stage {
        Starting,  // the port is being opened
        Reading,   // the device is being read; nothing changes it yet
        Working,   // the command's own requests
        Finishing, // interrupted while a write is on the wire
        Done,
    };

    // Runs once the port is open.
    virtual void begin() = 0;
    // Runs once when the job ends, however it ends, before the port closes.
    virtual void ending() {}
    // A request went unanswered or was answered wrongly: by default the end.
    virtual void requestFailed(const DeviceResult &result);
    // What an interrupt that ends the job now says.
    [[nodiscard]] virtual QString interruptedText() const;
    virtual void deviceRead(const DeviceReading &reading) = 0;

    // Parameters, then counter, as the window's Read (or its Print's read);
    // ends in deviceRead().
    void readDevice(DeviceReply::Purpose purpose = DeviceReply::Purpose::Read);
    // A request of this job's: its end goes into the book first, then a
    // failure to requestFailed(), a success to done.
    void follow(DeviceReply *reply, std::function<void(const DeviceResult &)> done);
    // The port went away before a request could be asked: a failure as a
    // closed line's, not a job that waits for ever.
    void notAsked();
    void finish(int exitCode);
    void fail(int exitCode, const QString &message);
    void note(const QString &message);
    void print(const QByteArray &bytes);

    // A message or note of the window's catalogue, for a terminal.
    [[nodiscard]] QString message(const ConsoleEntry &entry) const;
    // What a failed request says on a terminal.
    [[nodiscard]] QString failureText(const DeviceResult &result) const;
    [[nodiscard]] DeviceLink *link() const { return m_link; }
    [[nodiscard]] book::DeviceBookKeeper *keeper() const { return m_keeper; }
    [[nodiscard]] const CliOptions &options() const { return m_options; }
    [[nodiscard]] Stage stage() const { return m_stage; }
    void setStage(Stage stage) { m_stage = stage; }
    [[nodiscard]] const DeviceReading &lastReading() const { return m_reading; }
    // Where the port stands among those given, for output that names it.
    [[nodiscard]] int position() const { return int(m_options.ports.indexOf(m_port)); }

    // From now on every acknowledged write goes to the change history in the
    // per-user folder, as the window records it.
    void recordChanges();

private:
    void onPortLost();
    void onRead(const DeviceResult &result);

    DeviceLink *m_link;
    WireTrace *m_trace = nullptr; // --trace
    book::DeviceBookKeeper *m_keeper;
    CliOptions m_options;
    QString m_port;
    Stage m_stage = Stage::Starting;
    int m_exitCode = ExitDone;
    std::optional<PortOpenFailure> m_openFailure;
    DeviceReading m_reading;
    QString m_bookMissed;
    bool m_bookKept = false;
};

} // namespace tavik7::cli
