#include "outbox.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <atomic>
#include <functional>

#include "booklocation.h"
#include "platform.h"
#include "regularfile.h"
#include "texttable.h"

namespace tavik7::book {

namespace {

constexpr int kOutboxVersion = 1;
// Events per server transaction while sending: a batch killed half-way is
// sent again and found there by its uuids.
constexpr int kSendBatch = 100;

BookResult ok()
{
    return {BookStatus::Ok, true, {}, {}, 0};
}

} // namespace

QString outboxPath(bool forKeeping)
{
    const QString named = qEnvironmentVariable(kOutboxEnvironmentVariable);
    if (!named.isEmpty())
        return named;
    const QString folder = platform::appDataFolder();
    if (forKeeping)
        platform::ensureAppDataFolder(folder);
    return folder + QLatin1String(kOutboxFileName);
}

Outbox::Outbox(const QString &path) : m_path(path)
{
}

Outbox::~Outbox()
{
    close();
}

void Outbox::close()
{
    if (m_connection.isEmpty())
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
    m_connection.clear();
}

BookResult Outbox::failure(const QSqlError &error) const
{
    BookResult result;
    result.status = statusOfCode(error.nativeErrorCode().toInt());
    result.detail = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    return result;
}

BookResult Outbox::open(bool create)
{
    if (!m_connection.isEmpty())
        return ok();
    // The events it keeps go nowhere but into a regular file of its own.
    if (platform::outputTarget(m_path) != platform::OutputTarget::File || QFileInfo(m_path).isSymLink())
        return {BookStatus::Link, false, {}, QDir::toNativeSeparators(m_path), 0};
    if (!QFileInfo::exists(m_path) && !create)
        return {BookStatus::Missing, false, {}, {}, 0};
    if (create && m_path == outboxPath())
        (void)outboxPath(true);
    if (const QFileInfo info(m_path); !info.absoluteDir().exists())
        return {BookStatus::NoFolder, false, {}, QDir::toNativeSeparators(info.absolutePath()), 0};
    static std::atomic<int> connections{0};
    m_connection = QStringLiteral("tavik7outbox-%1").arg(++connections);
    BookResult result = ok();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
        db.setDatabaseName(m_path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(m_busyTimeoutMs));
        result = db.open() ? prepareSchema() : failure(db.lastError());
    }
    if (result.status != BookStatus::Ok)
        close();
    return result;
}

BookResult Outbox::prepareSchema()
{
    QSqlQuery query(database());
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
        return failure(query.lastError());
    const int version = query.value(0).toInt();
    query.finish();
    if (version > kOutboxVersion)
        return {BookStatus::TooNew, false, {}, QString::number(version), 0};
    // Every kept event is on the disk before the action is reported done.
    if (!query.exec(QStringLiteral("PRAGMA synchronous = FULL")))
        return failure(query.lastError());
    if (version == kOutboxVersion)
        return moveToIdentities();
    // Made under the write lock: another process may be making it too.
    return transaction([&]() -> BookResult {
        if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
            return failure(query.lastError());
        const bool made = query.value(0).toInt() == kOutboxVersion;
        query.finish();
        if (made)
            return ok();
        // Someone else's database, named by mistake, is left as it is.
        if (!query.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) || !query.next())
            return failure(query.lastError());
        if (query.value(0).toInt() != 0)
            return {BookStatus::NotBook, false, {}, {}, 0};
        query.finish();
        for (const char *statement :
             {"CREATE TABLE waiting(seq INTEGER PRIMARY KEY AUTOINCREMENT, target TEXT NOT NULL, "
              "uuid TEXT NOT NULL UNIQUE, event TEXT NOT NULL)",
              "CREATE INDEX waiting_target ON waiting(target, seq)"}) {
            if (!query.exec(QLatin1String(statement)))
                return failure(query.lastError());
        }
        if (!query.exec(QStringLiteral("PRAGMA user_version = %1").arg(kOutboxVersion)))
            return failure(query.lastError());
        return ok();
    });
}

// Events kept before a book had one identity wait under their host as the
// location spelled it; they are moved under the book's identity once, so
// that the book's next sender finds them.
BookResult Outbox::moveToIdentities()
{
    // The host and port run from after "postgresql://" (13 characters) to the next "/".
    static const QString identity = QStringLiteral(
        "'postgresql://' || lower(substr(target, 14, instr(substr(target, 14), '/') - 1))"
        " || substr(target, 13 + instr(substr(target, 14), '/'))");
    const QString stale = QStringLiteral(" WHERE target LIKE 'postgresql://%' AND target <> ") + identity;
    QSqlQuery query(database());
    // Looked for first: the write lock is not taken on every opening.
    if (!query.exec(QStringLiteral("SELECT 1 FROM waiting") + stale + QStringLiteral(" LIMIT 1")))
        return failure(query.lastError());
    if (!query.next())
        return ok();
    query.finish();
    return transaction([&]() -> BookResult {
        if (!query.exec(QStringLiteral("UPDATE waiting SET target = ") + identity + stale))
            return failure(query.lastError());
        return ok();
    });
}

QSqlDatabase Outbox::database() const
{
    return QSqlDatabase::database(m_connection, false);
}

// BEGIN IMMEDIATE: the write lock from the start, so that two senders never
// read the same batch.
BookResult Outbox::transaction(const std::function<BookResult()> &work)
{
    QSqlQuery control(database());
    if (!control.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return failure(control.lastError());
    BookResult result = work();
    if (result.status == BookStatus::Ok && !control.exec(QStringLiteral("COMMIT")))
        result = failure(control.lastError());
    if (result.status != BookStatus::Ok)
        control.exec(QStringLiteral("ROLLBACK"));
    return result;
}

BookResult Outbox::keep(const QString &location, const BookEvent &event, qint64 *waiting)
{
    const QString target = bookIdentity(location);
    if (target.isEmpty())
        return {BookStatus::BadLocation, false, {}, {}, 0};
    BookResult result = open(true);
    if (result.status != BookStatus::Ok)
        return result;
    BookEvent kept = event;
    if (kept.uuid.isEmpty())
        kept.uuid = newEventUuid();
    return transaction([&]() -> BookResult {
        QSqlQuery query(database());
        // The same event kept twice (a writer asked again) waits once.
        query.prepare(QStringLiteral("INSERT OR IGNORE INTO waiting(target, uuid, event) VALUES(?, ?, ?)"));
        query.addBindValue(target);
        query.addBindValue(kept.uuid);
        query.addBindValue(QString::fromUtf8(eventToLine(kept)));
        if (!query.exec())
            return failure(query.lastError());
        query.prepare(QStringLiteral("SELECT count(*) FROM waiting WHERE target = ?"));
        query.addBindValue(target);
        if (!query.exec() || !query.next())
            return failure(query.lastError());
        if (waiting)
            *waiting = query.value(0).toLongLong();
        return ok();
    });
}

qint64 Outbox::waiting(const QString &location, BookResult *failed)
{
    const BookResult opened = open(false);
    if (opened.status == BookStatus::Missing)
        return 0;
    if (opened.status != BookStatus::Ok) {
        if (failed)
            *failed = opened;
        return 0;
    }
    QSqlQuery query(database());
    query.prepare(QStringLiteral("SELECT count(*) FROM waiting WHERE target = ?"));
    query.addBindValue(bookIdentity(location));
    if (query.exec() && query.next())
        return query.value(0).toLongLong();
    if (failed)
        *failed = failure(query.lastError());
    return 0;
}

OutboxSent Outbox::send(DeviceBook &book, bool waitForOthers)
{
    OutboxSent outcome;
    const QString target = bookIdentity(book.path());
    const BookResult opened = open(false);
    if (opened.status == BookStatus::Missing || target.isEmpty())
        return outcome;
    if (opened.status != BookStatus::Ok) {
        outcome.result = opened;
        return outcome;
    }
    QSqlQuery pragma(database());
    pragma.exec(QStringLiteral("PRAGMA busy_timeout = %1").arg(waitForOthers ? m_busyTimeoutMs : 0));
    qint64 after = 0; // rows that do not read as events stay, passed over
    for (bool done = false; !done;) {
        outcome.result = sendBatch(book, target, &after, &outcome, &done);
        if (outcome.result.status == BookStatus::Busy && !waitForOthers)
            outcome.result = ok(); // another process is sending them
        if (outcome.result.status != BookStatus::Ok)
            break;
    }
    pragma.exec(QStringLiteral("PRAGMA busy_timeout = %1").arg(m_busyTimeoutMs));
    BookResult counted;
    outcome.waiting = waiting(book.path(), &counted);
    if (outcome.result.status == BookStatus::Ok && counted.status != BookStatus::Ok)
        outcome.result = counted;
    return outcome;
}

// One batch under the outbox's write lock: read, into the book (one server
// transaction), removed. Killed after the server's commit, the batch stays
// here and is found on the server by its uuids next time.
BookResult Outbox::sendBatch(DeviceBook &book, const QString &target, qint64 *after, OutboxSent *outcome, bool *done)
{
    *done = true;
    qsizetype taken = 0;
    const BookResult result = transaction([&]() -> BookResult {
        QSqlQuery query(database());
        query.prepare(
            QStringLiteral("SELECT seq, event FROM waiting WHERE target = ? AND seq > ? ORDER BY seq LIMIT ?"));
        query.addBindValue(target);
        query.addBindValue(*after);
        query.addBindValue(kSendBatch);
        if (!query.exec())
            return failure(query.lastError());
        QList<qint64> sequence;
        QList<BookEvent> events;
        int rows = 0;
        for (; query.next(); ++rows) {
            *after = query.value(0).toLongLong();
            BookEvent event;
            if (!eventFromLine(query.value(1).toString().toUtf8(), &event))
                continue;
            sequence.append(*after);
            events.append(event);
        }
        query.finish();
        *done = rows < kSendBatch;
        if (events.isEmpty())
            return ok();
        const BookResult recorded = book.recordUnique(events);
        if (recorded.status != BookStatus::Ok) {
            outcome->bookFailed = true;
            return recorded;
        }
        query.prepare(QStringLiteral("DELETE FROM waiting WHERE seq = ?"));
        for (const qint64 seq : std::as_const(sequence)) {
            query.bindValue(0, seq);
            if (!query.exec())
                return failure(query.lastError());
        }
        taken = sequence.size();
        return ok();
    });
    if (result.status == BookStatus::Ok)
        outcome->sent += taken;
    return result;
}


} // namespace tavik7::book
