// Rotation of the two output log files at the size limit.

#include <QtTest>

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include "filesizelimit.h"

#include "outputlog.h"
#include "readfile.h"

using namespace tavik7;

namespace {

void writeFile(const QString &path, const QByteArray &content, const QDateTime &modified)
{
    QVERIFY(::writeFile(path, content));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite) && file.setFileTime(modified, QFileDevice::FileModificationTime));
}

} // namespace


class TestOutputLog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void freshFolderCreatesBothFiles();
    void rotation_data();
    void rotation();
    void concurrentWritersKeepRecordsWhole();
    void linkTakesNoRecords();
    void shortWriteLeavesNoHalfRecord();

private:
    QScopedPointer<QTemporaryDir> dir;
    QString file1, file2;
};

void TestOutputLog::init()
{
    dir.reset(new QTemporaryDir);
    QVERIFY(dir->isValid());
    file1 = dir->filePath(QStringLiteral("Tavik7_Output_Logfile1.txt"));
    file2 = dir->filePath(QStringLiteral("Tavik7_Output_Logfile2.txt"));
}

void TestOutputLog::freshFolderCreatesBothFiles()
{
    appendToOutputLog(file1, file2, QStringLiteral("first"));
    appendToOutputLog(file1, file2, QString::fromUtf8("Zählwerksstand ß"));
    QCOMPARE(readFile(file1), QByteArray("first\r\nZ\xe4hlwerksstand \xdf\r\n")); // Latin-1, CR LF
    QCOMPARE(readFile(file2), QByteArray());

    // A folder that cannot be made: nothing, and no complaint.
    const QString gone = dir->filePath(QStringLiteral("no/such/folder/log1.txt"));
    appendToOutputLog(gone, gone + QStringLiteral("2"), QStringLiteral("nothing"));
    QVERIFY(!QFile::exists(gone));
}

void TestOutputLog::rotation_data()
{
    QTest::addColumn<int>("size1");
    QTest::addColumn<int>("size2");
    QTest::addColumn<int>("newer"); // 1, 2, 0 for equal times, -1 for file1 stamped in the future
    QTest::addColumn<QByteArray>("expect1"); // "keep", "append", "new"
    QTest::addColumn<QByteArray>("expect2");

    QTest::newRow("file1 current, 9999 bytes") << 9999 << 50 << 1 << QByteArray("append") << QByteArray("keep");
    QTest::newRow("file1 current, 10000 bytes") << 10000 << 50 << 1 << QByteArray("keep") << QByteArray("new");
    QTest::newRow("file2 current, 10000 bytes") << 50 << 10000 << 2 << QByteArray("new") << QByteArray("keep");
    QTest::newRow("equal times count as file2") << 50 << 60 << 0 << QByteArray("keep") << QByteArray("append");
    // Same time stamp, as after records in quick succession.
    QTest::newRow("equal times, file1 just restarted") << 50 << 10000 << 0 << QByteArray("append") << QByteArray("keep");
    QTest::newRow("equal times, file2 just restarted") << 10000 << 50 << 0 << QByteArray("keep") << QByteArray("append");
    QTest::newRow("equal times, both full") << 10000 << 10000 << 0 << QByteArray("new") << QByteArray("keep");
    // A time from before the clock was set back would keep file 1 current for
    // good, and every record would empty file 2.
    QTest::newRow("file1 from the future") << 10000 << 100 << -1 << QByteArray("keep") << QByteArray("append");
}

void TestOutputLog::rotation()
{
    QFETCH(int, size1);
    QFETCH(int, size2);
    QFETCH(int, newer);
    QFETCH(QByteArray, expect1);
    QFETCH(QByteArray, expect2);

    const QDateTime base = QDateTime::currentDateTime().addSecs(-3600);
    const QByteArray content1(size1, 'a');
    const QByteArray content2(size2, 'b');
    writeFile(file1, content1, newer == 1 ? base.addSecs(10) : newer < 0 ? base.addDays(30) : base);
    writeFile(file2, content2, newer == 2 ? base.addSecs(10) : base);

    appendToOutputLog(file1, file2, QStringLiteral("line"));

    const QByteArray record("line\r\n");
    const auto expected = [&](const QByteArray &how, const QByteArray &before) {
        if (how == "append")
            return before + record;
        if (how == "new")
            return record;
        return before;
    };
    QCOMPARE(readFile(file1), expected(expect1, content1));
    QCOMPARE(readFile(file2), expected(expect2, content2));
}

void TestOutputLog::concurrentWritersKeepRecordsWhole()
{
    // Two program instances share the files; records may be lost at a switch
    // of files, but none may be torn or mixed with another.
    const auto writer = [this](char letter) {
        return QThread::create([this, letter] {
            for (int i = 0; i < 400; ++i)
                appendToOutputLog(file1, file2, QString(60, QLatin1Char(letter)));
        });
    };
    QScopedPointer<QThread> a(writer('a')), b(writer('b'));
    a->start();
    b->start();
    QVERIFY(a->wait(20000) && b->wait(20000));

    const QByteArray both = readFile(file1) + readFile(file2);
    QVERIFY(both.endsWith("\r\n"));
    const QList<QByteArray> records = both.split('\n');
    QVERIFY(records.size() > 100);
    for (const QByteArray &record : records.mid(0, records.size() - 1)) {
        const bool whole = record == QByteArray(60, 'a') + '\r' || record == QByteArray(60, 'b') + '\r';
        QVERIFY2(whole, record.constData());
    }
}

void TestOutputLog::linkTakesNoRecords()
{
    // File 1 full and current: the switch would empty whatever file 2's name leads to.
    const QString target = dir->filePath(QStringLiteral("precious.txt"));
    const QDateTime base = QDateTime::currentDateTime().addSecs(-3600);
    writeFile(target, QByteArray(50, 'p'), base);
    QVERIFY(QFile::link(target, file2));
    writeFile(file1, QByteArray(10000, 'o'), base.addSecs(10));

    appendToOutputLog(file1, file2, QStringLiteral("line"));
    QCOMPARE(readFile(target), QByteArray(50, 'p'));
    QCOMPARE(readFile(file1), QByteArray(10000, 'o'));
}

void TestOutputLog::shortWriteLeavesNoHalfRecord()
{
    // A file size limit makes the write stop part-way, as a full disk does.
    writeFile(file1, QByteArray(100, 'a'), QDateTime::currentDateTime().addSecs(-10));
    writeFile(file2, QByteArray(), QDateTime::currentDateTime().addSecs(-20));
    {
        FileSizeLimit full(103);
        QVERIFY(full.active());
        appendToOutputLog(file1, file2, QStringLiteral("too long for the disk"));
    }
    QCOMPARE(readFile(file1), QByteArray(100, 'a'));

    appendToOutputLog(file1, file2, QStringLiteral("next"));
    QCOMPARE(readFile(file1), QByteArray(100, 'a') + "next\r\n");
}

QTEST_GUILESS_MAIN(TestOutputLog)
#include "tst_outputlog.moc"
