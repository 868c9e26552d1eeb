// The history PDF's export job: one run at a time, a file complete under
// its name or none at all, and no save over what is not a regular file.

#include <QtTest>

#include <QTemporaryDir>

#include <sys/stat.h>

#include "historypdfexport.h"
#include "readfile.h"

class TestHistoryPdfExport : public QObject
{
    Q_OBJECT

private slots:
    void targets_data();
    void targets();
    void oneAtATimeAndPagesWhole();
};

namespace {

HistoryTable table(int rows)
{
    HistoryTable history{QStringLiteral("Device book: 123456789"), {"No.", "Time", "SHA-256"}, {}, {1, 2, 4}};
    for (int row = 0; row < rows; ++row)
        history.rows.append({QString::number(row + 1), QStringLiteral("2026-12-08 09:00:00 UTC+01:00"),
                             QString(64, QLatin1Char('a' + row % 6))});
    return history;
}

} // namespace

void TestHistoryPdfExport::targets_data()
{
    QTest::addColumn<QString>("name"); // in a fresh folder; "/dev/null" as it stands
    QTest::addColumn<bool>("started");
    QTest::addColumn<bool>("written");

    QTest::newRow("new file") << "history.pdf" << true << true;
    QTest::newRow("missing folder") << "missing/history.pdf" << true << false;
    QTest::newRow("FIFO") << "fifo" << false << false;
    QTest::newRow("device") << "/dev/null" << false << false;
}

void TestHistoryPdfExport::targets()
{
    QFETCH(QString, name);
    QFETCH(bool, started);
    QFETCH(bool, written);
    QTemporaryDir dir;
    const QString path = name.startsWith(QLatin1Char('/')) ? name : dir.filePath(name);
    if (name == QLatin1String("fifo"))
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
    HistoryPdfExport job;
    QSignalSpy finished(&job, &HistoryPdfExport::finished);
    QCOMPARE(job.start(table(3), path), started);
    if (!started) {
        QVERIFY(!job.running() && !QFileInfo(path).isFile());
        return;
    }
    QVERIFY(finished.wait(20000));
    QCOMPARE(finished.first(), (QVariantList{path, written}));
    QCOMPARE(readFile(path).startsWith("%PDF-"), written);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), written ? QStringList{name} : QStringList());
}

// A second run is refused while one lays out, and taken once it has ended.
void TestHistoryPdfExport::oneAtATimeAndPagesWhole()
{
    QTemporaryDir dir;
    HistoryPdfExport job;
    QSignalSpy finished(&job, &HistoryPdfExport::finished);
    QVERIFY(job.start(table(400), dir.filePath("long.pdf")));
    QVERIFY(job.running());
    QVERIFY(!job.start(table(1), dir.filePath("short.pdf")));
    QVERIFY(finished.wait(30000));
    QVERIFY(!job.running());
    QVERIFY(!QFile::exists(dir.filePath("short.pdf")) && readFile(dir.filePath("long.pdf")).startsWith("%PDF-"));
    QVERIFY(job.start(table(1), dir.filePath("short.pdf")));
    QVERIFY(finished.wait(20000));
    QCOMPARE(finished.last().at(1).toBool(), true);
}

QTEST_MAIN(TestHistoryPdfExport)
#include "tst_historypdfexport.moc"
