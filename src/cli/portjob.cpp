#include "portjob.h"

#include <QDir>

#include "booklocation.h"
#include "changerecorder.h"
#include "clitexts.h"
#include "deviceoutput.h"
#include "exitwords.h"
#include "platform.h"
#include "wiretrace.h"

namespace tavik7::cli {

PortJob::PortJob(const QString &port, const CliOptions &options, QObject *parent)
    : QObject(parent)
    , m_link(new DeviceLink(this))
    , m_keeper(new book::DeviceBookKeeper(m_link, book::FrontEnd::Cli,
                                          new book::DirectBookWriter(book::bookPath(options.bookFile),
                                                                     book::userChangeHistoryPath(),
                                                                     book::FrontEnd::Cli),
                                          this))
    , m_options(options)
    , m_port(port)
{
    if (!options.traceFile.isEmpty()) {
        const QString path = traceFileFor(options.traceFile, port, int(options.ports.size()));
        m_trace = new WireTrace(m_link, path, port, this);
    }
    m_keeper->setLanguage(options.language);
    m_keeper->recorder().setTechnician(options.technician);
    m_keeper->recorder().setReason(options.reason);
    // A knob for tests and for diagnosing slow adapters (the manual's
    // ENVIRONMENT): the device's own waits otherwise.
    if (const int answerMs = qEnvironmentVariableIntValue("TAVIK7_ANSWER_TIMEOUT_MS"); answerMs > 0) {
        const DeviceLink::Timeouts own = m_link->timeouts();
        m_link->setTimeouts({answerMs, qMin(answerMs, own.counterRequestMs)});
    }
    connect(m_keeper, &book::DeviceBookKeeper::bookNotice, this, [this](const QString &text) {
        emit bookNotice((QStringLiteral("tavik7-cli: %1: %2\n").arg(m_port, text)).toLocal8Bit());
    });
    connect(m_keeper, &book::DeviceBookKeeper::missed, this, [this](const QString &reason, bool kept) {
        m_bookMissed = reason;
        m_bookKept = kept;
    });
    connect(m_link, &DeviceLink::portLost, this, &PortJob::onPortLost);
    connect(m_link, &DeviceLink::significanceNotice, this, [this](const QString &significance) {
        note(message({MessageId::IncompatibleSignificance, {significance}}));
    });
}

void PortJob::start()
{
    if (m_trace && !m_trace->open()) {
        const QString shown = QDir::toNativeSeparators(m_trace->path());
        fail(ExitUsage, cliText(CliText::TraceUnwritable, m_options.language).arg(shown));
        return;
    }
    QString hint;
    const QMetaObject::Connection diagnosis =
        connect(m_link, &DeviceLink::openFailed, this, [this, &hint](const DeviceLink::OpenFailure &why) {
            hint = portOpenFailureHint(why.failure, why.context, m_options.language);
        });
    DeviceLink::PortSettings settings;
    settings.portName = m_port;
    const bool opened = m_link->open(settings);
    disconnect(diagnosis);
    if (!opened) {
        m_openFailure = m_link->lastOpenFailure().failure;
        fail(ExitPort, hint.isEmpty() ? message(MessageId::PortNotOpened)
                                      : message(MessageId::PortNotOpened) + QLatin1Char('\n') + hint);
        return;
    }
    begin();
}

void PortJob::interrupt()
{
    // What crossed the wire so far is in the file, whatever ends the process next.
    if (m_trace)
        m_trace->flush();
    if (m_stage == Stage::Done || m_stage == Stage::Finishing)
        return;
    // Half a telegram could leave the device with a mix of old and new
    // values: what is on the wire is seen through to its answer.
    const DeviceLink::RequestKind request = m_link->requestKind();
    if (request == DeviceLink::WriteParameters || request == DeviceLink::WriteCounter) {
        m_stage = Stage::Finishing;
        return;
    }
    fail(ExitInterrupted, interruptedText());
    // Closed at once, not after the queue: an answer read meanwhile must not
    // carry the link on to a write. Called from the signal's notifier, not
    // from inside the port's own signal.
    m_link->close();
}

QString PortJob::interruptedText() const
{
    return cliText(CliText::Interrupted, m_options.language);
}

void PortJob::readDevice(DeviceReply::Purpose purpose)
{
    m_stage = Stage::Reading;
    m_reading = DeviceReading{};
    follow(m_link->read(purpose), [this](const DeviceResult &result) { onRead(result); });
}

void PortJob::follow(DeviceReply *reply, std::function<void(const DeviceResult &)> done)
{
    if (!reply) {
        notAsked();
        return;
    }
    m_keeper->follow(reply);
    connect(reply, &DeviceReply::finished, this, [this, done](const DeviceResult &result) {
        if (m_stage == Stage::Done)
            return;
        if (!result.ok())
            requestFailed(result);
        else
            done(result);
    });
}

void PortJob::notAsked()
{
    DeviceResult closed;
    closed.status = DeviceResult::Status::Closed;
    requestFailed(closed);
}

void PortJob::finish(int exitCode)
{
    if (m_stage == Stage::Done)
        return;
    ending();
    // A trace that lost bytes is no record to rely on: the run says so and
    // fails, whatever the device did.
    if (m_trace && !m_trace->flush()) {
        note(cliText(CliText::TraceFailed, m_options.language)
                 .arg(QDir::toNativeSeparators(m_trace->path()), m_trace->error()));
        exitCode = qMax(exitCode, int(ExitUsage));
    }
    m_stage = Stage::Done;
    m_exitCode = exitCode;
    // Not from inside the port's own signal, which may be what called here.
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_link->close();
            emit finished();
        },
        Qt::QueuedConnection);
}

void PortJob::fail(int exitCode, const QString &text)
{
    if (m_stage == Stage::Done)
        return;
    note(text);
    finish(exitCode);
}

void PortJob::print(const QByteArray &bytes)
{
    emit standardOutput(m_options.json && !m_bookMissed.isEmpty() ? withBookMissed(bytes, m_bookMissed, m_bookKept) : bytes);
}

void PortJob::note(const QString &text)
{
    emit diagnostics((QStringLiteral("tavik7-cli: %1: %2\n").arg(m_port, text)).toLocal8Bit());
}

QString PortJob::message(const ConsoleEntry &entry) const
{
    return plainText(renderEntry(entry, m_options.language));
}

void PortJob::recordChanges()
{
    const QString folder = platform::appDataFolder();
    platform::ensureAppDataFolder(folder);
    auto *recorder = new ChangeRecorder(m_link, folder + QLatin1String(kChangeHistoryFileName), this);
    recorder->setLanguage(m_options.language);
    connect(recorder, &ChangeRecorder::historyUnwritable, this,
            [this](const QString &path) { note(message({MessageId::NoteHistoryUnwritable, {path}})); });
}

QString PortJob::failureText(const DeviceResult &result) const
{
    if (result.status == DeviceResult::Status::PortLost)
        return cliText(CliText::PortLost, m_options.language);
    return message(outcomeOf(result).message);
}

void PortJob::requestFailed(const DeviceResult &result)
{
    fail(outcomeOf(result).exitCode, failureText(result));
}

void PortJob::onPortLost()
{
    // An answer awaited ends right after this as a lost port, with what the
    // request had done by then; that end speaks first.
    QMetaObject::invokeMethod(
        this, [this] { fail(ExitPort, cliText(CliText::PortLost, m_options.language)); }, Qt::QueuedConnection);
}

void PortJob::onRead(const DeviceResult &result)
{
    if (m_stage != Stage::Reading || !result.record || !result.counter)
        return;
    m_reading.record = *result.record;
    m_reading.counterDigits = QString::fromLatin1(result.counter->digits);
    m_reading.counterText = result.counter->text;
    // Not from inside the port's data slot: what follows may send.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_stage == Stage::Reading) {
                m_stage = Stage::Working;
                deviceRead(m_reading);
            }
        },
        Qt::QueuedConnection);
}

} // namespace tavik7::cli
