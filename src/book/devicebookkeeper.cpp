#include "devicebookkeeper.h"

#include <QDateTime>
#include <QJsonObject>

#include "backupfile.h"
#include "booklocation.h"
#include "devicelink.h"
#include "namurlistener.h"
#include "parameterfields.h"

namespace tavik7::book {

QString deviceStatusWord(DeviceResult::Status status)
{
    using Status = DeviceResult::Status;
    switch (status) {
    case Status::Ok: return QLatin1String(kStatusOk);
    // Closed: the line was shut while an answer was awaited; the command
    // line ends such a run as unanswered, and so does the book.
    case Status::NoAnswer:
    case Status::Closed: return QStringLiteral("noAnswer");
    case Status::BadCrc:
    case Status::DeviceError:
    case Status::NotEchoed:
    case Status::WrongAnswer: return QStringLiteral("wrongAnswer");
    // An adapter pulled out leaves a port name that leads nowhere.
    case Status::PortLost: return QStringLiteral("portMissing");
    case Status::Refused: return QStringLiteral("implausible");
    }
    return QStringLiteral("wrongAnswer");
}

QString flashStatusWord(FlashRun::Verdict verdict)
{
    return verdict == FlashRun::Verdict::Succeeded ? QLatin1String(kStatusOk) : QStringLiteral("flashFailed");
}

namespace {

QString verdictText(FlashRun::Verdict verdict)
{
    switch (verdict) {
    case FlashRun::Verdict::Succeeded: return QStringLiteral("succeeded");
    case FlashRun::Verdict::NotStarted: return QStringLiteral("notStarted");
    case FlashRun::Verdict::None: return QString();
    case FlashRun::Verdict::Failed: break;
    }
    return QStringLiteral("failed");
}

QString counterDigitsOf(const std::optional<CounterReading> &reading, const QString &otherwise = QString())
{
    return reading ? QString::fromLatin1(reading->digits) : otherwise;
}

} // namespace

DeviceBookKeeper::DeviceBookKeeper(DeviceLink *link, FrontEnd frontEnd, BookWriter *writer, QObject *parent)
    : QObject(parent)
    , m_link(link)
    , m_writer(writer)
    , m_recorder(frontEnd, writer)
{
    writer->setParent(this);
    connect(writer, &BookWriter::written, this, &DeviceBookKeeper::take);
    connect(link, &DeviceLink::finished, this, &DeviceBookKeeper::onFinished);
}

DeviceBookKeeper *DeviceBookKeeper::of(const QObject *owner)
{
    return owner->findChild<DeviceBookKeeper *>(QString(), Qt::FindDirectChildrenOnly);
}

QString DeviceBookKeeper::port()
{
    if (const QString name = m_link->portName(); !name.isEmpty())
        m_lastPort = name;
    return m_lastPort;
}

void DeviceBookKeeper::watchFlashRun(FlashRun *run)
{
    connect(run, &FlashRun::backupWritten, this, &DeviceBookKeeper::recordBackup);
    connect(run, &FlashRun::backupFailed, this, &DeviceBookKeeper::recordBackup);
}

void DeviceBookKeeper::watchNamurListener(NamurListener *listener)
{
    connect(listener, &NamurListener::started, this, [this] {
        m_namur.startMs = QDateTime::currentMSecsSinceEpoch();
        m_namur.telegrams = 0;
        m_namur.status = QLatin1String(kStatusOk);
    });
    // Lines, not telegrams received: a run that stops at a count mid-read
    // has logged (and reported) only those.
    connect(listener, &NamurListener::logLineWritten, this, [this] { ++m_namur.telegrams; });
    connect(listener, &NamurListener::stopped, this, &DeviceBookKeeper::onNamurStopped);
}

void DeviceBookKeeper::onNamurStopped()
{
    m_recorder.recordNamur(port(), m_namur.startMs, QDateTime::currentMSecsSinceEpoch(), m_namur.telegrams,
                                m_namur.logFile, m_namur.status);
}

void DeviceBookKeeper::onFinished(const DeviceResult &result)
{
    const QString portName = port();
    const QString status = deviceStatusWord(result.status);
    if (m_writeAwaitingReadBack && result.sequence == DeviceResult::Sequence::Read) {
        QJsonObject values;
        for (int field = 0; result.record && field < kParameterFieldCount; ++field)
            values.insert(QLatin1String(kParameterFields[field].jsonKey), QString::fromLatin1(settingsFileValue(*result.record, field)));
        std::exchange(m_writeAwaitingReadBack, {})(result.ok() ? QJsonValue(values) : QJsonValue(status));
    } else if (!m_planHash.isEmpty() && result.sequence == DeviceResult::Sequence::Write && result.ok()) {
        m_writeAwaitingReadBack = [this, portName, result, status](const QJsonValue &readBack) {
            recordWriteResult(portName, result, status, readBack);
        };
    } else if (result.sequence == DeviceResult::Sequence::Write || result.kind == DeviceResult::Kind::WriteParameters) {
        recordWriteResult(portName, result, status);
    } else if (result.kind == DeviceResult::Kind::WriteCounter) {
        recordCounterResult(portName, result, status);
    } else if (result.sequence == DeviceResult::Sequence::Report) {
        // The report itself is the event; its read only names the device.
        if (result.record)
            m_recorder.rememberIdentity(portName, *result.record);
        if (!result.ok())
            m_recorder.recordReport(portName, QString(), status);
    } else if (m_readsNameOnly && result.ok()) {
        if (result.record)
            m_recorder.rememberIdentity(portName, *result.record);
    } else {
        // A counter read alone belongs to the device read before it.
        const QString counter = result.counter || result.record ? counterDigitsOf(result.counter)
                                                                : m_known.value(portName).counter;
        m_recorder.recordRead(portName, result.record ? &*result.record : nullptr, counter, status);
    }
    remember(portName, result);
}

void DeviceBookKeeper::releaseWrite()
{
    if (m_writeAwaitingReadBack)
        std::exchange(m_writeAwaitingReadBack, {})(QJsonValue());
}

void DeviceBookKeeper::recordWriteResult(const QString &port, const DeviceResult &result, const QString &status,
                                         const QJsonValue &readBack)
{
    const Known known = m_known.value(port);
    if (result.record)
        m_recorder.rememberIdentity(port, *result.record);
    const ParameterRecord before = result.record ? *result.record : known.record.value_or(ParameterRecord{});
    // A telegram on the wire may have changed the device even unanswered:
    // its values stay in the event, under the event's failure.
    const ParameterRecord after = result.written ? *result.written : result.sent.value_or(before);
    const QString counterBefore = counterDigitsOf(result.counter, known.counter);
    const QString counterAfter = counterDigitsOf(result.counterWritten, counterBefore);
    QJsonObject details;
    if (const std::optional<CounterReading> left = result.counterNotWrittenBack()) {
        details.insert(QStringLiteral("parameters"), QStringLiteral("written"));
        details.insert(QStringLiteral("counterNotWrittenBack"), QString::fromLatin1(left->digits));
    } else if (result.telegramUnanswered()) {
        details.insert(QStringLiteral("parameters"), QStringLiteral("sent"));
    }
    if (!m_planHash.isEmpty())
        details.insert(QStringLiteral("plan"), m_planHash);
    if (!m_planStale.isEmpty())
        details.insert(QStringLiteral("stale"), m_planStale);
    if (!readBack.isNull())
        details.insert(QStringLiteral("readBack"), readBack);
    m_recorder.recordWrite(port, before, after, counterBefore, counterAfter, status, result.counterWritten.has_value(),
                           details);
}

void DeviceBookKeeper::recordCounterResult(const QString &port, const DeviceResult &result, const QString &status)
{
    const QString before = m_known.value(port).counter;
    m_recorder.recordSetCounter(port, before, counterDigitsOf(result.counterWritten), status);
}

void DeviceBookKeeper::remember(const QString &port, const DeviceResult &result)
{
    Known &known = m_known[port];
    if (result.written)
        known.record = result.written;
    else if (result.record)
        known.record = result.record;
    if (result.counterWritten)
        known.counter = counterDigitsOf(result.counterWritten);
    else if (result.counter)
        known.counter = counterDigitsOf(result.counter);
}

void DeviceBookKeeper::recordFlash(const QString &imageFile, FlashRun::Verdict verdict)
{
    const Known known = m_known.value(port());
    const QString versionBefore = known.record ? softwareVersionText(known.record->softwareVersion) : QString();
    // The device is read again after a flash only by a later action.
    m_recorder.recordFlash(port(), imageFile, verdictText(verdict), versionBefore, QString(),
                                flashStatusWord(verdict));
}

void DeviceBookKeeper::recordReport(const QString &pdfFile, const QString &status, const QStringList &notes)
{
    m_recorder.recordReport(port(), pdfFile, status, notes);
}

void DeviceBookKeeper::recordBackup(const BackupResult &result)
{
    const bool written = result.status == BackupResult::Written;
    m_recorder.recordBackup(port(), result.dataFile,
                                 written ? QLatin1String(kStatusOk) : QStringLiteral("badFile"));
}

void DeviceBookKeeper::recordRestore(const QString &backupFile, const ParameterRecord &before,
                                     const ParameterRecord &after)
{
    m_recorder.recordRestore(port(), backupFile, before, after, QLatin1String(kStatusOk));
}

void DeviceBookKeeper::take(const BookResult &result)
{
    const QString notice = m_recorder.message(result, m_language);
    if (result.recorded && result.setAsidePath.isEmpty())
        m_lastNotice.clear();
    if (!notice.isEmpty() && notice != m_lastNotice) {
        m_lastNotice = notice;
        emit bookNotice(notice);
        emit bookNoticeWords(m_recorder.message(result, 0), m_recorder.message(result, 1));
    }
    if (result.recorded)
        emit recorded(result.id);
    else
        emit missed(bookStatusWord(result.status));
}

} // namespace tavik7::book
