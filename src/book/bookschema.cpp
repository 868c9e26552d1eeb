#include "bookschema.h"

#include "bookevent.h"

namespace tavik7::book {

namespace {

// The columns every version shares, after id.
constexpr char kEventHead[] = "time INTEGER NOT NULL, action INTEGER NOT NULL, frontEnd INTEGER NOT NULL, "
                              "user TEXT NOT NULL, port TEXT NOT NULL, ";
constexpr char kEventTail[] = "status TEXT NOT NULL, changes TEXT NOT NULL, file TEXT NOT NULL, "
                              "sha256 TEXT NOT NULL, softwareVersion TEXT NOT NULL, counter TEXT NOT NULL, "
                              "details TEXT NOT NULL, hash BLOB NOT NULL";

QString eventsTable(const char *name, const char *identity)
{
    return QStringLiteral("CREATE TABLE %1(id INTEGER PRIMARY KEY, %2%3%4)")
        .arg(QLatin1String(name), QLatin1String(kEventHead), QLatin1String(identity), QLatin1String(kEventTail));
}

// Version 3 keeps only the identity: the summary comes from the events.
QString identityTable()
{
    return QStringLiteral("CREATE TABLE devices(id INTEGER PRIMARY KEY, serialNumber TEXT NOT NULL, "
                          "manufacturer TEXT NOT NULL, deviceType TEXT NOT NULL, "
                          "UNIQUE(serialNumber, manufacturer, deviceType))");
}

// An imported record's key is in its event, under the hash chain.
QString importedIndex()
{
    return QStringLiteral("CREATE INDEX events_imported ON events(%1) WHERE action = %2")
        .arg(QLatin1String(kImportedKeyExpression))
        .arg(int(BookAction::Import));
}

// A book holds the head from its start, so a book emptied of its events
// and head is never taken for a new one.
QString emptyHead()
{
    return QStringLiteral("INSERT INTO head(one, id, hash) SELECT 1, 0, x'' WHERE NOT EXISTS (SELECT 1 FROM head) "
                          "AND NOT EXISTS (SELECT 1 FROM events)");
}

QString devicesTable()
{
    return QStringLiteral(
        "CREATE TABLE devices(id INTEGER PRIMARY KEY, serialNumber TEXT NOT NULL, manufacturer TEXT NOT NULL, "
        "deviceType TEXT NOT NULL, lastSeen INTEGER NOT NULL DEFAULT 0, softwareVersion TEXT NOT NULL DEFAULT '', "
        "counter TEXT NOT NULL DEFAULT '', events INTEGER NOT NULL DEFAULT 0, "
        "UNIQUE(serialNumber, manufacturer, deviceType))");
}

// The last non-empty value of column among a device's events (version 1 rows).
QString lastValueOf(const char *column)
{
    return QStringLiteral("coalesce((SELECT e.%1 FROM events e WHERE e.serialNumber = devices.serialNumber "
                          "AND e.manufacturer = devices.manufacturer AND e.deviceType = devices.deviceType "
                          "AND e.%1 <> '' ORDER BY e.time DESC, e.id DESC LIMIT 1), '')")
        .arg(QLatin1String(column));
}

} // namespace

QStringList schemaStatements(int version)
{
    // The last event's number and hash: a removed last event leaves them behind.
    const QString head = QStringLiteral("CREATE TABLE head(one INTEGER PRIMARY KEY CHECK (one = 1), "
                                        "id INTEGER NOT NULL, hash BLOB NOT NULL)");
    // Version 3 leaves the marks of version 2's imports here; new imports
    // keep their key in the event.
    const QString imported = QStringLiteral("CREATE TABLE imported(key BLOB PRIMARY KEY) WITHOUT ROWID");
    if (version == 1) {
        return {eventsTable("events", "manufacturer TEXT NOT NULL, deviceType TEXT NOT NULL, "
                                      "serialNumber TEXT NOT NULL, "),
                QStringLiteral("CREATE INDEX events_serial ON events(serialNumber, time)"), head, imported,
                QStringLiteral("PRAGMA user_version = 1")};
    }
    if (version == 2) {
        return {devicesTable(), eventsTable("events", "device INTEGER NOT NULL REFERENCES devices(id), "),
                QStringLiteral("CREATE INDEX events_device ON events(device, time)"), head, imported,
                QStringLiteral("PRAGMA user_version = 2")};
    }
    return {identityTable(), eventsTable("events", "device INTEGER NOT NULL REFERENCES devices(id), "),
            QStringLiteral("CREATE INDEX events_device ON events(device, time)"), importedIndex(), head, emptyHead(),
            imported, QStringLiteral("PRAGMA user_version = 3")};
}

QStringList migrationStatements(int from)
{
    // Version 2's summary columns stay behind unused: a summary outside the
    // chain could be edited unseen.
    if (from == 2)
        return {importedIndex(), emptyHead(), QStringLiteral("PRAGMA user_version = 3")};
    if (from != 1)
        return {};
    return {devicesTable(),
            QStringLiteral("INSERT INTO devices(serialNumber, manufacturer, deviceType, lastSeen, events) "
                           "SELECT serialNumber, manufacturer, deviceType, max(time), count(*) FROM events "
                           "GROUP BY serialNumber, manufacturer, deviceType"),
            QStringLiteral("UPDATE devices SET softwareVersion = %1, counter = %2")
                .arg(lastValueOf("softwareVersion"), lastValueOf("counter")),
            eventsTable("events2", "device INTEGER NOT NULL REFERENCES devices(id), "),
            QStringLiteral("INSERT INTO events2 SELECT e.id, e.time, e.action, e.frontEnd, e.user, e.port, d.id, "
                           "e.status, e.changes, e.file, e.sha256, e.softwareVersion, e.counter, e.details, e.hash "
                           "FROM events e JOIN devices d ON d.serialNumber = e.serialNumber "
                           "AND d.manufacturer = e.manufacturer AND d.deviceType = e.deviceType"),
            QStringLiteral("DROP TABLE events"), QStringLiteral("ALTER TABLE events2 RENAME TO events"),
            QStringLiteral("CREATE INDEX events_device ON events(device, time)"),
            QStringLiteral("PRAGMA user_version = 2")};
}

} // namespace tavik7::book
