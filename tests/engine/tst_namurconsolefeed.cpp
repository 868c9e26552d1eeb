// The NAMUR console's feed: bursts of telegrams reach the console in batches
// it can lay out, none lost below the console's own limit, the oldest dropped
// beyond it, and everything at once when listening ends.

#include <QtTest>

#include "namur.h"
#include "namurconsolefeed.h"

using tavik7::NamurConsoleFeed;

namespace {

constexpr int kWaitMs = 5000;

QStringList telegrams(int first, int count)
{
    QStringList lines;
    for (int i = first; i < first + count; ++i)
        lines.append(QStringLiteral("t%1").arg(i));
    return lines;
}

} // namespace

class TestNamurConsoleFeed : public QObject
{
    Q_OBJECT

private slots:
    void batches_data();
    void batches();
    void flushAllAtOnce();
};

void TestNamurConsoleFeed::batches_data()
{
    QTest::addColumn<QList<int>>("bursts");
    QTest::addColumn<QList<int>>("batchSizes");
    QTest::addColumn<QString>("firstLine");

    QTest::newRow("one telegram") << QList<int>{1} << QList<int>{1} << "t0";
    QTest::newRow("two bursts, one batch") << QList<int>{3, 2} << QList<int>{5} << "t0";
    QTest::newRow("burst beyond a batch") << QList<int>{2500} << QList<int>{1000, 1000, 500} << "t0";
    const int over = tavik7::kNamurConsoleParagraphs + 2000;
    QTest::newRow("burst beyond the console")
        << QList<int>{over} << QList<int>(tavik7::kNamurConsoleParagraphs / 1000, 1000) << "t2000";
    QTest::newRow("bursts beyond the console")
        << QList<int>{6000, 6000} << QList<int>(tavik7::kNamurConsoleParagraphs / 1000, 1000) << "t2000";
}

void TestNamurConsoleFeed::batches()
{
    QFETCH(QList<int>, bursts);
    QFETCH(QList<int>, batchSizes);

    NamurConsoleFeed feed;
    QSignalSpy spy(&feed, &NamurConsoleFeed::batchReady);
    int next = 0;
    for (int count : std::as_const(bursts)) {
        feed.add(telegrams(next, count));
        next += count;
    }
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), batchSizes.size(), kWaitMs);
    QCOMPARE(feed.queuedCount(), 0);
    QStringList all;
    for (int i = 0; i < spy.count(); ++i) {
        const QStringList lines = spy.at(i).at(0).toString().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), batchSizes.at(i));
        all += lines;
    }
    QTEST(all.first(), "firstLine");
    QCOMPARE(all.last(), QStringLiteral("t%1").arg(next - 1));
    QVERIFY(!spy.wait(2 * NamurConsoleFeed::kRefreshMs));
}

void TestNamurConsoleFeed::flushAllAtOnce()
{
    NamurConsoleFeed feed;
    QSignalSpy spy(&feed, &NamurConsoleFeed::batchReady);
    feed.add(telegrams(0, 2500));
    feed.flushAll();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString().count(QLatin1Char('\n')), 2499);
    // Cleared at a new start: nothing of the old session follows.
    feed.add(telegrams(0, 5));
    feed.clear();
    QVERIFY(!spy.wait(4 * NamurConsoleFeed::kRefreshMs));
}

QTEST_GUILESS_MAIN(TestNamurConsoleFeed)
#include "tst_namurconsolefeed.moc"
