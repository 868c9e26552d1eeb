#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QTimer;

namespace tavik7 {

class NamurListener;

// Telegrams on their way to a console that lays out every paragraph it takes.
// They are handed on in batches, a few times a second at most, and no batch
// is larger than a console can lay out without freezing the window.
class NamurConsoleFeed : public QObject
{
    Q_OBJECT

public:
    // Short enough to look immediate, long enough to take a burst in one go.
    static constexpr int kRefreshMs = 50;
    // Laying out a paragraph costs some 20 us: a few thousand at once would
    // freeze the window.
    static constexpr qsizetype kBatchParagraphs = 1000;

    explicit NamurConsoleFeed(QObject *parent = nullptr);

    // The listener's telegrams from now on: a start begins afresh, a stop
    // hands on everything still queued.
    void follow(NamurListener *listener);
    // Only the newest telegrams a console keeps are queued.
    void add(const QStringList &rendered);
    // All that is queued, in one batch: listening has ended.
    void flushAll();
    void clear();
    [[nodiscard]] qsizetype queuedCount() const { return queued.size(); }

signals:
    // The batch's telegrams, one a line, oldest first.
    void batchReady(const QString &lines);

private:
    void flush(qsizetype maxParagraphs);

    QStringList queued;
    // Running while a batch is due.
    QTimer *timer = nullptr;
};

} // namespace tavik7
