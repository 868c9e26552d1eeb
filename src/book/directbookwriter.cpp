#include "directbookwriter.h"

#include "booklocation.h"
#include "chainanchor.h"

namespace tavik7::book {

DirectBookWriter::DirectBookWriter(const QString &bookPath, const QString &changeHistoryPath, FrontEnd frontEnd,
                                   QObject *parent)
    : BookWriter(parent), m_bookPath(bookPath), m_changeHistoryPath(changeHistoryPath), m_frontEnd(frontEnd)
{
}

void DirectBookWriter::write(const BookEvent &event)
{
    const BookResult recorded = record(event);
    emit written(recorded);
    // After the result is out: the anchor's own synced write is this
    // workstation's memory of the chain, and the window need not wait on it.
    // An event kept in the outbox has no place in the chain yet.
    if (recorded.outbox.isEmpty())
        anchorRecorded(m_book, m_bookPath, recorded);
}

BookResult DirectBookWriter::record(const BookEvent &event)
{
    // One uuid for the event wherever it lands: a try whose answer was lost
    // and the outbox's copy are then one event on the server.
    BookEvent named = event;
    if (named.uuid.isEmpty())
        named.uuid = newEventUuid();
    // Opened at the first event: a run that touches no device leaves no book.
    BookResult opened{BookStatus::Ok, true, {}, {}, 0};
    if (!m_book.isOpen()) {
        opened = m_book.open(m_bookPath, m_changeHistoryPath, m_frontEnd);
        if (!opened.recorded)
            return keepInOutbox(named, opened);
    }
    // What waited for this server goes first, oldest first; another process
    // already sending them is not waited for.
    if (m_book.isServer())
        m_outbox.send(m_book, false);
    // A NAMUR session reads nothing from the device: unless the front end
    // read it on that port, the port's last known device is the one listened to.
    if (event.action == BookAction::Namur && event.serialNumber == QLatin1String(kUnknownIdentity))
        m_book.lastKnownOnPort(event.port, &named);
    BookResult recorded = m_book.record(named);
    if (!recorded.recorded)
        return keepInOutbox(named, recorded);
    if (recorded.setAsidePath.isEmpty() && !opened.setAsidePath.isEmpty()) {
        recorded.status = opened.status;
        recorded.setAsidePath = opened.setAsidePath;
    }
    return recorded;
}

BookResult DirectBookWriter::keepInOutbox(const BookEvent &event, const BookResult &missed)
{
    // A file book's failures are the file's own; a server location that
    // does not parse names nothing to send to later.
    if (!isServerLocation(m_bookPath) || missed.status == BookStatus::BadLocation)
        return missed;
    BookResult result = missed;
    result.outbox = m_outbox.path();
    const BookResult kept = m_outbox.keep(m_bookPath, event, &result.waiting);
    result.recorded = kept.status == BookStatus::Ok;
    result.outboxStatus = kept.status;
    result.outboxDetail = kept.detail;
    return result;
}

void DirectBookWriter::sendWaiting()
{
    // Nothing waits for a file book, and asking must not create one.
    OutboxSent outcome;
    if (isServerLocation(m_bookPath) && !m_book.isOpen())
        outcome.result = m_book.open(m_bookPath, m_changeHistoryPath, m_frontEnd);
    if (outcome.result.status == BookStatus::Ok && m_book.isOpen() && m_book.isServer())
        outcome = m_outbox.send(m_book);
    else
        outcome.waiting = m_outbox.waiting(m_bookPath);
    emit sent(outcome);
}

} // namespace tavik7::book

// Its meta-object here, not with the library's others: the writer process's
// users would link the database code through this class's virtual table.
#include "moc_directbookwriter.cpp"
