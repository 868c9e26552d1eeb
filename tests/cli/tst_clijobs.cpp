// The command line's jobs in-process against simulated devices, where the
// program itself would wait out a device's full time.

#include <QtTest>

#include "commandline.h"
#include "devsim.h"
#include "enginejobs.h"
#include "exitcodes.h"

using namespace tavik7::cli;

class TestCliJobs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void silentDeviceEndsACountedNamurRun();

private:
    QTemporaryDir m_dir; // per-user folder and files of all runs
};

void TestCliJobs::initTestCase()
{
    QVERIFY(m_dir.isValid());
    qputenv("APPDATA", QFile::encodeName(m_dir.path()));
    qputenv("LC_ALL", "C");
}

void TestCliJobs::silentDeviceEndsACountedNamurRun()
{
    // One telegram of the two counted, then nothing.
    DevSim device;
    QVERIFY(device.start({"--namur-fast", "--namur-limit", "1"}));
    const ParsedCommandLine parsed = parseCommandLine(
        {"tavik7-cli", "namur", "-p", device.portPath(), "--count", "2", "--log", m_dir.filePath("quiet.log")});
    QCOMPARE(parsed.outcome, ParsedCommandLine::Run);
    NamurJob job(device.portPath(), parsed.options);
    job.setSilenceMs(1000);
    QByteArray out;
    QByteArray err;
    connect(&job, &PortJob::standardOutput, &job, [&out](const QByteArray &bytes) { out += bytes; });
    connect(&job, &PortJob::diagnostics, &job, [&err](const QByteArray &bytes) { err += bytes; });
    QSignalSpy finished(&job, &PortJob::finished);
    job.start();
    QVERIFY(!finished.isEmpty() || finished.wait(10000));
    QCOMPARE(job.exitCode(), int(ExitNoAnswer));
    QCOMPARE(out.count('\n'), 1);
    QVERIFY2(err.contains("No NAMUR telegram for 1 s"), err.constData());
}

QTEST_GUILESS_MAIN(TestCliJobs)
#include "tst_clijobs.moc"
