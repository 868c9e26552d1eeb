#include "bookschema.h"

#include "bookevent.h"
#include "devicebook.h"

namespace tavik7::book {

namespace {

constexpr BookDialect kFileDialect{
    "QSQLITE",
    "BEGIN IMMEDIATE",
    "SELECT id, hash FROM head",
    "json_extract(details, '$.record')",
    "char(1114111)",
    "LIKE",
    "SELECT name FROM sqlite_master WHERE type = 'table'",
    "strftime('%Y-%m-%d %H:%M:%S', %1 / 1000, 'unixepoch', 'localtime')",
    "strftime('%Y-%m-%d %H:%M:%f', %1 / 1000.0, 'unixepoch', 'localtime')",
    "(SELECT group_concat(json_extract(j.value, '$[0]') || ': ' || json_extract(j.value, '$[1]') || ' -> ' "
    "|| json_extract(j.value, '$[2]'), char(10)) FROM json_each(%1) j)",
    "coalesce(json_extract(nullif(e.details, ''), '$.%1'), '')",
    // A blob comes as it is stored; a text Qt would turn into UTF-16 first.
    "CAST(%1 AS BLOB)",
};

// The head row is the chain's lock: whoever holds it numbers the next event.
// The session's time zone is the workstation's (set when connecting).
constexpr BookDialect kServerDialect{
    "QPSQL",
    "BEGIN",
    "SELECT id, hash FROM head WHERE one = 1 FOR UPDATE",
    "(CASE WHEN action = 8 THEN details::json ->> 'record' END)",
    "chr(1114111)",
    "ILIKE",
    "SELECT tablename FROM pg_catalog.pg_tables WHERE schemaname = current_schema()",
    "to_char(to_timestamp(%1 / 1000.0), 'YYYY-MM-DD HH24:MI:SS')",
    "to_char(to_timestamp(%1 / 1000.0), 'YYYY-MM-DD HH24:MI:SS.MS')",
    "(SELECT string_agg((j ->> 0) || ': ' || (j ->> 1) || ' -> ' || (j ->> 2), chr(10)) "
    "FROM json_array_elements(%1::json) j)",
    "coalesce(nullif(e.details, '')::json ->> '%1', '')",
    "%1",
};
static_assert(int(BookAction::Import) == 8, "the server's key expression names the import action");

// The columns every version shares, after id.
constexpr char kEventHead[] = "time INTEGER NOT NULL, action INTEGER NOT NULL, frontEnd INTEGER NOT NULL, "
                              "user TEXT NOT NULL, port TEXT NOT NULL, ";
constexpr char kEventTail[] = "status TEXT NOT NULL, changes TEXT NOT NULL, file TEXT NOT NULL, "
                              "sha256 TEXT NOT NULL, softwareVersion TEXT NOT NULL, counter TEXT NOT NULL, "
                              "details TEXT NOT NULL, hash BLOB NOT NULL";

// Version 4's columns; an event's uuid is unique in its book.
constexpr char kEventOrigin[] = ", uuid TEXT NOT NULL DEFAULT '', station TEXT NOT NULL DEFAULT '', "
                                "role TEXT NOT NULL DEFAULT ''";

QString eventsTable(const char *name, const char *identity, const char *more = "")
{
    return QStringLiteral("CREATE TABLE %1(id INTEGER PRIMARY KEY, %2%3%4%5)")
        .arg(QLatin1String(name), QLatin1String(kEventHead), QLatin1String(identity), QLatin1String(kEventTail),
             QLatin1String(more));
}

// The events up to this number were hashed before uuid and station were:
// 0 in a book created at version 4.
QStringList bookInfo(const QString &oldHashUpTo)
{
    return QStringList{QStringLiteral("CREATE TABLE bookinfo(name TEXT PRIMARY KEY, value TEXT NOT NULL)"),
            QStringLiteral("INSERT INTO bookinfo(name, value) VALUES('oldHashUpTo', %1)").arg(oldHashUpTo)};
}

// A random version 4 uuid from SQLite's own generator, for events that
// were recorded without one.
QString sqliteUuid()
{
    return QStringLiteral("lower(hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || "
                          "substr(hex(randomblob(2)), 2) || '-' || substr('89AB', 1 + abs(random() % 4), 1) || "
                          "substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6)))");
}

// Version 3 keeps only the identity: the summary comes from the events.
QString identityTable()
{
    return QStringLiteral("CREATE TABLE devices(id INTEGER PRIMARY KEY, serialNumber TEXT NOT NULL, "
                          "manufacturer TEXT NOT NULL, deviceType TEXT NOT NULL, "
                          "UNIQUE(serialNumber, manufacturer, deviceType))");
}

// An imported record's key is in its event, under the hash chain.
QString importedIndex(BookDriver driver = BookDriver::File)
{
    return QStringLiteral("CREATE INDEX events_imported ON events(%1) WHERE action = %2")
        .arg(QLatin1String(dialect(driver).importedKey))
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
    if (version == 3) {
        return {identityTable(), eventsTable("events", "device INTEGER NOT NULL REFERENCES devices(id), "),
                QStringLiteral("CREATE INDEX events_device ON events(device, time)"), importedIndex(), head,
                emptyHead(), imported, QStringLiteral("PRAGMA user_version = 3")};
    }
    return QStringList{identityTable(),
                       eventsTable("events", "device INTEGER NOT NULL REFERENCES devices(id), ", kEventOrigin),
                       QStringLiteral("CREATE INDEX events_device ON events(device, time)"),
                       QStringLiteral("CREATE UNIQUE INDEX events_uuid ON events(uuid)"),
                       importedIndex(),
                       head,
                       emptyHead(),
                       imported}
        + bookInfo(QStringLiteral("0")) + QStringList{QStringLiteral("PRAGMA user_version = 4")};
}

QStringList migrationStatements(int from)
{
    // Version 2's summary columns stay behind unused: a summary outside the
    // chain could be edited unseen.
    if (from == 2)
        return {importedIndex(), emptyHead(), QStringLiteral("PRAGMA user_version = 3")};
    // The events so far keep their hashes: a uuid given now was not part of
    // what was recorded, so the chain goes on covering what it covered.
    if (from == 3) {
        QStringList statements;
        for (const char *column : {"uuid", "station", "role"})
            statements.append(QStringLiteral("ALTER TABLE events ADD COLUMN %1 TEXT NOT NULL DEFAULT ''")
                                  .arg(QLatin1String(column)));
        statements.append(QStringLiteral("UPDATE events SET uuid = %1").arg(sqliteUuid()));
        statements.append(QStringLiteral("CREATE UNIQUE INDEX events_uuid ON events(uuid)"));
        return statements
            + bookInfo(QStringLiteral("max(coalesce((SELECT max(id) FROM events), 0), "
                                      "coalesce((SELECT id FROM head), 0))"))
            + QStringList{QStringLiteral("PRAGMA user_version = 4")};
    }
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

const BookDialect &dialect(BookDriver driver)
{
    return driver == BookDriver::Server ? kServerDialect : kFileDialect;
}

QStringList serverSchemaStatements()
{
    // Text compares by code point, as in a file book, whatever the
    // database's locale: a serial-number prefix is a range on its index.
    const QString text = QStringLiteral("TEXT COLLATE \"C\" NOT NULL");
    // Not even the book's own role may change or remove what was recorded,
    // nor record under another role's name.
    const QString guard = QStringLiteral(
        "CREATE FUNCTION tavik7_events_guard() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
        "IF TG_OP = 'INSERT' THEN "
        "IF NEW.role <> current_user THEN RAISE EXCEPTION 'an event names role %, not %', NEW.role, current_user; END IF; "
        "RETURN NEW; END IF; "
        "RAISE EXCEPTION 'the device book''s events are append-only: % refused', TG_OP; END $$");
    return QStringList{QStringLiteral("CREATE TABLE bookinfo(name TEXT PRIMARY KEY, value TEXT NOT NULL)"),
            QStringLiteral("CREATE TABLE devices(id BIGSERIAL PRIMARY KEY, serialNumber %1, manufacturer %1, "
                           "deviceType %1, UNIQUE(serialNumber, manufacturer, deviceType))")
                .arg(text),
            QStringLiteral("CREATE TABLE events(id BIGINT PRIMARY KEY, time BIGINT NOT NULL, action INTEGER NOT NULL, "
                           "frontEnd INTEGER NOT NULL, \"user\" TEXT NOT NULL, port TEXT NOT NULL, "
                           "device BIGINT NOT NULL REFERENCES devices(id), status TEXT NOT NULL, "
                           "changes TEXT NOT NULL, file TEXT NOT NULL, sha256 TEXT NOT NULL, "
                           "softwareVersion TEXT NOT NULL, counter TEXT NOT NULL, details TEXT NOT NULL, "
                           "hash BYTEA NOT NULL, uuid TEXT NOT NULL UNIQUE, station TEXT NOT NULL, "
                           "role TEXT NOT NULL)"),
            importedIndex(BookDriver::Server),
            QStringLiteral("CREATE TABLE head(one INTEGER PRIMARY KEY CHECK (one = 1), id BIGINT NOT NULL, "
                           "hash BYTEA NOT NULL)"),
            QStringLiteral("INSERT INTO head(one, id, hash) VALUES(1, 0, ''::bytea)"),
            QStringLiteral("CREATE TABLE imported(key BYTEA PRIMARY KEY)"),
            guard,
            QStringLiteral("CREATE TRIGGER events_append_only BEFORE INSERT OR UPDATE OR DELETE ON events "
                           "FOR EACH ROW EXECUTE FUNCTION tavik7_events_guard()"),
            QStringLiteral("CREATE TRIGGER events_no_truncate BEFORE TRUNCATE ON events "
                           "FOR EACH STATEMENT EXECUTE FUNCTION tavik7_events_guard()"),
            QStringLiteral("INSERT INTO bookinfo(name, value) VALUES('oldHashUpTo', '0'), ('version', '%1')")
                .arg(kBookSchemaVersion)}
        + serverIndexStatements();
}

QStringList serverIndexStatements()
{
    // A device's summary (last seen, the last software version and counter
    // read, how many events) comes from this index alone: its events lie
    // scattered over the table, a page read for each.
    return {QStringLiteral("CREATE INDEX IF NOT EXISTS events_summary ON events(device, time, id) "
                           "INCLUDE (softwareVersion, counter)")};
}

} // namespace tavik7::book
