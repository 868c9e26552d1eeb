// tavik7-cli run as a process against simulated devices, as a script runs
// it: what it prints, what reaches the device, and its exit status.

#include <QtTest>

#include <QJsonDocument>
#include <QJsonObject>

#include <memory>
#include <vector>

#include <csignal>

#include <sys/stat.h>

#include "devsim.h"

namespace {

constexpr int kRunTimeoutMs = 30000;

struct CliRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

const QStringList kJsonKeys = {"port",         "unit",        "significance",    "leadingPlus", "manufacturer",
                               "deviceType",   "serialNumber", "year",           "softwareVersion",
                               "softwareCrc",  "baudRate",    "transmitMode",    "direction",   "telegramB",
                               "crcStart",     "counter"};

QByteArray sentTelegram(DevSim &sim)
{
    const QStringList sp = sim.received().filter(QRegularExpression(QStringLiteral("^RX SP ")));
    return sp.isEmpty() ? QByteArray() : QByteArray::fromHex(sp.constLast().mid(6).toLatin1());
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { m_sims.clear(); }
    void readMatchesSettingsFile();
    void writeFile_data();
    void writeFile();
    void setCounter_data();
    void setCounter();
    void faultyDeviceBesideGoodOne_data();
    void faultyDeviceBesideGoodOne();
    void refusedInput_data();
    void refusedInput();
    void interruptedWrite_data();
    void interruptedWrite();
    void namurCount();
    void report_data();
    void report();
    void flash_data();
    void flash();

private:
    QProcessEnvironment environment(const QStringList &variables = {}) const;
    CliRun run(const QStringList &args, const QStringList &variables = {});
    DevSim &sim(const QStringList &args = {});
    QString savedFile(const QString &port);

    QTemporaryDir m_dir; // per-user folder and files of all runs
    std::vector<std::unique_ptr<DevSim>> m_sims;
};

// The per-user folder in the test's own, messages in English.
QProcessEnvironment TestCli::environment(const QStringList &variables) const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("APPDATA"), m_dir.path());
    env.insert(QStringLiteral("LANG"), QStringLiteral("C"));
    for (const QString &variable : variables)
        env.insert(variable.section(QLatin1Char('='), 0, 0), variable.section(QLatin1Char('='), 1));
    return env;
}

CliRun TestCli::run(const QStringList &args, const QStringList &variables)
{
    QProcess process;
    process.setProcessEnvironment(environment(variables));
    process.start(QStringLiteral(TAVIK7_CLI_PATH), args);
    CliRun result;
    if (!process.waitForFinished(kRunTimeoutMs))
        return result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

DevSim &TestCli::sim(const QStringList &args)
{
    m_sims.push_back(std::make_unique<DevSim>());
    DevSim &started = *m_sims.back();
    if (!started.start(args))
        qFatal("%s", qPrintable(started.errorString()));
    return started;
}

// The device as the window's Save writes it, to edit for a write.
QString TestCli::savedFile(const QString &port)
{
    const QString path = m_dir.filePath(QStringLiteral("device.dat"));
    QFile::remove(path);
    const CliRun saved = run({"read", "-p", port, "-o", path});
    return saved.exitCode == 0 ? path : QString();
}

void TestCli::readMatchesSettingsFile()
{
    DevSim &a = sim({"--unit", "kWh", "--significance", "1", "--crc", "a3f", "--counter", "42"});
    DevSim &b = sim({"--version", "111", "--direction", "1", "--serial", "A=1,B"});
    const CliRun json = run({"read", "-p", a.portPath(), "-p", b.portPath(), "--json"});
    QCOMPARE(json.exitCode, 0);
    const QList<QByteArray> lines = json.out.trimmed().split('\n');
    QCOMPARE(lines.size(), 2);
    QList<QJsonObject> devices;
    for (const QByteArray &line : lines) {
        const QJsonObject device = QJsonDocument::fromJson(line).object();
        QCOMPARE(device.keys().size(), kJsonKeys.size());
        for (const QString &key : kJsonKeys)
            QVERIFY2(device.value(key).isString(), qPrintable(key));
        devices.append(device);
    }
    QCOMPARE(devices[0]["port"].toString(), a.portPath());
    QCOMPARE(devices[0]["significance"].toString(), "1");
    QCOMPARE(devices[0]["softwareCrc"].toString(), "0a3f");
    QCOMPARE(devices[0]["counter"].toString(), "000000042");
    QCOMPARE(devices[1]["softwareVersion"].toString(), "1.11");
    QCOMPARE(devices[1]["counter"].toString(), "12345678");

    // Plain output and the saved settings file hold the same values as the JSON.
    const CliRun plain = run({"read", "-p", b.portPath(), "-o", m_dir.filePath("b.dat")});
    QCOMPARE(plain.exitCode, 0);
    QFile file(m_dir.filePath("b.dat"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> fileLines = file.readAll().split('\n');
    QCOMPARE(fileLines.value(6), QByteArray("Seriennummer/Serial number=A=1,B\r"));
    QCOMPARE(fileLines.value(12), QByteArray("Richtung/Direction=1\r"));
    const QList<QByteArray> plainLines = plain.out.trimmed().split('\n');
    QCOMPARE(plainLines.size(), kJsonKeys.size());
    for (int i = 0; i < kJsonKeys.size(); ++i) {
        QCOMPARE(plainLines[i], (kJsonKeys[i] + '=' + devices[1][kJsonKeys[i]].toString()).toUtf8());
        if (i > 0 && i < kJsonKeys.size() - 1)
            QVERIFY(fileLines.value(i).endsWith('=' + devices[1][kJsonKeys[i]].toString().toLatin1() + '\r'));
    }
}

void TestCli::writeFile_data()
{
    QTest::addColumn<QByteArray>("line"); // replaces the file's line with the same key
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("sentDirection"); // -1: no "SP" sent
    QTest::addColumn<QByteArray>("printed");

    const QStringList none;
    const QStringList dryRun{"--dry-run"};
    QTest::newRow("direction changed") << QByteArray("Richtung/Direction=1") << none << 0 << 1 << QByteArray();
    QTest::newRow("dry run") << QByteArray("Richtung/Direction=1") << dryRun << 0 << -1
                             << QByteArray("direction: 0 -> 1\n");
    QTest::newRow("file's software version is not the device's")
        << QByteArray("Softwareversion/Software version=9.99") << dryRun << 0 << -1 << QByteArray();
    QTest::newRow("index out of range") << QByteArray("Richtung/Direction=7") << none << 5 << -1 << QByteArray();
    QTest::newRow("implausible unit") << QByteArray("Einheit/Unit=m 3") << dryRun << 5 << -1
                                      << QByteArray("unit: m3 -> m 3\n");
    QTest::newRow("line without its key") << QByteArray("Richtung=1") << none << 1 << -1 << QByteArray();
}

void TestCli::writeFile()
{
    QFETCH(QByteArray, line);
    QFETCH(QStringList, options);
    QFETCH(int, exitCode);
    QFETCH(int, sentDirection);
    QFETCH(QByteArray, printed);

    DevSim &device = sim();
    const QString path = savedFile(device.portPath());
    QVERIFY(!path.isEmpty());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray content = file.readAll();
    const qsizetype at = content.indexOf(line.left(line.indexOf('=') + 1).replace("Richtung=", "Richtung/"));
    QVERIFY(at > 0);
    content.replace(at, content.indexOf('\r', at) - at, line);
    QVERIFY(file.resize(0) && file.write(content) == content.size());
    file.close();
    device.clearLog();

    const CliRun write = run(QStringList{"write", "-p", device.portPath(), path} + options);
    QCOMPARE(write.exitCode, exitCode);
    QCOMPARE(write.out, printed);
    const QByteArray telegram = sentTelegram(device);
    QCOMPARE(telegram.isEmpty() ? -1 : int(telegram.at(41)), sentDirection);
    if (exitCode == 5)
        QVERIFY(write.err.contains(line.startsWith("Richtung") ? "Implausible: direction" : "Implausible: unit"));
    if (sentDirection >= 0) {
        // The counter is set-counter's to change: the parameters go alone.
        QCOMPARE(device.received().size(), 3);
        QVERIFY(device.received().at(2).startsWith(QStringLiteral("RX SP ")));
        // The firmware's version stays in the telegram; the device reads back the file's direction.
        QCOMPARE(telegram.mid(4, 2), QByteArray::fromHex("7000"));
        QVERIFY(run({"read", "-p", device.portPath()}).out.contains("\ndirection=1\n"));
    }
}

void TestCli::setCounter_data()
{
    QTest::addColumn<QStringList>("device");
    QTest::addColumn<QString>("digits");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("sent");

    QTest::newRow("nine digits") << QStringList() << "987654321" << 0 << "RX S_ZLW 987654321";
    QTest::newRow("comma where the significance puts it")
        << QStringList{"--significance", "1"} << "9876543,21" << 0 << "RX S_ZLW 987654321";
    QTest::newRow("comma misplaced") << QStringList{"--significance", "1"} << "98765432,1" << 5 << QString();
    QTest::newRow("eight digits for nine") << QStringList() << "98765432" << 5 << QString();
    QTest::newRow("eight digits on firmware 1.11") << QStringList{"--version", "111"} << "98765432" << 0
                                                   << "RX S_ZLW 98765432";
    QTest::newRow("not digits") << QStringList() << "98765432x" << 5 << QString();
    QTest::newRow("device error") << QStringList{"--fault-once", "error=S_ZLW"} << "987654321" << 4
                                  << "RX S_ZLW 987654321";
}

void TestCli::setCounter()
{
    QFETCH(QStringList, device);
    QFETCH(QString, digits);
    QFETCH(int, exitCode);
    QFETCH(QString, sent);

    DevSim &simulated = sim(device);
    const CliRun set = run({"set-counter", "-p", simulated.portPath(), digits});
    QCOMPARE(set.exitCode, exitCode);
    const QStringList written = simulated.received().filter(QRegularExpression(QStringLiteral("^RX S_ZLW")));
    QCOMPARE(written, sent.isEmpty() ? QStringList() : QStringList{sent});
}

void TestCli::faultyDeviceBesideGoodOne_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("complaint");

    QTest::newRow("mute") << "silent" << 3 << QByteArray("No or incomplete data");
    QTest::newRow("unplugged while answering") << "hangup=L_ZLW" << 2 << QByteArray("went away");
    QTest::newRow("CRC error") << "badcrc" << 4 << QByteArray("CRC-Error");
}

void TestCli::faultyDeviceBesideGoodOne()
{
    QFETCH(QString, fault);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, complaint);

    DevSim &good = sim();
    DevSim &faulty = sim({"--fault", fault});
    const CliRun read = run({"read", "-p", faulty.portPath(), "-p", good.portPath(), "--json"});
    QCOMPARE(read.exitCode, exitCode);
    QCOMPARE(read.out.count('\n'), 1);
    QCOMPARE(QJsonDocument::fromJson(read.out).object().value("port").toString(), good.portPath());
    QVERIFY(read.err.startsWith("tavik7-cli: " + faulty.portPath().toUtf8() + ": "));
    QVERIFY(read.err.contains(complaint));
}

void TestCli::refusedInput_data()
{
    QTest::addColumn<QStringList>("args"); // PORT stands for a simulated device's port
    QTest::addColumn<int>("exitCode");

    QTest::newRow("unknown command") << QStringList{"frobnicate"} << 1;
    QTest::newRow("unknown option") << QStringList{"read", "-p", "PORT", "--frob"} << 1;
    QTest::newRow("option of another command") << QStringList{"read", "-p", "PORT", "--dry-run"} << 1;
    QTest::newRow("no port") << QStringList{"read"} << 1;
    QTest::newRow("same port twice") << QStringList{"read", "-p", "PORT", "-p", "PORT"} << 1;
    QTest::newRow("missing port") << QStringList{"read", "-p", "DIR/none"} << 2;
    QTest::newRow("directory") << QStringList{"read", "-p", "DIR"} << 2;
    QTest::newRow("fifo") << QStringList{"read", "-p", "DIR/fifo"} << 2;
    QTest::newRow("settings file missing") << QStringList{"write", "-p", "PORT", "DIR/none.dat"} << 1;
}

void TestCli::refusedInput()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);

    DevSim &device = sim();
    QTemporaryDir dir;
    QVERIFY(::mkfifo(QFile::encodeName(dir.filePath("fifo")).constData(), 0600) == 0);
    args.replaceInStrings(QStringLiteral("PORT"), device.portPath());
    args.replaceInStrings(QStringLiteral("DIR"), dir.path());
    const CliRun refused = run(args);
    QCOMPARE(refused.exitCode, exitCode);
    QVERIFY(refused.out.isEmpty());
    QVERIFY(!refused.err.isEmpty());
    QVERIFY(device.received().isEmpty());
}

void TestCli::interruptedWrite_data()
{
    QTest::addColumn<QString>("interruptAfter"); // the simulator's log line
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("telegrams");

    QTest::newRow("while reading") << "RX L_ZLW" << 130 << 0;
    // The telegram is out: its answer is awaited (here in vain) before the end.
    QTest::newRow("telegram on the line") << "RX SP" << 3 << 1;
}

void TestCli::interruptedWrite()
{
    QFETCH(QString, interruptAfter);
    QFETCH(int, exitCode);
    QFETCH(int, telegrams);

    DevSim &device = sim();
    const QString path = savedFile(device.portPath());
    QVERIFY(!path.isEmpty());
    QVERIFY(device.control("fault silent=SP"));
    device.clearLog();
    QProcess write;
    write.setProcessEnvironment(environment());
    write.start(QStringLiteral(TAVIK7_CLI_PATH), {"write", "-p", device.portPath(), path});
    QVERIFY(device.waitForLine(interruptAfter));
    QVERIFY(::kill(pid_t(write.processId()), SIGINT) == 0);
    QVERIFY(write.waitForFinished(kRunTimeoutMs));
    QCOMPARE(write.exitCode(), exitCode);
    QCOMPARE(device.received().filter(QRegularExpression(QStringLiteral("^RX SP "))).size(), telegrams);
}

void TestCli::namurCount()
{
    // Telegrams every 250 ms, a and b alternately.
    DevSim &device = sim({"--transmit-mode", "0", "--telegram-b", "2"});
    const QString log = m_dir.filePath("namur.log");
    const CliRun namur = run({"namur", "-p", device.portPath(), "--count", "3", "--log", log});
    QCOMPARE(namur.exitCode, 0);
    const QList<QByteArray> lines = namur.out.split('\n');
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines[3].isEmpty());
    static const QRegularExpression line(
        R"(^\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\.\d{3};;012345678;(m3|123456789)\[0x[0-9a-f]{1,2}\];$)");
    for (int i = 0; i < 3; ++i)
        QVERIFY2(line.match(QString::fromLatin1(lines[i])).hasMatch(), lines[i].constData());
    QVERIFY(namur.out.contains(";m3[0x65];") && namur.out.contains(";123456789[0x"));
    // The log holds the same lines, with CR LF.
    QFile file(log);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray(namur.out).replace("\n", "\r\n"));
}

void TestCli::flash_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("exit");
    QTest::addColumn<int>("exitCode");

    QTest::newRow("flashed") << TAVIK7_FAKEAVRDUDE_PATH << "avrdude done.  Thank you.\\n" << "0" << 0;
    QTest::newRow("failed, thanking all the same")
        << TAVIK7_FAKEAVRDUDE_PATH << "avrdude: stk500_recv(): failed\\navrdude done.  Thank you.\\n" << "1" << 6;
    QTest::newRow("tool missing") << "/nonexistent/avrdude" << "" << "0" << 6;
}

void TestCli::flash()
{
    QFETCH(QString, tool);
    QFETCH(QString, output);
    QFETCH(QString, exit);
    QFETCH(int, exitCode);

    DevSim &device = sim();
    QFile image(m_dir.filePath("firmware.hex"));
    QVERIFY(image.open(QIODevice::WriteOnly) && image.write(":00000001FF\n") > 0);
    image.close();
    const CliRun flash = run({"flash", "-p", device.portPath(), image.fileName()},
                             {"TAVIK7_AVRDUDE=" + tool, "FAKEAVRDUDE_OUTPUT=" + output, "FAKEAVRDUDE_EXIT=" + exit});
    QCOMPARE(flash.exitCode, exitCode);
    // The device answered, so it was backed up first.
    QVERIFY(flash.err.contains("backed up before flashing"));
    if (exitCode == 6 && !output.isEmpty())
        QVERIFY(flash.err.contains("stk500_recv(): failed\n"));
}

void TestCli::report_data()
{
    QTest::addColumn<QStringList>("device");
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("exitCode");

    QTest::newRow("plausible") << QStringList() << "report.pdf" << 0;
    QTest::newRow("year the table refuses") << QStringList{"--year", "1900"} << "report.pdf" << 5;
    QTest::newRow("name without .pdf") << QStringList() << "report.txt" << 1;
}

void TestCli::report()
{
    QFETCH(QStringList, device);
    QFETCH(QString, file);
    QFETCH(int, exitCode);

    DevSim &simulated = sim(device);
    const QString path = m_dir.filePath(file);
    const CliRun report = run({"report", "-p", simulated.portPath(), "-o", path});
    QCOMPARE(report.exitCode, exitCode);
    QFile pdf(path);
    QCOMPARE(pdf.open(QIODevice::ReadOnly) && pdf.read(5) == "%PDF-", exitCode == 0);
    if (exitCode == 5)
        QVERIFY(report.err.contains("Implausible: year"));
    QFile::remove(path);
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
