#pragma once

#include <QSqlDatabase>
#include <QString>

#include <functional>

#include "bookevent.h"
#include "devicebook.h"

namespace tavik7::book {

inline constexpr char kOutboxFileName[] = "devicebook-outbox.sqlite";
inline constexpr char kOutboxEnvironmentVariable[] = "TAVIK7_OUTBOX";

// The outbox to use: TAVIK7_OUTBOX, else devicebook-outbox.sqlite in the
// per-user folder (created for it when an event is to be kept).
[[nodiscard]] QString outboxPath(bool forKeeping = false);

struct OutboxSent
{
    BookResult result; // Ok, or why sending stopped (the server's or the outbox's failure)
    qint64 sent = 0;    // events taken out of the outbox: now in the book
    qint64 waiting = 0; // events still waiting for that book
    bool bookFailed = false; // result is the book's failure, not the outbox's
};

// Events for a book on a server that could not take them, kept on this
// workstation until it can. An SQLite file with a rollback journal: a
// sender holds its write lock from reading a batch until the batch is
// removed, so a second sender waits and then finds those events gone, and
// an event the server took is only ever removed, never sent as a new one
// (the server knows each event by its uuid).
class Outbox
{
public:
    explicit Outbox(const QString &path = outboxPath());
    ~Outbox();
    Outbox(const Outbox &) = delete;
    Outbox &operator=(const Outbox &) = delete;

    [[nodiscard]] QString path() const { return m_path; }
    void setBusyTimeoutMs(int ms) { m_busyTimeoutMs = ms; }

    // Keeps event for the book at location; committed on disk when the result
    // is Ok. waiting: how many events wait for that book now, this one included.
    BookResult keep(const QString &location, const BookEvent &event, qint64 *waiting = nullptr);
    // How many events wait for the book at location; 0 when there is no outbox.
    [[nodiscard]] qint64 waiting(const QString &location, BookResult *failure = nullptr);
    // Sends the events waiting for book (open, on its server) into it, oldest
    // first. waitForOthers false: when another process is sending from this
    // outbox, leaves the events to it instead of waiting for its lock.
    OutboxSent send(DeviceBook &book, bool waitForOthers = true);

private:
    BookResult open(bool create);
    BookResult prepareSchema();
    BookResult moveToIdentities();
    BookResult transaction(const std::function<BookResult()> &work);
    [[nodiscard]] QSqlDatabase database() const;
    BookResult failure(const QSqlError &error) const;
    BookResult sendBatch(DeviceBook &book, const QString &target, qint64 *after, OutboxSent *outcome, bool *done);
    void close();

    QString m_path;
    QString m_connection;
    int m_busyTimeoutMs = kBookBusyTimeoutMs;
};

// The one notice of an event kept in (or refused by) the outbox instead of
// the book at bookPath; empty when result went to the book.
[[nodiscard]] QString outboxResultMessage(const BookResult &result, const QString &bookPath, int language);

} // namespace tavik7::book
