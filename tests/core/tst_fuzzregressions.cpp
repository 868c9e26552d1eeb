// Inputs the fuzz targets in fuzz/ once failed on, kept so that the fault
// they showed cannot come back unnoticed.

#include <QtTest>
#include <QTemporaryDir>

#include "outputlog.h"
#include "readfile.h"

using namespace tavik7;

class TestFuzzRegressions : public QObject
{
    Q_OBJECT

private slots:
    void outputLogKeepsNewestRecordsWhenBothFilesAreFull();
};

// fuzz_outputlog: records of 9000, 9000, 9000, 80, 80, 80, 9000, 9000, 9000
// and 80 characters logged in one burst. File times have a coarse
// resolution, so in a burst both files often carry the same modification
// time; once both were full, the tie went to file 2 although file 1 had been
// written last, and file 1 with the newest records was emptied. Several
// rounds, so that at least one of them ties.
void TestFuzzRegressions::outputLogKeepsNewestRecordsWhenBothFilesAreFull()
{
    const int lengths[] = {9000, 9000, 9000, 80, 80, 80, 9000, 9000, 9000, 80};
    for (int round = 0; round < 300; ++round) {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString file1 = dir.filePath(QStringLiteral("Tavik7_Output_Logfile1.txt"));
        const QString file2 = dir.filePath(QStringLiteral("Tavik7_Output_Logfile2.txt"));
        QList<QByteArray> records;
        for (int length : lengths) {
            const QByteArray line = QByteArray::number(records.size()) + ':' + QByteArray(length, 'x');
            records.append(line + "\r\n");
            appendToOutputLog(file1, file2, QString::fromLatin1(line));
        }

        // Rotation empties the older file only: the records since the last
        // switch of files are all still there.
        const QByteArray content = readFile(file1) + readFile(file2);
        for (int i = 7; i < records.size(); ++i)
            QVERIFY2(content.contains(records.at(i)), qPrintable(QStringLiteral("round %1: record %2 lost").arg(round).arg(i)));
    }
}

QTEST_GUILESS_MAIN(TestFuzzRegressions)
#include "tst_fuzzregressions.moc"
