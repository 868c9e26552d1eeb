#include "namurconsolefeed.h"

#include <QTimer>

#include "namur.h"
#include "namurlistener.h"

namespace tavik7 {

NamurConsoleFeed::NamurConsoleFeed(QObject *parent)
    : QObject(parent)
    , timer(new QTimer(this))
{
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this, [this] { flush(kBatchParagraphs); });
}

void NamurConsoleFeed::follow(NamurListener *listener)
{
    connect(listener, &NamurListener::started, this, &NamurConsoleFeed::clear);
    connect(listener, &NamurListener::telegramsReceived, this, &NamurConsoleFeed::add);
    connect(listener, &NamurListener::stopped, this, &NamurConsoleFeed::flushAll);
}

void NamurConsoleFeed::add(const QStringList &rendered)
{
    queued.append(rendered.mid(qMax<qsizetype>(0, rendered.size() - kNamurConsoleParagraphs)));
    const qsizetype excess = queued.size() - kNamurConsoleParagraphs;
    if (excess > 0)
        queued.remove(0, excess);
    if (!timer->isActive())
        timer->start(kRefreshMs);
}

void NamurConsoleFeed::flushAll()
{
    flush(kNamurConsoleParagraphs);
}

void NamurConsoleFeed::clear()
{
    queued.clear();
}

void NamurConsoleFeed::flush(qsizetype maxParagraphs)
{
    timer->stop();
    if (queued.isEmpty())
        return;
    // The rest follows once other events had their turn; meanwhile the oldest
    // of them may make way for newer ones.
    const qsizetype count = qMin(maxParagraphs, queued.size());
    const QString lines = queued.mid(0, count).join(QLatin1Char('\n'));
    queued.remove(0, count);
    if (!queued.isEmpty())
        timer->start(0);
    emit batchReady(lines);
}

} // namespace tavik7
