#include "devicebook.h"

#include <QFile>
#include <QHash>
#include <QSqlError>
#include <QVariant>

#include <iterator>

#include "booklocation.h"
#include "bookstatements.h"
#include "historyimport.h"
#include "outbox.h"
#include "texttable.h"

namespace tavik7::book {

namespace {

// A device row whose identity was read, not taken as "unknown".
constexpr char kKnownDevice[] = "NOT (k.manufacturer = 'unknown' AND k.deviceType = 'unknown')";

// The columns of an event with its device's identity, in StoredEvent's
// order; a book before version 4 has no uuid, station or role to give.
QString eventColumns(int version)
{
    return QStringLiteral("e.id, e.time, e.action, e.frontEnd, e.\"user\", e.port, d.manufacturer, d.deviceType, "
                          "d.serialNumber, e.status, e.changes, e.file, e.sha256, e.softwareVersion, e.counter, "
                          "e.details, %1")
        .arg(version >= 4 ? QStringLiteral("e.uuid, e.station, e.role") : QStringLiteral("'', '', ''"));
}
constexpr int kEventColumnCount = 19;

StoredEvent storedFromQuery(const QSqlQuery &q, qint64 oldHashUpTo)
{
    StoredEvent stored{q.value(0).toLongLong(), q.value(1).toLongLong(), q.value(2).toInt(), q.value(3).toInt(),
                       q.value(4).toString(),   q.value(5).toString(),   q.value(6).toString(), q.value(7).toString(),
                       q.value(8).toString(),   q.value(9).toString(),   q.value(10).toString().toUtf8(),
                       q.value(11).toString(),  q.value(12).toString(),  q.value(13).toString(), q.value(14).toString(),
                       q.value(15).toString().toUtf8(), q.value(16).toString(), q.value(17).toString(),
                       q.value(18).toString()};
    stored.hashesOrigin = stored.id > oldHashUpTo;
    return stored;
}

// LIKE takes the text literally: its own wildcards and the escape are escaped.
QString containsPattern(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    escaped.replace(QLatin1Char('%'), QStringLiteral("\\%"));
    escaped.replace(QLatin1Char('_'), QStringLiteral("\\_"));
    return QLatin1Char('%') + escaped + QLatin1Char('%');
}

// Which device a device row's events count with: a row of "unknown"
// identity goes with the one known device of its serial number (its events
// were imported before that device was read), every other row with itself.
// Worded per row, so that each lookup stays on the serial number's index:
// a table of owners for every device was scanned once per device listed.
QString ownerOf(const QString &row)
{
    QString known = QString::fromLatin1(kKnownDevice);
    return QStringLiteral("(CASE WHEN NOT (%1) THEN coalesce((SELECT min(k.id) FROM devices k "
                          "WHERE k.serialNumber = %2.serialNumber AND %3 HAVING count(*) = 1), %2.id) "
                          "ELSE %2.id END)")
        .arg(known.replace(QLatin1String("k."), row + QLatin1Char('.')), row, QLatin1String(kKnownDevice));
}

// The device rows whose events count with device row d (d among them when it
// owns itself).
QString membersOf(const QString &device)
{
    return QStringLiteral("(SELECT m.id FROM devices m WHERE m.serialNumber = %1.serialNumber AND %2 = %1.id)")
        .arg(device, ownerOf(QStringLiteral("m")));
}

// A device row that owns its events is listed; one whose events count with
// another is not.
QString ownsItself(const QString &device)
{
    return QStringLiteral("%1 = %2.id").arg(ownerOf(device), device);
}

// A device's summary from its events (and those it owns): when last seen,
// the software version and counter last read, how many events.
QString summaryColumns()
{
    const QString events = QStringLiteral("FROM events e WHERE e.device IN %1").arg(membersOf(QStringLiteral("d")));
    const QString last = QStringLiteral("coalesce((SELECT e.%1 %2 AND e.%1 <> '' ORDER BY e.time DESC, e.id DESC "
                                        "LIMIT 1), '')");
    return QStringLiteral("(SELECT max(e.time) %1) AS lastSeen, %2 AS softwareVersion, %3 AS counter, "
                          "(SELECT count(*) %1) AS events")
        .arg(events, last.arg(QStringLiteral("softwareVersion"), events), last.arg(QStringLiteral("counter"), events));
}

QString actionCase()
{
    QString sql = QStringLiteral("CASE e.action");
    for (int action = 0; action <= int(BookAction::Import); ++action)
        sql += QStringLiteral(" WHEN %1 THEN '%2'").arg(action).arg(actionName(BookAction(action)));
    return sql + QStringLiteral(" END");
}

} // namespace

// The history names a device by serial number alone, unless a record
// changed its manufacturer or type. Otherwise its records join the one
// device known under that serial number.
void DeviceBook::takeIdentity(BookEvent &event) const
{
    for (const BookChange &change : std::as_const(event.changes)) {
        if (change.key == QLatin1String("manufacturer") && !change.newValue.isEmpty())
            event.manufacturer = change.newValue;
        else if (change.key == QLatin1String("deviceType") && !change.newValue.isEmpty())
            event.deviceType = change.newValue;
    }
    if (event.manufacturer != QLatin1String(kUnknownIdentity) || event.deviceType != QLatin1String(kUnknownIdentity))
        return;
    QSqlQuery q(database());
    q.prepare(QStringLiteral("SELECT k.manufacturer, k.deviceType FROM devices k WHERE k.serialNumber = ? AND %1")
                  .arg(QLatin1String(kKnownDevice)));
    q.bindValue(0, event.serialNumber);
    if (!q.exec() || !q.next())
        return;
    const QString manufacturer = q.value(0).toString();
    const QString deviceType = q.value(1).toString();
    if (q.next()) // two devices share the number: which one is not known
        return;
    event.manufacturer = manufacturer;
    event.deviceType = deviceType;
}

BookResult DeviceBook::importInto(const QString &file, FrontEnd frontEnd, int *imported)
{
    int added = 0;
    if (imported)
        *imported = 0;
    QFile input(file);
    if (file.isEmpty() || !input.open(QIODevice::ReadOnly))
        return {BookStatus::BadFile, false, {}, input.errorString(), 0};
    Statements &s = *m_statements;
    for (ImportedRecord &record : parseChangeHistory(input.readAll())) {
        const QString key = QString::fromLatin1(record.key.toHex());
        if (!bindAndRun(s.imported, {key, record.key}))
            return failure(s.imported.lastError());
        const bool known = s.imported.next();
        s.imported.finish();
        if (known)
            continue;
        record.event.frontEnd = frontEnd;
        record.event.user = loginName();
        record.event.details.insert(QStringLiteral("source"), file);
        record.event.details.insert(QStringLiteral("record"), key);
        takeIdentity(record.event);
        const BookResult inserted = insertEvent(record.event);
        if (inserted.status != BookStatus::Ok)
            return inserted;
        ++added;
    }
    if (imported)
        *imported = added;
    return {BookStatus::Ok, true, {}, {}, 0};
}

BookResult DeviceBook::importChangeHistory(const QString &file, FrontEnd frontEnd, int *imported)
{
    if (const BookResult ready = readyToWrite(); !ready.recorded)
        return ready;
    // One transaction: an import that fails half-way leaves nothing behind.
    return transaction([&] { return importInto(file, frontEnd, imported); });
}

QList<DeviceSummary> DeviceBook::devices(const QString &serialPrefix, BookResult *failed) const
{
    QList<DeviceSummary> found;
    QSqlQuery q(database());
    q.setForwardOnly(true);
    // A range on the serial number's index; char(1114111) sorts after every
    // character a serial number can continue with.
    const QString inRange = QStringLiteral("d.serialNumber >= :prefix AND d.serialNumber < CAST(:prefix AS TEXT) || %1")
                                .arg(QLatin1String(dialect(m_driver).lastCharacter));
    q.prepare(QStringLiteral("SELECT d.id, d.manufacturer, d.deviceType, d.serialNumber, %1 FROM devices d "
                             "WHERE %2 AND %3 ORDER BY d.serialNumber, d.manufacturer, d.deviceType")
                  .arg(summaryColumns(), inRange, ownsItself(QStringLiteral("d"))));
    // No prefix is every device: a null text would bind as NULL and match none.
    q.bindValue(QStringLiteral(":prefix"), serialPrefix.isNull() ? QStringLiteral("") : serialPrefix);
    for (bool more = q.exec() && q.next(); more; more = q.next()) {
        found.append({q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toString(), q.value(3).toString(),
                      q.value(4).toLongLong(), q.value(5).toString(), q.value(6).toString(),
                      q.value(7).toLongLong()});
    }
    // A damaged page ends the rows early: no part of a list passes for all of it.
    if (!q.lastError().isValid())
        return found;
    if (failed)
        *failed = failure(q.lastError());
    return {};
}

QList<BookEvent> DeviceBook::history(const QString &serialNumber, qint64 sinceMs, BookResult *failed) const
{
    QList<BookEvent> events;
    QSqlQuery q(database());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1 FROM devices d JOIN events e ON e.device = d.id "
                             "WHERE d.serialNumber = ? AND e.time >= ? ORDER BY e.time, e.id")
                  .arg(eventColumns(m_version)));
    q.bindValue(0, serialNumber);
    q.bindValue(1, sinceMs);
    for (bool more = q.exec() && q.next(); more; more = q.next())
        events.append(eventFromStored(storedFromQuery(q, m_oldHashUpTo)));
    if (!q.lastError().isValid())
        return events;
    if (failed)
        *failed = failure(q.lastError());
    return {};
}

QList<BookEvent> DeviceBook::deviceHistory(const QString &serialNumber, const QString &manufacturer,
                                           const QString &deviceType) const
{
    // Serial numbers are the maker's own: another maker's or type's device
    // may carry the same one.
    QList<BookEvent> events = history(serialNumber);
    events.removeIf([&](const BookEvent &event) {
        return event.manufacturer != manufacturer || event.deviceType != deviceType;
    });
    return events;
}

QList<BookEvent> DeviceBook::events(qint64 afterId, int limit, BookResult *failed) const
{
    QList<BookEvent> events;
    QSqlQuery q(database());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1 FROM events e JOIN devices d ON d.id = e.device WHERE e.id > ? "
                             "ORDER BY e.id LIMIT ?")
                  .arg(eventColumns(m_version)));
    q.bindValue(0, afterId);
    q.bindValue(1, limit);
    for (bool more = q.exec() && q.next(); more; more = q.next())
        events.append(eventFromStored(storedFromQuery(q, m_oldHashUpTo)));
    if (!q.lastError().isValid())
        return events;
    if (failed)
        *failed = failure(q.lastError());
    return {};
}

namespace {

// A text column's UTF-8, however the driver handed it over.
QByteArray utf8Of(const QVariant &value)
{
    return value.typeId() == QMetaType::QByteArray ? value.toByteArray() : value.toString().toUtf8();
}

struct DeviceBytes
{
    QByteArray manufacturer, deviceType, serialNumber;
};

} // namespace

// Ids count up by one: a gap is a removed event even if the rest were
// hashed again. The events are read alone, each device's identity once
// beforehand, and hashed from their bytes: millions of rows pass here.
VerifyResult DeviceBook::verify(const std::atomic<bool> *stop) const
{
    VerifyResult result;
    const auto failed = [&result, this](const QSqlError &error) {
        const BookResult why = failure(error);
        result.status = why.status;
        result.detail = why.detail;
        return result;
    };
    const BookDialect &sql = dialect(m_driver);
    const auto bytes = [&sql](const char *column) {
        return QString::fromLatin1(sql.textBytes).arg(QLatin1String(column));
    };
    QSqlQuery q(database());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT id, %1, %2, %3 FROM devices")
                    .arg(bytes("manufacturer"), bytes("deviceType"), bytes("serialNumber"))))
        return failed(q.lastError());
    QHash<qint64, DeviceBytes> devices;
    while (q.next())
        devices.insert(q.value(0).toLongLong(), {utf8Of(q.value(1)), utf8Of(q.value(2)), utf8Of(q.value(3))});
    if (q.lastError().isValid())
        return failed(q.lastError());
    QStringList texts;
    for (const char *column : {"\"user\"", "port", "status", "changes", "file", "sha256", "softwareVersion", "counter",
                               "details"})
        texts.append(bytes(column));
    for (const char *column : {"uuid", "station", "role"})
        texts.append(m_version >= 4 ? bytes(column) : QString::fromLatin1(sql.textBytes).arg(QLatin1String("''")));
    if (!q.exec(QStringLiteral("SELECT id, time, action, frontEnd, device, hash, %1 FROM events ORDER BY id")
                    .arg(texts.join(QStringLiteral(", ")))))
        return failed(q.lastError());
    QByteArray previous;
    qint64 lastId = 0;
    qint64 keyless = 0; // import events of a version 2 book, marked outside
    std::array<QByteArray, 12> own;
    while (q.next()) {
        if (stop && stop->load(std::memory_order_relaxed)) {
            result.status = BookStatus::Failed;
            result.detail = QStringLiteral("stopped");
            return result;
        }
        const qint64 id = q.value(0).toLongLong();
        const int action = q.value(2).toInt();
        const QByteArray hash = q.value(5).toByteArray();
        for (size_t i = 0; i < own.size(); ++i)
            own[i] = utf8Of(q.value(int(6 + i)));
        ++result.events;
        const auto device = devices.constFind(q.value(4).toLongLong());
        // An event whose device row is gone reads as gone itself, as it
        // would in a listing.
        const bool intact = id == lastId + 1 && device != devices.cend()
            && chainHash(previous, {id, q.value(1).toLongLong(), action, q.value(3).toLongLong()},
                         {own[0], own[1], device->manufacturer, device->deviceType, device->serialNumber, own[2],
                          own[3], own[4], own[5], own[6], own[7], own[8], own[9], own[10], own[11]},
                         id > m_oldHashUpTo)
                == hash;
        if (!intact) {
            result.broken = ChainBreak::Event;
            result.firstBadId = id != lastId + 1 ? qMin(id, lastId + 1) : id;
            return result;
        }
        if (action == int(BookAction::Import) && !own[8].contains("\"record\""))
            ++keyless;
        previous = hash;
        lastId = id;
    }
    // A damaged page ends the rows early, like removed events would.
    if (q.lastError().isValid())
        return failed(q.lastError());
    QSqlQuery head(database());
    QSqlQuery marks(database());
    if (!head.exec(QStringLiteral("SELECT id, hash FROM head"))
        || !marks.exec(QStringLiteral("SELECT count(*) FROM imported")) || !marks.next())
        return failed(head.lastError().isValid() ? head.lastError() : marks.lastError());
    // A version 2 book that never had an event has no head yet.
    if (!head.next()) {
        if (lastId > 0 || m_version >= 3)
            result.broken = ChainBreak::HeadMissing;
        return result;
    }
    const qint64 headId = head.value(0).toLongLong();
    if (headId > lastId) {
        // The last events removed: the head still names the newest one.
        result.broken = ChainBreak::EventsMissing;
        result.firstBadId = lastId + 1;
        result.lastMissingId = headId;
    } else if (headId != lastId || head.value(1).toByteArray() != previous) {
        result.broken = ChainBreak::Event;
        result.firstBadId = headId + 1;
    } else if (marks.value(0).toLongLong() != keyless) {
        // A mark added keeps a record out of the next import; one removed
        // takes it in twice.
        result.broken = ChainBreak::ImportMarkers;
    }
    return result;
}

bool DeviceBook::lastKnownOnPort(const QString &port, BookEvent *event) const
{
    QSqlQuery q(database());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT d.manufacturer, d.deviceType, d.serialNumber FROM events e "
                             "JOIN devices d ON d.id = e.device WHERE e.port = ? AND d.serialNumber <> ? "
                             "ORDER BY e.id DESC LIMIT 1"));
    q.bindValue(0, port);
    q.bindValue(1, QLatin1String(kUnknownIdentity));
    if (!q.exec() || !q.next())
        return false;
    event->manufacturer = q.value(0).toString();
    event->deviceType = q.value(1).toString();
    event->serialNumber = q.value(2).toString();
    return true;
}

QSqlQuery DeviceBook::deviceSearchQuery(const QString &text) const
{
    QSqlQuery q(database());
    const BookDialect &sql = dialect(m_driver);
    const QString where = text.isEmpty()
        ? QString()
        : QStringLiteral(" AND (d.serialNumber %1 :text ESCAPE '\\' OR d.manufacturer %1 :text ESCAPE '\\' "
                         "OR d.deviceType %1 :text ESCAPE '\\')")
              .arg(QLatin1String(sql.like));
    q.prepare(QStringLiteral("SELECT d.id, d.serialNumber, d.manufacturer, d.deviceType, %4, "
                             "softwareVersion, counter, events FROM (SELECT d.id, d.serialNumber, d.manufacturer, "
                             "d.deviceType, %1 FROM devices d WHERE %2%3) d "
                             "ORDER BY d.serialNumber")
                  .arg(summaryColumns(), ownsItself(QStringLiteral("d")), where,
                       QString::fromLatin1(sql.localTime).arg(QLatin1String("lastSeen"))));
    if (!text.isEmpty())
        q.bindValue(QStringLiteral(":text"), containsPattern(text));
    q.exec();
    return q;
}

QSqlQuery DeviceBook::deviceEventsQuery(qint64 deviceId) const
{
    QSqlQuery q(database());
    const BookDialect &sql = dialect(m_driver);
    const auto detail = [&sql](const char *key) { return QString::fromLatin1(sql.detailText).arg(QLatin1String(key)); };
    q.prepare(QStringLiteral("SELECT e.id, %3, %1, CASE e.frontEnd WHEN 0 THEN 'window' ELSE 'cli' END, e.\"user\", "
                             "e.port, e.status, %4, e.file, e.sha256, %5, %6 FROM events e WHERE e.device IN "
                             "(SELECT m.id FROM devices o JOIN devices m ON m.serialNumber = o.serialNumber "
                             "WHERE o.id = :device AND %2 = o.id) ORDER BY e.time, e.id")
                  .arg(actionCase(), ownerOf(QStringLiteral("m")),
                       QString::fromLatin1(sql.localTimeMs).arg(QLatin1String("e.time")),
                       QString::fromLatin1(sql.changeLines).arg(QLatin1String("e.changes")), detail("technician"),
                       detail("reason")));
    q.bindValue(QStringLiteral(":device"), deviceId);
    q.exec();
    return q;
}

} // namespace tavik7::book
