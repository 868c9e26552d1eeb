#include "jobclaims.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
#include <QVariant>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#endif

namespace tavik7::book {

namespace {

constexpr char kTable[] = "job_claims";

// Plain SQL that SQLite and PostgreSQL both take.
constexpr char kCreate[] =
    "CREATE TABLE IF NOT EXISTS job_claims(job TEXT NOT NULL, job_row INTEGER NOT NULL, station TEXT NOT NULL, "
    "host TEXT NOT NULL, pid BIGINT NOT NULL, claimed_ms BIGINT NOT NULL, state TEXT NOT NULL, "
    "written INTEGER NOT NULL, error TEXT NOT NULL, serial TEXT NOT NULL, PRIMARY KEY(job, job_row))";
constexpr char kColumns[] = "job_row, state, station, host, pid, claimed_ms, written, error, serial";

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

JobClaim claimOf(const QSqlQuery &query)
{
    JobClaim claim;
    claim.row = query.value(0).toInt();
    claim.state = query.value(1).toString();
    claim.station = query.value(2).toString();
    claim.host = query.value(3).toString();
    claim.pid = query.value(4).toLongLong();
    claim.timeMs = query.value(5).toLongLong();
    claim.written = query.value(6).toInt() != 0;
    claim.error = query.value(7).toString();
    claim.serialNumber = query.value(8).toString();
    return claim;
}

QString errorText(const QSqlQuery &query)
{
    const QSqlError error = query.lastError();
    return error.databaseText().isEmpty() ? error.text() : error.databaseText();
}

// A row a device showing its serial number may take.
bool freeForItsDevice(const JobClaim &claim)
{
    return claim.state != QLatin1String(kClaimClaimed) || !JobClaims::holderAlive(claim);
}

// A row a fresh device may take: one whose telegram never went out, so no
// other device can carry its serial number.
bool freeForFreshDevice(const JobClaim &claim)
{
    if (claim.written)
        return false;
    return claim.state == QLatin1String(kClaimFailed)
        || (claim.state == QLatin1String(kClaimClaimed) && !JobClaims::holderAlive(claim));
}

} // namespace

JobClaims::JobClaims(const QSqlDatabase &database, const QString &job, const QString &station)
    : m_db(database)
    , m_job(job)
    , m_station(station)
    , m_host(QSysInfo::machineHostName())
    , m_pid(QCoreApplication::applicationPid())
{
}

bool JobClaims::prepare(QString *error)
{
    QSqlQuery query(m_db);
    if (query.exec(QLatin1String(kCreate)))
        return true;
    *error = errorText(query);
    return false;
}

bool JobClaims::holderAlive(const JobClaim &claim)
{
    if (claim.host != QSysInfo::machineHostName())
        return true;
#ifdef Q_OS_UNIX
    if (claim.pid <= 0)
        return false;
    return ::kill(pid_t(claim.pid), 0) == 0 || errno == EPERM;
#else
    return true;
#endif
}

bool JobClaims::readAll(const QSqlDatabase &database, const QString &job, QList<JobClaim> *claims, QString *error)
{
    claims->clear();
    QSqlQuery query(database);
    query.setForwardOnly(true);
    if (!query.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE job = ? ORDER BY job_row")
                           .arg(QLatin1String(kColumns), QLatin1String(kTable)))) {
        // A book no job was ever run on.
        if (!database.tables().contains(QLatin1String(kTable)))
            return true;
        *error = errorText(query);
        return false;
    }
    query.addBindValue(job);
    if (!query.exec()) {
        // A server prepares without looking for the table.
        if (!database.tables().contains(QLatin1String(kTable)))
            return true;
        *error = errorText(query);
        return false;
    }
    while (query.next())
        claims->append(claimOf(query));
    return true;
}

bool JobClaims::readRow(int row, JobClaim *claim, bool *exists)
{
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE job = ? AND job_row = ?")
                      .arg(QLatin1String(kColumns), QLatin1String(kTable)));
    query.addBindValue(m_job);
    query.addBindValue(row);
    if (!query.exec()) {
        m_lastError = errorText(query);
        return false;
    }
    *exists = query.next();
    if (*exists)
        *claim = claimOf(query);
    return true;
}

bool JobClaims::insert(int row, const QString &serialNumber, bool *duplicate)
{
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("INSERT INTO %1(job, job_row, station, host, pid, claimed_ms, state, written, "
                                 "error, serial) VALUES(?, ?, ?, ?, ?, ?, ?, 0, '', COALESCE(?, ''))")
                      .arg(QLatin1String(kTable)));
    for (const QVariant &value : {QVariant(m_job), QVariant(row), QVariant(m_station), QVariant(m_host),
                                  QVariant(m_pid), QVariant(nowMs()), QVariant(QLatin1String(kClaimClaimed)),
                                  QVariant(serialNumber)})
        query.addBindValue(value);
    if (query.exec())
        return true;
    m_lastError = errorText(query);
    // The key taken meanwhile by another station, or a book that refused.
    JobClaim found;
    bool exists = false;
    *duplicate = readRow(row, &found, &exists) && exists;
    return false;
}

// Only while the claim is still exactly as it was found: a station that took
// it back first has changed it.
bool JobClaims::takeOver(const JobClaim &found)
{
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("UPDATE %1 SET station = ?, host = ?, pid = ?, claimed_ms = ?, state = ?, error = '' "
                                 "WHERE job = ? AND job_row = ? AND state = ? AND host = ? AND pid = ? "
                                 "AND claimed_ms = ?")
                      .arg(QLatin1String(kTable)));
    for (const QVariant &value :
         {QVariant(m_station), QVariant(m_host), QVariant(m_pid), QVariant(nowMs()),
          QVariant(QLatin1String(kClaimClaimed)), QVariant(m_job), QVariant(found.row), QVariant(found.state),
          QVariant(found.host), QVariant(found.pid), QVariant(found.timeMs)})
        query.addBindValue(value);
    if (!query.exec()) {
        m_lastError = errorText(query);
        return false;
    }
    return query.numRowsAffected() == 1;
}

ClaimResult JobClaims::claimRow(int row, const QString &serialNumber)
{
    ClaimResult result;
    result.row = row;
    // A few tries: a row found free may be taken by another station between
    // the read and the claim, and is then read again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        bool exists = false;
        if (!readRow(row, &result.before, &exists)) {
            result.detail = m_lastError;
            return result;
        }
        result.hadClaim = exists;
        if (exists && !freeForItsDevice(result.before)) {
            result.outcome = ClaimResult::Outcome::HeldElsewhere;
            return result;
        }
        bool duplicate = false;
        m_lastError.clear();
        if (exists ? takeOver(result.before) : insert(row, serialNumber, &duplicate)) {
            result.outcome = ClaimResult::Outcome::Taken;
            return result;
        }
        if (!m_lastError.isEmpty() && !duplicate) {
            result.detail = m_lastError;
            return result;
        }
    }
    result.outcome = ClaimResult::Outcome::HeldElsewhere;
    return result;
}

ClaimResult JobClaims::claimNext(const QList<int> &rows, const QList<QString> &serialNumbers)
{
    ClaimResult result;
    // Each pass reads the job's claims once; a row another station takes
    // meanwhile makes the claim fail, and the next free row is tried.
    for (int pass = 0; pass < 1000; ++pass) {
        QList<JobClaim> claims;
        QString error;
        if (!readAll(m_db, m_job, &claims, &error)) {
            result.detail = error;
            return result;
        }
        QHash<int, JobClaim> byRow;
        for (const JobClaim &claim : std::as_const(claims))
            byRow.insert(claim.row, claim);
        qsizetype next = -1;
        for (qsizetype i = 0; i < rows.size() && next < 0; ++i) {
            const auto found = byRow.constFind(rows.at(i));
            if (found == byRow.constEnd() || freeForFreshDevice(*found))
                next = i;
        }
        if (next < 0) {
            result.outcome = ClaimResult::Outcome::NoneLeft;
            return result;
        }
        const int row = rows.at(next);
        result.row = row;
        result.hadClaim = byRow.contains(row);
        result.before = byRow.value(row);
        bool duplicate = false;
        m_lastError.clear();
        if (result.hadClaim ? takeOver(result.before) : insert(row, serialNumbers.value(next), &duplicate)) {
            result.outcome = ClaimResult::Outcome::Taken;
            return result;
        }
        if (!m_lastError.isEmpty() && !duplicate) {
            result.detail = m_lastError;
            return result;
        }
    }
    result.detail = QStringLiteral("too many stations claiming at once");
    return result;
}

// One row changed, this process's own: anything else is a book that refused.
bool JobClaims::ran(QSqlQuery &query)
{
    if (!query.exec()) {
        m_lastError = errorText(query);
        return false;
    }
    if (query.numRowsAffected() == 1)
        return true;
    m_lastError = QStringLiteral("the claim is no longer this process's");
    return false;
}

bool JobClaims::markWritten(int row)
{
    QSqlQuery query(m_db);
    // The telegram waits for this mark: on a busy disk a synced commit takes
    // tens of milliseconds, in which a killed run would leave the mark made
    // and the telegram unsent. Unsynced, the mark is in the file for every
    // other process at once and the next synced commit takes it to the disk.
    const bool sqlite = m_db.driverName() == QLatin1String("QSQLITE");
    if (sqlite)
        query.exec(QStringLiteral("PRAGMA synchronous = NORMAL"));
    const bool marked = mark(query, row);
    if (sqlite)
        QSqlQuery(m_db).exec(QStringLiteral("PRAGMA synchronous = FULL"));
    return marked;
}

bool JobClaims::mark(QSqlQuery &query, int row)
{
    query.prepare(QStringLiteral("UPDATE %1 SET written = 1 WHERE job = ? AND job_row = ? AND host = ? AND pid = ?")
                      .arg(QLatin1String(kTable)));
    for (const QVariant &value : {QVariant(m_job), QVariant(row), QVariant(m_host), QVariant(m_pid)})
        query.addBindValue(value);
    return ran(query);
}

bool JobClaims::settle(int row, const QString &state, const QString &error, bool onDevice)
{
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("UPDATE %1 SET state = ?, error = COALESCE(?, ''), claimed_ms = ?, written = written * ? "
                                 "WHERE job = ? AND job_row = ? AND host = ? AND pid = ?")
                      .arg(QLatin1String(kTable)));
    for (const QVariant &value : {QVariant(state), QVariant(error), QVariant(nowMs()), QVariant(onDevice ? 1 : 0), QVariant(m_job),
                                  QVariant(row), QVariant(m_host), QVariant(m_pid)})
        query.addBindValue(value);
    return ran(query);
}

} // namespace tavik7::book
