// The outbox against a PostgreSQL server of the test's own: the server gone
// in the middle of eight workstations' writes, sync killed at any instant,
// two syncs at once, a full disk under the outbox, and a local book moved
// onto the server.

#include <QElapsedTimer>
#include <QSet>
#include <QSignalSpy>
#include <QSqlError>
#include <QTest>

#include <csignal>
#include <functional>
#include <memory>

#include "bookschema.h"
#include "bookwriter.h"
#include "clirun.h"
#include "devicebook.h"
#include "devsim.h"
#include "filesizelimit.h"
#include "outbox.h"
#include "pgserver.h"
#include "sqlfile.h"

using namespace tavik7::book;

namespace {

BookEvent fieldEvent(int n, const QString &station = QStringLiteral("laptop-1"))
{
    BookEvent e;
    e.timeMs = 1760000000000 + n * 1000;
    e.action = BookAction::SetCounter;
    e.user = QStringLiteral("field");
    e.port = QStringLiteral("/dev/ttyUSB0");
    e.serialNumber = QStringLiteral("F%1").arg(n % 7);
    e.counter = QString::number(n);
    e.uuid = newEventUuid();
    e.station = station;
    return e;
}

} // namespace

class TestOutbox : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void serverStoppedDuringEightWriters();
    void killedSyncLosesNothing();
    void fullDiskKeepsWhatItReported();
    void writerProcessSendsOnRequest();
    void localBookImportedOnce();
    void bookBeforeUuidsImportedOnce();

private:
    QString initBook(const QString &name) { return m_server.initBook(name, environment(outboxIn(name))); }
    QProcessEnvironment environment(const QString &outbox, const QString &station = QString()) const;
    // Events on the server: all, and how many distinct uuids they have.
    QPair<int, int> serverCounts(const QString &database, const QString &where = QString()) const;
    QString outboxIn(const QString &name) const { return m_dir.filePath(name + QStringLiteral(".sqlite")); }
    QString stationOutbox(int station) const { return outboxIn(QStringLiteral("station%1").arg(station)); }

    PgServer m_server;
    QTemporaryDir m_dir;
};

void TestOutbox::initTestCase()
{
    QString log;
    if (!m_server.start(&log))
        QFAIL(qPrintable(log));
}

QProcessEnvironment TestOutbox::environment(const QString &outbox, const QString &station) const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Nothing of the user's own: the per-user folder is the test's.
    environment.insert(QStringLiteral("APPDATA"), m_dir.filePath(QStringLiteral("appdata")));
    environment.insert(QStringLiteral("TAVIK7_OUTBOX"), outbox);
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    if (!station.isEmpty())
        environment.insert(QStringLiteral("TAVIK7_STATION"), station);
    return environment;
}

QPair<int, int> TestOutbox::serverCounts(const QString &database, const QString &where) const
{
    DeviceBook book;
    if (!book.openForReading(m_server.url(database)).recorded)
        return {-1, -1};
    QSqlQuery q(book.database());
    if (!q.exec(QStringLiteral("SELECT count(*), count(DISTINCT uuid) FROM events %1").arg(where)) || !q.next())
        return {-1, -1};
    return {q.value(0).toInt(), q.value(1).toInt()};
}

// Eight workstations write to their devices while the server goes away and
// comes back: each write is reported done, and each is on the server once
// after the next action or book sync took its outbox's events there.
void TestOutbox::serverStoppedDuringEightWriters()
{
    QCOMPARE(initBook(QStringLiteral("field")), QString());
    const QString location = m_server.url(QStringLiteral("field"));
    constexpr int kStations = 8;
    constexpr int kWrites = 4;
    std::vector<std::unique_ptr<DevSim>> devices;
    int finished = 0, done = 0, keptNotices = 0;
    QList<int> doneBy(kStations, 0);
    std::vector<std::function<void(int)>> next(kStations);
    for (int s = 0; s < kStations; ++s) {
        devices.push_back(std::make_unique<DevSim>());
        QVERIFY2(devices.back()->start(), qPrintable(devices.back()->errorString()));
        const QString port = devices.back()->portPath();
        const QProcessEnvironment env = environment(stationOutbox(s), QStringLiteral("station-%1").arg(s));
        next[s] = [&, s, port, env](int left) {
            if (left == 0) {
                ++finished;
                return;
            }
            QProcess *write = startCli(
                {"--book", location, "write", "-p", port, "--set", QStringLiteral("direction=%1").arg(left % 2), "--json"},
                env, this);
            connect(write, &QProcess::finished, this, [&, s, left, write](int exitCode) {
                const QByteArray err = write->readAllStandardError();
                // The device's work ends with its own result, the book aside.
                QVERIFY2(exitCode == 0, err.constData());
                ++done;
                ++doneBy[s];
                if (err.contains("waiting in the outbox")) {
                    ++keptNotices;
                    // Scripts learn that the book has it later, and why.
                    const QByteArray out = write->readAllStandardOutput();
                    QVERIFY2(out.contains("\"book\":\"waiting\",\"bookReason\":\"unreachable\""), out.constData());
                }
                write->deleteLater();
                next[s](left - 1);
            });
        };
    }
    for (int s = 0; s < kStations; ++s)
        next[s](kWrites);
    QTRY_VERIFY_WITH_TIMEOUT(done >= kStations / 2, 20000);
    m_server.stop();
    QTRY_COMPARE_WITH_TIMEOUT(finished, kStations, 20000);
    QString log;
    QVERIFY2(m_server.restart(&log), qPrintable(log));
    QVERIFY(keptNotices > 0);

    // The station with the most waiting takes them along with its next
    // action; the others sync.
    int busiest = 0;
    QList<qint64> waiting;
    for (int s = 0; s < kStations; ++s) {
        waiting.append(Outbox(stationOutbox(s)).waiting(location));
        busiest = waiting.at(s) > waiting.at(busiest) ? s : busiest;
    }
    const QString busiestOutbox = stationOutbox(busiest);
    const CliRun read = cli({"--book", location, "read", "-p", devices.at(busiest)->portPath(), "--json"},
                            environment(busiestOutbox, QStringLiteral("station-%1").arg(busiest)));
    QCOMPARE(read.exitCode, 0);
    QVERIFY2(read.err.isEmpty(), read.err.constData());
    QCOMPARE(Outbox(busiestOutbox).waiting(location), 0);
    qint64 synced = waiting.at(busiest);
    for (int s = 0; s < kStations; ++s) {
        const CliRun sync = cli(bookArguments(location, {"sync", "--json"}), environment(stationOutbox(s)));
        QCOMPARE(sync.exitCode, 0);
        const QJsonObject counts = jsonLines(sync.out).value(0);
        QCOMPARE(counts.value(QStringLiteral("waiting")).toInt(-1), 0);
        synced += counts.value(QStringLiteral("sent")).toInt();
    }
    QCOMPARE(synced, qint64(keptNotices));
    for (int s = 0; s < kStations; ++s) {
        const QPair<int, int> writes = serverCounts(
            "field", QStringLiteral("WHERE station = 'station-%1' AND action = %2").arg(s).arg(int(BookAction::Write)));
        QCOMPARE(writes.first, doneBy.at(s));
        QCOMPARE(writes.second, doneBy.at(s));
    }
    QCOMPARE(cli(bookArguments(location, {QStringLiteral("verify")}), environment(stationOutbox(0))).exitCode, 0);
}

// kill -9 of book sync at varied instants, once for certain between the
// server's commit and the outbox's; then two syncs at once end it: each
// event on the server once, none lost, none sent by both.
void TestOutbox::killedSyncLosesNothing()
{
    QCOMPARE(initBook(QStringLiteral("killed")), QString());
    const QString location = m_server.url(QStringLiteral("killed"));
    const QString path = outboxIn(QStringLiteral("killed"));
    constexpr int kEvents = 400;
    QSet<QString> uuids;
    {
        Outbox outbox(path);
        for (int n = 0; n < kEvents; ++n) {
            const BookEvent e = fieldEvent(n);
            uuids.insert(e.uuid);
            QCOMPARE(outbox.keep(location, e).status, BookStatus::Ok);
        }
    }
    const QStringList sync = bookArguments(location, {QStringLiteral("sync"), QStringLiteral("--json")});
    const QProcessEnvironment env = environment(path);
    const auto killAt = [&](const std::function<bool()> &instant) {
        QProcess *sender = startCli(sync, env, this);
        QVERIFY(sender->waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(instant(), 10000);
        ::kill(pid_t(sender->processId()), SIGKILL);
        QVERIFY(sender->waitForFinished(5000));
    };
    // A reader holding the outbox keeps the sender from committing its
    // removal: the server has the batch, the outbox still too, at the kill.
    {
        QSqlDatabase reader = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("reader"));
        reader.setDatabaseName(path);
        QVERIFY(reader.open());
        QSqlQuery hold(reader);
        QVERIFY(hold.exec(QStringLiteral("BEGIN")));
        QVERIFY(hold.exec(QStringLiteral("SELECT count(*) FROM waiting")) && hold.next());
        killAt([&] { return serverCounts(QStringLiteral("killed")).first > 0; });
        QVERIFY(hold.exec(QStringLiteral("COMMIT")));
        QVERIFY(hold.exec(QStringLiteral("SELECT count(*) FROM waiting")) && hold.next());
        QCOMPARE(hold.value(0).toInt(), kEvents);
        hold.finish();
        reader.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("reader"));
    for (const int instantMs : {20, 60, 120}) {
        QElapsedTimer started;
        started.start();
        killAt([&] { return started.elapsed() >= instantMs; });
    }
    const qint64 left = Outbox(path).waiting(location);
    QVERIFY(left > 0);
    QProcess *one = startCli(sync, env, this);
    QProcess *other = startCli(sync, env, this);
    QVERIFY(one->waitForFinished(30000) && other->waitForFinished(30000));
    QCOMPARE(one->exitCode() + other->exitCode(), 0);
    const QJsonObject first = jsonLines(one->readAllStandardOutput()).value(0);
    const QJsonObject second = jsonLines(other->readAllStandardOutput()).value(0);
    QCOMPARE(first.value(QStringLiteral("sent")).toInt() + second.value(QStringLiteral("sent")).toInt(), left);
    QCOMPARE(serverCounts(QStringLiteral("killed")), qMakePair(kEvents, kEvents));
    DeviceBook book;
    QVERIFY(book.openForReading(location).recorded);
    QSet<QString> onServer;
    for (const BookEvent &e : book.events(0, kEvents + 1))
        onServer.insert(e.uuid);
    QCOMPARE(onServer, uuids);
    QVERIFY(book.verify().intact());
    QCOMPARE(cli(sync, env).out.trimmed(), QByteArray("{\"sent\":0,\"waiting\":0}"));
}

// A full disk under the outbox: each event it said it kept is there, the
// one it could not keep is said to be lost, and the server is not blamed alone.
void TestOutbox::fullDiskKeepsWhatItReported()
{
    const QString unreachable = QStringLiteral("postgresql://book@127.0.0.1:1/field");
    const QString path = outboxIn(QStringLiteral("full"));
    qputenv("TAVIK7_OUTBOX", path.toUtf8());
    DirectBookWriter writer(unreachable, QString(), FrontEnd::Cli);
    qunsetenv("TAVIK7_OUTBOX");
    QSignalSpy written(&writer, &BookWriter::written);
    int kept = 0;
    BookResult refused;
    {
        FileSizeLimit limit(48 * 1024);
        QVERIFY(limit.active());
        for (int n = 0; n < 200 && refused.outbox.isEmpty(); ++n) {
            BookEvent e = fieldEvent(n);
            e.details.insert(QStringLiteral("notes"), QString(1500, QLatin1Char('n')));
            writer.write(e);
            const BookResult result = written.takeFirst().at(0).value<BookResult>();
            QCOMPARE(result.status, BookStatus::Unreachable);
            QCOMPARE(result.outbox, path);
            if (result.recorded) {
                QCOMPARE(result.waiting, qint64(++kept));
                QVERIFY(bookResultMessage(result, unreachable, 1).contains(QStringLiteral("%1 event").arg(kept)));
            } else {
                refused = result;
            }
        }
    }
    QVERIFY(kept > 0);
    QCOMPARE(refused.outboxStatus, BookStatus::DiskFull);
    const QString said = bookResultMessage(refused, unreachable, 1);
    QVERIFY2(said.contains(QLatin1String("could not keep")) && said.contains(QLatin1String("no room")), qPrintable(said));
    QVERIFY(!bookResultMessage(refused, unreachable, 0).isEmpty());
    Outbox outbox(path);
    QCOMPARE(outbox.waiting(unreachable), qint64(kept));
    // With room again it keeps the next one.
    writer.write(fieldEvent(999));
    QVERIFY(written.takeFirst().at(0).value<BookResult>().recorded);
    QCOMPARE(outbox.waiting(unreachable), qint64(kept + 1));
}

// The window's writer process sends the waiting events when asked, and says
// how that went.
void TestOutbox::writerProcessSendsOnRequest()
{
    QCOMPARE(initBook(QStringLiteral("desk")), QString());
    const QString location = m_server.url(QStringLiteral("desk"));
    const QString path = outboxIn(QStringLiteral("desk"));
    for (int n = 0; n < 3; ++n)
        QCOMPARE(Outbox(path).keep(location, fieldEvent(n)).status, BookStatus::Ok);
    qputenv("TAVIK7_OUTBOX", path.toUtf8());
    BookWriterProcess writer(location, QString());
    QSignalSpy sent(&writer, &BookWriter::sent);
    writer.sendWaiting();
    QVERIFY(sent.wait(10000));
    qunsetenv("TAVIK7_OUTBOX");
    const OutboxSent outcome = sent.at(0).at(0).value<OutboxSent>();
    QCOMPARE(outcome.result.status, BookStatus::Ok);
    QCOMPARE(outcome.sent, 3);
    QCOMPARE(outcome.waiting, 0);
    QCOMPARE(serverCounts(QStringLiteral("desk")), qMakePair(3, 3));
}

// A PC's own book joins the server's chain once, each event with its own
// time, station and user; the same file again adds nothing.
void TestOutbox::localBookImportedOnce()
{
    QCOMPARE(initBook(QStringLiteral("moved")), QString());
    const QString location = m_server.url(QStringLiteral("moved"));
    const QString local = m_dir.filePath(QStringLiteral("bench.sqlite"));
    {
        DeviceBook book;
        QVERIFY(book.open(local).recorded);
        for (int n = 0; n < 5; ++n)
            QVERIFY(book.record(fieldEvent(n, QStringLiteral("bench-%1").arg(n))).recorded);
    }
    const QStringList import = bookArguments(location, {QStringLiteral("import"), local});
    const QProcessEnvironment env = environment(outboxIn(QStringLiteral("moved")));
    QCOMPARE(cli(import, env).out, QByteArray("5 records imported\n"));
    QCOMPARE(cli(import, env).out, QByteArray("0 records imported\n"));
    DeviceBook server;
    QVERIFY(server.openForReading(location).recorded);
    const QList<BookEvent> events = server.events(0, 100);
    QCOMPARE(events.size(), 5);
    for (int n = 0; n < 5; ++n) {
        QCOMPARE(events.at(n).station, QStringLiteral("bench-%1").arg(n));
        QCOMPARE(events.at(n).user, QStringLiteral("field"));
        QCOMPARE(events.at(n).timeMs, fieldEvent(n).timeMs);
    }
    QVERIFY(server.verify().intact());
}

// A PC's book from before events had uuids: read as it is, its events get
// theirs in its own file on the first import, so that the second finds them
// on the server; both chains still verify, and the book records on.
void TestOutbox::bookBeforeUuidsImportedOnce()
{
    QCOMPARE(initBook(QStringLiteral("olderpc")), QString());
    const QString location = m_server.url(QStringLiteral("olderpc"));
    const QString local = m_dir.filePath(QStringLiteral("older.sqlite"));
    QStringList statements = schemaStatements(3) << QStringLiteral("INSERT INTO devices VALUES(1, 'F1', 'ABC', 'TAV7')");
    QList<QVariantList> values(statements.size());
    QByteArray hash;
    for (int id = 1; id <= 3; ++id) {
        BookEvent e = fieldEvent(7 * id + 1); // each of device F1
        e.id = id;
        e.manufacturer = QStringLiteral("ABC");
        e.deviceType = QStringLiteral("TAV7");
        e.counter.clear();
        e.status = QStringLiteral("ok");
        StoredEvent stored = storedForm(e);
        stored.hashesOrigin = false; // hashed then without uuid and station
        hash = chainHash(hash, stored);
        statements << QStringLiteral("INSERT INTO events VALUES(?, ?, ?, ?, 'field', '/dev/ttyUSB0', 1, 'ok', ?, '', "
                                     "'', '', '', '', ?)");
        values << QVariantList{id, e.timeMs, stored.action, stored.frontEnd, QString::fromUtf8(stored.changes), hash};
    }
    statements << QStringLiteral("UPDATE head SET id = 3, hash = ?");
    values << QVariantList{hash};
    runSql(local, statements, values);
    const QString readOnlyCopy = m_dir.filePath(QStringLiteral("older-read.sqlite"));
    QVERIFY(QFile::copy(local, readOnlyCopy));
    {
        // A reader takes an older book as it is.
        DeviceBook reader;
        QCOMPARE(reader.openForReading(readOnlyCopy).status, BookStatus::Ok);
        QCOMPARE(reader.history(QStringLiteral("F1")).size(), 3);
        QVERIFY(reader.verify().intact());
    }
    const QProcessEnvironment env = environment(outboxIn(QStringLiteral("olderpc")));
    const QStringList import = bookArguments(location, {QStringLiteral("import"), local});
    QCOMPARE(cli(import, env).out, QByteArray("3 records imported\n"));
    QCOMPARE(cli(import, env).out, QByteArray("0 records imported\n"));
    QCOMPARE(serverCounts(QStringLiteral("olderpc")), qMakePair(3, 3));
    for (const QString &book : {location, local})
        QCOMPARE(cli(bookArguments(book, {QStringLiteral("verify")}), env).exitCode, 0);
    // Recording goes on in the lifted book, a new event's station under its hash.
    DeviceBook book;
    QCOMPARE(book.open(local).status, BookStatus::Ok);
    QVERIFY(book.record(fieldEvent(50, QStringLiteral("bench-9"))).recorded);
    QCOMPARE(book.history(QStringLiteral("F1")).at(3).station, QStringLiteral("bench-9"));
    runSql(local, {QStringLiteral("UPDATE events SET station = 'elsewhere' WHERE id = 4")});
    QCOMPARE(book.verify().firstBadId, 4);
}

QTEST_GUILESS_MAIN(TestOutbox)
#include "tst_outbox.moc"
