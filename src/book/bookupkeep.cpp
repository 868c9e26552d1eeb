#include "bookupkeep.h"

#include <QThread>
#include <QTimer>

#include <memory>
#include <utility>

#include "booklocation.h"
#include "bookwriter.h"
#include "chainanchor.h"
#include "outbox.h"

namespace tavik7::book {

namespace {

// Not sooner: each try may wait out the server's connect time-out.
constexpr int kRetryIntervalMs = 10000;

} // namespace

WaitingEvents::WaitingEvents(const QString &location, QObject *parent)
    : QObject(parent)
    , m_location(location)
    , m_sender(new BookWriterProcess(location, userChangeHistoryPath(), this))
    , m_again(new QTimer(this))
{
    m_again->setSingleShot(true);
    m_again->setInterval(kRetryIntervalMs);
    connect(m_again, &QTimer::timeout, m_sender, &BookWriter::sendWaiting);
    connect(m_sender, &BookWriter::sent, this, [this](const OutboxSent &outcome) {
        take(outcome.waiting);
        if (outcome.waiting > 0)
            m_again->start();
    });
}

void WaitingEvents::setLocation(const QString &location)
{
    m_location = location;
    m_sender->setBookPath(location);
    m_again->stop();
}

void WaitingEvents::setRetryIntervalMs(int ms)
{
    m_again->setInterval(ms);
}

void WaitingEvents::check()
{
    take(Outbox(outboxPath()).waiting(m_location));
    if (m_count > 0) {
        m_again->stop();
        m_sender->sendWaiting();
    }
}

void WaitingEvents::take(qint64 waiting)
{
    m_count = waiting;
    emit counted(waiting);
}

ChainCheck::~ChainCheck()
{
    if (m_thread) {
        m_thread->disconnect(this);
        m_stop->store(true);
        m_thread->wait();
        delete m_thread;
    }
}

bool ChainCheck::start(const QString &location)
{
    if (m_thread)
        return false;
    auto verified = std::make_shared<VerifyResult>();
    m_stop = std::make_shared<std::atomic<bool>>(false);
    m_thread = QThread::create([location, verified, stop = m_stop] {
        DeviceBook book;
        const BookResult opened = book.openForReading(location);
        *verified = opened.recorded ? verifyAnchored(book, location, QString(), stop.get())
                                    : VerifyResult{opened.status, 0, ChainBreak::None, 0, 0, opened.detail};
    });
    connect(m_thread, &QThread::finished, this, [this, verified] {
        QThread *done = std::exchange(m_thread, nullptr);
        done->wait();
        delete done;
        emit finished(*verified);
    });
    m_thread->start();
    return true;
}

} // namespace tavik7::book

// Its meta-object here, not with the library's others: a program that only
// records would link the database code through these classes' tables.
#include "moc_bookupkeep.cpp"
