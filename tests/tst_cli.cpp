// tavik7-cli run as a process against simulated devices, as a script runs
// it: what it prints, what reaches the device, and its exit status. The rules
// behind a refusal are the core's tests; here only how the program reports them.

#include <QtTest>

#include <QJsonDocument>
#include <QJsonObject>

#include <memory>
#include <vector>

#include <csignal>

#include <sys/stat.h>

#include "devsim.h"
#include "readfile.h"

namespace {

constexpr int kRunTimeoutMs = 30000;

struct CliRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

const QStringList kJsonKeys = {"port",        "unit",         "significance", "leadingPlus",     "manufacturer",
                               "deviceType",  "serialNumber", "year",         "softwareVersion", "softwareCrc",
                               "baudRate",    "transmitMode", "direction",    "telegramB",       "crcStart",
                               "counter"};

QStringList sent(DevSim &sim, const char *command)
{
    return sim.received().filter(QRegularExpression(QStringLiteral("^RX %1( |$)").arg(QLatin1String(command))));
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup() { m_sims.clear(); }
    void readMatchesSettingsFile();
    void writeFile_data();
    void writeFile();
    void commands_data();
    void commands();
    void faultyDeviceBesideGoodOne();
    void interruptedWrite_data();
    void interruptedWrite();
    void namurCount();

private:
    QProcess *start(const QStringList &args, const QStringList &variables = {});
    CliRun finish(QProcess &process);
    CliRun run(const QStringList &args, const QStringList &variables = {});
    DevSim &sim(const QStringList &args = {});

    QTemporaryDir m_dir; // per-user folder and files of all runs
    QString m_saved;     // a default device as the window's Save writes it
    std::vector<std::unique_ptr<DevSim>> m_sims;
};

// The per-user folder in the test's own, messages in English.
QProcess *TestCli::start(const QStringList &args, const QStringList &variables)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("APPDATA"), m_dir.path());
    env.insert(QStringLiteral("LANG"), QStringLiteral("C"));
    for (const QString &variable : variables)
        env.insert(variable.section(QLatin1Char('='), 0, 0), variable.section(QLatin1Char('='), 1));
    auto *process = new QProcess(this);
    process->setProcessEnvironment(env);
    process->start(QStringLiteral(TAVIK7_CLI_PATH), args);
    return process;
}

CliRun TestCli::finish(QProcess &process)
{
    CliRun result;
    if (!process.waitForFinished(kRunTimeoutMs))
        return result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

CliRun TestCli::run(const QStringList &args, const QStringList &variables)
{
    return finish(*std::unique_ptr<QProcess>(start(args, variables)));
}

DevSim &TestCli::sim(const QStringList &args)
{
    m_sims.push_back(std::make_unique<DevSim>());
    if (!m_sims.back()->start(args))
        qFatal("%s", qPrintable(m_sims.back()->errorString()));
    return *m_sims.back();
}

void TestCli::initTestCase()
{
    m_saved = m_dir.filePath(QStringLiteral("device.dat"));
    QCOMPARE(run({"read", "-p", sim().portPath(), "-o", m_saved}).exitCode, 0);
    m_sims.clear();
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
        devices.append(QJsonDocument::fromJson(line).object());
        QCOMPARE(devices.last().keys().size(), kJsonKeys.size());
        for (const QString &key : kJsonKeys)
            QVERIFY2(devices.last().value(key).isString(), qPrintable(key));
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
    const QList<QByteArray> fileLines = readFile(m_dir.filePath("b.dat")).split('\n');
    const QList<QByteArray> plainLines = plain.out.trimmed().split('\n');
    QCOMPARE(plainLines.size(), kJsonKeys.size());
    for (int i = 0; i < kJsonKeys.size(); ++i) {
        const QByteArray value = devices[1][kJsonKeys[i]].toString().toUtf8();
        QCOMPARE(plainLines[i], kJsonKeys[i].toUtf8() + '=' + value);
        if (i > 0 && i < kJsonKeys.size() - 1)
            QVERIFY(fileLines.value(i).endsWith('=' + value + '\r'));
    }
}

void TestCli::writeFile_data()
{
    // Each line replaces the file's line of the same German key.
    QTest::addColumn<QByteArrayList>("lines");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("printed");

    const QByteArray turned("Richtung/Direction=1");
    // The firmware's version is the device's, whatever the file says.
    QTest::newRow("direction changed") << QByteArrayList{"Softwareversion/Software version=9.99", turned}
                                       << QStringList() << 0 << QByteArray();
    QTest::newRow("dry run") << QByteArrayList{turned} << QStringList{"--dry-run"} << 0
                             << QByteArray("direction: 0 -> 1\n");
    QTest::newRow("implausible unit") << QByteArrayList{"Einheit/Unit=m 3"} << QStringList() << 5 << QByteArray();
    QTest::newRow("line without its key") << QByteArrayList{"Richtung=1"} << QStringList() << 1 << QByteArray();
}

void TestCli::writeFile()
{
    QFETCH(QByteArrayList, lines);
    QFETCH(QStringList, options);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, printed);

    QByteArray content = readFile(m_saved);
    for (const QByteArray &line : lines) {
        const qsizetype keyEnd = line.contains('/') ? line.indexOf('/') : line.indexOf('=');
        const qsizetype at = content.indexOf('\n' + line.left(keyEnd)) + 1;
        QVERIFY(at > 0);
        content.replace(at, content.indexOf('\r', at) - at, line);
    }
    const QString path = m_dir.filePath(QStringLiteral("edited.dat"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size());
    file.close();

    DevSim &device = sim();
    const CliRun write = run(QStringList{"write", "-p", device.portPath(), path} + options);
    QCOMPARE(write.exitCode, exitCode);
    QCOMPARE(write.out, printed);
    if (exitCode == 5)
        QVERIFY(write.err.contains("Implausible: unit"));
    const QStringList telegrams = sent(device, "SP");
    QCOMPARE(telegrams.size(), exitCode == 0 && options.isEmpty() ? 1 : 0);
    if (telegrams.isEmpty())
        return;
    // As the window's Write: a changed direction takes the device's reading along.
    QCOMPARE(device.commands(), (QStringList{"LP", "L_ZLW", "LP", "L_ZLW", "SP", "S_ZLW"}));
    QCOMPARE(device.received().last(), QStringLiteral("RX S_ZLW 012345678"));
    const QByteArray telegram = QByteArray::fromHex(telegrams.first().mid(6).toLatin1());
    QCOMPARE(int(telegram.at(41)), 1);
    QCOMPARE(telegram.mid(4, 2), QByteArray::fromHex("7000"));
    QVERIFY(run({"read", "-p", device.portPath()}).out.contains("\ndirection=1\n"));
}

void TestCli::faultyDeviceBesideGoodOne()
{
    // Side by side, so that the test waits out the device's 5 s only once.
    const struct
    {
        const char *fault;
        int exitCode;
        QByteArray complaint;
    } faults[] = {{"silent", 3, "No or incomplete data"}, {"hangup=L_ZLW", 2, "went away"}, {"badcrc", 4, "CRC-Error"}};
    std::vector<std::pair<DevSim *, DevSim *>> pairs;
    std::vector<std::unique_ptr<QProcess>> reads;
    for (const auto &fault : faults) {
        pairs.emplace_back(&sim({"--fault", fault.fault}), &sim());
        reads.emplace_back(start({"read", "-p", pairs.back().first->portPath(), "-p", pairs.back().second->portPath(), "--json"}));
    }
    for (size_t i = 0; i < reads.size(); ++i) {
        const CliRun read = finish(*reads[i]);
        QCOMPARE(read.exitCode, faults[i].exitCode);
        QCOMPARE(read.out.count('\n'), 1);
        QCOMPARE(QJsonDocument::fromJson(read.out).object().value("port").toString(), pairs[i].second->portPath());
        QVERIFY(read.err.startsWith("tavik7-cli: " + pairs[i].first->portPath().toUtf8() + ": "));
        QVERIFY2(read.err.contains(faults[i].complaint), read.err.constData());
    }
}

void TestCli::interruptedWrite_data()
{
    QTest::addColumn<QString>("interruptAfter"); // the simulator's log line
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("telegrams");

    QTest::newRow("while reading") << "RX LP" << 130 << 0;
    // The telegram is out: its answer, slowed down here, is awaited and counts.
    QTest::newRow("telegram on the line") << "RX SP" << 0 << 1;
}

void TestCli::interruptedWrite()
{
    QFETCH(QString, interruptAfter);
    QFETCH(int, exitCode);
    QFETCH(int, telegrams);

    DevSim &device = sim({"--fault", "pieces=SP"});
    std::unique_ptr<QProcess> write(start({"write", "-p", device.portPath(), m_saved}));
    QVERIFY(device.waitForLine(interruptAfter));
    QVERIFY(::kill(pid_t(write->processId()), SIGINT) == 0);
    QVERIFY(write->waitForFinished(kRunTimeoutMs));
    QCOMPARE(write->exitCode(), exitCode);
    QCOMPARE(sent(device, "SP").size(), telegrams);
}

void TestCli::namurCount()
{
    // Telegrams a and b alternately, back to back: more of them than counted arrive in one read.
    DevSim &device = sim({"--namur-fast", "--namur-limit", "6", "--telegram-b", "2"});
    const QString log = m_dir.filePath("namur.log");
    const CliRun namur = run({"namur", "-p", device.portPath(), "--count", "3", "--log", log});
    QCOMPARE(namur.exitCode, 0);
    // The lines' form is the listener's to test; here only that three come, both telegrams among them.
    QCOMPARE(namur.out.count("\n"), 3);
    QVERIFY(namur.out.endsWith(";\n"));
    QVERIFY(namur.out.contains(";;012345678;m3[0x65];\n") && namur.out.contains(";;012345678;123456789[0x"));
    // The log holds the same lines, with CR LF.
    QCOMPARE(readFile(log), QByteArray(namur.out).replace("\n", "\r\n"));
}

void TestCli::commands_data()
{
    QTest::addColumn<QStringList>("device");
    QTest::addColumn<QStringList>("args"); // PORT, DIR: the device's port, the test's folder
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("complaint"); // in what it prints on standard error
    QTest::addColumn<QString>("counterSent");

    const QStringList point{"--significance", "1"};
    QTest::newRow("set-counter") << point << QStringList{"set-counter", "-p", "PORT", "9876543,21"} << QStringList()
                                 << 0 << QByteArray() << "RX S_ZLW 987654321";
    QTest::newRow("set-counter, comma misplaced") << point << QStringList{"set-counter", "-p", "PORT", "98765432,1"}
                                                  << QStringList() << 5 << QByteArray() << QString();
    QTest::newRow("set-counter, device error")
        << QStringList{"--fault-once", "error=S_ZLW"} << QStringList{"set-counter", "-p", "PORT", "987654321"}
        << QStringList() << 4 << QByteArray() << "RX S_ZLW 987654321";

    const QStringList report{"report", "-p", "PORT", "-o", "DIR/report.pdf"};
    QTest::newRow("report") << QStringList() << report << QStringList() << 0 << QByteArray() << QString();
    QTest::newRow("report, year the table refuses") << QStringList{"--year", "1900"} << report << QStringList() << 5
                                                    << QByteArray("Implausible: year") << QString();
    // Refused before the port is opened, or when it cannot be: nothing reaches a device.
    QTest::newRow("option of another command") << QStringList() << QStringList{"read", "-p", "PORT", "--dry-run"}
                                               << QStringList() << 1 << QByteArray() << QString();
    QTest::newRow("no port") << QStringList() << QStringList{"read"} << QStringList() << 1 << QByteArray() << QString();
    QTest::newRow("same port twice") << QStringList() << QStringList{"read", "-p", "PORT", "-p", "PORT"}
                                     << QStringList() << 1 << QByteArray() << QString();
    QTest::newRow("missing port") << QStringList() << QStringList{"read", "-p", "DIR/none"} << QStringList() << 2
                                  << QByteArray() << QString();
    QTest::newRow("fifo") << QStringList() << QStringList{"read", "-p", "DIR/fifo"} << QStringList() << 2
                          << QByteArray() << QString();
    QTest::newRow("settings file missing") << QStringList() << QStringList{"write", "-p", "PORT", "DIR/none.dat"}
                                           << QStringList() << 1 << QByteArray() << QString();
    QTest::newRow("report named without .pdf") << QStringList() << QStringList{"report", "-p", "PORT", "-o", "DIR/r.txt"}
                                               << QStringList() << 1 << QByteArray() << QString();

    // The device answers, so it is backed up before any flash.
    const QStringList flash{"flash", "-p", "PORT", "DIR/firmware.hex"};
    const QString fake = QStringLiteral("TAVIK7_AVRDUDE=" TAVIK7_FAKEAVRDUDE_PATH);
    QTest::newRow("flashed") << QStringList() << flash
                             << QStringList{fake, "FAKEAVRDUDE_OUTPUT=avrdude done.  Thank you.\\n"} << 0
                             << QByteArray("backed up before flashing") << QString();
    QTest::newRow("flash failed, thanking all the same")
        << QStringList() << flash
        << QStringList{fake, "FAKEAVRDUDE_EXIT=1",
                       "FAKEAVRDUDE_OUTPUT=avrdude: stk500_recv(): failed\\navrdude done.  Thank you.\\n"}
        << 6 << QByteArray("stk500_recv(): failed\n") << QString();
    QTest::newRow("flash tool missing") << QStringList() << flash << QStringList{"TAVIK7_AVRDUDE=/nonexistent/avrdude"}
                                        << 6 << QByteArray("backed up before flashing") << QString();
}

void TestCli::commands()
{
    QFETCH(QStringList, device);
    QFETCH(QStringList, args);
    QFETCH(QStringList, environment);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, complaint);
    QFETCH(QString, counterSent);

    QTemporaryDir dir;
    QFile image(dir.filePath("firmware.hex"));
    QVERIFY(image.open(QIODevice::WriteOnly) && image.write(":00000001FF\n") > 0);
    image.close();
    QVERIFY(::mkfifo(QFile::encodeName(dir.filePath("fifo")).constData(), 0600) == 0);
    DevSim &simulated = sim(device);
    args.replaceInStrings(QStringLiteral("PORT"), simulated.portPath());
    args.replaceInStrings(QStringLiteral("DIR"), dir.path());
    const CliRun done = run(args, environment);
    QCOMPARE(done.exitCode, exitCode);
    QVERIFY2(done.err.contains(complaint), done.err.constData());
    QCOMPARE(sent(simulated, "S_ZLW"), counterSent.isEmpty() ? QStringList() : QStringList{counterSent});
    if (exitCode == 1 || exitCode == 2)
        QVERIFY(done.out.isEmpty() && !done.err.isEmpty() && simulated.received().isEmpty());
    QCOMPARE(readFile(dir.filePath("report.pdf")).startsWith("%PDF-"), exitCode == 0 && args.first() == "report");
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
