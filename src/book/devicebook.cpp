#include "devicebook.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QUrl>
#include <QVariant>

#include <atomic>

#include "bookschema.h"
#include "bookstatements.h"
#include "historyimport.h"

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
    result.status = statusOfCode(error.nativeErrorCode().toInt());
    result.detail = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    return result;
}

BookResult DeviceBook::open(const QString &path, const QString &changeHistoryPath, FrontEnd frontEnd)
{
    close();
    m_path = path;
    m_changeHistoryPath = changeHistoryPath;
    m_frontEnd = frontEnd;
    m_readOnly = false;
    const BookResult opened = openFile();
    return isDamage(opened.status) ? setAsideAndReopen(opened) : opened;
}

BookResult DeviceBook::openForReading(const QString &path)
{
    close();
    m_path = path;
    m_changeHistoryPath.clear();
    m_readOnly = true;
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
    const BookResult prepared = prepareStatements();
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

// Another program's database is not made a book of, nor set aside.
BookResult DeviceBook::checkIsBook(int version)
{
    if (version > kBookSchemaVersion)
        return {BookStatus::TooNew, false, {}, QString::number(version), 0};
    QSqlQuery query(database());
    if (!query.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'")))
        return failure(query.lastError());
    QStringList tables;
    while (query.next())
        tables.append(query.value(0).toString());
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
    BookResult result = version == kBookSchemaVersion ? prepareStatements()
                                                      : transaction([this] { return upgradeSchema(); });
    if (result.status != BookStatus::Ok)
        m_statements.reset();
    else
        m_version = kBookSchemaVersion;
    return result;
}

BookResult DeviceBook::prepareStatements()
{
    m_statements = std::make_unique<Statements>(database());
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
    if (!control.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return failure(control.lastError());
    BookResult result = work();
    if (result.status == BookStatus::Ok && !control.exec(QStringLiteral("COMMIT")))
        result = failure(control.lastError());
    if (result.status != BookStatus::Ok)
        control.exec(QStringLiteral("ROLLBACK"));
    return result;
}

qint64 DeviceBook::deviceId(const BookEvent &event, BookResult *result)
{
    Statements &s = *m_statements;
    const QVariantList identity{event.serialNumber, event.manufacturer, event.deviceType};
    if (!bindAndRun(s.findDevice, identity)) {
        *result = failure(s.findDevice.lastError());
        return 0;
    }
    if (s.findDevice.next()) {
        const qint64 id = s.findDevice.value(0).toLongLong();
        s.findDevice.finish();
        return id;
    }
    s.findDevice.finish();
    if (!bindAndRun(s.addDevice, identity)) {
        *result = failure(s.addDevice.lastError());
        return 0;
    }
    return s.addDevice.lastInsertId().toLongLong();
}

BookResult DeviceBook::insertEvent(const BookEvent &event)
{
    Statements &s = *m_statements;
    if (!s.head.exec())
        return failure(s.head.lastError());
    StoredEvent stored = storedForm(event);
    const bool hasHead = s.head.next();
    stored.id = hasHead ? s.head.value(0).toLongLong() + 1 : 1;
    const QByteArray previousHash = hasHead ? s.head.value(1).toByteArray() : QByteArray();
    s.head.finish();
    BookResult result{BookStatus::Ok, true, {}, {}, stored.id};
    const qint64 device = deviceId(event, &result);
    if (result.status != BookStatus::Ok)
        return result;
    const QByteArray hash = chainHash(previousHash, stored);
    if (!bindAndRun(s.addEvent, {stored.id, stored.timeMs, stored.action, stored.frontEnd, stored.user, stored.port,
                                 device, stored.status, textOf(stored.changes), stored.file, stored.sha256,
                                 stored.softwareVersion, stored.counter, textOf(stored.details), hash}))
        return failure(s.addEvent.lastError());
    if (!bindAndRun(s.setHead, {stored.id, hash}))
        return failure(s.setHead.lastError());
    return result;
}

BookResult DeviceBook::record(const BookEvent &event)
{
    // An empty name would give SQLite a private temporary database.
    if (m_path.isEmpty())
        return {BookStatus::Failed, false, {}, {}, 0};
    if (m_readOnly)
        return {BookStatus::ReadOnly, false, {}, {}, 0};
    if (!isOpen()) {
        const BookResult reopened = open(m_path, m_changeHistoryPath, m_frontEnd);
        if (!reopened.recorded)
            return reopened;
    }
    const BookResult result = transaction([&] { return insertEvent(event); });
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

BookResult DeviceBook::recordAll(const std::function<bool(BookEvent &)> &next)
{
    if (!isOpen() || m_readOnly)
        return {BookStatus::Failed, false, {}, {}, 0};
    return transaction([&]() -> BookResult {
        BookEvent event;
        BookResult result{BookStatus::Ok, true, {}, {}, 0};
        while (result.status == BookStatus::Ok && next(event))
            result = insertEvent(event);
        return result;
    });
}

} // namespace tavik7::book
