// The flash run on a device link to the simulated device: every way a run can
// end with the stand-in tool, real avrdude against the simulator's boot
// loader, and the backups it leaves behind.

#include <QtTest>

#include <QSignalSpy>
#include <QStandardPaths>

#include <csignal>

#include "devicelink.h"
#include "devsim.h"
#include "flashrun.h"
#include "readfile.h"
#include "samplerecord.h"

using tavik7::FlashRun;

namespace {

constexpr int kRunWaitMs = 30000;

enum Tool { Fake, Missing, Avrdude };
enum Ending { Exits, Cancelled, Unplugged, Destroyed };

// The stand-in tool with its output, or a tool that is not there.
void setUpStandIn(FlashRun::Request &request, const QTemporaryDir &work, bool present, const QByteArray &output,
                  bool hangs)
{
    if (!present) {
        request.tool = {work.filePath(QStringLiteral("AVRDude/avrdude")), QStringLiteral("AVRDude/avrdude")};
        return;
    }
    request.tool = {QStringLiteral(TAVIK7_FAKEAVRDUDE_PATH), QStringLiteral("avrdude")};
    qputenv("FAKEAVRDUDE_OUTPUT", output);
    qputenv("FAKEAVRDUDE_ARGS_FILE", QFile::encodeName(work.filePath(QStringLiteral("args.txt"))));
    if (hangs)
        qputenv("FAKEAVRDUDE_HANG", "1");
    else
        qunsetenv("FAKEAVRDUDE_HANG");
}

// A request for the tool and image of a row; false when the tool is missing.
bool prepare(FlashRun::Request &request, const QTemporaryDir &work, int tool, const QByteArray &output, bool hangs,
             const QString &firmware)
{
    request.backupFolder = work.path() + QLatin1Char('/');
    request.deviceRecord = sampleRecord();
    request.deviceCounter = QStringLiteral("012345678");
    if (tool == Avrdude)
        request.tool.program = request.tool.shown = QStandardPaths::findExecutable(QStringLiteral("avrdude"));
    else
        setUpStandIn(request, work, tool == Fake, output, hangs);
    request.firmwareFile = firmware;
    if (!firmware.startsWith(QLatin1Char('/'))) {
        request.firmwareFile = work.filePath(firmware);
        QDir(work.path()).mkpath(QStringLiteral("new fw"));
        // One data byte and the end record; a "corrupt" image's first record has a wrong checksum.
        QFile image(request.firmwareFile);
        image.open(QIODevice::WriteOnly);
        image.write(firmware.contains(QLatin1String("corrupt")) ? ":0100000000FE\n:00000001FF\n"
                                                                 : ":0100000000FF\n:00000001FF\n");
    }
    return !request.tool.program.isEmpty();
}

// A run that does not end by itself: cancelled, or its port pulled first.
// The port is a link of the test's own: pulled, its name is gone for good,
// whereas the pseudo-terminal's number may go to another test's simulator at once.
void interrupt(FlashRun *run, DevSim &sim, const QString &port, int ending)
{
    if (ending == Unplugged) {
        ::kill(pid_t(sim.processId()), SIGKILL);
        QVERIFY(sim.waitForFinished());
        QVERIFY(QFile::remove(port));
    }
    if (ending == Cancelled || ending == Unplugged)
        run->cancel();
}

// What the run reports, in order; "end" when the verdict is out.
void watch(FlashRun *run, QStringList &seen)
{
    QObject::connect(run, &FlashRun::toolStarted, run, [&seen] { seen << QStringLiteral("started"); });
    QObject::connect(run, &FlashRun::errorOccurred, run, [&seen](FlashRun::Error error) {
        const char *const names[] = {"NoError", "NoFirmwareFile", "BadFirmwareImage", "ToolError", "ToolNotStarted"};
        seen << QString::fromLatin1(names[int(error)]);
    });
    QObject::connect(run, &FlashRun::finished, run, [&seen] { seen << QStringLiteral("end"); });
    QObject::connect(run, &FlashRun::noted, run, [&seen](const tavik7::ConsoleEntry &note) {
        seen << QStringLiteral("note %1").arg(int(note.id)); // the backup's (203) or the image's (222)
    });
    QObject::connect(run, &FlashRun::portReleased, run, [&seen] { seen << QStringLiteral("released"); });
    // " below": the verdict stays in view, the port's line goes under it.
    QObject::connect(run, &FlashRun::portTakenBack, run, [&seen, run](FlashRun::Port::Reopen outcome) {
        const FlashRun::PortReturn back = run->portReturn(outcome);
        const bool opened = outcome == FlashRun::Port::Reopen::Opened;
        QCOMPARE(back.message == tavik7::MessageId::PortOpened, opened);
        QCOMPARE(back.note.id == tavik7::MessageId::None, opened);
        seen << QString::fromLatin1(opened ? "Opened" : "Gone") + QLatin1String(back.keepVerdict ? " below" : "");
    });
}

// Taken before every run, offered back after a successful one only, once,
// and only to the device it came from: another one read meanwhile does not
// get it, and does not use it up.
void checkBackup(FlashRun *run, bool started, bool succeeded)
{
    const QString backup = run->run().backupFile;
    QCOMPARE(backup.isEmpty(), !started);
    if (started)
        QCOMPARE(readFile(backup.chopped(4) + QStringLiteral(".counter.txt")), QByteArray("012345678\r\n"));
    tavik7::ParameterRecord other = sampleRecord();
    tavik7::setFieldText(other.serialNumber, tavik7::kSerialNumberWidth, QStringLiteral("222222222"));
    QCOMPARE(run->takeBackupOnOffer(other), QString());
    QCOMPARE(run->takeBackupOnOffer(sampleRecord()), succeeded ? backup : QString());
    QCOMPARE(run->takeBackupOnOffer(sampleRecord()), QString());
}

// What reached the tool and the device: nothing from a refused run, the
// released port's name for the stand-in, the new firmware for real avrdude.
void checkWire(tavik7::DeviceLink &link, DevSim &sim, FlashRun *run, const QTemporaryDir &work,
               const FlashRun::Request &request, const QString &port, int tool, bool started)
{
    // A refused run leaves the port open and sends nothing: no backup, no tool.
    if (!started) {
        QVERIFY(!QFile::exists(work.filePath(QStringLiteral("args.txt"))));
        QVERIFY(link.isOpen() && sim.received().isEmpty() && !run->errorString().isEmpty());
    }
    // The tool addresses the port that was released, whose name the closed link no longer knows.
    const QStringList passed = QString::fromUtf8(readFile(work.filePath(QStringLiteral("args.txt"))))
                                   .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (tool == Fake && started)
        QCOMPARE(passed.mid(9), (QStringList{port, "-U", "flash:w:" + request.firmwareFile + ":i"}));
    if (tool == Avrdude) {
        // The simulated boot loader took the image: the device reports its
        // version. The wizard's read leaves the backup; the technician's takes it.
        QSignalSpy offered(run, &FlashRun::backupOffered);
        for (auto purpose : {tavik7::DeviceReply::Purpose::Wizard, tavik7::DeviceReply::Purpose::Read}) {
            tavik7::DeviceReply *reply = link.read(purpose);
            QVERIFY(reply && QSignalSpy(reply, &tavik7::DeviceReply::finished).wait(kRunWaitMs));
            QCOMPARE(offered.size(), purpose == tavik7::DeviceReply::Purpose::Read ? 1 : 0);
        }
        QCOMPARE(link.memory()->record()->softwareVersion, quint16(112));
        QCOMPARE(offered.at(0).at(0).toString(), run->run().backupFile);
    }
}

} // namespace

class TestFlashRun : public QObject
{
    Q_OBJECT

private slots:
    void runs_data();
    void runs();
    void backupNeverReplacesAnother();
};

void TestFlashRun::runs_data()
{
    QTest::addColumn<int>("tool");
    QTest::addColumn<QByteArray>("output"); // for the stand-in; "\n" as it takes it
    QTest::addColumn<int>("ending");
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<FlashRun::Verdict>("verdict");
    // What the run reports, in order; "end" when the verdict is out.
    QTest::addColumn<QStringList>("events");

    const QString hex = QStringLiteral("new fw/\"v1.12\" tavik.hex"); // blanks and quotes reach the tool as they are
    const QByteArray thanks("avrdude done.  Thank you.\\n");
    QTest::newRow("flashed") << int(Fake) << QByteArray("avrdude: 300 bytes of flash verified\\n\\n") + thanks
                             << int(Exits) << hex << FlashRun::Verdict::Succeeded
                             << QStringList{"note 203", "released", "started", "end", "Opened"};
    // The failure stays the run's last word; the port comes back after it.
    QTest::newRow("tool missing")
        << int(Missing) << QByteArray() << int(Exits) << hex << FlashRun::Verdict::NotStarted
        << QStringList{"note 203", "released", "ToolError", "ToolNotStarted", "end", "Opened below"};
    QTest::newRow("hanging, cancelled") << int(Fake) << QByteArray("Reading | ####\\n") << int(Cancelled) << hex
                                        << FlashRun::Verdict::Failed
                                        << QStringList{"note 203", "released", "started", "ToolError", "end", "Opened below"};
    // The adapter pulled while the tool runs: no other port is opened instead.
    QTest::newRow("port removed during the run")
        << int(Fake) << QByteArray("Reading | ####\\n") << int(Unplugged) << hex << FlashRun::Verdict::Failed
        << QStringList{"note 203", "released", "started", "ToolError", "end", "Gone below"};
    // Nothing may go on writing to the device once nobody reports on it.
    QTest::newRow("hanging, run destroyed") << int(Fake) << QByteArray("Writing | ##\\n") << int(Destroyed) << hex
                                            << FlashRun::Verdict::None << QStringList{"note 203", "released", "started"};
    QTest::newRow("upper-case name") << int(Fake) << thanks << int(Exits) << QStringLiteral("FW.HEX")
                                     << FlashRun::Verdict::None << QStringList{"NoFirmwareFile"};
    // avrdude would erase the chip before it found the bad record.
    QTest::newRow("corrupt image") << int(Fake) << thanks << int(Exits) << QStringLiteral("corrupt.hex")
                                   << FlashRun::Verdict::None << QStringList{"BadFirmwareImage", "note 222"};
    QTest::newRow("real avrdude") << int(Avrdude) << QByteArray() << int(Exits)
                                  << QStringLiteral(TAVIK7_FIRMWARE_DIR "/tavik_v1_12.hex")
                                  << FlashRun::Verdict::Succeeded
                                  << QStringList{"note 203", "released", "started", "end", "Opened"};
}

void TestFlashRun::runs()
{
    QFETCH(int, tool);
    QFETCH(QByteArray, output);
    QFETCH(int, ending);
    QFETCH(QString, firmware);
    QFETCH(FlashRun::Verdict, verdict);
    QFETCH(QStringList, events);

    QTemporaryDir work;
    FlashRun::Request request;
    if (!prepare(request, work, tool, output, ending != Exits, firmware))
        QSKIP("needs avrdude");
    DevSim sim;
    const QString port = work.filePath(QStringLiteral("ttyTAVIK"));
    QVERIFY2(sim.start({QStringLiteral("--version"), QStringLiteral("111")}) && QFile::link(sim.portPath(), port),
             qPrintable(sim.errorString()));
    tavik7::DeviceLink link;
    QVERIFY(link.open({port}));
    auto *run = new FlashRun(&link);
    QStringList seen;
    watch(run, seen);
    QSignalSpy chunks(run, &FlashRun::toolOutput);

    const bool started = run->start(request);
    QCOMPARE(started, verdict != FlashRun::Verdict::None || ending == Destroyed);
    if (started)
        QCOMPARE(link.isOpen(), false);
    if (ending != Exits)
        QVERIFY(chunks.wait(kRunWaitMs));
    interrupt(run, sim, port, ending);
    if (ending == Destroyed) {
        const qint64 pid = run->findChild<QProcess *>()->processId();
        delete run;
        QVERIFY(::kill(pid_t(pid), 0) != 0);
        QCOMPARE(seen, events);
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(run->state(), FlashRun::State::Idle, kRunWaitMs);
    QCOMPARE(seen, events);
    QCOMPARE(run->verdict(), verdict);
    // Reopened on the port released, or on none at all.
    QCOMPARE(link.portName(), events.last().startsWith(QLatin1String("Gone")) ? QString() : port);
    checkWire(link, sim, run, work, request, port, tool, started);
    // The real tool's run was read again above, which took the backup offered.
    checkBackup(run, started, verdict == FlashRun::Verdict::Succeeded && tool != Avrdude);
    delete run;
}

void TestFlashRun::backupNeverReplacesAnother()
{
    // Two instances, or two serial numbers that map to one name, in the same second.
    QTemporaryDir work;
    const QString folder = work.path() + QLatin1Char('/');
    const QDateTime second(QDate(2026, 3, 4), QTime(5, 6, 7));
    tavik7::ParameterRecord record = sampleRecord();
    tavik7::setFieldText(record.serialNumber, tavik7::kSerialNumberWidth, QStringLiteral("../../x"));
    // A counter file left without its data file holds a name all the same.
    const QString base = folder + QStringLiteral("Backup_.._.._x_2026-03-04_05-06-07");
    QVERIFY(QFile(base + QStringLiteral("_2.counter.txt")).open(QIODevice::WriteOnly));

    QStringList names;
    for (const char *counter : {"1", "2", "3"}) {
        const tavik7::BackupResult result = tavik7::writeBackup(folder, record, QString::fromLatin1(counter), second);
        QCOMPARE(result.status, tavik7::BackupResult::Written);
        names << result.dataFile;
    }
    QCOMPARE(names, (QStringList{base + ".dat", base + "_3.dat", base + "_4.dat"}));
    for (int i = 0; i < names.size(); ++i)
        QCOMPARE(readFile(names.at(i).chopped(4) + ".counter.txt"), QByteArray::number(i + 1) + "\r\n");
    QVERIFY(!QFile::exists(base + QStringLiteral("_2.dat")));
    QCOMPARE(readFile(base + QStringLiteral("_2.counter.txt")), QByteArray());

    // A folder that takes no file: reported, nothing left behind.
    const tavik7::BackupResult refused =
        tavik7::writeBackup(folder + QStringLiteral("missing/"), record, std::nullopt, second);
    QCOMPARE(refused.status, tavik7::BackupResult::Failed);
    QCOMPARE(QDir(work.path()).entryList(QDir::Files).size(), 7);
}

QTEST_MAIN(TestFlashRun)
#include "tst_flashrun.moc"
