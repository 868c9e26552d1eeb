// Production jobs: the job file's rules in-process, the claims' rules on a
// book of their own, and tavik7-cli provision run as stations run it against
// simulated devices, killed at any instant and run again.

#include <QtTest>

#include <QJsonArray>
#include <QJsonObject>
#include <QSqlQuery>

#include <csignal>
#include <memory>
#include <vector>

#include "clirun.h"
#include "devicebook.h"
#include "devsim.h"
#include "jobclaims.h"
#include "parameterfields.h"
#include "provisionjob.h"
#include "readfile.h"

using namespace tavik7;
using Fault = ProvisionJobReading::Fault;

namespace {

constexpr int kRunTimeoutMs = 60000;

// A job of count rows from serial number 100000001 on, each with a counter.
QByteArray numberedJob(int count)
{
    QByteArray csv = "serialNumber,unit,direction,counter\r\n";
    for (int i = 1; i <= count; ++i)
        csv += QByteArray::number(100000000 + i) + (i % 2 ? ",kWh,1," : ",m3,0,") + QByteArray::number(200000000 + i)
            + "\r\n";
    return csv;
}

} // namespace

class TestProvision : public QObject
{
    Q_OBJECT

private slots:
    // Each case on a book of its own: the same job's rows are claimed once per book.
    void init() { m_book = m_dir.filePath(QStringLiteral("book%1.sqlite").arg(++m_books)); }
    void cleanup() { m_sims.clear(); }
    // The job file.
    void jobFile_data();
    void jobFile();
    void jobValues();
    void refusedJobOpensNoPort();
    // The claims.
    void takeBack_data();
    void takeBack();
    // The run.
    void rowChoice();
    void stationsStartTogether();
    void twoStationsOneBook();
    void resumeAfterKill_data();
    void resumeAfterKill();
    void readBackRecorded();
    void refusedTelegramFreesRow();
    void flashesAnotherVersion();

private:
    QProcess *start(const QStringList &args);
    CliRun run(const QStringList &args) { return finishCli(*std::unique_ptr<QProcess>(start(args)), kRunTimeoutMs); }
    DevSim &sim(const QStringList &args);
    QStringList ports(int from, int count) const;
    // Every simulator as read now: serial number by port.
    QHash<QString, QString> serials();
    QString writeJob(const QByteArray &csv);

    QTemporaryDir m_dir;
    std::vector<std::unique_ptr<DevSim>> m_sims;
    int m_jobs = 0;
    QString m_book;
    int m_books = 0;
};

QProcess *TestProvision::start(const QStringList &args)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("APPDATA"), m_dir.path());
    env.insert(QStringLiteral("LANG"), QStringLiteral("C"));
    env.insert(QStringLiteral("TAVIK7_ANSWER_TIMEOUT_MS"), QStringLiteral("1500"));
    return startCli(QStringList{"--book", m_book} + args, env, this);
}

DevSim &TestProvision::sim(const QStringList &args)
{
    m_sims.push_back(std::make_unique<DevSim>());
    if (!m_sims.back()->start(args))
        qFatal("%s", qPrintable(m_sims.back()->errorString()));
    return *m_sims.back();
}

QStringList TestProvision::ports(int from, int count) const
{
    QStringList args;
    for (int i = from; i < from + count; ++i)
        args << "-p" << m_sims.at(size_t(i))->portPath();
    return args;
}

QHash<QString, QString> TestProvision::serials()
{
    const CliRun read = run(QStringList{"read", "--json"} + ports(0, int(m_sims.size())));
    QHash<QString, QString> byPort;
    for (const QJsonObject &device : jsonLines(read.out))
        byPort.insert(device["port"].toString(), device["serialNumber"].toString());
    return byPort;
}

QString TestProvision::writeJob(const QByteArray &csv)
{
    const QString path = m_dir.filePath(QStringLiteral("job%1.csv").arg(++m_jobs));
    if (!writeFile(path, csv))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// ---------------------------------------------------------------- the job file

void TestProvision::jobFile_data()
{
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("column");

    const auto row = [](const char *name, const QByteArray &csv, Fault fault, int line, int column) {
        QTest::newRow(name) << csv << int(fault) << line << column;
    };
    row("good, CRLF, BOM, blank end", "\xEF\xBB\xBFserialNumber,unit\r\n1,kWh\r\n\r\n", Fault::None, 0, 0);
    row("empty", "\n\n", Fault::NoHeader, 1, 0);
    row("no rows", "serialNumber\n", Fault::NoRows, 2, 0);
    // Read as the settings file's strict values would be: a typo is no 0.
    row("unknown key", "serialNumber,units\n1,m3\n", Fault::UnknownKey, 1, 2);
    // A row is never chosen by its port.
    row("port column", "port,serialNumber\nttyUSB0,1\n", Fault::UnknownKey, 1, 1);
    row("key twice", "serialNumber,year,year\n1,2024,2025\n", Fault::DuplicateKey, 1, 3);
    row("device's own", "serialNumber,softwareVersion\n1,1.12\n", Fault::DeviceOwnKey, 1, 2);
    row("no serial column", "unit\nm3\n", Fault::NoSerialColumn, 1, 0);
    row("index out of range", "serialNumber,direction\n1,0\n2,2\n", Fault::BadValue, 3, 2);
    row("words for a number", "serialNumber,significance\n1,three\n", Fault::BadValue, 2, 2);
    row("implausible year", "serialNumber,year\n1,1800\n", Fault::BadValue, 2, 2);
    row("serial too long", "serialNumber\n1234567890\n", Fault::BadValue, 2, 1);
    row("not Latin-1", "serialNumber,unit\n1,\xE2\x82\xAC\n", Fault::BadValue, 2, 2);
    row("short counter", "serialNumber,counter\n1,1234567\n", Fault::BadCounter, 2, 2);
    row("counter with letters", "serialNumber,counter\n1,1234567a\n", Fault::BadCounter, 2, 2);
    row("cell missing", "serialNumber,unit,year\n1,m3\n", Fault::ColumnCount, 2, 3);
    row("cell too many", "serialNumber\n1,m3\n", Fault::ColumnCount, 2, 2);
    row("open quote", "serialNumber,unit\n1,\"m3\n", Fault::BadQuoting, 2, 2);
    row("empty serial", "serialNumber,unit\n,m3\n", Fault::EmptySerial, 2, 1);
    row("blank serial", "unit,serialNumber\nm3,\"  \"\n", Fault::EmptySerial, 2, 2);
    row("serial twice", "serialNumber\n7\n8\n7\n", Fault::DuplicateSerial, 4, 1);
    row("fresh marker as a row", "serialNumber\n1\nNEW\n", Fault::FreshSerial, 3, 1);
}

void TestProvision::jobFile()
{
    QFETCH(QByteArray, csv);
    QFETCH(int, fault);

    // Every job read with a fresh device's marker, so that a row of it is caught.
    const ProvisionJobReading reading = readProvisionJob(csv, std::nullopt, QStringLiteral("NEW"));
    QCOMPARE(int(reading.fault), fault);
    if (fault == int(Fault::None))
        return;
    QTEST(reading.line, "line");
    QTEST(reading.column, "column");
    QVERIFY(reading.job.rows.isEmpty());
}

// What a row sets: its cells, the defaults where it has none (never the
// device's own fields), and nothing else.
void TestProvision::jobValues()
{
    ParameterRecord defaults;
    initParameterRecord(defaults);
    QVERIFY(setFieldFromStrictValue(defaults, FieldYear, "2025"));
    QVERIFY(setFieldFromStrictValue(defaults, FieldUnit, "l"));
    defaults.softwareVersion = 199;
    const QByteArray csv = "serialNumber,unit,counter\n\"1,2\",kWh,000000042\n3,,\n";
    const ProvisionJobReading without = readProvisionJob(csv);
    QVERIFY(without.ok());
    QCOMPARE(without.job.rows.at(0).serialNumber, QStringLiteral("1,2"));
    QCOMPARE(without.job.rows.at(0).fields, (QList<int>{FieldUnit, FieldSerialNumber}));
    QCOMPARE(without.job.rows.at(1).fields, QList<int>{FieldSerialNumber});
    QCOMPARE(without.job.rows.at(1).counter, QString());

    const ProvisionJobReading with = readProvisionJob(csv, defaults);
    const ProvisionRow &second = with.job.rows.at(1);
    QVERIFY(!second.fields.contains(FieldSoftwareVersion) && !second.fields.contains(FieldSoftwareCrc));
    ParameterRecord device;
    initParameterRecord(device);
    device.softwareVersion = 112;
    const ParameterRecord target = second.over(device);
    QCOMPARE(settingsFileValue(target, FieldUnit), QByteArray("l"));
    QCOMPARE(settingsFileValue(target, FieldYear), QByteArray("2025"));
    QCOMPARE(target.softwareVersion, quint16(112));
    QCOMPARE(with.job.rows.at(0).line, 2);
    QCOMPARE(with.job.indexOfSerial(QStringLiteral("3")), 1);
    // The job is named by its bytes alone.
    QCOMPARE(with.job.hash, without.job.hash);
    QVERIFY(readProvisionJob(csv + "\n4,,\n").job.hash != with.job.hash);
}

void TestProvision::refusedJobOpensNoPort()
{
    DevSim &device = sim({"--quick-answers"});
    const QString job = writeJob("serialNumber,direction\n100000001,1\n100000002,7\n");
    const CliRun refused = run({"provision", job, "-p", device.portPath()});
    QCOMPARE(refused.exitCode, 1);
    QVERIFY2(refused.err.contains("line 3, column 2 (direction)"), refused.err.constData());
    QVERIFY(device.received().isEmpty());
    QVERIFY(!QFileInfo::exists(m_book));
}

// ---------------------------------------------------------------- the claims

// Which rows another process's claim leaves free: a row whose telegram may
// have gone out goes to no device but the one with its serial number.
void TestProvision::takeBack_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<bool>("written");
    QTest::addColumn<bool>("alive");
    QTest::addColumn<bool>("freshTakes");
    QTest::addColumn<bool>("itsDeviceTakes");

    QTest::newRow("claimed, alive") << "claimed" << false << true << false << false;
    QTest::newRow("claimed, gone, nothing sent") << "claimed" << false << false << true << true;
    QTest::newRow("claimed, gone, sent") << "claimed" << true << false << false << true;
    QTest::newRow("failed before the write") << "failed" << false << true << true << true;
    QTest::newRow("failed after the write") << "failed" << true << true << false << true;
}

void TestProvision::takeBack()
{
    QFETCH(QString, state);
    QFETCH(bool, written);
    QFETCH(bool, alive);
    QFETCH(bool, freshTakes);
    QFETCH(bool, itsDeviceTakes);

    QTemporaryDir dir;
    book::DeviceBook bookFile;
    QVERIFY(bookFile.open(dir.filePath("book.sqlite")).recorded);
    book::JobClaims claims(bookFile.database(), QStringLiteral("job"), QStringLiteral("A"));
    QString error;
    QVERIFY2(claims.prepare(&error), qPrintable(error));
    // This process stands for a live holder; a pid beyond any pid_max for one that is gone.
    const qint64 pid = alive ? QCoreApplication::applicationPid() : 2147483000;
    QSqlQuery insert(bookFile.database());
    QVERIFY(insert.prepare("INSERT INTO job_claims VALUES('job', 2, 'B', ?, ?, 5, ?, ?, '', '7')"));
    insert.addBindValue(QSysInfo::machineHostName());
    insert.addBindValue(pid);
    insert.addBindValue(state);
    insert.addBindValue(written ? 1 : 0);
    QVERIFY(insert.exec());

    using Outcome = book::ClaimResult::Outcome;
    const book::ClaimResult fresh = claims.claimNext({2, 3}, {"7", "8"});
    QCOMPARE(fresh.outcome, Outcome::Taken);
    QCOMPARE(fresh.row, freshTakes ? 2 : 3);
    if (freshTakes) // taken already by the fresh device
        return;
    const book::ClaimResult own = claims.claimRow(2, QStringLiteral("7"));
    QCOMPARE(own.outcome, itsDeviceTakes ? Outcome::Taken : Outcome::HeldElsewhere);
    // What the row carried stays with it.
    QList<book::JobClaim> all;
    QVERIFY(book::JobClaims::readAll(bookFile.database(), QStringLiteral("job"), &all, &error));
    QCOMPARE(all.at(0).written, written);
    QCOMPARE(claims.claimNext({2, 3}, {"7", "8"}).outcome, Outcome::NoneLeft);
}

// ---------------------------------------------------------------- the run

void TestProvision::rowChoice()
{
    DevSim &rework = sim({"--quick-answers", "--serial", "100000003", "--unit", "gal"});
    DevSim &fresh = sim({"--quick-answers", "--serial", ""});
    DevSim &marked = sim({"--quick-answers", "--serial", "NEW"});
    DevSim &stranger = sim({"--quick-answers", "--serial", "555"});
    const QString job = writeJob(numberedJob(4));
    const CliRun done = run(QStringList{"provision", job, "--json", "--fresh", "NEW"} + ports(0, 4));
    QCOMPARE(done.exitCode, 10);
    const QList<QJsonObject> lines = jsonLines(done.out);
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[0]["row"].toInt(), 4);
    QCOMPARE(lines[0]["result"].toString(), "verified");
    // The fresh ones take the first rows no one claimed, whichever answers first.
    QCOMPARE(lines[1]["row"].toInt() + lines[2]["row"].toInt(), 2 + 3);
    QCOMPARE(lines[1]["result"].toString(), "verified");
    QCOMPARE(lines[2]["result"].toString(), "verified");
    QCOMPARE(lines[3]["result"].toString(), "notInJob");
    QCOMPARE(lines[3]["exit"].toInt(), 10);
    QVERIFY(stranger.commands().filter("SP").isEmpty());
    QVERIFY(stranger.commands().filter("S_ZLW").isEmpty());
    const QHash<QString, QString> held = serials();
    QCOMPARE(held.value(rework.portPath()), "100000003");
    QCOMPARE(held.value(fresh.portPath()), lines[1]["serialNumber"].toString());
    QCOMPARE(held.value(marked.portPath()), lines[2]["serialNumber"].toString());
    QCOMPARE(held.value(stranger.portPath()), "555");

    const CliRun status = run({"provision", job, "--status", "--json"});
    QCOMPARE(status.exitCode, 0);
    const QList<QJsonObject> rows = jsonLines(status.out);
    QCOMPARE(rows.size(), 4);
    QCOMPARE(rows[0]["state"].toString(), "verified");
    QCOMPARE(rows[2]["state"].toString(), "verified");
    QCOMPARE(rows[3]["serialNumber"].toString(), "100000004");
    QCOMPARE(rows[3]["state"].toString(), "pending");
}

// Stations started at once on a book none has made yet: each finds the book
// another one is making, none takes it for a foreign file.
void TestProvision::stationsStartTogether()
{
    const QString job = writeJob(numberedJob(2));
    for (int round = 0; round < 4; ++round) {
        init(); // a new book each round
        std::vector<std::unique_ptr<QProcess>> stations;
        for (int i = 0; i < 8; ++i)
            stations.emplace_back(start({"provision", job, "-p", m_dir.filePath("unplugged")}));
        for (auto &station : stations) {
            const CliRun ended = finishCli(*station, kRunTimeoutMs);
            QVERIFY2(ended.exitCode == 2, ended.err.constData());
        }
    }
}

// Two processes on one book, started together: every device gets a row of
// its own.
void TestProvision::twoStationsOneBook()
{
    for (int i = 0; i < 6; ++i)
        sim({"--quick-answers", "--serial", ""});
    const QString job = writeJob(numberedJob(8));
    std::unique_ptr<QProcess> a(start(QStringList{"provision", job, "--json", "--station", "A"} + ports(0, 3)));
    std::unique_ptr<QProcess> b(start(QStringList{"provision", job, "--json", "--station", "B"} + ports(3, 3)));
    const CliRun first = finishCli(*a, kRunTimeoutMs);
    const CliRun second = finishCli(*b, kRunTimeoutMs);
    QVERIFY2(first.exitCode == 0, first.err.constData());
    QVERIFY2(second.exitCode == 0, second.err.constData());
    QSet<QString> rows;
    for (const QJsonObject &line : jsonLines(first.out) + jsonLines(second.out))
        rows.insert(line["serialNumber"].toString());
    QCOMPARE(rows.size(), 6);
    const QList<QString> held = serials().values();
    QCOMPARE(QSet<QString>(held.begin(), held.end()), rows);
}

// Killed at any instant and run again: each device ends with a row of its
// own, every row it took verified, none on two devices.
void TestProvision::resumeAfterKill_data()
{
    QTest::addColumn<QString>("when");
    QTest::addColumn<int>("count");
    QTest::newRow("at the first read") << "RX LP" << 1;
    // Three reads, then a turned direction's counter read before its telegram.
    QTest::newRow("counter read before a telegram") << "RX L_ZLW" << 4;
    QTest::newRow("telegram received") << "RX SP" << 1;
    QTest::newRow("second telegram received") << "RX SP" << 2;
    QTest::newRow("counter received") << "RX S_ZLW" << 1;
    QTest::newRow("read-back asked") << "RX LP" << 3;
}

void TestProvision::resumeAfterKill()
{
    QFETCH(QString, when);
    QFETCH(int, count);

    // Paced at the line's rate, so that the kill falls between the requests.
    // As many rows as devices: a row left in doubt would leave one without.
    for (int i = 0; i < 3; ++i)
        sim({"--serial", ""});
    const QString job = writeJob(numberedJob(3));
    const QStringList args = QStringList{"provision", job, "--json"} + ports(0, 3);
    std::unique_ptr<QProcess> killed(start(args));
    QVERIFY(killed->waitForStarted());
    QElapsedTimer waited;
    waited.start();
    auto seen = [&] {
        int lines = 0;
        for (auto &device : m_sims)
            lines += int(device->received().filter(QRegularExpression("^" + when + "( |$)")).size());
        return lines;
    };
    QTRY_VERIFY_WITH_TIMEOUT(seen() >= count, 20000);
    ::kill(pid_t(killed->processId()), SIGKILL);
    QVERIFY(killed->waitForFinished(5000));
    // The answers already on their way are let through, as a technician's
    // rerun a moment later would find the line.
    for (auto &device : m_sims)
        QVERIFY(device->waitForSent(int(device->received().size())));

    const CliRun again = run(args);
    QVERIFY2(again.exitCode == 0, again.out + again.err);
    const QHash<QString, QString> held = serials();
    const QList<QString> values = held.values();
    const QSet<QString> distinct(values.begin(), values.end());
    QCOMPARE(distinct.size(), 3);
    QVERIFY(!distinct.contains(QString()));
    const QList<QJsonObject> rows = jsonLines(run({"provision", job, "--status", "--json"}).out);
    QSet<QString> verified;
    for (const QJsonObject &row : rows) {
        QCOMPARE(row["state"].toString(), "verified");
        verified.insert(row["serialNumber"].toString());
    }
    QCOMPARE(verified, distinct);
}

// The book holds the write of each row with the values the device showed
// when read back, not those meant; the report is of the device as read back.
void TestProvision::readBackRecorded()
{
    sim({"--quick-answers", "--serial", ""});
    const QString job = writeJob("serialNumber,unit,transmitMode\n100000009,kWh,4\n");
    const QString reports = m_dir.filePath(QStringLiteral("reports"));
    QVERIFY(QDir().mkpath(reports));
    QCOMPARE(run({"provision", job, "-p", m_sims[0]->portPath(), "--report-dir", reports}).exitCode, 0);
    QVERIFY(readFile(reports + QStringLiteral("/100000009.pdf")).startsWith("%PDF-"));
    const CliRun history = run({"book", "history", "100000009", "--json"});
    QCOMPARE(history.exitCode, 0);
    QStringList actions;
    for (const QJsonObject &event : jsonLines(history.out)) {
        const QJsonObject details = event["details"].toObject();
        if (details.isEmpty())
            continue;
        actions.append(event["action"].toString());
        QCOMPARE(details["row"].toInt(), 2);
        QCOMPARE(details["job"].toString().size(), 64);
        if (actions.last() == "read") {
            QCOMPARE(details["readBack"].toObject()["unit"].toString(), "kWh");
            QCOMPARE(details["readBack"].toObject()["transmitMode"].toString(), "4");
            QCOMPARE(details["readBack"].toObject()["counter"].toString(), "012345678");
        }
    }
    QCOMPARE(actions, (QStringList{"write", "read"}));
    QVERIFY(history.out.contains("\"action\":\"report\""));
}

// A telegram the device answered with "Fehler!" left nothing of the row on
// it: the row goes to the next fresh device, not bound to one that never
// took it. One that went unanswered may be on the device: its row stays
// bound to it, and a fresh device takes the next.
void TestProvision::refusedTelegramFreesRow()
{
    DevSim &device = sim({"--quick-answers", "--serial", "", "--fault", "error=SP"});
    const QString job = writeJob(numberedJob(3));
    const QStringList args{"provision", job, "--json", "-p", device.portPath()};
    const CliRun refused = run(args);
    QCOMPARE(refused.exitCode, 4);
    QCOMPARE(jsonLines(refused.out).value(0)["row"].toInt(), 2);
    QVERIFY(device.control("clear-faults"));
    const CliRun again = run(args);
    QCOMPARE(again.exitCode, 0);
    QCOMPARE(jsonLines(again.out).value(0)["row"].toInt(), 2);

    DevSim &silent = sim({"--quick-answers", "--serial", "", "--fault", "silent=SP"});
    const QStringList unanswered{"provision", job, "--json", "-p", silent.portPath()};
    QCOMPARE(run(unanswered).exitCode, 3);
    QVERIFY(silent.control("clear-faults"));
    QCOMPARE(jsonLines(run(unanswered).out).value(0)["row"].toInt(), 4);
    const QJsonObject bound = jsonLines(run({"provision", job, "--status", "--json"}).out).value(1);
    QCOMPARE(bound["state"].toString(), "failed");
    QCOMPARE(bound["error"].toString(), "noAnswer");
}

// A device of another firmware is flashed first (real avrdude against the
// simulator's boot loader), and its row's counter is taken with the digits
// of the firmware it runs after that.
void TestProvision::flashesAnotherVersion()
{
    const QString avrdude = QStandardPaths::findExecutable(QStringLiteral("avrdude"));
    if (avrdude.isEmpty())
        QSKIP("needs avrdude");
    qputenv("TAVIK7_AVRDUDE", avrdude.toLocal8Bit());
    DevSim &device = sim({"--quick-answers", "--version", "112", "--serial", ""});
    const QString job = writeJob("serialNumber,counter\n100000001,12345678\n");
    const CliRun done = run({"provision", job, "-p", device.portPath(), "--json", "--firmware",
                             QStringLiteral(TAVIK7_FIRMWARE_DIR "/tavik_v1_11.hex")});
    qunsetenv("TAVIK7_AVRDUDE");
    QVERIFY2(done.exitCode == 0, done.out + done.err);
    const QJsonObject read = jsonLines(run({"read", "--json", "-p", device.portPath()}).out).value(0);
    QCOMPARE(read["softwareVersion"].toString(), "1.11");
    QCOMPARE(read["counter"].toString(), "12345678");
    QCOMPARE(read["serialNumber"].toString(), "100000001");

    // A tool that says it flashed while the device kept its firmware.
    init(); // the row is free on a new book
    qputenv("TAVIK7_AVRDUDE", TAVIK7_FAKEAVRDUDE_PATH);
    qputenv("FAKEAVRDUDE_OUTPUT", "avrdude: 300 bytes of flash verified\\n\\navrdude done.  Thank you.\\n");
    DevSim &kept = sim({"--quick-answers", "--version", "112", "--serial", ""});
    const CliRun claimed = run({"provision", job, "-p", kept.portPath(), "--json", "--firmware",
                                QStringLiteral(TAVIK7_FIRMWARE_DIR "/tavik_v1_11.hex")});
    qunsetenv("TAVIK7_AVRDUDE");
    qunsetenv("FAKEAVRDUDE_OUTPUT");
    QCOMPARE(claimed.exitCode, 6);
    QVERIFY(kept.commands().filter("SP").isEmpty());
}

QTEST_GUILESS_MAIN(TestProvision)
#include "tst_provision.moc"
