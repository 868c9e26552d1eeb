// The flash tool's command line on both systems, where the tool is looked
// for, and how the end of a run is judged.

#include <QtTest>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "flashtool.h"
#include "readfile.h"

using namespace tavik7::flashtool;

class TestFlashTool : public QObject
{
    Q_OBJECT

private slots:
    void commandLines();
    void runJudgement_data();
    void runJudgement();
    void toolLocation();
};

void TestFlashTool::commandLines()
{
    const QString port = portArgument(System::Windows, QStringLiteral("COM3"));
    QCOMPARE(port, QStringLiteral("\\\\.\\COM3"));
    QCOMPARE(portArgument(System::Windows, port), port);
    QCOMPARE(commandLine(defaultToolPath(System::Windows), port, QStringLiteral("C:/fw/image.hex")),
             QStringLiteral("\"AVRDude\\avrdude.exe\" -u -p m168 -b 9600 -c avr109 -v -P \\\\.\\COM3 "
                            "-U flash:w:\"C:/fw/image.hex\":i"));

    // QSerialPort names a port without "/dev/"; avrdude needs the device node.
    QCOMPARE(portArgument(System::Linux, QStringLiteral("ttyUSB0")), QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(defaultToolPath(System::Linux), QStringLiteral("AVRDude/avrdude"));
}

void TestFlashTool::runJudgement_data()
{
    QTest::addColumn<QProcess::ExitStatus>("status");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output");
    QTest::addColumn<bool>("succeeded");

    const QString done = QStringLiteral("avrdude: 300 bytes of flash verified\n\navrdude done.  Thank you.\n\n");
    QTest::newRow("flashed") << QProcess::NormalExit << 0 << done << true;
    // avrdude 7.1 says thank you also after "unable to open programmer".
    QTest::newRow("failed, thanked") << QProcess::NormalExit << 1
                                     << QStringLiteral("avrdude error: unable to open programmer\n\n"
                                                       "avrdude done.  Thank you.\n")
                                     << false;
    QTest::newRow("killed") << QProcess::CrashExit << 0 << done << false;
    QTest::newRow("no thanks") << QProcess::NormalExit << 0 << QStringLiteral("all fine\n") << false;
    QTest::newRow("other case") << QProcess::NormalExit << 0 << QStringLiteral("THANK YOU.") << false;
}

void TestFlashTool::runJudgement()
{
    QFETCH(QProcess::ExitStatus, status);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QTEST(runSucceeded(status, exitCode, output), "succeeded");
}

void TestFlashTool::toolLocation()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString oldCurrent = QDir::currentPath();
    const QByteArray oldPath = qgetenv("PATH");
    const auto restore = qScopeGuard([&] {
        QDir::setCurrent(oldCurrent);
        qputenv("PATH", oldPath);
        qunsetenv(kToolEnvironmentVariable);
    });
    QVERIFY(QDir::setCurrent(dir.path()));
    qunsetenv(kToolEnvironmentVariable);
    qputenv("PATH", QFile::encodeName(dir.path() + QStringLiteral("/empty")));

    // Nothing anywhere: the folder's tool all the same, so that starting it fails.
    Tool tool = locateTool();
    QCOMPARE(tool.shown, defaultToolPath(kThisSystem));
    QVERIFY(!QFileInfo::exists(tool.program));

    // An avrdude on the search path stands in for a missing folder.
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("bin")));
    const QString onPath = dir.filePath(QStringLiteral("bin/avrdude"));
    QVERIFY(writeFile(onPath, {}) && QFile::setPermissions(onPath, QFile::ReadOwner | QFile::ExeOwner));
    qputenv("PATH", QFile::encodeName(dir.filePath(QStringLiteral("bin"))));
    QCOMPARE(QFileInfo(locateTool().program), QFileInfo(onPath));

    // The folder below the working directory wins over the search path.
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("AVRDude")));
    const QString inFolder = QDir(dir.path()).absoluteFilePath(QDir::fromNativeSeparators(defaultToolPath(kThisSystem)));
    QVERIFY(writeFile(inFolder, {}));
    tool = locateTool();
    QCOMPARE(QFileInfo(tool.program), QFileInfo(inFolder));
    QCOMPARE(tool.shown, defaultToolPath(kThisSystem));

    // The environment variable wins over both.
    qputenv(kToolEnvironmentVariable, "/opt/other/avrdude");
    QCOMPARE(locateTool().program, QStringLiteral("/opt/other/avrdude"));
}

QTEST_GUILESS_MAIN(TestFlashTool)
#include "tst_flashtool.moc"
