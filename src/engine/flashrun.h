#pragma once

#include <QObject>
#include <QProcess>
#include <QString>

#include <memory>
#include <optional>

#include "backupfile.h"
#include "console.h"
#include "devicememory.h"
#include "flashtool.h"
#include "intelhex.h"
#include "parameterrecord.h"
#include "statustable.h"

class QSerialPort;

namespace tavik7 {

class DeviceLink;

// One firmware flash: the backup of the device's parameters, the port handed
// over to the flash tool and taken back, the tool itself and the verdict on
// its run. It knows no widget; what happens it reports by signal.
class FlashRun : public QObject
{
    Q_OBJECT

public:
    enum class State { Idle, Running };
    Q_ENUM(State)

    // How a run ended; the core's status table words it.
    using Verdict = FlashVerdict;

    // Whoever holds the device's port. The tool needs the port to itself, so
    // the run has it released first and taken back afterwards, on exactly
    // that name and with its holder's own line settings, never with what
    // the port had when it was released.
    class Port
    {
    public:
        enum class Reopen { Opened, Gone, Failed };
        virtual ~Port() = default;
        [[nodiscard]] virtual bool isOpen() const = 0;
        [[nodiscard]] virtual QString portName() const = 0; // as the user picked it
        [[nodiscard]] virtual QSerialPort *serialPort() const = 0;
        virtual void close() = 0;
        virtual Reopen reopen(const QString &portName) = 0;
    };

    struct Request
    {
        QString firmwareFile;
        flashtool::Tool tool;
        QString backupFolder; // with its trailing separator
        // What the device answered last; nothing to back up without it.
        std::optional<ParameterRecord> deviceRecord;
        std::optional<QString> deviceCounter;

        // The image, with the flash tool this system has, backing up into folder.
        static Request of(const QString &firmwareFile, const QString &backupFolder);
        // The backup holds the device as last read or acknowledged, nothing older.
        void takeDevice(const DeviceState &device)
        {
            deviceRecord = device.record;
            deviceCounter = device.counter ? std::optional<QString>(device.counter->text) : std::nullopt;
        }
    };

    // The current or last run.
    struct Run
    {
        QString releasedPort; // empty when no port was open at the start
        QString toolOutput;
        QString backupFile;   // this run's backup; empty when none was written
        QString backupOnOffer; // the backup to offer after a successful flash, until taken
        std::optional<ParameterRecord> backedUpDevice; // whose parameters the backup holds
        Verdict verdict = Verdict::None;
    };

    // The port's return as a front end tells it. After a run that did not
    // succeed its verdict stays in view: what follows goes below it and the
    // technician stays with the tool's output. A port that has gone gets a
    // note saying it was not found.
    struct PortReturn
    {
        Port::Reopen outcome = Port::Reopen::Opened;
        bool keepVerdict = false;
        MessageId message = MessageId::PortOpened;
        ConsoleEntry note; // MessageId::None: nothing to add
    };
    [[nodiscard]] PortReturn portReturn(Port::Reopen outcome) const;

    explicit FlashRun(DeviceLink *link, QObject *parent = nullptr);
    explicit FlashRun(std::unique_ptr<Port> port, QObject *parent = nullptr);
    // A tool still running is killed: nothing may go on writing to the device
    // once nobody reports on it.
    ~FlashRun() override;

    // What kept a run from starting or from running to its end; the core's
    // status table words it.
    using Error = FlashError;

    // Only this case-sensitive test decides what counts as a firmware file.
    [[nodiscard]] static bool isFirmwareFile(const QString &path);
    // A path that names no firmware file reports NoFirmwareFile, an image
    // that is no sound Intel HEX for this device BadFirmwareImage; both
    // return false. avrdude erases the chip before it finds a bad record, so
    // every front end checks here before anything reaches the device.
    bool checkFirmwareFile(const QString &path);

    // Backs up, releases the port and starts the tool. False, changing
    // nothing, while a run is underway or without a firmware file.
    bool start(const Request &request);
    // Kills the tool; its end is then reported as a failure.
    void cancel();

    [[nodiscard]] State state() const { return m_state; }
    [[nodiscard]] const Run &run() const { return m_run; }
    [[nodiscard]] Verdict verdict() const { return m_run.verdict; }
    // The last error reported, and in plain English words.
    [[nodiscard]] Error error() const { return m_error; }
    [[nodiscard]] QString errorString() const;
    // The backup of the last successful run, once, and only for the device
    // it was taken from (same manufacturer, type and serial number): another
    // device read meanwhile must not get its parameters. Kept until then.
    QString takeBackupOnOffer(const ParameterRecord &deviceRead);
    // Nobody will ask for it (the wizard goes on without reading again).
    void dropBackupOnOffer();

    // What the tool's process reports. Connected to the run's own process;
    // public so that whoever relays process reports reaches the same handling.
    void handleToolOutput();
    void handleToolError(QProcess::ProcessError error);
    void handleToolFinished(int exitCode, QProcess::ExitStatus exitStatus);

signals:
    void backupWritten(const tavik7::BackupResult &result);
    void backupFailed(const tavik7::BackupResult &result);
    // A line for the console below what the run has said: where the backup
    // went or why it failed, where an image refused is wrong.
    void noted(const tavik7::ConsoleEntry &note);
    // The port was closed for the tool; it is reopened once the run has ended.
    void portReleased(const QString &portName);
    // As shown to the technician, before the tool starts.
    void commandLine(const QString &text);
    void toolOutput(const QString &chunk);
    // The tool runs: the technician follows its instructions now.
    void toolStarted();
    void errorOccurred(tavik7::FlashRun::Error error);
    // Before the port is taken back: a modal box opened here holds it back
    // until the technician has switched the adapter.
    void finished(tavik7::FlashRun::Verdict verdict);
    // The released port is back (Opened), no longer exists (Gone: no other
    // port was opened instead) or would not open.
    void portTakenBack(tavik7::FlashRun::Port::Reopen outcome, const QString &portName);
    void stateChanged(tavik7::FlashRun::State state);
    // The technician read the device this run's backup came from, after a
    // successful run: the backup is offered, once.
    void backupOffered(const QString &backupFile);

private:
    void backUp(const Request &request);
    void releasePort();
    void takePortBack();
    void end(Verdict verdict);
    void reportError(Error error);

    std::unique_ptr<Port> m_port;
    QProcess *m_process = nullptr;
    State m_state = State::Idle;
    Error m_error = Error::NoError;
    IntelHexCheck m_imageCheck;
    Run m_run;
};

} // namespace tavik7
