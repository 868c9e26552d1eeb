#include "enginejobs.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include "backupfile.h"
#include "clitexts.h"
#include "deviceoutput.h"
#include "enterprompt.h"
#include "exitwords.h"
#include "flashtool.h"
#include "namur.h"
#include "platform.h"
#include "terminationsignal.h"
#include "texttable.h"

namespace tavik7::cli {

namespace {

// The window's box before flashing: "Switch service adapter to "Firmware-Flash"".
constexpr int kSwitchToFirmwareFlashMessage = 111;

// Enough of avrdude's output to see why it failed.
constexpr int kToolTailLines = 10;

QString lastLines(const QString &output, int count)
{
    // Progress bars are redrawn with CR: each redraw counts as a line of its own.
    QStringList lines = output.split(QRegularExpression(QStringLiteral("[\\r\\n]+")), Qt::SkipEmptyParts);
    if (lines.size() > count)
        lines = lines.mid(lines.size() - count);
    return lines.join(QLatin1Char('\n'));
}

QString perUserFolder()
{
    const QString folder = platform::appDataFolder();
    platform::ensureAppDataFolder(folder);
    return folder;
}

} // namespace

// ---------------------------------------------------------------- flash

FlashJob::FlashJob(const QString &port, const CliOptions &options, QObject *parent)
    : PortJob(port, options, parent)
    , m_run(new FlashRun(link(), this))
{
    keeper()->watchFlashRun(m_run);
    connect(m_run, &FlashRun::noted, this, [this](const ConsoleEntry &entry) { note(message(entry)); });
    // avrdude's own progress bars, where someone watches.
    if (platform::isTerminal(2)) {
        connect(m_run, &FlashRun::toolOutput, this,
                [this](const QString &text) { emit diagnostics(text.toLocal8Bit()); });
    }
}

void FlashJob::begin()
{
    const QFileInfo image(options().inputFile);
    if (!FlashRun::isFirmwareFile(options().inputFile) || !image.isFile() || !image.isReadable()) {
        const StatusWording refused = flashErrorWording(FlashRun::Error::NoFirmwareFile);
        fail(refused.exitCode, message(refused.message));
        return;
    }
    const FlashRun::Request request = FlashRun::Request::of(options().inputFile, perUserFolder());
    m_session = new FlashSession(link(), m_run, this);
    // The backup read is the flash's: its events are the backup and the flash.
    keeper()->follow(m_session);
    // Queued: not from inside the port's data slot, for the run closes the port.
    connect(m_session, &FlashSession::readyToFlash, this, [this] {
        if (stage() != Stage::Reading)
            return;
        setStage(Stage::Working);
        deviceRead(DeviceReading{});
    }, Qt::QueuedConnection);
    connect(m_session, &FlashSession::finished, this, [this](const FlashEnd &end) {
        if (stage() == Stage::Done)
            return;
        if (end.read && !end.read->ok())
            requestFailed(*end.read);
        else
            onFinished(end.verdict);
    });
    if (!options().noBackup) {
        setStage(Stage::Reading);
        if (!m_session->start(request, true))
            notAsked();
        return;
    }
    setStage(Stage::Working);
    // Without a backup, nothing of the device is kept: the run starts bare.
    QMetaObject::invokeMethod(
        this,
        [this, request] {
            if (stage() == Stage::Done)
                return;
            note(QStringLiteral("avrdude: ") + request.tool.shown);
            m_session->start(request, false);
        },
        Qt::QueuedConnection);
}

void FlashJob::deviceRead(const DeviceReading &reading)
{
    // The backup was read with the switch at "Parameter-IF"; the boot loader
    // answers only at "Firmware-Flash".
    // The backup is of the device as the link's memory holds it now.
    Q_UNUSED(reading)
    if (options().yes || !EnterPrompt::available()) {
        startFlash();
        return;
    }
    auto *prompt = new EnterPrompt(this);
    connect(prompt, &EnterPrompt::answered, this, [this, prompt](bool confirmed) {
        prompt->deleteLater();
        if (confirmed)
            startFlash();
        else
            fail(ExitInterrupted, cliText(CliText::Interrupted, options().language));
    });
    note(plainText(messageText(kSwitchToFirmwareFlashMessage, options().language)).simplified() + QLatin1Char(' ')
         + cliText(CliText::PressEnter, options().language));
    prompt->wait();
}

void FlashJob::requestFailed(const DeviceResult &result)
{
    // A device that does not answer is flashed only when asked to: without a
    // backup its parameters would be lost with the erase.
    if (stage() == Stage::Reading)
        note(cliText(CliText::NoBackupHint, options().language));
    PortJob::requestFailed(result);
}

void FlashJob::startFlash()
{
    if (stage() == Stage::Done)
        return;
    // Which avrdude ran matters when a flash goes wrong: several may be installed.
    note(QStringLiteral("avrdude: ") + flashtool::locateTool().shown);
    m_session->proceed();
}

void FlashJob::interrupt()
{
    if (m_run->state() != FlashRun::State::Running) {
        PortJob::interrupt();
        return;
    }
    // Killed as the window's Cancel kills it; the boot loader takes a new run.
    setStage(Stage::Finishing);
    m_run->cancel();
}

void FlashJob::onFinished(FlashRun::Verdict verdict)
{
    keeper()->recordFlash(options().inputFile, verdict);
    const StatusWording end = flashWording(verdict);
    if (verdict == FlashRun::Verdict::Succeeded) {
        if (options().json) {
            const QString tool = flashtool::locateTool().shown;
            print(jsonObject({{QStringLiteral("port"), port()}, {QStringLiteral("avrdude"), tool}}) + '\n');
        }
        note(message(end.message));
        finish(end.exitCode);
        return;
    }
    // Stopped once the tool ran, the chip may be erased: a failed flash, not "nothing written".
    if (verdict != FlashRun::Verdict::NotStarted)
        note(lastLines(m_run->run().toolOutput, kToolTailLines));
    fail(end.exitCode, message(end.message));
}

// ---------------------------------------------------------------- namur

NamurJob::NamurJob(const QString &port, const CliOptions &options, QObject *parent)
    : PortJob(port, options, parent)
    , m_listener(new NamurListener(this))
    , m_limits(new NamurLimits(options, this))
{
    keeper()->watchNamurListener(m_listener);
    connect(m_limits, &NamurLimits::reached, this, &NamurJob::onLimit);
    connect(m_listener, &NamurListener::logLineWritten, this, &NamurJob::onLine);
    connect(m_listener, &NamurListener::stopped, this, &NamurJob::onStopped);
    connect(m_listener, &NamurListener::logLinesLost, this, &NamurJob::onLinesLost);
    connect(m_listener, &NamurListener::noted, this, [this](const ConsoleEntry &entry) { note(message(entry)); });
    connect(m_listener, &NamurListener::logTrouble, this,
            [this](NamurListener::LogTrouble trouble, const QString &path) {
                const QString shown = QDir::toNativeSeparators(path);
                if (trouble == NamurListener::LogTrouble::Unwritable)
                    note(cliText(CliText::NamurLogTrouble, this->options().language).arg(shown));
            });
}

void NamurJob::begin()
{
    if (options().logFile.isEmpty())
        readDevice(); // the window's log name carries the serial number
    else
        listen(QString());
}

void NamurJob::deviceRead(const DeviceReading &reading)
{
    listen(fieldText(reading.record.serialNumber, kSerialNumberWidth));
}

void NamurJob::requestFailed(const DeviceResult &result)
{
    if (stage() != Stage::Reading) {
        PortJob::requestFailed(result);
        return;
    }
    // Named as the window names it before anything was read.
    note(failureText(result));
    setStage(Stage::Working);
    QMetaObject::invokeMethod(this, [this] { listen(QStringLiteral("-")); }, Qt::QueuedConnection);
}

void NamurJob::listen(const QString &serialNumber)
{
    if (stage() == Stage::Done)
        return;
    setStage(Stage::Working);
    QString log = options().logFile;
    if (log.isEmpty()) {
        // The day's first log of the device, added to by every run that day.
        log = namurLogFileSuggestion(perUserFolder(), serialNumber, QDate::currentDate(),
                                     [](const QString &) { return false; });
    }
    m_logPath = log;
    if (!m_listener->start(link(), log)) {
        fail(ExitPort, message(MessageId::PortNotOpened));
        return;
    }
    note(message(MessageId::NamurStarted) + QStringLiteral(": ") + QDir::toNativeSeparators(log));
    m_limits->start();
}

void NamurJob::onLine(const QString &line, NamurListener::LineKind kind)
{
    // With --json the lines are the log's; the run ends with one line of its own.
    if (!options().json)
        print((line + QLatin1Char('\n')).toLocal8Bit());
    m_limits->take(kind);
}

// A full disk must not take the telegrams with it: with --json, the lines the
// log lost come out on stdout, one object each.
void NamurJob::onLinesLost(const QStringList &lines)
{
    m_logLost = true;
    if (!options().json)
        return;
    for (const QString &line : lines)
        print(jsonObject({{QStringLiteral("port"), port()}, {QStringLiteral("line"), line}}) + '\n');
}

void NamurJob::onLimit(NamurLimits::Reason reason)
{
    switch (reason) {
    case NamurLimits::Reason::Count:
        // Ends at once, inside the read that brought the last line: the
        // telegrams after it in the same read go neither out nor into the log.
        setStage(Stage::Finishing);
        m_listener->abandonPort();
        return;
    case NamurLimits::Reason::Duration:
        interrupt();
        return;
    case NamurLimits::Reason::Silence:
        keeper()->setNamurStatus(QStringLiteral("noAnswer"));
        // Failed first, so that the stop that follows is no lost port.
        fail(ExitNoAnswer, cliText(CliText::NamurSilent, options().language).arg(m_limits->silenceMs() / 1000));
        m_listener->stop();
        return;
    }
}

void NamurJob::interrupt()
{
    if (!m_listener->isListening()) {
        finish(ExitDone);
        return;
    }
    setStage(Stage::Finishing);
    m_listener->stop();
}

void NamurJob::onStopped()
{
    // Stopped without being asked: the port went away under the listener.
    if (stage() != Stage::Finishing) {
        fail(ExitPort, cliText(CliText::PortLost, options().language));
        return;
    }
    note(message(MessageId::NamurStopped));
    if (m_logLost) {
        const QString text =
            cliText(CliText::NamurLogFailed, options().language).arg(QDir::toNativeSeparators(m_logPath));
        if (options().json)
            print(failureJsonLine(port(), errorWord(ExitUsage, port()), ExitUsage, text));
        fail(ExitUsage, text);
        return;
    }
    if (options().json) {
        print(jsonObject({{QStringLiteral("port"), port()},
                          {QStringLiteral("telegrams"), QString::number(m_limits->telegrams())},
                          {QStringLiteral("log"), QDir::toNativeSeparators(m_logPath)}})
              + '\n');
    }
    finish(ExitDone);
}

} // namespace tavik7::cli
