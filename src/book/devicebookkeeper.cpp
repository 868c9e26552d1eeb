#include "devicebookkeeper.h"

#include <QDateTime>
#include <QJsonObject>

#include "backupfile.h"
#include "booklocation.h"
#include "devicelink.h"
#include "devicememory.h"
#include "devicereply.h"
#include "namurlistener.h"
#include "parameterfields.h"

namespace tavik7::book {

QString deviceStatusWord(DeviceResult::Status status)
{
    return statusWording(status, DeviceResult::Kind::ReadParameters, DeviceResult::Sequence::None).word;
}

QString flashStatusWord(FlashRun::Verdict verdict)
{
    return flashWording(verdict).word;
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
    , m_recorder(frontEnd, writer, link->memory())
{
    writer->setParent(this);
    connect(writer, &BookWriter::written, this, &DeviceBookKeeper::take);
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
    connect(listener, &NamurListener::started, this, [this, listener] {
        m_namur.logFile = listener->logPath();
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

void DeviceBookKeeper::follow(const DeviceJob *job)
{
    connect(job, &DeviceJob::requestEnded, this, &DeviceBookKeeper::recordReply);
}

void DeviceBookKeeper::recordReply(const DeviceReply *reply)
{
    using Purpose = DeviceReply::Purpose;
    const DeviceResult &result = reply->result();
    const QString portName = port();
    QJsonObject values;
    for (int field = 0; result.record && field < kParameterFieldCount; ++field)
        values.insert(QLatin1String(kParameterFields[field].jsonKey),
                      QString::fromLatin1(settingsFileValue(*result.record, field)));
    if (m_writeAwaitingReadBack && reply->purpose() == Purpose::Verify) {
        // A plan's write is booked with the values its read-back found.
        std::exchange(m_writeAwaitingReadBack, {})(result.ok() ? QJsonValue(values)
                                                               : QJsonValue(deviceStatusWord(result.status)));
    }
    if (result.sequence == DeviceResult::Sequence::Write || result.kind == DeviceResult::Kind::WriteParameters) {
        if (!m_planHash.isEmpty() && result.ok()) {
            m_writeAwaitingReadBack = [this, portName, result, before = reply->before()](const QJsonValue &readBack) {
                recordWriteWith(portName, result, before, readBack);
            };
        } else {
            recordWrite(portName, result, reply->before());
        }
    } else if (result.kind == DeviceResult::Kind::WriteCounter) {
        recordCounter(portName, result, reply->before());
    } else if (reply->purpose() == Purpose::Report) {
        // The report itself is the event; its read only names the device,
        // as the link's memory holds it by now.
        if (!result.ok())
            m_recorder.recordReport(portName, QString(), deviceStatusWord(result.status));
    } else if (reply->purpose() == Purpose::Verify && !m_jobHash.isEmpty()) {
        // A job's row is checked by this read: booked at once, whatever ends
        // the run next, with the values and the counter the device showed.
        if (result.counter)
            values.insert(QStringLiteral("counter"), QString::fromLatin1(result.counter->digits));
        const QJsonObject details{{QStringLiteral("job"), m_jobHash}, {QStringLiteral("row"), m_jobRow},
                                  {QStringLiteral("readBack"), values}};
        m_recorder.recordRead(portName, result.record ? &*result.record : nullptr, counterDigitsOf(result.counter),
                              deviceStatusWord(result.status), details);
    } else if ((reply->purpose() != Purpose::Verify && reply->purpose() != Purpose::Backup) || !result.ok()) {
        recordRead(portName, result, reply->before());
    }
}

void DeviceBookKeeper::recordRead(const QString &port, const DeviceResult &result, const DeviceState &before)
{
    // A counter read alone belongs to the device read before it.
    const QString counter =
        result.counter || result.record ? counterDigitsOf(result.counter) : before.counterDigits();
    m_recorder.recordRead(port, result.record ? &*result.record : nullptr, counter, deviceStatusWord(result.status));
}

void DeviceBookKeeper::releaseWrite()
{
    if (m_writeAwaitingReadBack)
        std::exchange(m_writeAwaitingReadBack, {})(QJsonValue());
}

void DeviceBookKeeper::recordWrite(const QString &port, const DeviceResult &result, const DeviceState &before)
{
    recordWriteWith(port, result, before, QJsonValue());
}

void DeviceBookKeeper::recordWriteWith(const QString &port, const DeviceResult &result, const DeviceState &known,
                                       const QJsonValue &readBack)
{
    const ParameterRecord before = result.record ? *result.record : known.record.value_or(ParameterRecord{});
    // Only what the device acknowledged is a change. A telegram left
    // unanswered may have changed it all the same: its values stay in the
    // event, marked sent, under the event's failure. One the device refused
    // ("Fehler!") changed nothing.
    const ParameterRecord after = result.written ? *result.written
        : result.telegramUnanswered()             ? *result.sent
                                                  : before;
    const QString counterBefore = counterDigitsOf(result.counter, known.counterDigits());
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
    if (!m_jobHash.isEmpty()) {
        details.insert(QStringLiteral("job"), m_jobHash);
        details.insert(QStringLiteral("row"), m_jobRow);
    }
    if (!readBack.isNull())
        details.insert(QStringLiteral("readBack"), readBack);
    // A job's row gives a fresh device its identity: the write is booked under it.
    const ParameterRecord *named = m_jobHash.isEmpty() ? &before : &after;
    m_recorder.recordWrite(port, before, after, counterBefore, counterAfter, deviceStatusWord(result.status),
                           result.counterWritten.has_value(), details, named);
}

void DeviceBookKeeper::recordCounter(const QString &port, const DeviceResult &result, const DeviceState &before)
{
    m_recorder.recordSetCounter(port, before.counterDigits(), counterDigitsOf(result.counterWritten),
                                deviceStatusWord(result.status));
}

void DeviceBookKeeper::recordFlash(const QString &imageFile, FlashRun::Verdict verdict)
{
    const std::optional<quint16> version = m_link->memory()->state().softwareVersion();
    const QString versionBefore = version ? softwareVersionText(*version) : QString();
    // The device is read again after a flash only by a later action.
    m_recorder.recordFlash(port(), imageFile, verdictText(verdict), versionBefore, QString(),
                                flashStatusWord(verdict));
}

void DeviceBookKeeper::recordReport(const QString &pdfFile, const QString &status, const QStringList &notes)
{
    m_recorder.recordReport(port(), pdfFile, status, notes);
}

void DeviceBookKeeper::recordReportWritten(const QString &pdfFile, bool written, const QStringList &notes)
{
    if (written)
        recordReport(pdfFile, QLatin1String(kStatusOk), notes);
    else
        recordReport(QString(), exitWord(cli::ExitUsage));
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
    if (result.recorded && result.setAsidePath.isEmpty() && result.outbox.isEmpty())
        m_lastNotice.clear();
    if (!notice.isEmpty() && notice != m_lastNotice) {
        m_lastNotice = notice;
        emit bookNotice(notice);
        emit bookNoticeWords(m_recorder.message(result, 0), m_recorder.message(result, 1));
    }
    if (result.recorded && result.outbox.isEmpty())
        emit recorded(result.id);
    else
        emit missed(bookStatusWord(result.status), result.recorded);
}

} // namespace tavik7::book
