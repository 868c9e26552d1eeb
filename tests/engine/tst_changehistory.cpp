// The change history of device writes: the CSV bytes, a file that only ever
// grows by whole records and never through a link, and the recorder that
// writes one record per write the simulated device acknowledged.

#include <QtTest>

#include <QTemporaryDir>

#include <sys/wait.h>
#include <unistd.h>

#include "changehistory.h"
#include "changerecorder.h"
#include "devsim.h"
#include "fifo.h"
#include "parameterfields.h"
#include "readfile.h"
#include "samplerecord.h"
#include "texttable.h"

using namespace tavik7;

class TestChangeHistory : public QObject
{
    Q_OBJECT

private slots:
    void recordBytes();
    void csvRows_data();
    void csvRows();
    void onlyARegularFileTakesRecords_data();
    void onlyARegularFileTakesRecords();
    void concurrentWritersKeepRecordsWhole();
    void recorderWritesWhatTheDeviceAcknowledged();
};

void TestChangeHistory::recordBytes()
{
    ParameterRecord before = sampleRecord();
    before.direction = 0;
    QList<FieldChange> changes = parameterChanges(before, sampleRecord(), German);
    changes.append(counterChange(QStringLiteral("00001234,5"), QStringLiteral("00005678,0")));
    const QDateTime when(QDate(2026, 12, 7), QTime(10, 11, 12));
    QCOMPARE(changeHistoryRecord(when, QStringLiteral("/dev/ttyUSB0"), QStringLiteral("123456789"), changes),
             QByteArray("2026-12-07 10:11:12,/dev/ttyUSB0,123456789,Richtung/Direction,0: rechts,1: links,"
                        "Z\xc3\xa4hlwerksstand/Counter status,\"00001234,5\",\"00005678,0\"\r\n"));
    // With nothing read before, every value is new and the old ones empty.
    const QList<FieldChange> all = parameterValues(sampleRecord(), English);
    QCOMPARE(all.size(), kParameterFieldCount);
    QVERIFY(all.at(11).oldValue.isEmpty() && all.at(11).newValue == QStringLiteral("1: left"));

    QTemporaryDir dir;
    const QString path = dir.filePath(QLatin1String(kChangeHistoryFileName));
    QVERIFY(appendChangeHistory(path, "r1\r\n") && appendChangeHistory(path, "r2\r\n"));
    QCOMPARE(readFile(path), changeHistoryHeader() + "r1\r\nr2\r\n");
    QVERIFY(!appendChangeHistory(dir.filePath(QStringLiteral("gone/history.csv")), "r\r\n"));
}

// One row of the book's exports: a cell is quoted only when it must be, so
// that a spreadsheet splits the row where the cells end, and nowhere else.
void TestChangeHistory::csvRows_data()
{
    QTest::addColumn<QStringList>("cells");
    QTest::addColumn<QByteArray>("row");

    QTest::newRow("plain, UTF-8") << QStringList{"1", "Zählwerksstand", ""} << QByteArray("1,Z\xc3\xa4hlwerksstand,\r\n");
    QTest::newRow("comma, quote, line ends") << QStringList{"00001234,5", "say \"hi\"", "a -> b\nc -> d", "a\r"}
                                             << QByteArray("\"00001234,5\",\"say \"\"hi\"\"\",\"a -> b\nc -> d\",\"a\r\"\r\n");
}

void TestChangeHistory::csvRows()
{
    QFETCH(QStringList, cells);
    QTEST(csvRow(cells), "row");
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
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString path = dir.filePath(QLatin1String(kChangeHistoryFileName));
    const QString target = dir.filePath(QStringLiteral("elsewhere.txt"));
    if (kind == QLatin1String("link"))
        QVERIFY(writeFile(target, "keep\n"));
    if (kind == QLatin1String("directory"))
        QVERIFY(QDir().mkdir(path));
    else if (kind == QLatin1String("fifo"))
        QVERIFY(makeFifo(path));
    else
        QVERIFY(QFile::link(target, path));

    bool appended = true;
    QVERIFY(returnsWithoutAReader(path, [&] { appended = appendChangeHistory(path, "r\r\n"); }));
    QVERIFY(!appended);
    QCOMPARE(readFile(target), kind == QLatin1String("link") ? QByteArray("keep\n") : QByteArray("<missing>"));
}

void TestChangeHistory::concurrentWritersKeepRecordsWhole()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QLatin1String(kChangeHistoryFileName));
    QVERIFY(appendChangeHistory(path, "start\r\n"));

    // Two processes, as two instances of the tool would be, each appending long records.
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

    // A torn record would leave fewer whole ones of its kind.
    const QByteArray history = readFile(path);
    QCOMPARE(history.size(), changeHistoryHeader().size() + 7 + 2 * kRecords * records[0].size());
    QCOMPARE(history.count(records[0]), kRecords);
    QCOMPARE(history.count(records[1]), kRecords);
}

void TestChangeHistory::recorderWritesWhatTheDeviceAcknowledged()
{
    DevSim sim;
    QVERIFY(sim.start());
    DeviceLink link;
    QVERIFY(link.open({sim.portPath()}));
    QTemporaryDir dir;
    const QString path = dir.filePath(QLatin1String(kChangeHistoryFileName));
    ChangeRecorder recorder(&link, path);
    QSignalSpy unwritable(&recorder, &ChangeRecorder::historyUnwritable);
    const auto ended = [](DeviceReply *reply) { return reply && QSignalSpy(reply, &DeviceReply::finished).wait(); };

    QVERIFY(ended(link.read()));
    ParameterRecord table = *link.memory()->record();
    table.direction = 1;
    QVERIFY(ended(link.write(table)));
    // One record holds the parameters and the counter written after them.
    QByteArray history = readFile(path);
    QVERIFY(history.startsWith(changeHistoryHeader()));
    const QByteArray record = history.mid(changeHistoryHeader().size());
    const QDateTime when = QDateTime::fromString(QString::fromLatin1(record.left(19)), "yyyy-MM-dd hh:mm:ss");
    QVERIFY(qAbs(when.secsTo(QDateTime::currentDateTime())) < 60);
    QCOMPARE(record.mid(19), "," + sim.portPath().toUtf8()
                                 + ",123456789,Richtung/Direction,0: rechts,1: links,"
                                   "Z\xc3\xa4hlwerksstand/Counter status,012345678,012345678\r\n");

    // The counter on its own: the old value is the last one read or written.
    QVERIFY(ended(link.writeCounter("000000042")));
    history = readFile(path);
    QVERIFY(history.endsWith(",123456789,Z\xc3\xa4hlwerksstand/Counter status,012345678,000000042\r\n"));
    QCOMPARE(history.count('\n'), 3);

    // A history that cannot be written is reported once, not after every write.
    QVERIFY(QFile::remove(path) && QDir().mkdir(path));
    for (const QByteArray digits : {"000000043", "000000044"})
        QVERIFY(ended(link.writeCounter(digits)));
    QCOMPARE(unwritable.count(), 1);
    QCOMPARE(unwritable.at(0).at(0).toString(), QDir::toNativeSeparators(path));
}

QTEST_GUILESS_MAIN(TestChangeHistory)
#include "tst_changehistory.moc"
