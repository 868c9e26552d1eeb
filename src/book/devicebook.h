#pragma once

#include <QByteArray>
#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>

class QSqlError;
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

#include "bookevent.h"
#include "bookschema.h"

namespace tavik7::book {

class ServerWatch;

// Why an event is not (or not only) where it was meant to go.
enum class BookStatus {
    Ok,
    NotSqlite,   // the file is no SQLite database
    Corrupt,     // a SQLite database with damaged pages
    ReadOnly,    // the file or its folder cannot be written
    DiskFull,    // no room to write (disk full or file size limit)
    Link,        // a link or anything else but a regular file
    Busy,        // another writer held the book longer than the busy time-out
    TooNew,      // written by a newer program; left alone
    BadFile,     // an input file (change history) cannot be read
    Failed,      // any other SQLite failure
    Missing,     // a reader found nothing at the path
    NotBook,     // an SQLite database, but of something else
    NoFolder,    // the folder the book is to be in does not exist
    Unreachable, // the book's server cannot be reached
    LoginRefused, // the server refused the login
    NoSchema,    // a database on the server without a book yet ("book init")
    NoRights,    // the database role may not read or write the book
    BadLocation, // a server location that does not parse
};

struct BookResult
{
    BookStatus status = BookStatus::Ok;
    // True when the event is in a book: always with Ok; also with NotSqlite
    // or Corrupt when the damaged file was set aside and a new book took it.
    bool recorded = false;
    QString setAsidePath; // where a damaged book was moved to
    QString detail;       // the database's own words, for the message
    qint64 id = 0;        // the recorded event's number
    // A server's event that went to the outbox instead (recorded: kept
    // there, waiting events for that book; else outboxStatus says why not).
    QString outbox{};
    qint64 waiting = 0;
    BookStatus outboxStatus = BookStatus::Ok;
    QString outboxDetail{};
};

struct DeviceSummary
{
    qint64 id = 0;
    QString manufacturer, deviceType, serialNumber;
    qint64 lastSeenMs = 0;
    QString softwareVersion, counter;
    qint64 events = 0;
};

// What verify found wrong, if anything.
enum class ChainBreak {
    None,
    Event,           // firstBadId was edited, deleted or moved
    EventsMissing,   // firstBadId up to lastMissingId are gone from the end
    HeadMissing,     // the record of the newest event's number and hash is gone
    ImportMarkers,   // the marks of imported records do not match the import events
    Rewritten,       // firstBadId, anchored outside the book, holds another hash now
};

struct VerifyResult
{
    BookStatus status = BookStatus::Ok;
    qint64 events = 0;     // events checked
    ChainBreak broken = ChainBreak::None;
    qint64 firstBadId = 0; // 0: the chain is intact
    qint64 lastMissingId = 0;
    QString detail; // why the book could not be read
    [[nodiscard]] bool intact() const { return status == BookStatus::Ok && broken == ChainBreak::None; }
};

inline constexpr int kBookSchemaVersion = 4;
inline constexpr int kBookBusyTimeoutMs = 10000;

// One connection to one book: a file, or a database on a server (see
// BookLocation). Every process (window, each CLI run) opens its own; on a
// file SQLite's WAL and busy time-out let them write side by side, on a
// server the head row's lock numbers their events one after the other.
class DeviceBook
{
public:
    DeviceBook();
    ~DeviceBook();
    DeviceBook(const DeviceBook &) = delete;
    DeviceBook &operator=(const DeviceBook &) = delete;

    // Opens or creates the book at path (a file or a server location; a
    // server's book is only created by initServer()). A new file book takes in the records of
    // changeHistoryPath (when given and present) once. A book that SQLite
    // finds corrupt is renamed aside and a new book started: the result says
    // so with recorded = true and setAsidePath. Any other file (not SQLite,
    // another program's database) is refused and left as it is.
    BookResult open(const QString &path, const QString &changeHistoryPath = QString(), FrontEnd frontEnd = FrontEnd::Cli);
    // Opens an existing book without writing to it: nothing is created,
    // upgraded or set aside, and a book on read-only media can be read.
    // Recording into it is refused.
    BookResult openForReading(const QString &path);
    // Creates the book's schema on the server at location, or finds it
    // there already (created = false) and adds the indexes a book made by an
    // older version lacks (indexed = true); another database is left alone.
    BookResult initServer(const QString &location, bool *created = nullptr, bool *indexed = nullptr);
    [[nodiscard]] bool isOpen() const;
    [[nodiscard]] bool isServer() const { return m_driver == BookDriver::Server; }
    [[nodiscard]] QString path() const { return m_path; }
    // For tests: how long a writer waits for another one.
    void setBusyTimeoutMs(int ms);

    // One transaction per event; event.id is given here.
    BookResult record(const BookEvent &event);
    // Many events in one transaction (the benchmark's generator): next fills
    // in the following event and returns false when there is none.
    BookResult recordAll(const std::function<bool(BookEvent &)> &next);

    // Events made elsewhere (an outbox, another book), each once: one whose
    // uuid the book holds already is passed over. One transaction, in which
    // the chain's head is held before any uuid is looked for, so that two
    // senders of one event cannot both find it missing. added: how many were new.
    BookResult recordUnique(const QList<BookEvent> &events, int *added = nullptr);

    // Each record of a change-history file as one import event; records the
    // book already took in are skipped. imported: how many were new.
    BookResult importChangeHistory(const QString &file, FrontEnd frontEnd, int *imported = nullptr);

    // A device's summary comes from its events, so it is as sound as the
    // chain. Events kept under "unknown" identity (imported before the device
    // was read) count with the one known device of that serial number.
    // failure, when given, receives why the book could not be read.
    [[nodiscard]] QList<DeviceSummary> devices(const QString &serialPrefix, BookResult *failure = nullptr) const;
    // Every event of every device with that serial number, oldest first.
    [[nodiscard]] QList<BookEvent> history(const QString &serialNumber, qint64 sinceMs = 0,
                                           BookResult *failure = nullptr) const;
    // The events of one device: its serial number with its maker and type.
    [[nodiscard]] QList<BookEvent> deviceHistory(const QString &serialNumber, const QString &manufacturer,
                                                 const QString &deviceType) const;
    // A set stop ends the check early, a failure that names no broken event.
    [[nodiscard]] VerifyResult verify(const std::atomic<bool> *stop = nullptr) const;
    // Up to limit events numbered after afterId, in the chain's order, for
    // copying a book into another one.
    [[nodiscard]] QList<BookEvent> events(qint64 afterId, int limit, BookResult *failure = nullptr) const;
    // Sets event's device to the last one named by an event on port; false
    // (event untouched) when no event there named a device.
    bool lastKnownOnPort(const QString &port, BookEvent *event) const;

    // The window's queries, executed, for QSqlQueryModel: devices whose serial
    // number, manufacturer or device type contain text (taken as plain text),
    // and the events of one device with their changes as "key: old -> new".
    [[nodiscard]] QSqlQuery deviceSearchQuery(const QString &text) const;
    [[nodiscard]] QSqlQuery deviceEventsQuery(qint64 deviceId) const;

    [[nodiscard]] QSqlDatabase database() const;

private:
    struct Statements;
    BookResult openFile();
    BookResult openServer(bool forInit);
    BookResult readServerSchema();
    BookResult readOldHashUpTo();
    BookResult openConnection(const QString &databaseName, const QString &options, int *version);
    BookResult checkIsBook(int version);
    // The names of the tables the connection sees.
    BookResult readTables(QStringList *tables) const;
    // Open for writing, reopened when it was closed: recorded says so.
    BookResult readyToWrite();
    BookResult prepareSchema();
    BookResult prepareStatements();
    BookResult upgradeSchema();
    BookResult setAsideAndReopen(const BookResult &damage);
    BookResult transaction(const std::function<BookResult()> &work);
    // mayBeThere: the event is looked for by its uuid once the head is held;
    // found, nothing is inserted and its number is the result's id.
    BookResult insertEvent(const BookEvent &event, bool mayBeThere = false);
    // The event as this connection stores it: its own uuid, station and role.
    [[nodiscard]] StoredEvent storedOrigin(const BookEvent &event) const;
    // mayBeThere: an earlier try may have landed; its uuid then says so
    // and nothing is recorded twice.
    BookResult recordOnce(const BookEvent &event, bool mayBeThere);
    BookResult lockedUuidId(const QString &uuid, qint64 *id);
    BookResult importInto(const QString &file, FrontEnd frontEnd, int *imported);
    void takeIdentity(BookEvent &event) const;
    // The device row of event's identity: 0 when there is none (or on a
    // failure, in result); deviceId() adds it then.
    qint64 knownDeviceId(const BookEvent &event, BookResult *result);
    qint64 deviceId(const BookEvent &event, BookResult *result);
    [[nodiscard]] BookResult failure(const QSqlError &error) const;
    void close();

    QString m_path;
    QString m_changeHistoryPath;
    FrontEnd m_frontEnd = FrontEnd::Cli;
    QString m_connection;
    QByteArray m_identity;
    int m_busyTimeoutMs = kBookBusyTimeoutMs;
    bool m_readOnly = false;
    int m_version = 0; // the schema version the connection reads
    BookDriver m_driver = BookDriver::File;
    qint64 m_oldHashUpTo = 0; // events hashed before uuid and station were
    QString m_role;           // the server's name for this connection's role
    std::unique_ptr<Statements> m_statements;
    std::unique_ptr<ServerWatch> m_watch; // a server connection's bound on each answer
};

// What an SQLite result code means for a book (or the outbox) on a file.
[[nodiscard]] BookStatus statusOfCode(int code);

// The words of a status, and the one message both front ends show when the
// book missed an event or set a damaged file aside.
[[nodiscard]] QString bookStatusText(BookStatus status, int language);
// The status as one word for scripts ("busy", "readOnly", "noFolder", ...).
[[nodiscard]] QString bookStatusWord(BookStatus status);
[[nodiscard]] QString bookResultMessage(const BookResult &result, const QString &bookPath, int language);
// The book window's line on the book it opened: a damaged file set aside, or
// the path with why it could not be opened; empty when all is well.
[[nodiscard]] QString bookOpenText(const BookResult &opened, const QString &bookPath, int language);

} // namespace tavik7::book
