// The change history of device writes: the CSV bytes and the file that must
// only ever grow by whole records, never through a link.

#include <QtTest>

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#ifdef Q_OS_UNIX
#include <sys/wait.h>
#include <unistd.h>

#include "fifo.h"
#endif

#include "changehistory.h"
#include "parameterfields.h"
#include "samplerecord.h"
#include "texttable.h"

using namespace tavik7;

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

class TestChangeHistory : public QObject
{
    Q_OBJECT

private slots:
    void csvQuoting_data();
    void csvQuoting();
    void recordOfDirectionAndCounterWrite();
    void appendsWithOneHeader();
    void onlyARegularFileTakesRecords_data();
    void onlyARegularFileTakesRecords();
    void concurrentWritersKeepRecordsWhole();
};

void TestChangeHistory::csvQuoting_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("field");
    QTest::newRow("plain") << QStringLiteral("kWh") << QByteArray("kWh");
    QTest::newRow("empty") << QString() << QByteArray();
    QTest::newRow("comma") << QStringLiteral("1234,5") << QByteArray("\"1234,5\"");
    QTest::newRow("quote") << QStringLiteral("a\"b") << QByteArray("\"a\"\"b\"");
    QTest::newRow("line break") << QStringLiteral("a\r\nb") << QByteArray("\"a\r\nb\"");
    QTest::newRow("utf-8") << QStringLiteral("m³") << QByteArray("m\xc2\xb3");
}

void TestChangeHistory::csvQuoting()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, field);
    QCOMPARE(csvField(text), field);
}

void TestChangeHistory::recordOfDirectionAndCounterWrite()
{
    ParameterRecord before = sampleRecord();
    before.direction = 0;
    ParameterRecord after = sampleRecord();
    QList<FieldChange> changes = parameterChanges(before, after, German);
    changes.append(counterChange(QStringLiteral("00001234,5"), QStringLiteral("00005678,0")));

    const QDateTime when(QDate(2026, 12, 7), QTime(10, 11, 12));
    QCOMPARE(changeHistoryRecord(when, QStringLiteral("/dev/ttyUSB0"), QStringLiteral("123456789"), changes),
             QByteArray("2026-12-07 10:11:12,/dev/ttyUSB0,123456789,Richtung/Direction,0: rechts,1: links,"
                        "Z\xc3\xa4hlwerksstand/Counter status,\"00001234,5\",\"00005678,0\"\r\n"));
    // With nothing read before, every value is new; the old ones stay empty.
    const QList<FieldChange> all = parameterValues(after, English);
    QCOMPARE(all.size(), kParameterFieldCount);
    QVERIFY(all.at(11).oldValue.isEmpty() && all.at(11).newValue == QStringLiteral("1: left"));
    // A write that changed nothing still says when and where it happened.
    QCOMPARE(changeHistoryRecord(when, QStringLiteral("COM3"), QStringLiteral("A,1"), {}),
             QByteArray("2026-12-07 10:11:12,COM3,\"A,1\"\r\n"));
}

void TestChangeHistory::appendsWithOneHeader()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QLatin1String(kChangeHistoryFileName));
    QVERIFY(appendChangeHistory(path, "r1\r\n"));
    QVERIFY(appendChangeHistory(path, "r2\r\n"));
    QCOMPARE(readAll(path), changeHistoryHeader() + "r1\r\nr2\r\n");
    QVERIFY(changeHistoryHeader().startsWith("Datum und Zeit/Date and time,Port,"));

    // A folder that is gone (or never could be made) loses the record, reported by the result.
    QVERIFY(!appendChangeHistory(dir.filePath(QStringLiteral("gone/history.csv")), "r\r\n"));
}

void TestChangeHistory::onlyARegularFileTakesRecords_data()
{
    QTest::addColumn<QString>("kind"); // what lies under the history's name
    QTest::newRow("directory") << "directory";
    QTest::newRow("link to a writable file") << "link";
    QTest::newRow("dangling link, not to be made real") << "dangling link";
    QTest::newRow("named pipe without a reader") << "fifo";
}

void TestChangeHistory::onlyARegularFileTakesRecords()
{
#ifndef Q_OS_UNIX
    QSKIP("links and pipes are a POSIX matter here");
#else
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString path = dir.filePath(QLatin1String(kChangeHistoryFileName));
    const QString target = dir.filePath(QStringLiteral("elsewhere.txt"));
    if (kind == QLatin1String("link")) {
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("keep\n") == 5);
    }
    if (kind == QLatin1String("directory"))
        QVERIFY(QDir().mkdir(path));
    else if (kind == QLatin1String("fifo"))
        QVERIFY(makeFifo(path));
    else
        QVERIFY(QFile::link(target, path));

    bool appended = true;
    QVERIFY(returnsWithoutAReader(path, [&] { appended = appendChangeHistory(path, "r\r\n"); }));
    QVERIFY(!appended);
    QCOMPARE(readAll(target), kind == QLatin1String("link") ? QByteArray("keep\n") : QByteArray("<unreadable>"));
#endif
}

void TestChangeHistory::concurrentWritersKeepRecordsWhole()
{
#ifndef Q_OS_UNIX
    QSKIP("needs fork()");
#else
    QTemporaryDir dir;
    const QString path = dir.filePath(QLatin1String(kChangeHistoryFileName));
    QVERIFY(appendChangeHistory(path, "start\r\n"));

    // Two processes, as two instances of the tool would be: each appends its
    // own long records in a tight loop.
    constexpr int kRecords = 300;
    const QByteArray records[2] = {QByteArray(3000, 'a') + "\r\n", QByteArray(3000, 'b') + "\r\n"};
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        for (int i = 0; i < kRecords; ++i)
            static_cast<void>(appendChangeHistory(path, records[1]));
        ::_exit(0);
    }
    for (int i = 0; i < kRecords; ++i)
        QVERIFY(appendChangeHistory(path, records[0]));
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);

    const QList<QByteArray> lines = readAll(path).split('\n');
    int counts[2] = {};
    for (const QByteArray &line : lines.mid(2, lines.size() - 3)) {
        const QByteArray record = line + '\n';
        QVERIFY2(record == records[0] || record == records[1], "a record was torn");
        ++counts[record == records[1] ? 1 : 0];
    }
    QCOMPARE(counts[0], kRecords);
    QCOMPARE(counts[1], kRecords);
#endif
}

QTEST_GUILESS_MAIN(TestChangeHistory)
#include "tst_changehistory.moc"
