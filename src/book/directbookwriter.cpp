#include "directbookwriter.h"

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
    anchorRecorded(m_book, m_bookPath, recorded);
}

BookResult DirectBookWriter::record(const BookEvent &event)
{
    // Opened at the first event: a run that touches no device leaves no book.
    BookResult opened{BookStatus::Ok, true, {}, {}, 0};
    if (!m_book.isOpen()) {
        opened = m_book.open(m_bookPath, m_changeHistoryPath, m_frontEnd);
        if (!opened.recorded)
            return opened;
    }
    BookEvent named = event;
    // A NAMUR session reads nothing from the device: unless the front end
    // read it on that port, the port's last known device is the one listened to.
    if (event.action == BookAction::Namur && event.serialNumber == QLatin1String(kUnknownIdentity))
        m_book.lastKnownOnPort(event.port, &named);
    BookResult recorded = m_book.record(named);
    if (recorded.setAsidePath.isEmpty() && !opened.setAsidePath.isEmpty() && recorded.recorded) {
        recorded.status = opened.status;
        recorded.setAsidePath = opened.setAsidePath;
    }
    return recorded;
}

} // namespace tavik7::book

// Its meta-object here, not with the library's others: the writer process's
// users would link the database code through this class's virtual table.
#include "moc_directbookwriter.cpp"
