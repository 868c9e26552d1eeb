// tavik7-cli run as a process against simulated devices, as a script runs
// it: what it prints, what reaches the device, and its exit status. The rules
// behind a refusal are the core's tests; here only how the program reports them.

#include <QtTest>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <memory>
#include <vector>

#include <csignal>
#include <functional>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/sysmacros.h>
#include <sys/stat.h>
#include <unistd.h>

#include "clirun.h"
#include "devsim.h"
#include "sqlfile.h"
#include "parameterfields.h"
#include "readfile.h"

namespace {

constexpr int kRunTimeoutMs = 30000;
// A silent device is given up on after this, not after its own 5 s.
const QString kShortAnswerWait = QStringLiteral("TAVIK7_ANSWER_TIMEOUT_MS=800");

// The port, every field of the table, the counter.
QStringList jsonKeys()
{
    QStringList keys{QStringLiteral("port")};
    for (int field = 0; field < tavik7::kParameterFieldCount; ++field)
        keys.append(QLatin1String(tavik7::kParameterFields[field].jsonKey));
    return keys << QStringLiteral("counter");
}

const QStringList kJsonKeys = jsonKeys();

// Run in the child: the superuser passes every permission, so a run that
// must meet one goes as nobody.
void asAnotherUser()
{
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
        ::_exit(99);
}

// args: the command line's words, split at each space.
void commandRow(const char *name, const char *args, int exitCode, const QByteArray &complaint = {},
                const QStringList &device = {}, const QStringList &environment = {}, const QString &counterSent = {})
{
    QTest::newRow(name) << device << QString::fromLatin1(args).split(' ') << environment << exitCode << complaint
                        << counterSent;
}

void readRow(const char *name, const QStringList &device, const char *args, int exitCode, const QByteArray &out = {},
             const QByteArray &err = {})
{
    QTest::newRow(name) << device << QString::fromLatin1(args).split(' ') << exitCode << out << err;
}

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
    void interruptedReadBack();
    void cutWrite_data();
    void cutWrite();
    void namurCount();
    void interruptedFlash();
    void waitForPort();
    void unattendedEnds();
    void readAndCheck_data();
    void readAndCheck();
    void trace();
    void deviceBook_data();
    void deviceBook();
    void bookReading_data();
    void bookReading();
    void outputsRefuseNodes_data();
    void outputsRefuseNodes();
    void fullDiskMidRun_data();
    void fullDiskMidRun();
    void permissionDenied();
    void planThenApply_data();
    void planThenApply();

private:
    QProcess *start(const QStringList &args, const QStringList &variables = {}, int standardOutput = -1,
                    const std::function<void()> &inChild = {});
    static CliRun finish(QProcess &process) { return finishCli(process, kRunTimeoutMs); }
    CliRun run(const QStringList &args, const QStringList &variables = {});
    // Answers at once, unless the test is about how they arrive.
    DevSim &sim(const QStringList &args = {});
    DevSim &pacedSim(const QStringList &args = {});

    QTemporaryDir m_dir; // per-user folder and files of all runs
    QString m_saved;     // a default device as the window's Save writes it
    std::vector<std::unique_ptr<DevSim>> m_sims;
};

// The per-user folder in the test's own, messages in English.
// standardOutput: a descriptor the program writes to instead of the test's pipe.
// inChild: run in the child before the program starts (limits, another user).
QProcess *TestCli::start(const QStringList &args, const QStringList &variables, int standardOutput,
                         const std::function<void()> &inChild)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("APPDATA"), m_dir.path());
    env.insert(QStringLiteral("LANG"), QStringLiteral("C"));
    for (const QString &variable : variables)
        env.insert(variable.section(QLatin1Char('='), 0, 0), variable.section(QLatin1Char('='), 1));
    auto *process = new QProcess(this);
    process->setProcessEnvironment(env);
    process->setChildProcessModifier([standardOutput, inChild] {
        if (standardOutput >= 0)
            ::dup2(standardOutput, STDOUT_FILENO);
        if (inChild)
            inChild();
    });
    process->start(QStringLiteral(TAVIK7_CLI_PATH), args);
    return process;
}

CliRun TestCli::run(const QStringList &args, const QStringList &variables)
{
    return finish(*std::unique_ptr<QProcess>(start(args, variables)));
}

DevSim &TestCli::sim(const QStringList &args)
{
    return pacedSim(QStringList{"--quick-answers"} + args);
}

DevSim &TestCli::pacedSim(const QStringList &args)
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
    DevSim &a = pacedSim({"--unit", "kWh", "--significance", "1", "--crc", "a3f", "--counter", "42"});
    DevSim &b = pacedSim({"--version", "111", "--direction", "1", "--serial", "A=1,B"});
    const CliRun json = run({"read", "-p", a.portPath(), "-p", b.portPath(), "--json"});
    QCOMPARE(json.exitCode, 0);
    const QList<QJsonObject> devices = jsonLines(json.out);
    QCOMPARE(devices.size(), 2);
    for (const QJsonObject &device : devices) {
        QCOMPARE(device.keys().size(), kJsonKeys.size());
        for (const QString &key : kJsonKeys)
            QVERIFY2(device.value(key).isString(), qPrintable(key));
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
    QTest::newRow("direction kept") << QByteArrayList{"Baujahr/Year of manufacture=2031"} << QStringList() << 0 << QByteArray();
    QTest::newRow("dry run") << QByteArrayList{turned} << QStringList{"--dry-run"} << 0
                             << QByteArray("direction: 0 -> 1\n");
    QTest::newRow("implausible unit") << QByteArrayList{"Einheit/Unit=m 3"} << QStringList() << 5 << QByteArray();
    // The window's loader would send it as 0; every other refusal is the strict reading's test.
    QTest::newRow("value in words") << QByteArrayList{"Wertigkeit/Significance=three"} << QStringList() << 1
                                    << QByteArray();
}

void TestCli::writeFile()
{
    QFETCH(QByteArrayList, lines);
    QFETCH(QStringList, options);
    QFETCH(int, exitCode);

    QByteArray content = readFile(m_saved);
    for (const QByteArray &line : lines) {
        const qsizetype at = content.indexOf('\n' + line.left(line.indexOf('/'))) + 1;
        QVERIFY(at > 0);
        content.replace(at, content.indexOf('\r', at) - at, line);
    }
    const QString path = m_dir.filePath(QStringLiteral("edited.dat"));
    QVERIFY(::writeFile(path, content));

    DevSim &device = sim();
    const CliRun write = run(QStringList{"write", "-p", device.portPath(), path} + options);
    QCOMPARE(write.exitCode, exitCode);
    QTEST(write.out, "printed");
    if (exitCode == 5)
        QVERIFY2(write.err.contains("nothing sent; implausible: unit=\"m 3\""), write.err.constData());
    if (exitCode == 1) {
        QVERIFY2(write.err.startsWith("tavik7-cli: " + device.portPath().toUtf8() + ": "), write.err.constData());
        QVERIFY(device.received().isEmpty());
    }
    if (lines.join().contains("three"))
        QVERIFY2(write.err.contains("line 3 (Wertigkeit/Significance)"), write.err.constData());
    const QStringList telegrams = sent(device, "SP");
    QCOMPARE(telegrams.size(), exitCode == 0 && options.isEmpty() ? 1 : 0);
    if (telegrams.isEmpty())
        return;
    // As the window's Write: a changed direction takes the device's reading
    // along, read before the telegram and written back after it.
    if (!lines.join().contains("Richtung")) {
        QCOMPARE(device.commands(), (QStringList{"LP", "SP"}));
        return;
    }
    QCOMPARE(device.commands(), (QStringList{"LP", "L_ZLW", "SP", "S_ZLW"}));
    QCOMPARE(device.received().last(), QStringLiteral("RX S_ZLW 012345678"));
    const QByteArray telegram = QByteArray::fromHex(telegrams.first().mid(6).toLatin1());
    QCOMPARE(int(telegram.at(41)), 1);
    QCOMPARE(telegram.mid(4, 2), QByteArray::fromHex("7000"));
    QVERIFY(run({"read", "-p", device.portPath()}).out.contains("\ndirection=1\n"));
}

void TestCli::faultyDeviceBesideGoodOne()
{
    // Side by side, so that the test waits out the silent device's time only once.
    const struct
    {
        const char *fault;
        int exitCode;
        QByteArray complaint;
        QString error;
    } faults[] = {{"silent", 3, "No or incomplete data", "noAnswer"},
                  {"hangup=L_ZLW", 2, "went away", QString()},
                  {"badcrc", 4, "CRC-Error", "wrongAnswer"}};
    std::vector<std::pair<DevSim *, DevSim *>> pairs;
    std::vector<std::unique_ptr<QProcess>> reads;
    // The failed port first: its line must not be passed over when the good
    // one ends before the runner has heard of the failure.
    for (const auto &fault : faults) {
        pairs.emplace_back(&sim({"--fault", fault.fault}), &sim());
        reads.emplace_back(start({"read", "-p", pairs.back().first->portPath(), "-p", pairs.back().second->portPath(), "--json"},
                                 {kShortAnswerWait}));
    }
    for (size_t i = 0; i < reads.size(); ++i) {
        const CliRun read = finish(*reads[i]);
        QCOMPARE(read.exitCode, faults[i].exitCode);
        // One line per port in the ports' order, the failed one's with exactly its four keys.
        const QList<QByteArray> lines = read.out.trimmed().split('\n');
        QCOMPARE(lines.size(), 2);
        const QJsonObject failed = QJsonDocument::fromJson(lines[0]).object();
        QCOMPARE(failed.keys(), QStringList({"error", "exit", "message", "port"}));
        QCOMPARE(failed["port"].toString(), pairs[i].first->portPath());
        QCOMPARE(failed["exit"].toInt(), faults[i].exitCode);
        QVERIFY(read.err.contains(failed["message"].toString().toUtf8()));
        if (!faults[i].error.isEmpty())
            QCOMPARE(failed["error"].toString(), faults[i].error);
        QCOMPARE(QJsonDocument::fromJson(lines[1]).object().value("port").toString(), pairs[i].second->portPath());
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
    QFETCH(int, telegrams);

    DevSim &device = pacedSim({"--fault", "pieces=SP"});
    const QString trace = m_dir.filePath(QStringLiteral("interrupted.txt"));
    std::unique_ptr<QProcess> write(start({"write", "-p", device.portPath(), m_saved, "--trace", trace}));
    QVERIFY(device.waitForLine(interruptAfter));
    // Signals keep coming while the run ends: its status stands, not death by the last signal.
    const pid_t pid = pid_t(write->processId());
    QVERIFY(::kill(pid, SIGINT) == 0);
    QDeadlineTimer deadline(kRunTimeoutMs);
    while (!write->waitForFinished(1) && !deadline.hasExpired())
        ::kill(pid, SIGTERM);
    QCOMPARE(write->exitStatus(), QProcess::NormalExit);
    QTEST(write->exitCode(), "exitCode");
    QCOMPARE(sent(device, "SP").size(), telegrams);
    // The trace is written out however the run ends, the awaited answer's last byte included.
    const QByteArray wire = readFile(trace);
    QVERIFY2(wire.contains(" > 4c 50 0d\n"), wire.constData());
    QCOMPARE(wire.endsWith(" 0a\n"), telegrams > 0);
}

// Cut in its read-back, the write is done all the same: the end must not
// read as "nothing written".
void TestCli::interruptedReadBack()
{
    DevSim &device = pacedSim({});
    std::unique_ptr<QProcess> write(
        start({"write", "-p", device.portPath(), "--set", "unit=l", "--verify", "--json"}));
    QVERIFY(device.waitForReceived(3)); // LP, SP, and the read-back's LP
    QVERIFY(::kill(pid_t(write->processId()), SIGHUP) == 0);
    QVERIFY(write->waitForFinished(kRunTimeoutMs));
    QCOMPARE(write->exitCode(), 130);
    const QJsonObject line = QJsonDocument::fromJson(write->readAllStandardOutput()).object();
    QCOMPARE(line.value("error").toString(), QStringLiteral("interrupted"));
    QCOMPARE(line.value("sent").toString(), QStringLiteral("yes"));
    QVERIFY(line.value("message").toString().contains(QStringLiteral("acknowledged")));
}

void TestCli::cutWrite_data()
{
    QTest::addColumn<QString>("fault");
    // Sent once the counter's write-back is out; 0: none, SIGKILL: to the device.
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("counter"); // the reading left to set again
    QTest::newRow("telegram unanswered") << "silent=SP" << 0 << 3 << "noAnswer" << "";
    QTest::newRow("counter unanswered") << "silent=S_ZLW" << 0 << 3 << "noAnswer" << "012345678";
    QTest::newRow("hang-up, counter unanswered") << "silent=S_ZLW" << SIGHUP << 3 << "noAnswer" << "012345678";
    QTest::newRow("adapter pulled") << "silent=S_ZLW" << SIGKILL << 2 << "portMissing" << "012345678";
}

void TestCli::cutWrite()
{
    QFETCH(QString, fault);
    QFETCH(int, signalNumber);
    QFETCH(QString, error);
    QFETCH(QString, counter);
    DevSim &device = sim({"--fault", fault});
    const QString book = m_dir.filePath(QStringLiteral("cut-%1.sqlite").arg(QTest::currentDataTag()));
    // A name of the test's own for the port: pulled, it is gone for good,
    // whereas the terminal's number may go to another test's simulator at once.
    const QString port = m_dir.filePath(QStringLiteral("tty-%1").arg(QTest::currentDataTag()).replace(' ', '_'));
    QVERIFY(QFile::link(device.portPath(), port));
    std::unique_ptr<QProcess> write(
        start({"--book", book, "write", "-p", port, "--set", "direction=1", "--json"}, {kShortAnswerWait}));
    if (signalNumber != 0) {
        QVERIFY(device.waitForLine(QStringLiteral("RX S_ZLW")));
        const qint64 target = signalNumber == SIGKILL ? device.processId() : write->processId();
        QVERIFY(signalNumber != SIGKILL || QFile::remove(port));
        QVERIFY(::kill(pid_t(target), signalNumber) == 0);
    }
    const CliRun done = finish(*write);
    QTEST(done.exitCode, "exitCode");
    // The device may hold the telegram: the line says it was sent, and a
    // reading not written back after it, for setting again.
    const QJsonObject line = QJsonDocument::fromJson(done.out).object();
    QCOMPARE(line["error"].toString(), error);
    QCOMPARE(line["sent"].toString(), QStringLiteral("yes"));
    QCOMPARE(line["counter"].toString(), counter);
    QVERIFY2(line["message"].toString().contains(counter.isEmpty() ? QStringLiteral("unknown whether") : counter),
             done.out.constData());
    QVERIFY2(done.err.contains(line["message"].toString().toUtf8()), done.err.constData());

    // The event keeps the values that went out, under its failure.
    const QJsonObject event = lastEvent(run({"--book", book, "book", "history", "123456789", "--json"}).out, "write");
    QCOMPARE(event["status"].toString(), error);
    QCOMPARE(event["changes"].toArray().size(), 1);
    QCOMPARE(event["changes"][0]["key"].toString(), QStringLiteral("direction"));
    QCOMPARE(event["changes"][0]["new"].toString(), QStringLiteral("1"));
    const QJsonObject details = event["details"].toObject();
    QCOMPARE(details["parameters"].toString(), counter.isEmpty() ? QStringLiteral("sent") : QStringLiteral("written"));
    QCOMPARE(details["counterNotWrittenBack"].toString(), counter);
}

void TestCli::interruptedFlash()
{
    // Stopped once avrdude runs, the chip may be erased: a failed flash, not 130.
    QTemporaryDir dir;
    QVERIFY(::writeFile(dir.filePath("firmware.hex"), ":0100000000FF\n:00000001FF\n"));
    DevSim &device = sim();
    std::unique_ptr<QProcess> flash(start({"flash", "-p", device.portPath(), dir.filePath("firmware.hex"), "--yes"},
                                          {"TAVIK7_AVRDUDE=" TAVIK7_FAKEAVRDUDE_PATH, "FAKEAVRDUDE_HANG=1"}));
    QByteArray err;
    QTRY_VERIFY_WITH_TIMEOUT((err += flash->readAllStandardError()).contains("avrdude: "), kRunTimeoutMs);
    QVERIFY(::kill(pid_t(flash->processId()), SIGINT) == 0);
    QVERIFY(flash->waitForFinished(kRunTimeoutMs));
    QCOMPARE(flash->exitCode(), 6);
}

void TestCli::waitForPort()
{
    // The adapter comes once the run is waiting for it.
    const QString later = m_dir.filePath("later");
    std::unique_ptr<QProcess> read(start({"read", "-p", later, "--wait", "20", "--field", "year"}));
    QByteArray err;
    QTRY_VERIFY_WITH_TIMEOUT((err += read->readAllStandardError()).contains("waiting"), kRunTimeoutMs);
    QVERIFY(QFile::link(sim().portPath(), later));
    const CliRun done = finish(*read);
    QFile::remove(later);
    QCOMPARE(done.exitCode, 0);
    QCOMPARE(done.out, QByteArray("2024\n"));
}

void TestCli::unattendedEnds()
{
    // A counted run whose device falls silent is tried in-process, with a short wait.
    DevSim &slow = sim();
    std::unique_ptr<QProcess> timed(start({"namur", "-p", slow.portPath(), "--duration", "1", "--log",
                                           m_dir.filePath("timed.log")}));

    // Standard output whose reader is gone, as after `| head -1`: the same
    // failed write as a full disk's.
    int pipeEnds[2];
    QVERIFY(::pipe(pipeEnds) == 0);
    ::close(pipeEnds[0]);
    DevSim &fast = sim({"--namur-fast", "--namur-limit", "6"});
    const QString log = m_dir.filePath("piped.log");
    const CliRun piped = finish(*std::unique_ptr<QProcess>(
        start({"namur", "-p", fast.portPath(), "--count", "3", "--log", log}, {}, pipeEnds[1])));
    // With --json only the end's line goes to stdout.
    const CliRun counted = run({"namur", "-p", sim({"--namur-fast", "--namur-limit", "6"}).portPath(), "--count", "2",
                                "--log", m_dir.filePath("counted.log"), "--json"});
    QCOMPARE(QJsonDocument::fromJson(counted.out).object().value("telegrams").toString(), "2");
    ::close(pipeEnds[1]);
    QCOMPARE(piped.exitCode, 8);
    QVERIFY2(piped.err.contains("standard output cannot be written"), piped.err.constData());
    QCOMPARE(readFile(log).count("\r\n"), 3);

    const CliRun ended = finish(*timed);
    QCOMPARE(ended.exitCode, 0);
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
    commandRow("set-counter", "set-counter -p PORT 9876543,21 --json", 0, {}, point, {}, "RX S_ZLW 987654321");
    commandRow("set-counter, comma misplaced", "set-counter -p PORT 98765432,1", 5, {}, point);
    commandRow("set-counter, device error", "set-counter -p PORT 987654321", 4, {}, {"--fault-once", "error=S_ZLW"},
               {}, "RX S_ZLW 987654321");

    const char *report = "report -p PORT -o DIR/report.pdf --json";
    // Run from cron or a service: no session, and no Qt warning about it.
    commandRow("report", report, 0, {}, {}, {"XDG_RUNTIME_DIR="});
    commandRow("report, year the table refuses", report, 5, "no report; implausible: year=1900", {"--year", "1900"});
    // Refused before the port is opened, or when it cannot be: nothing reaches a device.
    commandRow("no port", "read", 1);
    commandRow("same port twice", "read -p PORT -p PORT", 1);
    commandRow("missing port", "read -p DIR/none", 2);
    commandRow("settings file too large", "write -p PORT DIR/big.dat", 1, "larger than 64 kB");
    commandRow("settings file a fifo", "write -p PORT DIR/fifo.dat", 1, "not a regular file");
    commandRow("settings file missing", "write -p PORT DIR/none.dat", 1);
    commandRow("report named without .pdf", "report -p PORT -o DIR/r.txt", 1);

    // The flash rows: the image checked, the backup, avrdude's verdict.
    // The device answers, so it is backed up before any flash.
    const char *flash = "flash -p PORT DIR/firmware.hex";
    const QString fake = QStringLiteral("TAVIK7_AVRDUDE=" TAVIK7_FAKEAVRDUDE_PATH);
    const QString done = QStringLiteral("FAKEAVRDUDE_OUTPUT=avrdude done.  Thank you.\\n");
    commandRow("flashed", flash, 0, "backed up before flashing", {}, {fake, done});
    // avrdude would erase the chip before it finds the fault: nothing may start it.
    commandRow("corrupt image", "flash -p PORT DIR/corrupt.hex", 1, "corrupt.hex, line 1: bad checksum", {},
               {fake, "FAKEAVRDUDE_EXIT=0"});
    // A pipe under the image's name would hold the check's open for good.
    commandRow("image a fifo", "flash -p PORT DIR/fifo.hex", 1, "fifo.hex: not a regular file", {},
               {fake, "FAKEAVRDUDE_EXIT=0"});
    // Without its backup a device's parameters would go with the erase.
    commandRow("flash, no answer for the backup", flash, 3, "--no-backup", {"--fault", "silent"},
               {fake, kShortAnswerWait});
    commandRow("flash without backup", "flash -p PORT DIR/firmware.hex --no-backup", 0,
               "avrdude: " TAVIK7_FAKEAVRDUDE_PATH "\n", {"--fault", "silent"}, {fake, done});
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
    QVERIFY(::writeFile(dir.filePath("firmware.hex"), ":0100000000FF\n:00000001FF\n"));
    QVERIFY(::writeFile(dir.filePath("corrupt.hex"), ":0100000000FE\n:00000001FF\n"));
    for (const char *name : {"fifo.dat", "fifo.hex"})
        QVERIFY(::mkfifo(QFile::encodeName(dir.filePath(name)).constData(), 0600) == 0);
    QVERIFY(::writeFile(dir.filePath("big.dat"), readFile(m_saved) + QByteArray(70 * 1024, '\n')));
    DevSim &simulated = sim(device);
    args.replaceInStrings(QStringLiteral("PORT"), simulated.portPath());
    args.replaceInStrings(QStringLiteral("DIR"), dir.path());
    const CliRun done = run(args, environment);
    QCOMPARE(done.exitCode, exitCode);
    QVERIFY2(done.err.contains(complaint), done.err.constData());
    QCOMPARE(sent(simulated, "S_ZLW"), counterSent.isEmpty() ? QStringList() : QStringList{counterSent});
    if (exitCode == 1 || exitCode == 2)
        QVERIFY(done.out.isEmpty() && !done.err.isEmpty() && simulated.received().isEmpty());
    QVERIFY2(!done.err.contains("QStandardPaths"), done.err.constData());
    // One JSON line for the port, failed or not.
    if (args.contains("--json")) {
        QCOMPARE(done.out.count('\n'), 1);
        const QJsonObject line = QJsonDocument::fromJson(done.out).object();
        QCOMPARE(line.value("port").toString(), simulated.portPath());
        QCOMPARE(line.value("newCounter").toString(), counterSent.mid(9));
    }
    // Each line on stderr says which port it is about, usage errors aside.
    for (const QByteArray &line : done.err.trimmed().split('\n')) {
        if (!done.err.contains("--help"))
            QVERIFY2(line.isEmpty() || line.startsWith("tavik7-cli: " + args.at(2).toUtf8() + ": "), line.constData());
    }
    QCOMPARE(readFile(dir.filePath("report.pdf")).startsWith("%PDF-"), exitCode == 0 && args.first() == "report");
}

void TestCli::readAndCheck_data()
{
    QTest::addColumn<QStringList>("device");
    QTest::addColumn<QStringList>("args"); // PORT: the device's port, SAVED: the default device's file
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("out"); // exactly; contained when it starts with " or %, a prefix after ^
    QTest::addColumn<QByteArray>("err"); // contained in standard error

    const QStringList turned{"--direction", "1"};
    readRow("check, same", {}, "check -p PORT SAVED", 0);
    readRow("check, differs", turned, "check -p PORT SAVED", 7, "direction: 1 -> 0\n",
            "differs from the file: direction");
    readRow("check, kept", turned, "check -p PORT SAVED --keep direction", 0);
    readRow("check, json", turned, "check -p PORT SAVED --json", 7,
            R"("fields":[{"key":"direction","device":"1","file":"0"}]})" "\n");
    readRow("one field", {}, "read -p PORT --field serialNumber", 0, "123456789\n");
    readRow("counter field", {}, "read -p PORT --field counter", 0, "012345678\n");
    readRow("unknown field", {}, "read -p PORT --field serial", 1, {}, "Unknown field 'serial'");
    // What the window marks red is named with its value; --check makes it fail.
    const QStringList old{"--year", "1900"};
    readRow("implausible, told", old, "read -p PORT --field year", 0, "1900\n", "implausible: year=1900");
    readRow("implausible, checked", old, "read -p PORT --check", 5, {}, "implausible: year=1900");
    // A failed port's JSON line is its failure line, not the reading.
    readRow("implausible, checked, json", old, "read -p PORT --check --json", 5, R"("error":"implausible")",
            "implausible: year=1900");
    readRow("save fails, json", {}, "read -p PORT -o /nonexistent/x.dat --json", 1, R"("error":"badFile")", "x.dat");
    // The device's own record with one change, no file.
    readRow("write --set alone", {}, "write -p PORT --set direction=1 --json", 0,
            R"("changed":["direction"],"verified":"no"})");
    readRow("report to stdout, quiet", {}, "report -p PORT -o - --quiet", 0, "%PDF-");
    // Acknowledged, but a negative exponent takes no leading plus: read back, it is gone.
    readRow("write --verify", {}, "write -p PORT --set significance=0 --set leadingPlus=1 --verify", 7,
            "leadingPlus: 0 -> 1\n", "other values: leadingPlus");
    // A bell in the serial number reaches no terminal as one.
    readRow("control byte", {"--serial", "A\aB"}, "read -p PORT --field serialNumber", 0, "A\\x07B\n",
            "implausible: serialNumber=A\\x07B");
    // The empty line between devices is not there when the first one failed.
    readRow("first port missing", {}, "read -p /nonexistent/tty -p PORT", 2, "^port=PORT\n");
    readRow("regular file as port", {}, "read -p SAVED --json", 2, R"("error":"notSerial")", ": not a serial port\n");
}

void TestCli::readAndCheck()
{
    QFETCH(QStringList, device);
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);

    DevSim &simulated = sim(device);
    args.replaceInStrings(QStringLiteral("PORT"), simulated.portPath());
    args.replaceInStrings(QStringLiteral("SAVED"), m_saved);
    const CliRun done = run(args);
    QCOMPARE(done.exitCode, exitCode);
    QVERIFY2(done.err.contains(err), done.err.constData());
    if (args.contains("--quiet"))
        QVERIFY2(done.err.isEmpty(), done.err.constData());
    out.replace("PORT", simulated.portPath().toUtf8());
    if (exitCode == 5 && out.isEmpty())
        QVERIFY(!done.out.isEmpty());
    else if (out.startsWith('^'))
        QVERIFY2(done.out.startsWith(out.mid(1)), done.out.constData());
    else if (out.startsWith('"') || out.startsWith('%'))
        QVERIFY2(done.out.contains(out), done.out.constData());
    else
        QCOMPARE(done.out, out);
    if (args.first() == QLatin1String("report"))
        return;
    if (args.first() == QLatin1String("write")) {
        QCOMPARE(sent(simulated, "SP").size(), 1);
        QCOMPARE(sent(simulated, "LP").size(), args.contains("--verify") ? 2 : 1);
        return;
    }
    // Reads only: nothing but LP and L_ZLW reaches a device.
    for (const QString &line : simulated.received())
        QVERIFY2(line.startsWith("RX LP") || line.startsWith("RX L_ZLW"), qPrintable(line));
}

// What a field engineer finds in the trace: the requests and the answers'
// bytes in the order they crossed the wire, told apart by direction; with two
// ports, a file each (their names are the command line's own test).
void TestCli::trace()
{
    QTemporaryDir dir;
    QStringList args{"read", "--json", "--trace", dir.filePath("wire.txt")};
    QList<DevSim *> sims;
    for (int i = 0; i < 2; ++i) {
        sims.append(&pacedSim({"--serial", QStringLiteral("TRACE%1").arg(i)}));
        args << "-p" << sims.last()->portPath();
    }
    const CliRun done = run(args);
    QCOMPARE(done.exitCode, 0);
    const QList<QByteArray> readings = done.out.trimmed().split('\n');
    for (int i = 0; i < 2; ++i) {
        const QString port = sims.at(i)->portPath();
        QString name = port.mid(port.startsWith("/dev/") ? 5 : 0).replace('/', '_');
        const QByteArray trace = readFile(dir.filePath("wire-" + name + ".txt"));
        const QRegularExpression form(
            QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z %1 ([<>]) ((?:[0-9a-f]{2} )*[0-9a-f]{2})$")
                .arg(QRegularExpression::escape(port)));
        // Chunks in one direction joined: the telegrams as they went.
        QList<QPair<QString, QByteArray>> wire;
        for (const QByteArray &line : trace.trimmed().split('\n')) {
            const QRegularExpressionMatch match = form.match(QString::fromLatin1(line));
            QVERIFY2(match.hasMatch(), line.constData());
            const QByteArray bytes = QByteArray::fromHex(match.captured(2).toLatin1());
            if (!wire.isEmpty() && wire.last().first == match.captured(1))
                wire.last().second += bytes;
            else
                wire.append({match.captured(1), bytes});
        }
        QCOMPARE(wire.size(), 4);
        QCOMPARE(wire[0], qMakePair(QString(">"), QByteArray("LP\r")));
        // The LP answer announces its own length in its first byte.
        QCOMPARE(wire[1].first, QString("<"));
        QCOMPARE(wire[1].second.size(), int(quint8(wire[1].second.at(0))));
        QVERIFY(wire[1].second.contains("TRACE" + QByteArray::number(i)));
        QCOMPARE(wire[2], qMakePair(QString(">"), QByteArray("L_ZLW\r")));
        const QJsonObject reading = QJsonDocument::fromJson(readings.value(i)).object();
        const QByteArray counter = reading.value("counter").toString().toLatin1();
        QCOMPARE(wire[3], qMakePair(QString("<"), counter + "\r\n"));
    }
}

void TestCli::deviceBook_data()
{
    QTest::addColumn<QString>("kind");       // what lies at the book's path beforehand
    QTest::addColumn<QByteArray>("said");    // the one line of each run about the book
    QTest::addColumn<QString>("missed");     // the reason word on each JSON line, when the book missed
    QTest::newRow("new book") << "" << QByteArray() << QString();
    QTest::newRow("directory") << "directory" << QByteArray("missed this action: a link or not a regular file")
                               << "link";
    QTest::newRow("no folder") << "no folder" << QByteArray("missed this action: folder missing") << "noFolder";
    QTest::newRow("not SQLite, left alone") << "text" << QByteArray("missed this action: not an SQLite database")
                                            << "notSqlite";
}

void TestCli::deviceBook()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, said);
    QFETCH(QString, missed);
    const QString book = m_dir.filePath(QStringLiteral("%1book-%2.sqlite")
                                            .arg(kind == QLatin1String("no folder") ? "gone/" : "")
                                            .arg(QTest::currentDataTag()));
    if (kind == QLatin1String("directory"))
        QVERIFY(QDir().mkdir(book));
    if (kind == QLatin1String("text"))
        QVERIFY(::writeFile(book, "not a book\n"));
    DevSim &device = sim();
    const QString port = device.portPath();
    // Who from the variable or the option, why with each change.
    const QList<QStringList> actions = {
        {"read", "-p", port},
        {"write", "-p", port, "--set", "direction=1", "--reason", "seal replaced"},
        {"set-counter", "-p", port, "000000042", "--technician", "Jo Test", "--reason", "meter swap"}};
    for (const QStringList &action : actions) {
        const CliRun done = run(QStringList{"--book", book} + action + QStringList{"--json"},
                                {"TAVIK7_TECHNICIAN=Ann Example"});
        QCOMPARE(done.exitCode, 0);
        // Neither a folder nor someone's text file is made a book of: every run says so.
        const bool says = !said.isEmpty();
        QVERIFY2(done.err.count("Device book") == (says ? 1 : 0) && (!says || done.err.contains(said)), done.err.constData());
        // The line a script reads says so too, the device's work as it was.
        const QJsonObject line = QJsonDocument::fromJson(done.out).object();
        QVERIFY2(!line.isEmpty() && line["port"] == port, done.out.constData());
        QCOMPARE(line["book"].toString(), missed.isEmpty() ? QString() : QStringLiteral("missed"));
        QCOMPARE(line["bookReason"].toString(), missed);
    }
    if (kind == QLatin1String("text"))
        QCOMPARE(readFile(book), QByteArray("not a book\n"));
    if (!missed.isEmpty())
        return;
    const CliRun history = run({"--book", book, "book", "history", "123456789", "--json"});
    QCOMPARE(history.exitCode, 0);
    QStringList shown;
    for (const QJsonObject &event : jsonLines(history.out)) {
        if (event["action"] == QLatin1String("import")) // the runs' change history, taken in once
            continue;
        QCOMPARE(event["frontEnd"].toString(), "cli");
        QCOMPARE(event["status"].toString(), "ok");
        shown.append(event["action"].toString()
                     + QStringLiteral(" [%1|%2]").arg(event["technician"].toString(), event["reason"].toString()));
    }
    // One event per action: set-counter's own read is one too. What each
    // holds beside who and why is the keeper's test.
    QCOMPARE(shown, (QStringList{"read [Ann Example|]", "write [Ann Example|seal replaced]", "read [Jo Test|]",
                                 "setCounter [Jo Test|meter swap]"}));
    const CliRun lines = run({"--book", book, "book", "history", "123456789"});
    QVERIFY2(lines.out.endsWith("\tJo Test\tmeter swap\n"), lines.out.constData());
    const CliRun csv = run({"--book", book, "book", "export", "123456789", "-o", "-"});
    QVERIFY2(csv.out.startsWith("id,") && csv.out.contains(",technician,reason\r\n")
                 && csv.out.contains(",Ann Example,seal replaced\r\n"),
             csv.out.constData());
}

void TestCli::bookReading_data()
{
    QTest::addColumn<QString>("kind"); // what lies at the book's path
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("said"); // on standard output, else on standard error
    const QStringList verify{"book", "verify"};
    const QStringList history{"book", "history", "555"};
    QTest::newRow("verify") << "book" << verify << 0 << QByteArray("intact: 600 events");
    QTest::newRow("all devices") << "book" << QStringList{"book", "devices"} << 0 << QByteArray("555\tunknown");
    QTest::newRow("mistyped") << "" << verify << 1 << QByteArray("does not exist");
    QTest::newRow("text file") << "text" << verify << 1 << QByteArray("not an SQLite database");
    QTest::newRow("emptied") << "emptied" << verify << 7 << QByteArray("events 1 to 600 are missing");
    QTest::newRow("head deleted") << "headless" << verify << 7 << QByteArray("newest event (its number and hash) is missing");
    QTest::newRow("corrupt, history") << "corrupt" << history << 1 << QByteArray("corrupt");
    QTest::newRow("full disk") << "book" << history << 8 << QByteArray("standard output cannot be written");
    QTest::newRow("read-only, verify") << "read-only" << verify << 0 << QByteArray("intact: 600 events");
    QTest::newRow("read-only, history") << "read-only" << history << 0 << QByteArray("\timport\tcli");
}

// The reading book commands on the right and the wrong files: they answer
// or say why not, and leave whatever lies there as it was.
void TestCli::bookReading()
{
    QFETCH(QString, kind);
    QFETCH(QStringList, command);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, said);
    QTemporaryDir dir;
    QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther
                                                  | QFile::ExeOther));
    const QString book = dir.filePath(QStringLiteral("devicebook.sqlite"));
    if (kind == QLatin1String("text")) {
        QVERIFY(::writeFile(book, "not a book\n"));
    } else if (!kind.isEmpty()) {
        // Many distinct records, so that the book spans many pages.
        QByteArray records;
        for (int i = 0; i < 600; ++i)
            records += QStringLiteral("2026-03-01 10:%1:%2,COM3,555,Note,%3,%4\r\n")
                           .arg(i / 60, 2, 10, QLatin1Char('0')).arg(i % 60, 2, 10, QLatin1Char('0'))
                           .arg(i).arg(QString(100, QLatin1Char('x'))).toUtf8();
        const QString history = dir.filePath(QStringLiteral("history.csv"));
        QVERIFY(::writeFile(history, records));
        // Its own per-user folder: a new book takes in the change history there.
        QCOMPARE(run({"--book", book, "book", "import", history}, {"APPDATA=" + dir.path()}).exitCode, 0);
        QVERIFY(QFile::remove(history));
    }
    if (kind == QLatin1String("emptied") || kind == QLatin1String("headless")) {
        runSql(book, {kind == QLatin1String("emptied") ? QStringLiteral("DELETE FROM events")
                                                       : QStringLiteral("DELETE FROM head")});
    } else if (kind == QLatin1String("corrupt")) {
        const qint64 size = QFileInfo(book).size();
        QVERIFY(size > 40 * 4096 && overwriteAt(book, size - 20 * 4096, QByteArray(10 * 4096, '\xab')));
    } else if (kind == QLatin1String("read-only")) {
        QVERIFY(QFile::setPermissions(book, QFile::ReadOwner | QFile::ReadOther));
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther));
    }
    const QStringList before = QDir(dir.path()).entryList(QDir::Files);
    const QByteArray content = readFile(book);
    int devFull = -1;
    if (QTest::currentDataTag() == QByteArrayLiteral("full disk"))
        QVERIFY((devFull = ::open("/dev/full", O_WRONLY)) >= 0);
    // As root nothing is read-only.
    std::unique_ptr<QProcess> process(start(QStringList{"--book", book} + command, {}, devFull,
                                            kind == QLatin1String("read-only") ? asAnotherUser : nullptr));
    const CliRun done = finish(*process);
    if (devFull >= 0)
        ::close(devFull);
    QVERIFY2(done.exitCode == exitCode, done.err.constData());
    QVERIFY2((exitCode == 0 ? done.out : done.out + done.err).contains(said), (done.out + done.err).constData());
    // Nothing made, moved or changed; SQLite's own journal files aside.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).filter(QRegularExpression(QStringLiteral("sqlite$"))),
             before.filter(QRegularExpression(QStringLiteral("sqlite$"))));
    QCOMPARE(readFile(book), content);
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void TestCli::outputsRefuseNodes_data()
{
    QTest::addColumn<QStringList>("args"); // PORT: a device's port, TARGET: the output, DIR: the test's folder
    QTest::addColumn<QString>("target");   // "fifo", "device link" or a device's own name

    const QList<QPair<const char *, QStringList>> outputs{
        {"read -o", {"read", "-p", "PORT", "-o", "TARGET"}},
        {"report -o", {"report", "-p", "PORT", "-o", "TARGET"}},
        {"book export -o", {"--book", "DIR/book.sqlite", "book", "export", "123456789", "-o", "TARGET"}},
        {"namur --log", {"namur", "-p", "PORT", "--count", "1", "--log", "TARGET"}},
        {"--trace", {"read", "-p", "PORT", "--trace", "TARGET"}}};
    for (const auto &[name, args] : outputs) {
        for (const char *target : {"fifo", "device link"})
            QTest::addRow("%s, %s", name, target) << args << QString::fromLatin1(target);
        // Names the rules on .dat and .pdf let through only this far.
        if (!args.contains("read") || args.contains("--trace"))
            QTest::addRow("%s, /dev/null", name) << args << QStringLiteral("/dev/null");
    }
}

// A save renames a new file over its name: over a FIFO or a device node
// that would put a plain file in the place of the system's node.
void TestCli::outputsRefuseNodes()
{
    QFETCH(QStringList, args);
    QFETCH(QString, target);

    QTemporaryDir dir;
    // A node of the test's own where it may make one, so that a fault
    // replaces nothing of the system's.
    QString node = QStringLiteral("/dev/null");
    if (::mknod(QFile::encodeName(dir.filePath("null")).constData(), S_IFCHR | 0666, makedev(1, 3)) == 0)
        node = dir.filePath("null");
    QString path = target;
    if (target == QLatin1String("fifo")) {
        path = dir.filePath("fifo.dat.pdf");
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
    } else if (target == QLatin1String("device link")) {
        path = dir.filePath("link.dat.pdf");
        QVERIFY(QFile::link(node, path));
    }
    const bool port = args.contains("PORT");
    if (port)
        args.replaceInStrings(QStringLiteral("PORT"), sim().portPath());
    args.replaceInStrings(QStringLiteral("TARGET"), path);
    args.replaceInStrings(QStringLiteral("DIR"), dir.path());
    if (args.contains(QStringLiteral("export"))) // a book to export from
        QCOMPARE(run({"--book", dir.filePath("book.sqlite"), "read", "-p", sim().portPath()}).exitCode, 0);
    const CliRun done = run(args);
    QCOMPARE(done.exitCode, 1);
    QVERIFY2(done.err.contains("not a regular file") || done.err.contains("cannot be written"), done.err.constData());
    QVERIFY(done.out.isEmpty());
    // Still what it was.
    struct stat named;
    QVERIFY(::lstat(QFile::encodeName(path).constData(), &named) == 0);
    if (target == QLatin1String("fifo"))
        QVERIFY(S_ISFIFO(named.st_mode));
    if (target == QLatin1String("device link"))
        QVERIFY(S_ISLNK(named.st_mode) && ::stat(QFile::encodeName(path).constData(), &named) == 0);
    if (target != QLatin1String("fifo"))
        QVERIFY(S_ISCHR(named.st_mode));
    if (port)
        QVERIFY(m_sims.back()->received().isEmpty());
}

void TestCli::fullDiskMidRun_data()
{
    QTest::addColumn<QStringList>("args"); // PORT, FILE: the file that fills up
    QTest::addColumn<bool>("json");

    const QStringList namur{"namur", "-p", "PORT", "--count", "3", "--log", "FILE"};
    QTest::newRow("namur log, json") << namur + QStringList{"--json"} << true;
    QTest::newRow("namur log") << namur << false;
    QTest::newRow("trace") << QStringList{"read", "-p", "PORT", "--trace", "FILE"} << false;
}

// The disk fills up after the run began (a file size limit in the child
// stands in for it): the run still gives what it took and fails, saying why.
void TestCli::fullDiskMidRun()
{
    QFETCH(QStringList, args);
    QFETCH(bool, json);

    const QString file = m_dir.filePath(QStringLiteral("full-%1").arg(QTest::currentDataTag()).replace(' ', '_'));
    // The log is appended to: it starts far beyond what the book needs, and
    // has room for one line more. The trace is emptied first: it has room
    // for the port's lock file, not for the exchange.
    const bool log = args.contains("--log");
    constexpr qint64 kGrown = 4 * 1024 * 1024;
    QVERIFY(::writeFile(file, {}) && QFile::resize(file, log ? kGrown : 0));
    const rlim_t limit = log ? kGrown + 60 : 200;
    DevSim &device = sim({"--namur-fast", "--namur-limit", "6"});
    args.replaceInStrings(QStringLiteral("PORT"), device.portPath());
    args.replaceInStrings(QStringLiteral("FILE"), file);
    const CliRun done = finish(*std::unique_ptr<QProcess>(start(args, {}, -1, [limit] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit small{limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &small);
    })));
    QVERIFY2(done.exitCode == 1 && done.err.contains("could not be written completely"), done.err.constData());
    if (!log)
        return;
    // Every telegram reached stdout, and with --json the run's last line is its failure.
    const QList<QByteArray> lines = done.out.trimmed().split('\n');
    QCOMPARE(lines.size(), json ? 4 : 3);
    if (!json)
        return;
    for (int i = 0; i < 3; ++i)
        QVERIFY2(QJsonDocument::fromJson(lines[i]).object().value("line").toString().endsWith(";"), lines[i].constData());
    const QJsonObject failure = QJsonDocument::fromJson(lines[3]).object();
    QCOMPARE(failure.keys(), QStringList({"error", "exit", "message", "port"}));
    QCOMPARE(failure["exit"].toInt(), 1);
}

// The device file's permissions keep this user out: a script is told so
// apart from a busy port, and the user what to do.
void TestCli::permissionDenied()
{
    DevSim &device = sim();
    const QByteArray tty = QFile::encodeName(device.portPath());
    QVERIFY(::chmod(tty.constData(), 0) == 0);
    const CliRun done =
        finish(*std::unique_ptr<QProcess>(start({"read", "-p", device.portPath(), "--json"}, {}, -1, asAnotherUser)));
    ::chmod(tty.constData(), 0600);
    QCOMPARE(done.exitCode, 2);
    const QJsonObject failure = QJsonDocument::fromJson(done.out).object();
    QCOMPARE(failure["error"].toString(), "permissionDenied");
    QVERIFY2(done.err.contains("usermod"), done.err.constData());
}

// A plan made, then the device changed (through the simulator's own line) or
// the plan edited, then applied, with the wire watched.
void TestCli::planThenApply_data()
{
    QTest::addColumn<QByteArray>("meanwhile"); // the simulator's control line, or empty
    QTest::addColumn<QByteArray>("editFrom");  // the plan file's text replaced, or empty
    QTest::addColumn<QByteArray>("editTo");
    QTest::addColumn<int>("exitCode");

    QTest::newRow("applied") << QByteArray() << QByteArray() << QByteArray() << 0;
    QTest::newRow("other field changed meanwhile") << QByteArray("set year=2030") << QByteArray() << QByteArray() << 0;
    QTest::newRow("planned field changed meanwhile") << QByteArray("set unit=t") << QByteArray() << QByteArray() << 10;
    // A negative exponent meanwhile: the device takes the telegram but keeps no leading plus.
    QTest::newRow("read-back differs") << QByteArray("set significance=0") << QByteArray() << QByteArray() << 7;
    QTest::newRow("plan edited") << QByteArray() << QByteArray("\"new\": \"l\"") << QByteArray("\"new\": \"t\"") << 1;
}

void TestCli::planThenApply()
{
    QFETCH(QByteArray, meanwhile);
    QFETCH(QByteArray, editFrom);
    QFETCH(QByteArray, editTo);
    QFETCH(int, exitCode);

    QTemporaryDir dir;
    const QString book = dir.filePath("book.sqlite");
    const QString planFile = dir.filePath("plan.json");
    DevSim &device = sim();
    const QString port = device.portPath();
    const CliRun planned = run({"--book", book, "plan", "-p", port, "--set", "unit=l", "--set", "direction=1", "--set",
                                "leadingPlus=1", "-o", planFile, "--json"});
    QCOMPARE(planned.exitCode, 0);
    QCOMPARE(planned.out, QByteArray("{\"key\":\"unit\",\"old\":\"m3\",\"new\":\"l\"}\n"
                                     "{\"key\":\"leadingPlus\",\"old\":\"0\",\"new\":\"1\"}\n"
                                     "{\"key\":\"direction\",\"old\":\"0\",\"new\":\"1\"}\n"));
    QVERIFY(planned.err.contains("the counter goes along"));
    QByteArray plan = readFile(planFile);
    QVERIFY(sent(device, "SP").isEmpty());
    if (!meanwhile.isEmpty())
        QVERIFY(device.control(meanwhile));
    if (!editFrom.isEmpty()) {
        QVERIFY(plan.contains(editFrom));
        QVERIFY(::writeFile(planFile, plan.replace(editFrom, editTo)));
    }
    device.clearLog();
    const QString wire = dir.filePath("wire.txt");
    const CliRun applied = run({"--book", book, "apply", "-p", port, planFile, "--json", "--trace", wire});
    QCOMPARE(applied.exitCode, exitCode);
    const QJsonObject line = QJsonDocument::fromJson(applied.out).object();
    if (exitCode == 1) {
        // Refused before the port opened.
        QVERIFY(device.received().isEmpty());
        QVERIFY2(applied.err.contains("edited"), applied.err);
        return;
    }
    // The refusal comes from the write's own read: after it, no SP.
    const QStringList commands = device.commands();
    const CliRun read = run({"--book", book, "read", "-p", port, "--json"});
    const QJsonObject now = QJsonDocument::fromJson(read.out).object();
    const QString stale = exitCode == 10 ? "unit" : "";
    if (exitCode == 10) {
        QCOMPARE(commands, QStringList{"LP"});
        QVERIFY(!readFile(wire).contains("> 53 50"));
        QCOMPARE(line.value("error").toString(), QStringLiteral("stale"));
        QVERIFY2(applied.err.contains("the device is no longer what the plan was made from"), applied.err);
    } else {
        QCOMPARE(commands, (QStringList{"LP", "L_ZLW", "SP", "S_ZLW", "LP", "L_ZLW"}));
        QCOMPARE(line.value("verified").toString(), exitCode == 0 ? QStringLiteral("yes") : QString());
        QCOMPARE(line.value("error").toString(), exitCode == 0 ? QString() : QStringLiteral("differs"));
        const QJsonArray differs{QJsonObject{{"key", "leadingPlus"}, {"device", "0"}, {"file", "1"}}};
        QCOMPARE(line.value("fields").toArray(), exitCode == 0 ? QJsonArray() : differs);
        // The device keeps what changed meanwhile outside the plan.
        QCOMPARE(now.value("unit").toString(), QStringLiteral("l"));
        QCOMPARE(now.value("year").toString(), meanwhile.contains("year") ? QStringLiteral("2030") : QStringLiteral("2024"));
    }
    // The write's event names the plan and holds what was read back, or why it was refused.
    const CliRun history = run({"--book", book, "book", "history", now.value("serialNumber").toString(), "--json"});
    const QJsonObject details = lastEvent(history.out, "write").value("details").toObject();
    QCOMPARE(details.value("plan").toString(), QJsonDocument::fromJson(plan).object().value("sha256").toString());
    QCOMPARE(details.value("stale").toString(), stale);
    QCOMPARE(details.value("readBack").toObject().value("unit").toString(), stale.isEmpty() ? "l" : "");
    QCOMPARE(details.value("readBack").toObject().value("leadingPlus").toString(),
             stale.isEmpty() ? (exitCode == 7 ? "0" : "1") : "");
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
