#include "bookrecorder.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>

#include "booklocation.h"
#include "countertext.h"
#include "devicememory.h"
#include "parameterfields.h"
#include "recorddiff.h"

namespace tavik7::book {

namespace {

QString identityText(const char *field, int width)
{
    const QString text = fieldText(field, width).trimmed();
    return text.isEmpty() ? QLatin1String(kUnknownIdentity) : text;
}

} // namespace

QList<BookChange> recordChanges(const ParameterRecord &before, const ParameterRecord &after,
                                const QString &counterBefore, const QString &counterAfter)
{
    QList<BookChange> changes;
    for (int field : differingFields(before, after)) {
        changes.append({QLatin1String(kParameterFields[field].jsonKey),
                        QString::fromLatin1(settingsFileValue(before, field)),
                        QString::fromLatin1(settingsFileValue(after, field))});
    }
    if (counterBefore != counterAfter)
        changes.append({QStringLiteral("counter"), counterBefore, counterAfter});
    return changes;
}

QString fileSha256(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return {};
    return QString::fromLatin1(hash.result().toHex());
}

BookRecorder::BookRecorder(FrontEnd frontEnd, BookWriter *writer, const DeviceMemory *memory)
    : m_frontEnd(frontEnd), m_writer(writer), m_memory(memory)
{
}

BookEvent BookRecorder::newEvent(BookAction action, const QString &port, const QString &status,
                                 const ParameterRecord *device) const
{
    // A memory of another port speaks of another device.
    if (!device && m_memory && m_memory->portName() == port && m_memory->record())
        device = &*m_memory->record();
    BookEvent event;
    event.timeMs = QDateTime::currentMSecsSinceEpoch();
    event.uuid = newEventUuid();
    event.station = stationName();
    event.action = action;
    event.frontEnd = m_frontEnd;
    event.user = loginName();
    event.technician = m_technician;
    if (action == BookAction::Write || action == BookAction::SetCounter || action == BookAction::Flash)
        event.reason = m_reason;
    event.port = port;
    static const ParameterRecord nobody{}; // every identity field empty: unknown
    const ParameterRecord &named = device ? *device : nobody;
    event.manufacturer = identityText(named.manufacturer, kManufacturerWidth);
    event.deviceType = identityText(named.deviceType, kDeviceTypeWidth);
    event.serialNumber = identityText(named.serialNumber, kSerialNumberWidth);
    event.status = status;
    return event;
}

void BookRecorder::recordEvent(const BookEvent &event)
{
    m_writer->write(event);
}

void BookRecorder::recordRead(const QString &port, const ParameterRecord *record, const QString &counter,
                                    const QString &status, const QJsonObject &details)
{
    BookEvent event = newEvent(BookAction::Read, port, status, record);
    event.details = details;
    if (record)
        event.softwareVersion = softwareVersionText(record->softwareVersion);
    event.counter = counter;
    recordEvent(event);
}

void BookRecorder::recordWrite(const QString &port, const ParameterRecord &before, const ParameterRecord &after,
                                     const QString &counterBefore, const QString &counterAfter, const QString &status,
                                     bool counterWritten, const QJsonObject &details, const ParameterRecord *named)
{
    // named: the identity the event goes under when it is not the one before.
    BookEvent event = newEvent(BookAction::Write, port, status, named ? named : &before);
    event.details = details;
    event.changes = recordChanges(before, after, counterBefore, counterAfter);
    if (counterWritten && counterBefore == counterAfter)
        event.changes.append({QStringLiteral("counter"), counterBefore, counterAfter});
    if (status == QLatin1String(kStatusOk))
        event.counter = counterAfter;
    recordEvent(event);
}

void BookRecorder::recordSetCounter(const QString &port, const QString &counterBefore,
                                          const QString &counterAfter, const QString &status)
{
    BookEvent event = newEvent(BookAction::SetCounter, port, status);
    event.changes = {{QStringLiteral("counter"), counterBefore, counterAfter}};
    if (status == QLatin1String(kStatusOk))
        event.counter = counterAfter;
    recordEvent(event);
}

void BookRecorder::recordFlash(const QString &port, const QString &imageFile, const QString &verdict,
                                     const QString &versionBefore, const QString &versionAfter, const QString &status)
{
    BookEvent event = newEvent(BookAction::Flash, port, status);
    event.file = QFileInfo(imageFile).absoluteFilePath();
    event.sha256 = fileSha256(imageFile);
    event.details = {{QStringLiteral("verdict"), verdict},
                     {QStringLiteral("versionBefore"), versionBefore},
                     {QStringLiteral("versionAfter"), versionAfter}};
    if (versionBefore != versionAfter && !versionAfter.isEmpty())
        event.changes = {{QStringLiteral("softwareVersion"), versionBefore, versionAfter}};
    event.softwareVersion = versionAfter;
    recordEvent(event);
}

void BookRecorder::recordReport(const QString &port, const QString &pdfFile, const QString &status,
                                const QStringList &notes)
{
    BookEvent event = newEvent(BookAction::Report, port, status);
    event.file = QFileInfo(pdfFile).absoluteFilePath();
    event.sha256 = fileSha256(pdfFile);
    // Lines left empty at the end are no part of what the report says.
    QStringList lines = notes;
    while (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    if (!lines.isEmpty())
        event.details.insert(QStringLiteral("notes"), QJsonArray::fromStringList(lines));
    recordEvent(event);
}

void BookRecorder::recordBackup(const QString &port, const QString &backupFile, const QString &status)
{
    BookEvent event = newEvent(BookAction::Backup, port, status);
    event.file = QFileInfo(backupFile).absoluteFilePath();
    event.sha256 = fileSha256(backupFile);
    recordEvent(event);
}

void BookRecorder::recordRestore(const QString &port, const QString &backupFile, const ParameterRecord &before,
                                       const ParameterRecord &after, const QString &status)
{
    BookEvent event = newEvent(BookAction::Restore, port, status);
    event.file = QFileInfo(backupFile).absoluteFilePath();
    event.sha256 = fileSha256(backupFile);
    event.changes = recordChanges(before, after);
    recordEvent(event);
}

void BookRecorder::recordNamur(const QString &port, qint64 startMs, qint64 endMs, int telegrams,
                                     const QString &logFile, const QString &status)
{
    BookEvent event = newEvent(BookAction::Namur, port, status);
    event.details = {{QStringLiteral("start"), isoTimeText(startMs)},
                     {QStringLiteral("end"), isoTimeText(endMs)},
                     {QStringLiteral("telegrams"), telegrams},
                     {QStringLiteral("log"), logFile.isEmpty() ? QString() : QFileInfo(logFile).absoluteFilePath()}};
    recordEvent(event);
}

QString BookRecorder::message(const BookResult &result, int language) const
{
    return bookResultMessage(result, m_writer->bookPath(), language);
}

} // namespace tavik7::book
