#include "devicebook.h"

#include <QFile>
#include <QSqlError>
#include <QVariant>

#include "booklocation.h"
#include "bookstatements.h"
#include "historyimport.h"
#include "texttable.h"

namespace tavik7::book {

namespace {

// The columns of an event with its device's identity, in StoredEvent's order.
constexpr char kEventColumns[] =
    "e.id, e.time, e.action, e.frontEnd, e.user, e.port, d.manufacturer, d.deviceType, d.serialNumber, "
    "e.status, e.changes, e.file, e.sha256, e.softwareVersion, e.counter, e.details";

StoredEvent storedFromQuery(const QSqlQuery &q)
{
    return {q.value(0).toLongLong(), q.value(1).toLongLong(), q.value(2).toInt(), q.value(3).toInt(),
            q.value(4).toString(),   q.value(5).toString(),   q.value(6).toString(), q.value(7).toString(),
            q.value(8).toString(),   q.value(9).toString(),   q.value(10).toString().toUtf8(),
            q.value(11).toString(),  q.value(12).toString(),  q.value(13).toString(), q.value(14).toString(),
            q.value(15).toString().toUtf8()};
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

QString actionCase()
{
    QString sql = QStringLiteral("CASE e.action");
    for (int action = 0; action <= int(BookAction::Import); ++action)
        sql += QStringLiteral(" WHEN %1 THEN '%2'").arg(action).arg(actionName(BookAction(action)));
    return sql + QStringLiteral(" END");
}

} // namespace

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
        if (!bindAndRun(s.imported, {record.key}))
            return failure(s.imported.lastError());
        const bool known = s.imported.next();
        s.imported.finish();
        if (known)
            continue;
        record.event.frontEnd = frontEnd;
        record.event.user = loginName();
        record.event.details.insert(QStringLiteral("source"), file);
        const BookResult inserted = insertEvent(record.event);
        if (inserted.status != BookStatus::Ok)
            return inserted;
        if (!bindAndRun(s.addImported, {record.key}))
            return failure(s.addImported.lastError());
        ++added;
    }
    if (imported)
        *imported = added;
    return {BookStatus::Ok, true, {}, {}, 0};
}

BookResult DeviceBook::importChangeHistory(const QString &file, FrontEnd frontEnd, int *imported)
{
    if (!isOpen()) {
        const BookResult reopened = open(m_path, m_changeHistoryPath, m_frontEnd);
        if (!reopened.recorded)
            return reopened;
    }
    // One transaction: an import that fails half-way leaves nothing behind.
    return transaction([&] { return importInto(file, frontEnd, imported); });
}

QList<DeviceSummary> DeviceBook::devices(const QString &serialPrefix) const
{
    QList<DeviceSummary> found;
    QSqlQuery q(database());
    // A range on the serial number's index; char(1114111) sorts after every
    // character a serial number can continue with.
    q.prepare(QStringLiteral("SELECT id, manufacturer, deviceType, serialNumber, lastSeen, softwareVersion, counter, "
                             "events FROM devices WHERE serialNumber >= ? AND serialNumber < ? || char(1114111) "
                             "ORDER BY serialNumber, manufacturer, deviceType"));
    q.bindValue(0, serialPrefix);
    q.bindValue(1, serialPrefix);
    if (!q.exec())
        return found;
    while (q.next()) {
        found.append({q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toString(), q.value(3).toString(),
                      q.value(4).toLongLong(), q.value(5).toString(), q.value(6).toString(),
                      q.value(7).toLongLong()});
    }
    return found;
}

QList<BookEvent> DeviceBook::history(const QString &serialNumber, qint64 sinceMs) const
{
    QList<BookEvent> events;
    QSqlQuery q(database());
    q.prepare(QStringLiteral("SELECT %1 FROM devices d JOIN events e ON e.device = d.id "
                             "WHERE d.serialNumber = ? AND e.time >= ? ORDER BY e.time, e.id")
                  .arg(QLatin1String(kEventColumns)));
    q.bindValue(0, serialNumber);
    q.bindValue(1, sinceMs);
    if (!q.exec())
        return events;
    while (q.next())
        events.append(eventFromStored(storedFromQuery(q)));
    return events;
}

VerifyResult DeviceBook::verify() const
{
    VerifyResult result;
    QSqlQuery q(database());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT %1, e.hash FROM events e JOIN devices d ON d.id = e.device ORDER BY e.id")
                    .arg(QLatin1String(kEventColumns)))) {
        result.status = failure(q.lastError()).status;
        return result;
    }
    QByteArray previous;
    qint64 lastId = 0;
    while (q.next()) {
        const StoredEvent stored = storedFromQuery(q);
        const QByteArray hash = q.value(16).toByteArray();
        ++result.events;
        // Ids count up by one: a gap is a removed event even if the rest
        // were hashed again.
        if (stored.id != lastId + 1 || chainHash(previous, stored) != hash) {
            result.firstBadId = stored.id != lastId + 1 ? qMin(stored.id, lastId + 1) : stored.id;
            return result;
        }
        previous = hash;
        lastId = stored.id;
    }
    QSqlQuery head(database());
    head.exec(QStringLiteral("SELECT id, hash FROM head"));
    const bool hasHead = head.next();
    const qint64 headId = hasHead ? head.value(0).toLongLong() : 0;
    // The last events removed: the head still names the newest one.
    if (headId != lastId || (hasHead && head.value(1).toByteArray() != previous))
        result.firstBadId = qMin(headId, lastId) + 1;
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
    const QString where = text.isEmpty()
        ? QString()
        : QStringLiteral(" WHERE serialNumber LIKE ? ESCAPE '\\' OR manufacturer LIKE ? ESCAPE '\\' "
                         "OR deviceType LIKE ? ESCAPE '\\'");
    q.prepare(QStringLiteral("SELECT id, serialNumber, manufacturer, deviceType, "
                             "strftime('%Y-%m-%d %H:%M:%S', lastSeen / 1000, 'unixepoch', 'localtime'), "
                             "softwareVersion, counter, events FROM devices%1 ORDER BY serialNumber")
                  .arg(where));
    for (int i = 0; !text.isEmpty() && i < 3; ++i)
        q.bindValue(i, containsPattern(text));
    q.exec();
    return q;
}

QSqlQuery DeviceBook::deviceEventsQuery(qint64 deviceId) const
{
    QSqlQuery q(database());
    q.prepare(QStringLiteral(
                  "SELECT e.id, strftime('%Y-%m-%d %H:%M:%f', e.time / 1000.0, 'unixepoch', 'localtime'), %1, "
                  "CASE e.frontEnd WHEN 0 THEN 'window' ELSE 'cli' END, e.user, e.port, e.status, "
                  "(SELECT group_concat(json_extract(j.value, '$[0]') || ': ' || json_extract(j.value, '$[1]') "
                  "|| ' -> ' || json_extract(j.value, '$[2]'), char(10)) FROM json_each(e.changes) j), "
                  "e.file, e.sha256 FROM events e WHERE e.device = ? ORDER BY e.time, e.id")
                  .arg(actionCase()));
    q.bindValue(0, deviceId);
    q.exec();
    return q;
}

QString bookStatusText(BookStatus status, int language)
{
    static const char *const texts[][2] = {
        {"in Ordnung", "ok"},
        {"keine SQLite-Datenbank", "not an SQLite database"},
        {"beschädigt", "corrupt"},
        {"schreibgeschützt", "read-only"},
        {"kein Platz (Datenträger voll)", "no room to write (disk full)"},
        {"ein Link oder keine reguläre Datei", "a link or not a regular file"},
        {"länger als 10 s von einem anderen Programm belegt", "busy for longer than 10 s"},
        {"von einer neueren Programmversion", "written by a newer version"},
        {"Datei nicht lesbar", "file cannot be read"},
        {"SQLite-Fehler", "SQLite error"},
        {"Ordner fehlt", "folder missing"},
    };
    return QString::fromUtf8(texts[int(status)][language == German ? 0 : 1]);
}

QString bookStatusWord(BookStatus status)
{
    static const char *const words[] = {"ok",   "notSqlite", "corrupt", "readOnly", "diskFull", "link",
                                        "busy", "tooNew",    "badFile", "failed",   "noFolder"};
    return QLatin1String(words[int(status)]);
}

QString bookResultMessage(const BookResult &result, const QString &bookPath, int language)
{
    const bool german = language == German;
    const QString why = bookStatusText(result.status, language)
        + (result.detail.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(result.detail));
    if (result.recorded && !result.setAsidePath.isEmpty()) {
        return (german ? QStringLiteral("Gerätebuch %1 war %2; aufbewahrt als %3, neues Gerätebuch begonnen.")
                       : QStringLiteral("Device book %1 was %2; kept as %3, a new book was started."))
            .arg(bookPath, why, result.setAsidePath);
    }
    if (result.recorded)
        return {};
    return (german ? QStringLiteral("Gerätebuch %1 hat diesen Vorgang nicht aufgenommen: %2.")
                   : QStringLiteral("Device book %1 missed this action: %2."))
        .arg(bookPath, why);
}

} // namespace tavik7::book
