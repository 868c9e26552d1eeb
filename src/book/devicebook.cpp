#include "devicebook.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSqlError>
#include <QRegularExpression>
#include <QThread>
#include <QTimeZone>
#include <QUrl>
#include <QVariant>

#include <atomic>
#include <limits>

#include "booklocation.h"
#include "bookschema.h"
#include "bookstatements.h"
#include "historyimport.h"
#include "serverwatch.h"

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace tavik7::book {

namespace {

// SQLite's primary result codes (the low byte of an extended code).
constexpr int kSqliteBusy = 5;
constexpr int kSqliteLocked = 6;
constexpr int kSqliteReadOnly = 8;
constexpr int kSqliteIoError = 10;
constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteFull = 13;
constexpr int kSqliteCantOpen = 14;
constexpr int kSqliteNotADatabase = 26;
constexpr int kSqliteIoErrorWrite = 778;
constexpr int kSqliteIoErrorTruncate = 1546;

} // namespace

BookStatus statusOfCode(int code)
{
    // A file size limit ends a write short with EFBIG, which SQLite reports
    // as a write error rather than as a full disk; for the user it is the same.
    if (code == kSqliteIoErrorWrite || code == kSqliteIoErrorTruncate)
        return BookStatus::DiskFull;
    switch (code & 0xff) {
    case kSqliteBusy:
    case kSqliteLocked: return BookStatus::Busy;
    case kSqliteReadOnly:
    case kSqliteCantOpen: return BookStatus::ReadOnly;
    case kSqliteCorrupt: return BookStatus::Corrupt;
    case kSqliteFull: return BookStatus::DiskFull;
    case kSqliteNotADatabase: return BookStatus::NotSqlite;
    case kSqliteIoError:
    default: return BookStatus::Failed;
    }
}

namespace {

// A server's SQLSTATE: without one the connection itself failed.
BookStatus statusOfServerCode(const QString &code)
{
    if (code.isEmpty() || code.startsWith(QLatin1String("08")) || code.startsWith(QLatin1String("57P")))
        return BookStatus::Unreachable;
    if (code.startsWith(QLatin1String("28")))
        return BookStatus::LoginRefused;
    if (code == QLatin1String("42501"))
        return BookStatus::NoRights;
    if (code == QLatin1String("42P01"))
        return BookStatus::NotBook;
    if (code == QLatin1String("53100"))
        return BookStatus::DiskFull;
    if (code == QLatin1String("25006"))
        return BookStatus::ReadOnly;
    if (code == QLatin1String("40P01") || code == QLatin1String("55P03") || code == QLatin1String("40001"))
        return BookStatus::Busy;
    return BookStatus::Failed;
}

// libpq's words when a connection could not be made.
BookStatus statusOfConnectFailure(const QString &text)
{
    for (const char *login : {"password authentication failed", "no password supplied", "authentication failed",
                              "pg_hba.conf", "fe_sendauth", "SCRAM"}) {
        if (text.contains(QLatin1String(login), Qt::CaseInsensitive))
            return BookStatus::LoginRefused;
    }
    if (text.contains(QLatin1String("role \"")) && text.contains(QLatin1String("does not exist")))
        return BookStatus::LoginRefused;
    if (text.contains(QLatin1String("database \"")) && text.contains(QLatin1String("does not exist")))
        return BookStatus::Missing;
    return BookStatus::Unreachable;
}

QString firstLine(const QString &text)
{
    return text.section(QLatin1Char('\n'), 0, 0).trimmed();
}

// Only what SQLite finds damaged is set aside: a file that is no SQLite at
// all is someone's other file, named by mistake.
bool isDamage(BookStatus status)
{
    return status == BookStatus::Corrupt;
}

// dev:inode of the file at path, so that a damaged book is only moved aside
// while it is still the one found damaged (another process may have done it).
QByteArray fileIdentity(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return QByteArray::number(qulonglong(st.st_dev)) + ':' + QByteArray::number(qulonglong(st.st_ino));
#else
    return QFileInfo(path).exists() ? QByteArray("exists") : QByteArray();
#endif
}

bool isLinkOrSpecial(const QString &path)
{
    const QFileInfo info(path);
    return info.isSymLink() || info.isJunction() || (info.exists() && !info.isFile());
}

QString textOf(const QByteArray &utf8)
{
    return QString::fromUtf8(utf8);
}

QString uniqueAsideName(const QString &path)
{
    const QString base = path + QStringLiteral(".damaged-")
        + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddThhmmssZ"));
    QString name = base;
    for (int n = 2; QFileInfo::exists(name) || QFileInfo(name).isSymLink(); ++n)
        name = base + QLatin1Char('-') + QString::number(n);
    return name;
}

} // namespace

DeviceBook::DeviceBook() = default;

DeviceBook::~DeviceBook()
{
    close();
}

void DeviceBook::close()
{
    m_statements.reset();
    m_version = 0;
    m_oldHashUpTo = 0;
    m_role.clear();
    m_watch.reset();
    if (m_connection.isEmpty())
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
    m_connection.clear();
}

bool DeviceBook::isOpen() const
{
    return m_statements != nullptr;
}

void DeviceBook::setBusyTimeoutMs(int ms)
{
    m_busyTimeoutMs = ms;
}

QSqlDatabase DeviceBook::database() const
{
    return QSqlDatabase::database(m_connection, false);
}

BookResult DeviceBook::failure(const QSqlError &error) const
{
    BookResult result;
    result.status = isServer() ? statusOfServerCode(error.nativeErrorCode())
                               : statusOfCode(error.nativeErrorCode().toInt());
    result.detail = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    if (isServer())
        result.detail = firstLine(result.detail);
    if (m_watch && m_watch->cut())
        return {BookStatus::Unreachable, false, {},
                QStringLiteral("no answer from the server for %1 s").arg(m_watch->silenceMs() / 1000), 0};
    return result;
}

BookResult DeviceBook::open(const QString &path, const QString &changeHistoryPath, FrontEnd frontEnd)
{
    close();
    m_path = path;
    m_changeHistoryPath = changeHistoryPath;
    m_frontEnd = frontEnd;
    m_readOnly = false;
    m_driver = isServerLocation(path) ? BookDriver::Server : BookDriver::File;
    if (isServer())
        return openServer(false);
    // A book another process is creating or converting at this moment
    // answers "busy" at once, before SQLite's own busy wait applies (the
    // switch to WAL takes the file whole): opening is tried again within
    // the busy time-out.
    QDeadlineTimer deadline(m_busyTimeoutMs);
    BookResult opened = openFile();
    while (opened.status == BookStatus::Busy && !deadline.hasExpired()) {
        QThread::msleep(20);
        opened = openFile();
    }
    return isDamage(opened.status) ? setAsideAndReopen(opened) : opened;
}

BookResult DeviceBook::openForReading(const QString &path)
{
    close();
    m_path = path;
    m_changeHistoryPath.clear();
    m_readOnly = true;
    m_driver = isServerLocation(path) ? BookDriver::Server : BookDriver::File;
    if (isServer())
        return openServer(false);
    if (isLinkOrSpecial(path))
        return {BookStatus::Link, false, {}, {}, 0};
    // A mistyped name must not leave an empty book behind.
    if (!QFileInfo::exists(path))
        return {BookStatus::Missing, false, {}, {}, 0};
    int version = 0;
    BookResult opened = openConnection(path, QStringLiteral("QSQLITE_OPEN_READONLY"), &version);
    // On read-only media SQLite cannot make the shared-memory file a WAL
    // book is read with; there nothing can change the book, and SQLite may
    // read it as it stands.
    if (opened.status == BookStatus::ReadOnly) {
        const QString immutable = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded)
            + QStringLiteral("?immutable=1");
        opened = openConnection(immutable, QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"), &version);
    }
    if (opened.status == BookStatus::Ok)
        opened = checkIsBook(version);
    if (opened.status == BookStatus::Ok && version == 0)
        opened = {BookStatus::NotBook, false, {}, {}, 0};
    if (opened.status != BookStatus::Ok) {
        close();
        return opened;
    }
    // Version 1 kept no devices table, which every query reads: such a book
    // is lifted once, as any recording program would.
    if (version < 2)
        return open(path);
    m_version = version;
    // Before version 4 every event was hashed without uuid and station.
    m_oldHashUpTo = std::numeric_limits<qint64>::max();
    BookResult prepared = prepareStatements();
    if (prepared.status == BookStatus::Ok && version >= 4)
        prepared = readOldHashUpTo();
    if (prepared.status != BookStatus::Ok)
        close();
    return prepared;
}

BookResult DeviceBook::openConnection(const QString &databaseName, const QString &options, int *version)
{
    close();
    static std::atomic<int> connections{0};
    m_connection = QStringLiteral("tavik7book-%1").arg(++connections);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(databaseName);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1;%2").arg(m_busyTimeoutMs).arg(options));
    if (!db.open())
        return failure(db.lastError());
    // The first read shows whether the file is SQLite at all.
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
        return failure(query.lastError());
    *version = query.value(0).toInt();
    return {BookStatus::Ok, true, {}, {}, 0};
}

BookResult DeviceBook::openServer(bool forInit)
{
    close();
    BookLocation location;
    QString complaint;
    if (!BookLocation::parse(m_path, &location, &complaint))
        return {BookStatus::BadLocation, false, {}, complaint, 0};
    static std::atomic<int> connections{0};
    m_connection = QStringLiteral("tavik7server-%1").arg(++connections);
    QSqlDatabase db = QSqlDatabase::addDatabase(QLatin1String(dialect(m_driver).qtDriver), m_connection);
    if (!db.isValid())
        return {BookStatus::Failed, false, {}, QStringLiteral("no QPSQL driver (libqt6sql6-psql)"), 0};
    db.setHostName(location.host);
    db.setPort(location.port);
    db.setDatabaseName(location.database);
    db.setUserName(location.user);
    // Without one libpq takes PGPASSWORD or ~/.pgpass.
    db.setPassword(location.password);
    // A writer waits for the chain's head as long as a file book's writer
    // waits for its lock.
    QStringList options{QStringLiteral("connect_timeout=%1").arg(location.connectTimeoutS),
                        QStringLiteral("application_name=tavik7"),
                        QStringLiteral("options='-c lock_timeout=%1'").arg(m_busyTimeoutMs),
                        // A network gone quiet shows on an idle connection too.
                        QStringLiteral("keepalives=1;keepalives_idle=5;keepalives_interval=2;keepalives_count=3")};
    if (!location.sslMode.isEmpty())
        options.append(QStringLiteral("sslmode=") + location.sslMode);
    db.setConnectOptions(options.join(QLatin1Char(';')));
    if (!db.open()) {
        const QString why = db.lastError().databaseText().isEmpty() ? db.lastError().text() : db.lastError().databaseText();
        const BookStatus status = statusOfConnectFailure(why);
        // The server's own words name neither more nor less than this.
        const QString detail = status == BookStatus::LoginRefused
            ? QStringLiteral("user \"%1\" on %2:%3").arg(location.loginUser(), location.host).arg(location.port)
            : firstLine(why);
        return {status, false, {}, detail, 0};
    }
    // An answer may take the lock wait and then as long as a connection.
    m_watch = std::make_unique<ServerWatch>(db, m_busyTimeoutMs + location.connectTimeoutS * 1000);
    // One round trip for the whole session set-up: each is felt in every
    // command. The window's times are the workstation's (a zone id is
    // letters, digits and "/_+-", never a quote); should the server not know
    // the zone, it keeps its own. The server's notices ("already exists,
    // skipping") are not the user's business; libpq would print them on
    // standard error. The planner's guess at the window's search (a summary
    // for each of 100,000 devices) would have it compile the query to
    // machine code first: a second and a half to find a hundred rows.
    QSqlQuery session(db);
    const QString zone = QString::fromUtf8(QTimeZone::systemTimeZoneId());
    const bool zoneIsName = QRegularExpression(QStringLiteral("^[A-Za-z0-9/_+-]+$")).match(zone).hasMatch();
    const QString quiet = QStringLiteral("set_config('client_min_messages', 'warning', false), "
                                         "set_config('jit', 'off', false)");
    if ((!zoneIsName
         || !session.exec(QStringLiteral("SELECT current_user, %1, set_config('TimeZone', '%2', false)").arg(quiet, zone)))
        && !session.exec(QStringLiteral("SELECT current_user, %1").arg(quiet)))
        return failure(session.lastError());
    if (!session.next())
        return failure(session.lastError());
    m_role = session.value(0).toString();
    session.finish();
    return forInit ? BookResult{BookStatus::Ok, true, {}, {}, 0} : readServerSchema();
}

BookResult DeviceBook::readServerSchema()
{
    // A book's own table says so at once; only without it are the tables
    // listed, to tell an empty database from another program's.
    QSqlQuery query(database());
    if (!query.exec(QStringLiteral("SELECT name, value FROM bookinfo"))) {
        const BookResult failed = failure(query.lastError());
        if (failed.status != BookStatus::NotBook)
            return failed;
        QStringList tables;
        if (const BookResult read = readTables(&tables); !read.recorded)
            return read;
        return {tables.isEmpty() ? BookStatus::NoSchema : BookStatus::NotBook, false, {}, {}, 0};
    }
    int version = 0;
    while (query.next()) {
        if (query.value(0).toString() == QLatin1String("version"))
            version = query.value(1).toInt();
        else if (query.value(0).toString() == QLatin1String("oldHashUpTo"))
            m_oldHashUpTo = query.value(1).toLongLong();
    }
    query.finish();
    if (version > kBookSchemaVersion)
        return {BookStatus::TooNew, false, {}, QString::number(version), 0};
    if (version < 4)
        return {BookStatus::NotBook, false, {}, {}, 0};
    m_version = version;
    const BookResult prepared = prepareStatements();
    if (prepared.status != BookStatus::Ok)
        m_statements.reset();
    return prepared;
}

BookResult DeviceBook::readOldHashUpTo()
{
    QSqlQuery query(database());
    if (!query.exec(QStringLiteral("SELECT value FROM bookinfo WHERE name = 'oldHashUpTo'")))
        return failure(query.lastError());
    m_oldHashUpTo = query.next() ? query.value(0).toLongLong() : 0;
    return {BookStatus::Ok, true, {}, {}, 0};
}

BookResult DeviceBook::initServer(const QString &location, bool *created, bool *indexed)
{
    close();
    m_path = location;
    m_changeHistoryPath.clear();
    m_readOnly = false;
    m_driver = BookDriver::Server;
    if (created)
        *created = false;
    if (indexed)
        *indexed = false;
    BookResult result = openServer(true);
    if (result.status != BookStatus::Ok)
        return result;
    // Someone sets the server up and watches: indexing a large older book
    // may rightly go quiet for longer than any answer's bound.
    m_watch.reset();
    result = transaction([&]() -> BookResult {
        QSqlQuery query(database());
        // Two first runs at once: one creates, the other finds it made.
        if (!query.exec(QStringLiteral("SELECT pg_advisory_xact_lock(7307330)")))
            return failure(query.lastError());
        if (!query.exec(QLatin1String(dialect(m_driver).tables)))
            return failure(query.lastError());
        QStringList tables;
        while (query.next())
            tables.append(query.value(0).toString());
        query.finish();
        if (tables.isEmpty()) {
            for (const QString &statement : serverSchemaStatements()) {
                if (!query.exec(statement))
                    return failure(query.lastError());
            }
            if (created)
                *created = true;
            return {BookStatus::Ok, true, {}, {}, 0};
        }
        // A book made before an index was: it gets it now, if this role may
        // make it; the book works without it, only slower.
        const QString indexCount = QStringLiteral("SELECT count(*) FROM pg_indexes WHERE tablename = 'events'");
        if (tables.contains(QLatin1String("bookinfo")) && tables.contains(QLatin1String("events"))
            && query.exec(indexCount) && query.next()) {
            const int before = query.value(0).toInt();
            query.finish();
            bool made = query.exec(QStringLiteral("SAVEPOINT indexes"));
            for (const QString &statement : serverIndexStatements())
                made = made && query.exec(statement);
            if (!made)
                query.exec(QStringLiteral("ROLLBACK TO SAVEPOINT indexes"));
            else if (indexed && query.exec(indexCount) && query.next())
                *indexed = query.value(0).toInt() > before;
        }
        return {BookStatus::Ok, true, {}, {}, 0};
    });
    return result.status == BookStatus::Ok ? readServerSchema() : result;
}

BookResult DeviceBook::readTables(QStringList *tables) const
{
    QSqlQuery query(database());
    if (!query.exec(QLatin1String(dialect(m_driver).tables)))
        return failure(query.lastError());
    while (query.next())
        tables->append(query.value(0).toString());
    return {BookStatus::Ok, true, {}, {}, 0};
}

BookResult DeviceBook::readyToWrite()
{
    if (m_readOnly)
        return {BookStatus::ReadOnly, false, {}, {}, 0};
    if (!isOpen())
        return open(m_path, m_changeHistoryPath, m_frontEnd);
    return {BookStatus::Ok, true, {}, {}, 0};
}

// Another program's database is not made a book of, nor set aside.
BookResult DeviceBook::checkIsBook(int version)
{
    if (version > kBookSchemaVersion)
        return {BookStatus::TooNew, false, {}, QString::number(version), 0};
    QStringList tables;
    if (const BookResult read = readTables(&tables); !read.recorded)
        return read;
    QSqlQuery query(database());
    // Another process may have made the new book between the two reads: its
    // tables and version come in one commit, so the version read after the
    // tables is theirs.
    if (version == 0 && !tables.isEmpty() && query.exec(QStringLiteral("PRAGMA user_version")) && query.next())
        version = query.value(0).toInt();
    if (version > kBookSchemaVersion)
        return {BookStatus::TooNew, false, {}, QString::number(version), 0};
    const bool isBook = version == 0 ? tables.isEmpty()
                                     : tables.contains(QLatin1String("events")) && tables.contains(QLatin1String("head"));
    return isBook ? BookResult{BookStatus::Ok, true, {}, {}, 0} : BookResult{BookStatus::NotBook, false, {}, {}, 0};
}

BookResult DeviceBook::openFile()
{
    close();
    if (isLinkOrSpecial(m_path))
        return {BookStatus::Link, false, {}, {}, 0};
    // SQLite says "cannot open" for a missing folder as for a read-only one.
    if (const QFileInfo info(m_path); !info.absoluteDir().exists())
        return {BookStatus::NoFolder, false, {}, QDir::toNativeSeparators(info.absolutePath()), 0};
    static std::atomic<int> connections{0};
    m_connection = QStringLiteral("tavik7book-%1").arg(++connections);
    m_identity.clear();
    int version = 0;
    const BookResult opened = openConnection(m_path, QString(), &version);
    m_identity = fileIdentity(m_path);
    if (opened.status != BookStatus::Ok)
        return opened;
    const BookResult checked = checkIsBook(version);
    if (checked.status != BookStatus::Ok)
        return checked;
    QSqlQuery pragma(database());
    // WAL lets readers go on while one process writes; FULL syncs every
    // commit, so an action reported as done survives a power cut too.
    if (!pragma.exec(QStringLiteral("PRAGMA journal_mode = WAL"))
        || !pragma.exec(QStringLiteral("PRAGMA synchronous = FULL")))
        return failure(pragma.lastError());
    pragma.finish();
    return prepareSchema();
}

BookResult DeviceBook::prepareSchema()
{
    QSqlQuery query(database());
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
        return failure(query.lastError());
    const int version = query.value(0).toInt();
    query.finish();
    // The usual case takes no write lock, so a read-only book can be read.
    m_version = kBookSchemaVersion;
    BookResult result = version == kBookSchemaVersion ? prepareStatements()
                                                      : transaction([this] { return upgradeSchema(); });
    if (result.status == BookStatus::Ok)
        result = readOldHashUpTo();
    if (result.status != BookStatus::Ok) {
        m_statements.reset();
        m_version = 0;
    }
    return result;
}

BookResult DeviceBook::prepareStatements()
{
    // A server's reader prepares nothing: each statement prepared there is
    // a round trip more for every command.
    m_statements = std::make_unique<Statements>(database(), m_driver, m_version, !(isServer() && m_readOnly));
    // Preparing reads the schema: a damaged one shows here.
    const QSqlError error = m_statements->error();
    return error.isValid() ? failure(error) : BookResult{BookStatus::Ok, true, {}, {}, 0};
}

// Under the write lock: another process may have created or lifted the
// book since the version was read.
BookResult DeviceBook::upgradeSchema()
{
    QSqlQuery query(database());
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
        return failure(query.lastError());
    const int version = query.value(0).toInt();
    query.finish();
    if (version > kBookSchemaVersion)
        return {BookStatus::TooNew, false, {}, QString::number(version), 0};
    QStringList statements = version == 0 ? schemaStatements(kBookSchemaVersion) : QStringList();
    for (int from = version; from > 0 && from < kBookSchemaVersion; ++from)
        statements += migrationStatements(from);
    for (const QString &statement : statements) {
        if (!query.exec(statement))
            return failure(query.lastError());
    }
    const BookResult prepared = prepareStatements();
    if (prepared.status != BookStatus::Ok || version != 0 || !QFileInfo::exists(m_changeHistoryPath))
        return prepared;
    // A new book takes in the change history; an unreadable one must not
    // keep the book from starting.
    const BookResult imported = importInto(m_changeHistoryPath, m_frontEnd, nullptr);
    return imported.status == BookStatus::BadFile ? prepared : imported;
}

BookResult DeviceBook::setAsideAndReopen(const BookResult &damage)
{
    const QByteArray damagedIdentity = m_identity;
    close();
    BookResult result = damage;
    result.recorded = false;
    // Moved only while it is still the file found damaged: another process
    // may already have set it aside and started the new book.
    if (!damagedIdentity.isEmpty() && fileIdentity(m_path) == damagedIdentity) {
        const QString aside = uniqueAsideName(m_path);
        if (!QFile::rename(m_path, aside))
            return result;
        for (const char *suffix : {"-wal", "-shm"})
            QFile::rename(m_path + QLatin1String(suffix), aside + QLatin1String(suffix));
        result.setAsidePath = aside;
    }
    const BookResult reopened = openFile();
    if (reopened.status != BookStatus::Ok)
        return reopened;
    result.recorded = true;
    return result;
}

BookResult DeviceBook::transaction(const std::function<BookResult()> &work)
{
    QSqlQuery control(database());
    // IMMEDIATE takes the write lock at once: a reader that turns writer
    // later could deadlock with another one and get no busy wait.
    if (!control.exec(QLatin1String(dialect(m_driver).begin)))
        return failure(control.lastError());
    BookResult result = work();
    if (result.status == BookStatus::Ok && !control.exec(QStringLiteral("COMMIT")))
        result = failure(control.lastError());
    if (result.status != BookStatus::Ok)
        control.exec(QStringLiteral("ROLLBACK"));
    return result;
}

qint64 DeviceBook::knownDeviceId(const BookEvent &event, BookResult *result)
{
    Statements &s = *m_statements;
    if (!bindAndRun(s.findDevice, {event.serialNumber, event.manufacturer, event.deviceType})) {
        *result = failure(s.findDevice.lastError());
        return 0;
    }
    const qint64 id = s.findDevice.next() ? s.findDevice.value(0).toLongLong() : 0;
    s.findDevice.finish();
    return id;
}

qint64 DeviceBook::deviceId(const BookEvent &event, BookResult *result)
{
    const qint64 known = knownDeviceId(event, result);
    if (known != 0 || result->status != BookStatus::Ok)
        return known;
    Statements &s = *m_statements;
    if (!bindAndRun(s.addDevice, {event.serialNumber, event.manufacturer, event.deviceType}) || !s.addDevice.next()) {
        *result = failure(s.addDevice.lastError());
        return 0;
    }
    const qint64 id = s.addDevice.value(0).toLongLong();
    s.addDevice.finish();
    return id;
}

StoredEvent DeviceBook::storedOrigin(const BookEvent &event) const
{
    BookEvent origin = event;
    if (origin.uuid.isEmpty())
        origin.uuid = newEventUuid();
    if (origin.station.isEmpty())
        origin.station = stationName();
    origin.role = m_role;
    return storedForm(origin);
}

namespace {

QVariantList eventRow(const StoredEvent &stored, qint64 device, const QByteArray &hash)
{
    return {stored.id,     stored.timeMs,           stored.action,       stored.frontEnd, stored.user,
            stored.port,   device,                  stored.status,       textOf(stored.changes),
            stored.file,   stored.sha256,           stored.softwareVersion, stored.counter,
            textOf(stored.details), hash,           stored.uuid,         stored.station,  stored.role};
}

} // namespace

BookResult DeviceBook::insertEvent(const BookEvent &event, bool mayBeThere)
{
    Statements &s = *m_statements;
    // Every other writer waits while the head is held: a device known
    // already is looked up before. A new one is added under the head, so
    // that two writers cannot both add it.
    BookResult result{BookStatus::Ok, true, {}, {}, 0};
    qint64 device = knownDeviceId(event, &result);
    if (result.status != BookStatus::Ok)
        return result;
    if (!s.head.exec())
        return failure(s.head.lastError());
    StoredEvent stored = storedOrigin(event);
    const bool hasHead = s.head.next();
    stored.id = hasHead ? s.head.value(0).toLongLong() + 1 : 1;
    const QByteArray previousHash = hasHead ? s.head.value(1).toByteArray() : QByteArray();
    s.head.finish();
    // With the head held no other writer can add the same uuid meanwhile.
    if (mayBeThere && !event.uuid.isEmpty()) {
        if (!bindAndRun(s.findEvent, {event.uuid}))
            return failure(s.findEvent.lastError());
        const qint64 known = s.findEvent.next() ? s.findEvent.value(0).toLongLong() : 0;
        s.findEvent.finish();
        if (known > 0)
            return {BookStatus::Ok, true, {}, {}, known};
    }
    result.id = stored.id;
    if (device == 0 && (device = deviceId(event, &result)) == 0)
        return result;
    const QByteArray hash = chainHash(previousHash, stored);
    if (!bindAndRun(s.addEvent, eventRow(stored, device, hash)))
        return failure(s.addEvent.lastError());
    if (!bindAndRun(s.setHead, {stored.id, hash}))
        return failure(s.setHead.lastError());
    return result;
}

BookResult DeviceBook::record(const BookEvent &given)
{
    // An empty name would give SQLite a private temporary database.
    if (m_path.isEmpty())
        return {BookStatus::Failed, false, {}, {}, 0};
    if (const BookResult ready = readyToWrite(); !ready.recorded)
        return ready;
    // The uuid is made before the first try, so that a second one knows it.
    BookEvent event = given;
    if (event.uuid.isEmpty())
        event.uuid = newEventUuid();
    // On a server an event may come again (a sender that lost the answer).
    const BookResult result = recordOnce(event, isServer());
    if (isServer() && result.status == BookStatus::Unreachable) {
        // A server restarted since the last event leaves a dead connection:
        // once more on a new one. Should the first commit have landed with
        // its answer lost, the event is there under its uuid.
        const BookResult reopened = openServer(false);
        if (reopened.status != BookStatus::Ok) {
            close();
            return reopened;
        }
        return recordOnce(event, true);
    }
    if (!isDamage(result.status))
        return result;
    BookResult again = setAsideAndReopen(result);
    if (!again.recorded)
        return again;
    const BookResult retried = transaction([&] { return insertEvent(event); });
    if (retried.status != BookStatus::Ok)
        return retried;
    again.id = retried.id;
    return again;
}

BookResult DeviceBook::recordOnce(const BookEvent &event, bool mayBeThere)
{
    return transaction([&] { return insertEvent(event, mayBeThere); });
}

// Inside a transaction: the head taken first, so that no other writer can
// add the same uuid between the look and the insert.
BookResult DeviceBook::lockedUuidId(const QString &uuid, qint64 *id)
{
    Statements &s = *m_statements;
    if (!s.head.exec())
        return failure(s.head.lastError());
    s.head.finish();
    QSqlQuery &known = s.findEvent;
    if (!bindAndRun(known, {uuid}))
        return failure(known.lastError());
    *id = known.next() ? known.value(0).toLongLong() : 0;
    known.finish();
    return {BookStatus::Ok, true, {}, {}, 0};
}

BookResult DeviceBook::recordUnique(const QList<BookEvent> &events, int *added)
{
    if (added)
        *added = 0;
    if (const BookResult ready = readyToWrite(); !ready.recorded)
        return ready;
    int count = 0;
    const BookResult result = transaction([&]() -> BookResult {
        for (const BookEvent &event : events) {
            qint64 known = 0;
            if (!event.uuid.isEmpty()) {
                if (const BookResult looked = lockedUuidId(event.uuid, &known); looked.status != BookStatus::Ok)
                    return looked;
            }
            if (known > 0)
                continue;
            if (const BookResult inserted = insertEvent(event); inserted.status != BookStatus::Ok)
                return inserted;
            ++count;
        }
        return {BookStatus::Ok, true, {}, {}, 0};
    });
    if (added && result.status == BookStatus::Ok)
        *added = count;
    return result;
}

BookResult DeviceBook::recordAll(const std::function<bool(BookEvent &)> &next)
{
    if (!isOpen() || m_readOnly)
        return {BookStatus::Failed, false, {}, {}, 0};
    return transaction([&]() -> BookResult {
        // The head is held and read once and written once: a server's head
        // row updated for every event leaves a version behind each time,
        // which every later read of it in the transaction walks through.
        Statements &s = *m_statements;
        if (!s.head.exec())
            return failure(s.head.lastError());
        const bool hasHead = s.head.next();
        qint64 id = hasHead ? s.head.value(0).toLongLong() : 0;
        QByteArray previous = hasHead ? s.head.value(1).toByteArray() : QByteArray();
        s.head.finish();
        // Many rows to a statement: each statement is a round trip to a server.
        constexpr int kRowsPerInsert = 400;
        QVariantList values;
        const auto insertRows = [&](QSqlQuery &query) -> BookResult {
            if (!bindAndRun(query, values))
                return failure(query.lastError());
            values.clear();
            return {BookStatus::Ok, true, {}, {}, 0};
        };
        QSqlQuery fullInsert(database());
        if (!fullInsert.prepare(eventInsert(kRowsPerInsert)))
            return failure(fullInsert.lastError());
        const qint64 headBefore = id;
        QHash<QStringList, qint64> devices;
        BookEvent event;
        BookResult result{BookStatus::Ok, true, {}, {}, 0};
        while (next(event)) {
            StoredEvent stored = storedOrigin(event);
            stored.id = ++id;
            qint64 &device = devices[{event.serialNumber, event.manufacturer, event.deviceType}];
            if (device == 0 && (device = deviceId(event, &result)) == 0)
                return result;
            previous = chainHash(previous, stored);
            values += eventRow(stored, device, previous);
            if (values.size() == kRowsPerInsert * kEventInsertColumns) {
                if (result = insertRows(fullInsert); result.status != BookStatus::Ok)
                    return result;
            }
        }
        if (!values.isEmpty()) {
            QSqlQuery lastInsert(database());
            if (!lastInsert.prepare(eventInsert(int(values.size() / kEventInsertColumns))))
                return failure(lastInsert.lastError());
            if (result = insertRows(lastInsert); result.status != BookStatus::Ok)
                return result;
        }
        if (id > headBefore && !bindAndRun(s.setHead, {id, previous}))
            return failure(s.setHead.lastError());
        return result;
    });
}

} // namespace tavik7::book
