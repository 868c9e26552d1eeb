#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

namespace tavik7::book {

// Where a production job's row stands, as the book holds it.
struct JobClaim
{
    int row = 0;           // the job file's line
    QString state;         // kClaimed, kVerified, kAlreadyMatching or kFailed
    QString station;
    QString host;
    qint64 pid = 0;
    qint64 timeMs = 0;     // when it was claimed or settled, UTC
    // A telegram carrying the row may have reached a device: from then on
    // only the device showing the row's serial number may take it.
    bool written = false;
    QString error;         // failed: the error word
    QString serialNumber;
};

inline constexpr char kClaimClaimed[] = "claimed";
inline constexpr char kClaimVerified[] = "verified";
inline constexpr char kClaimAlreadyMatching[] = "alreadyMatching";
inline constexpr char kClaimFailed[] = "failed";

struct ClaimResult
{
    enum class Outcome {
        Taken,
        HeldElsewhere, // another process works on the row now
        NoneLeft,      // every row is claimed, done, or may be on a device already
        Failed,        // the book refused; detail says why
    };
    Outcome outcome = Outcome::Failed;
    int row = 0;
    JobClaim before;   // the row's claim as found, when it had one
    bool hadClaim = false;
    QString detail;
};

// The rows of one job claimed in the device book, so that stations working
// on one book never take the same row. Each claim is one statement that
// either takes the row or finds it taken (a row's key is unique, and a
// claim taken back must still be as it was read), so it needs no lock
// beyond the statement's own and reads the same on SQLite and on a server.
class JobClaims
{
public:
    // database: the book's open connection; job: the job file's SHA-256.
    JobClaims(const QSqlDatabase &database, const QString &job, const QString &station);

    // Creates the claims table when the book has none; false with why.
    bool prepare(QString *error);

    // The row of a device that shows its serial number: taken unless another
    // live process holds it.
    ClaimResult claimRow(int row, const QString &serialNumber);
    // A fresh device's row: the first of rows (in order) that no one holds
    // and that no device may carry yet.
    ClaimResult claimNext(const QList<int> &rows, const QList<QString> &serialNumbers);

    // From now on the row's telegram may be on its way to the device.
    bool markWritten(int row);
    // The row's end: verified, alreadyMatching, or failed with its word.
    // onDevice false: the device answered that it took nothing of the row,
    // which frees it for a fresh device again.
    bool settle(int row, const QString &state, const QString &error = QString(), bool onDevice = true);
    // Why the last claim, mark or settle failed.
    [[nodiscard]] const QString &lastError() const { return m_lastError; }

    // Every claim of the job; false with why when the book could not be read.
    // A book without the table has no claims.
    [[nodiscard]] static bool readAll(const QSqlDatabase &database, const QString &job, QList<JobClaim> *claims,
                                      QString *error);

    // Whether the process that made a claim may still run: on this host, it
    // does while its process id is alive; another host's claims are its own.
    [[nodiscard]] static bool holderAlive(const JobClaim &claim);

private:
    bool takeOver(const JobClaim &found);
    bool ran(QSqlQuery &query);
    bool mark(QSqlQuery &query, int row);
    bool insert(int row, const QString &serialNumber, bool *duplicate);
    [[nodiscard]] bool readRow(int row, JobClaim *claim, bool *exists);

    QSqlDatabase m_db;
    QString m_job;
    QString m_station;
    QString m_host;
    qint64 m_pid;
    QString m_lastError;
};

} // namespace tavik7::book
