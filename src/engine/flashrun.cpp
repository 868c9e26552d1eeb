// A firmware flash through avrdude, from the backup before it to the port
// taken back after it.

#include "flashrun.h"

#include <QDateTime>
#include <QDir>
#include <QSerialPort>

#include <utility>

#include "devicelink.h"
#include "portdiagnosis.h"

namespace tavik7 {

namespace {

// The same device as far as its type plate tells: what a backup belongs to.
bool sameDevice(const ParameterRecord &a, const ParameterRecord &b)
{
    return fieldText(a.manufacturer, kManufacturerWidth) == fieldText(b.manufacturer, kManufacturerWidth)
        && fieldText(a.deviceType, kDeviceTypeWidth) == fieldText(b.deviceType, kDeviceTypeWidth)
        && fieldText(a.serialNumber, kSerialNumberWidth) == fieldText(b.serialNumber, kSerialNumberWidth);
}

// The port of a device link, lent closed for the tool and taken back with
// the link's own service settings, on exactly the name it had: a port list
// rebuilt meanwhile may put another device first, and that one is none of
// this run's business.
class LinkPort : public FlashRun::Port
{
public:
    explicit LinkPort(DeviceLink *link) : m_link(link) {}

    bool isOpen() const override { return m_link->isOpen(); }
    QString portName() const override { return m_link->portName(); }
    QSerialPort *serialPort() const override { return m_link->serialPort(); }
    void close() override { m_link->lendPort(DeviceLink::Loan::Closed); }

    Reopen reopen(const QString &) override
    {
        switch (m_link->takePortBack()) {
        case DeviceLink::Return::Opened: return Reopen::Opened;
        case DeviceLink::Return::Gone: return Reopen::Gone;
        case DeviceLink::Return::Failed: break;
        }
        return Reopen::Failed;
    }

private:
    DeviceLink *m_link;
};

} // namespace

FlashRun::FlashRun(DeviceLink *link, QObject *parent)
    : FlashRun(std::make_unique<LinkPort>(link), parent)
{
    // Only a read the technician asked for takes the backup back: from then
    // on the flashed firmware's version and checksum are known, and the
    // backup must not undo them. A wizard's or a write's own read leaves it.
    connect(link, &DeviceLink::requestAsked, this, [this](const DeviceReply *reply) {
        if (reply->purpose() != DeviceReply::Purpose::Read)
            return;
        connect(reply, &DeviceJob::stepFinished, this, [this](const DeviceResult &step) {
            if (!step.ok() || !step.record)
                return;
            if (const QString backup = takeBackupOnOffer(*step.record); !backup.isEmpty())
                emit backupOffered(backup);
        });
    });
}

FlashRun::FlashRun(std::unique_ptr<Port> port, QObject *parent)
    : QObject(parent)
    , m_port(std::move(port))
    , m_process(new QProcess(this))
{
    // avrdude writes everything to standard error.
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->setReadChannel(QProcess::StandardOutput);
    connect(m_process, &QProcess::readyReadStandardOutput, this, &FlashRun::handleToolOutput);
    connect(m_process, &QProcess::errorOccurred, this, &FlashRun::handleToolError);
    connect(m_process, &QProcess::finished, this, &FlashRun::handleToolFinished);
    connect(m_process, &QProcess::started, this, &FlashRun::toolStarted);
}

FlashRun::~FlashRun()
{
    // The process's own destructor would report the tool's end to a run
    // already half gone.
    m_process->disconnect(this);
    if (m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished();
    }
}

FlashRun::Request FlashRun::Request::of(const QString &firmwareFile, const QString &backupFolder)
{
    Request request;
    request.firmwareFile = firmwareFile;
    request.tool = flashtool::locateTool();
    request.backupFolder = backupFolder;
    return request;
}

bool FlashRun::isFirmwareFile(const QString &path)
{
    return !path.isEmpty() && path.contains(QLatin1String(".hex"));
}

bool FlashRun::checkFirmwareFile(const QString &path)
{
    if (!isFirmwareFile(path)) {
        reportError(Error::NoFirmwareFile);
        return false;
    }
    m_imageCheck = checkIntelHexFile(path);
    if (m_imageCheck.ok())
        return true;
    reportError(Error::BadFirmwareImage);
    // The file was chosen, but is no image this device can take: where it is wrong.
    emit noted(firmwareImageNote(QDir::toNativeSeparators(path), m_imageCheck));
    return false;
}

QString FlashRun::errorString() const
{
    switch (m_error) {
    case Error::NoError: return {};
    case Error::NoFirmwareFile: return QStringLiteral("no firmware file");
    case Error::BadFirmwareImage:
        return QStringLiteral("firmware image unusable, line %1: %2")
            .arg(m_imageCheck.line)
            .arg(intelHexFaultText(m_imageCheck.fault));
    case Error::ToolError: return QStringLiteral("the flash tool reported an error");
    case Error::ToolNotStarted: return QStringLiteral("the flash tool could not be started");
    }
    return {};
}

void FlashRun::reportError(Error error)
{
    m_error = error;
    emit errorOccurred(error);
}

bool FlashRun::start(const Request &request)
{
    if (m_state != State::Idle || !checkFirmwareFile(request.firmwareFile))
        return false;
    m_error = Error::NoError;
    m_run = Run{};
    backUp(request);

    const QString port = flashtool::portArgument(flashtool::kThisSystem, m_port->portName());
    releasePort();
    m_state = State::Running;
    emit stateChanged(m_state);
    emit commandLine(flashtool::commandLine(request.tool.shown, port, request.firmwareFile));
    // A tool that cannot start is reported through errorOccurred, perhaps
    // before start() returns; the state above is set for it.
    m_process->start(request.tool.program, flashtool::arguments(port, request.firmwareFile), QIODevice::ReadWrite);
    return true;
}

void FlashRun::backUp(const Request &request)
{
    // Only what the device itself answered is worth keeping, and only while
    // it is still there to be flashed.
    if (!m_port->isOpen() || !request.deviceRecord)
        return;
    const BackupResult result = writeBackup(request.backupFolder, *request.deviceRecord, request.deviceCounter,
                                            QDateTime::currentDateTime());
    if (result.status == BackupResult::Written) {
        m_run.backupFile = result.dataFile;
        m_run.backedUpDevice = *request.deviceRecord;
        emit backupWritten(result);
    } else {
        emit backupFailed(result);
    }
    emit noted(backupNote(result));
}

void FlashRun::releasePort()
{
    if (!m_port->isOpen())
        return;
    // The service adapter gets a short pulse on RTS before the boot loader
    // is addressed; the port can only switch the line while it is open.
    QSerialPort *serial = m_port->serialPort();
    serial->setRequestToSend(true);
    serial->setRequestToSend(false);
    m_run.releasedPort = m_port->portName();
    m_port->close();
    emit portReleased(m_run.releasedPort);
}

void FlashRun::cancel()
{
    if (m_process->state() != QProcess::NotRunning)
        m_process->kill();
}

QString FlashRun::takeBackupOnOffer(const ParameterRecord &deviceRead)
{
    if (m_run.backupOnOffer.isEmpty() || !m_run.backedUpDevice || !sameDevice(*m_run.backedUpDevice, deviceRead))
        return {};
    return std::exchange(m_run.backupOnOffer, QString());
}

void FlashRun::dropBackupOnOffer()
{
    m_run.backupOnOffer.clear();
}

void FlashRun::handleToolOutput()
{
    const QByteArray bytes = m_process->readAllStandardOutput();
    if (bytes.isEmpty())
        return;
    const QString text = QString::fromLatin1(bytes);
    m_run.toolOutput += text;
    emit toolOutput(text);
}

void FlashRun::handleToolError(QProcess::ProcessError error)
{
    if (m_state != State::Running)
        return;
    reportError(Error::ToolError);
    // No finished() follows a tool that never started: the run ends here.
    if (error == QProcess::FailedToStart) {
        reportError(Error::ToolNotStarted);
        end(Verdict::NotStarted);
    }
}

void FlashRun::handleToolFinished(int exitCode, QProcess::ExitStatus exitStatus)
{
    if (m_state != State::Running)
        return;
    // Output that arrived together with the end is still unread.
    handleToolOutput();
    const bool succeeded = flashtool::runSucceeded(exitStatus, exitCode, m_run.toolOutput);
    end(succeeded ? Verdict::Succeeded : Verdict::Failed);
}

void FlashRun::end(Verdict verdict)
{
    m_run.verdict = verdict;
    if (verdict == Verdict::Succeeded)
        m_run.backupOnOffer = m_run.backupFile;
    emit finished(verdict);
    takePortBack();
    m_state = State::Idle;
    emit stateChanged(m_state);
}

FlashRun::PortReturn FlashRun::portReturn(Port::Reopen outcome) const
{
    PortReturn back;
    back.outcome = outcome;
    back.keepVerdict = m_run.verdict != Verdict::Succeeded;
    if (outcome != Port::Reopen::Opened)
        back.message = MessageId::PortNotOpened;
    if (outcome == Port::Reopen::Gone)
        back.note = portOpenFailureNote(PortOpenFailure::NotFound, {});
    return back;
}

void FlashRun::takePortBack()
{
    // The user may have connected by hand meanwhile: that choice stands.
    if (m_run.releasedPort.isEmpty() || m_port->isOpen())
        return;
    emit portTakenBack(m_port->reopen(m_run.releasedPort), m_run.releasedPort);
}

} // namespace tavik7
