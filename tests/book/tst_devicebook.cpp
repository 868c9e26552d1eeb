// The device book on its own: schema and migration, the hash chain, import,
// damaged and unusable books, search text, and what the recorder writes.

#include <QDir>
#include <QRegularExpression>
#include <QFile>
#include <QCryptographicHash>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

#include "bookrecorder.h"
#include "bookschema.h"
#include "changehistory.h"
#include "devicebook.h"
#include "devicememory.h"
#include "filesizelimit.h"
#include "parameterfields.h"
#include "readfile.h"
#include "samplerecord.h"
#include "sqlfile.h"
#include "texttable.h"

using namespace tavik7;
using namespace tavik7::book;

namespace {

BookEvent bookEvent(const QString &serial, const QString &status = QStringLiteral("ok"), qint64 timeMs = 1000)
{
    BookEvent e;
    e.timeMs = timeMs;
    e.action = BookAction::Write;
    e.user = QStringLiteral("tester");
    e.port = QStringLiteral("/dev/ttyUSB0");
    e.manufacturer = QStringLiteral("ABC");
    e.deviceType = QStringLiteral("TAV7");
    e.serialNumber = serial;
    e.status = status;
    e.changes = {{QStringLiteral("direction"), QStringLiteral("0"), QStringLiteral("1")}};
    return e;
}

// A book with one event, then made unusable the way status names.
void damageBook(BookStatus status, const QString &path, const QString &good)
{
    if (status == BookStatus::NotBook) {
        runSql(path, {"CREATE TABLE customers(name TEXT)", "INSERT INTO customers VALUES('Miller')"});
        return;
    }
    {
        DeviceBook seed;
        QVERIFY(seed.open(status == BookStatus::Link ? good : path).recorded);
        QVERIFY(seed.record(bookEvent(QStringLiteral("1"))).recorded);
    }
    if (status == BookStatus::NotSqlite)
        QVERIFY(writeFile(path, QByteArray("no database, only words\n").repeated(50)));
    else if (status == BookStatus::Corrupt)
        QVERIFY(overwriteAt(path, 100, QByteArray(2000, '\xab'))); // the schema page
    else if (status == BookStatus::Link)
        QVERIFY(QFile::link(good, path));
    else if (status == BookStatus::ReadOnly)
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner));
}

} // namespace

class TestDeviceBook : public QObject
{
    Q_OBJECT

private slots:
    // The writers' anchors in the test's folder, not the user's.
    void initTestCase() { qputenv("APPDATA", QFile::encodeName(m_dir.path())); }
    void migratesVersionOne();
    void chainNamesFirstBadEvent_data();
    void chainNamesFirstBadEvent();
    void importsChangeHistoryOnce();
    void unusableBooks_data();
    void unusableBooks();
    void searchTextIsText_data();
    void searchTextIsText();
    void recorderWritesChanges();
    void readersChangeNothing_data();
    void readersChangeNothing();
    void damagedPagesAreSaid();
    void importJoinsKnownDevice();

private:
    QTemporaryDir m_dir;
};

void TestDeviceBook::migratesVersionOne()
{
    const QString path = m_dir.filePath(QStringLiteral("v1.sqlite"));
    // A version 1 book: identity in every event.
    QStringList statements = schemaStatements(1);
    QByteArray previous;
    for (int id = 1; id <= 3; ++id) {
        BookEvent e = bookEvent(id == 3 ? QStringLiteral("222") : QStringLiteral("111"), QStringLiteral("ok"), id * 1000);
        e.id = id;
        e.softwareVersion = QStringLiteral("1.1%1").arg(id);
        StoredEvent s = storedForm(e);
        s.hashesOrigin = false; // hashed as books did before events had a uuid
        previous = chainHash(previous, s);
        statements.append(QStringLiteral("INSERT INTO events VALUES(%1, %2, %3, 1, 'tester', '/dev/ttyUSB0', 'ABC', "
                                         "'TAV7', '%4', 'ok', '%5', '', '', '%6', '', '', x'%7')")
                              .arg(id).arg(e.timeMs).arg(s.action).arg(e.serialNumber, QString::fromUtf8(s.changes),
                                                                        e.softwareVersion, QString::fromLatin1(previous.toHex())));
    }
    statements.append(QStringLiteral("INSERT INTO head VALUES(1, 3, x'%1')").arg(QString::fromLatin1(previous.toHex())));
    runSql(path, statements);

    DeviceBook book;
    QCOMPARE(book.open(path).status, BookStatus::Ok);
    QSqlQuery version(book.database());
    QVERIFY(version.exec(QStringLiteral("PRAGMA user_version")) && version.next());
    QCOMPARE(version.value(0).toInt(), kBookSchemaVersion);
    version.finish();
    QCOMPARE(book.verify().firstBadId, 0);
    const QList<DeviceSummary> devices = book.devices(QStringLiteral("111"));
    QCOMPARE(devices.size(), 1);
    QCOMPARE(devices.at(0).events, 2);
    QCOMPARE(devices.at(0).softwareVersion, QStringLiteral("1.12"));
    QCOMPARE(book.history(QStringLiteral("111")).at(1).changes, bookEvent(QString()).changes);
    // Version 2's summary is left behind: an edit to it shows nowhere.
    runSql(path, {QStringLiteral("UPDATE devices SET softwareVersion = '9.99', counter = '999', events = 99")});
    QCOMPARE(book.devices(QStringLiteral("111")).at(0).softwareVersion, QStringLiteral("1.12"));
    QCOMPARE(book.devices(QStringLiteral("111")).at(0).events, 2);
    // Recording goes on from the migrated chain.
    QVERIFY(book.record(bookEvent(QStringLiteral("111"))).recorded);
    QCOMPARE(book.verify().firstBadId, 0);
    // A book of a later program is neither changed nor set aside.
    runSql(path, {QStringLiteral("PRAGMA user_version = %1").arg(kBookSchemaVersion + 1)});
    DeviceBook newer;
    const BookResult opened = newer.open(path);
    QCOMPARE(opened.status, BookStatus::TooNew);
    QVERIFY(!opened.recorded && opened.setAsidePath.isEmpty());
}

void TestDeviceBook::chainNamesFirstBadEvent_data()
{
    QTest::addColumn<QStringList>("statements");
    QTest::addColumn<ChainBreak>("broken");
    QTest::addColumn<qint64>("firstBad");
    QTest::addColumn<qint64>("lastMissing");
    const auto row = [](const char *name, const QStringList &statements, ChainBreak broken, qint64 firstBad,
                        qint64 lastMissing = 0) {
        QTest::newRow(name) << statements << broken << firstBad << lastMissing;
    };
    row("intact", {}, ChainBreak::None, 0);
    row("edited", {"UPDATE events SET status = 'ok' WHERE id = 3"}, ChainBreak::Event, 3);
    row("changes edited", {"UPDATE events SET changes = '[]' WHERE id = 4"}, ChainBreak::Event, 4);
    row("deleted", {"DELETE FROM events WHERE id = 3"}, ChainBreak::Event, 3);
    row("last deleted", {"DELETE FROM events WHERE id = 5"}, ChainBreak::EventsMissing, 5, 5);
    row("reordered",
        {"UPDATE events SET id = 100 WHERE id = 2", "UPDATE events SET id = 2 WHERE id = 3",
         "UPDATE events SET id = 3 WHERE id = 100"},
        ChainBreak::Event, 2);
    row("emptied", {"DELETE FROM events"}, ChainBreak::EventsMissing, 1, 5);
    row("head deleted", {"DELETE FROM head"}, ChainBreak::HeadMissing, 0);
    row("emptied, head too", {"DELETE FROM events", "DELETE FROM devices", "DELETE FROM head"}, ChainBreak::HeadMissing,
        0);
    // The device's identity is under each of its events' hashes.
    row("device renamed", {"UPDATE devices SET manufacturer = 'XYZ'"}, ChainBreak::Event, 1);
    row("device row gone", {"DELETE FROM devices"}, ChainBreak::Event, 1);
    row("import mark added", {"INSERT INTO imported VALUES(x'00')"}, ChainBreak::ImportMarkers, 0);
}

void TestDeviceBook::chainNamesFirstBadEvent()
{
    QFETCH(QStringList, statements);
    const QString path = m_dir.filePath(QStringLiteral("chain-%1.sqlite").arg(QTest::currentDataTag()));
    {
        DeviceBook book;
        QVERIFY(book.open(path).recorded);
        for (int i = 1; i <= 5; ++i) {
            BookEvent event = bookEvent(QStringLiteral("7"), i == 3 ? QStringLiteral("noAnswer") : QStringLiteral("ok"), i);
            // Text beyond ASCII reads back as the bytes it was hashed from.
            event.user = QStringLiteral("J\u00fcrgen \u2603");
            QCOMPARE(book.record(event).id, i);
        }
    }
    runSql(path, statements);
    DeviceBook book;
    QVERIFY(book.openForReading(path).recorded);
    const VerifyResult verified = book.verify();
    QCOMPARE(verified.status, BookStatus::Ok);
    QTEST(verified.broken, "broken");
    QTEST(verified.firstBadId, "firstBad");
    QTEST(verified.lastMissingId, "lastMissing");
}

void TestDeviceBook::importsChangeHistoryOnce()
{
    const QString history = m_dir.filePath(QStringLiteral("history.csv"));
    const int directionItem = kParameterFields[FieldDirection].firstItemTextId + 1;
    const QList<FieldChange> changes{{bilingualFieldLabel(FieldDirection), text(directionItem - 1, German),
                                      text(directionItem, German)},
                                     {bilingualLabel(14), "00000012", "00000000"}};
    const QByteArray record = changeHistoryRecord(QDateTime(QDate(2026, 3, 1), QTime(10, 0)), "COM3", "555", changes);
    QVERIFY(appendChangeHistory(history, record));
    QVERIFY(appendChangeHistory(history, record)); // a second write, just like the first
    // A new book takes the per-user history in once, by itself.
    DeviceBook book;
    QVERIFY(book.open(m_dir.filePath(QStringLiteral("import.sqlite")), history).recorded);
    const QList<BookEvent> imported = book.history(QStringLiteral("555"));
    QCOMPARE(imported.size(), 2);
    QCOMPARE(imported.at(0).action, BookAction::Import);
    QCOMPARE(imported.at(0).changes,
             (QList<BookChange>{{"direction", "0", "1"}, {"counter", "00000012", "00000000"}}));
    int added = -1;
    QCOMPARE(book.importChangeHistory(history, FrontEnd::Cli, &added).status, BookStatus::Ok);
    QCOMPARE(added, 0);
    QVERIFY(appendChangeHistory(history, changeHistoryRecord(QDateTime::currentDateTime(), "COM3", "555", changes)));
    QCOMPARE(book.importChangeHistory(history, FrontEnd::Cli, &added).status, BookStatus::Ok);
    QCOMPARE(added, 1);
    QCOMPARE(book.importChangeHistory(m_dir.filePath("missing.csv"), FrontEnd::Cli).status, BookStatus::BadFile);
    QVERIFY(book.verify().intact());
    // What was taken in is known from the chained events alone.
    runSql(book.path(), {QStringLiteral("DELETE FROM imported")});
    QCOMPARE(book.importChangeHistory(history, FrontEnd::Cli, &added).status, BookStatus::Ok);
    QCOMPARE(added, 0);
}

void TestDeviceBook::unusableBooks_data()
{
    QTest::addColumn<BookStatus>("status");
    QTest::addColumn<bool>("recorded");
    QTest::addColumn<bool>("setAside");
    QTest::newRow("not SQLite") << BookStatus::NotSqlite << false << false;
    QTest::newRow("other database") << BookStatus::NotBook << false << false;
    QTest::newRow("corrupt") << BookStatus::Corrupt << true << true;
    QTest::newRow("link") << BookStatus::Link << false << false;
    QTest::newRow("read-only") << BookStatus::ReadOnly << false << false;
    QTest::newRow("disk full") << BookStatus::DiskFull << false << false;
    QTest::newRow("busy") << BookStatus::Busy << false << false;
}

void TestDeviceBook::unusableBooks()
{
    QFETCH(BookStatus, status);
    QFETCH(bool, recorded);
    QFETCH(bool, setAside);
    if (status == BookStatus::ReadOnly && geteuid() == 0)
        QSKIP("root writes into read-only files");
    const QString path = m_dir.filePath(QStringLiteral("bad-%1.sqlite").arg(QTest::currentDataTag()));
    const QString good = m_dir.filePath(QStringLiteral("good-%1.sqlite").arg(QTest::currentDataTag()));
    damageBook(status, path, good);
    if (QTest::currentTestFailed())
        return;
    const QByteArray damaged = readFile(path);

    DeviceBook holder; // takes the write lock for the busy case
    QSqlQuery lock;
    if (status == BookStatus::Busy) {
        QVERIFY(holder.open(path).recorded);
        lock = QSqlQuery(holder.database());
        QVERIFY(lock.exec(QStringLiteral("BEGIN IMMEDIATE")));
    }
    DeviceBook book;
    book.setBusyTimeoutMs(200);
    const BookResult opened = book.open(path);
    std::unique_ptr<FileSizeLimit> full;
    if (status == BookStatus::DiskFull) {
        full = std::make_unique<FileSizeLimit>(1024);
        QVERIFY(full->active());
    }
    const BookResult recordResult = book.record(bookEvent(QStringLiteral("2")));
    full.reset();
    // A damaged book is found and set aside on opening; the event then goes
    // into the new book.
    const BookResult result = opened.status != BookStatus::Ok ? opened : recordResult;
    QCOMPARE(recordResult.recorded, recorded);
    QCOMPARE(result.status, status);
    QCOMPARE(result.recorded, recorded);
    QCOMPARE(!result.setAsidePath.isEmpty(), setAside);
    QVERIFY(!bookResultMessage(result, path, English).isEmpty());
    if (setAside) {
        QCOMPARE(readFile(result.setAsidePath), damaged); // never overwritten
        QCOMPARE(book.history(QStringLiteral("2")).size(), 1); // in the new book
    }
    if (status == BookStatus::Link)
        QVERIFY(QFileInfo(path).isSymLink());
    // Someone's other file, named by mistake, stays as it was and where it was.
    if (status == BookStatus::NotSqlite || status == BookStatus::NotBook) {
        QCOMPARE(readFile(path), damaged);
        QCOMPARE(QDir(m_dir.path()).entryList({QStringLiteral("bad-%1*").arg(QTest::currentDataTag())}).size(), 1);
    }
    if (status == BookStatus::DiskFull) {
        QCOMPARE(book.verify().firstBadId, 0);
        QVERIFY(book.record(bookEvent(QStringLiteral("3"))).recorded);
    }
}

void TestDeviceBook::searchTextIsText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("found");
    QTest::newRow("percent") << QStringLiteral("12%") << QStringList{QStringLiteral("12%45")};
    QTest::newRow("underscore") << QStringLiteral("2_4") << QStringList{QStringLiteral("12_45")};
    QTest::newRow("quote") << QStringLiteral("O'B") << QStringList{QStringLiteral("O'Brien")};
    QTest::newRow("backslash") << QStringLiteral("\\") << QStringList{QStringLiteral("a\\b")};
    QTest::newRow("sql") << QStringLiteral("' OR 1=1 --") << QStringList();
    QTest::newRow("no text") << QString() << QStringList{QStringLiteral("12%45"), QStringLiteral("12345"), QStringLiteral("12_45"), QStringLiteral("O'Brien"), QStringLiteral("a\\b")};
    QTest::newRow("manufacturer") << QStringLiteral("abc") << QStringList{QStringLiteral("12%45"), QStringLiteral("12345"), QStringLiteral("12_45"), QStringLiteral("O'Brien"), QStringLiteral("a\\b")};
}

void TestDeviceBook::searchTextIsText()
{
    QFETCH(QString, text);
    QFETCH(QStringList, found);
    DeviceBook book;
    const QString path = m_dir.filePath(QStringLiteral("search.sqlite"));
    const bool fresh = !QFile::exists(path);
    QVERIFY(book.open(path).recorded);
    for (const char *serial : {"12345", "12%45", "12_45", "O'Brien", "a\\b"}) {
        if (fresh)
            QVERIFY(book.record(bookEvent(QLatin1String(serial))).recorded);
    }
    QSqlQuery query = book.deviceSearchQuery(text);
    QStringList serials;
    while (query.next())
        serials.append(query.value(1).toString());
    serials.sort();
    found.sort();
    QCOMPARE(serials, found);
    // The command line's prefix takes the text literally too.
    QStringList prefixed;
    for (const DeviceSummary &d : book.devices(text))
        prefixed.append(d.serialNumber);
    prefixed.sort();
    QStringList starting;
    for (const QString &serial : found) {
        if (serial.startsWith(text))
            starting.append(serial);
    }
    QCOMPARE(prefixed, starting);
}

void TestDeviceBook::recorderWritesChanges()
{
    const QString image = m_dir.filePath(QStringLiteral("firmware.hex"));
    QVERIFY(writeFile(image, ":00000001FF\n"));
    DirectBookWriter writer(m_dir.filePath(QStringLiteral("recorder.sqlite")), QString(), FrontEnd::Window);
    QList<BookResult> results;
    connect(&writer, &BookWriter::written, this, [&](const BookResult &result) { results.append(result); });
    // The link's memory names the device for the events that read none.
    DeviceMemory memory;
    memory.forget(QStringLiteral("COM3"));
    BookRecorder recorder(FrontEnd::Window, &writer, &memory);
    const ParameterRecord before = sampleRecord();
    ParameterRecord after = before;
    after.direction = 0;
    recorder.recordRead("COM3", nullptr, QString(), "noAnswer");
    DeviceResult read;
    read.record = before;
    memory.take(read);
    recorder.recordRead("COM3", &before, "000001234", "ok");
    recorder.recordWrite("COM3", before, after, QString(), QString(), "ok");
    recorder.recordSetCounter("COM3", "000001234", "000000000", "ok");
    recorder.recordFlash("COM3", image, "ok", "1.13", "1.14", "ok");
    // The report's notes as printed, the empty lines after the last left out.
    recorder.recordReport("COM3", QString(), "ok", {"seal 4711", "", "ok", "", ""});
    QCOMPARE(results.size(), 6);
    for (const BookResult &result : std::as_const(results))
        QVERIFY(result.recorded);
    QCOMPARE(writer.book().history(QLatin1String(kUnknownIdentity)).size(), 1);
    const QList<BookEvent> events = writer.book().history(QStringLiteral("123456789"));
    QCOMPARE(events.size(), 5);
    QCOMPARE(events.at(4).details.value("notes").toVariant().toStringList(), (QStringList{"seal 4711", "", "ok"}));
    QCOMPARE(events.at(3).sha256, QString::fromLatin1(QCryptographicHash::hash(":00000001FF\n", QCryptographicHash::Sha256).toHex()));
    QCOMPARE(events.at(3).details.value(QStringLiteral("versionAfter")).toString(), QStringLiteral("1.14"));
    QCOMPARE(events.at(3).frontEnd, FrontEnd::Window);
    // A later run listening on the port reads nothing: the port's last known
    // device is named; on a port that never named one, nobody is.
    BookRecorder later(FrontEnd::Cli, &writer);
    later.recordNamur("COM3", 1000, 2000, 5, QString(), "ok");
    later.recordNamur("COM9", 1000, 2000, 5, QString(), "ok");
    QCOMPARE(writer.book().history(QStringLiteral("123456789")).constLast().action, BookAction::Namur);
    QCOMPARE(writer.book().history(QLatin1String(kUnknownIdentity)).constLast().port, QStringLiteral("COM9"));
    const QList<DeviceSummary> device = writer.book().devices(QStringLiteral("123456789"));
    QCOMPARE(device.at(0).softwareVersion, QStringLiteral("1.14"));
    QCOMPARE(device.at(0).counter, QStringLiteral("000000000"));
}

void TestDeviceBook::readersChangeNothing_data()
{
    QTest::addColumn<QString>("kind"); // what lies at the path
    QTest::addColumn<BookStatus>("status");
    QTest::newRow("nothing") << "" << BookStatus::Missing;
    QTest::newRow("text") << "text" << BookStatus::NotSqlite;
    QTest::newRow("empty file") << "empty" << BookStatus::NotBook;
    QTest::newRow("other database") << "database" << BookStatus::NotBook;
    QTest::newRow("corrupt book") << "corrupt" << BookStatus::Corrupt;
    QTest::newRow("book") << "book" << BookStatus::Ok;
}

// A reader opened on the wrong file says so and leaves it as it is; on a
// book it takes no lock for writing, so a book on read-only media reads.
void TestDeviceBook::readersChangeNothing()
{
    QFETCH(QString, kind);
    QFETCH(BookStatus, status);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("devicebook.sqlite"));
    if (kind == QLatin1String("text") || kind == QLatin1String("empty")) {
        QVERIFY(writeFile(path, kind == QLatin1String("text") ? QByteArray("serial;counter\n555;12\n") : QByteArray()));
    } else if (kind == QLatin1String("database")) {
        damageBook(BookStatus::NotBook, path, QString());
    } else if (kind == QLatin1String("corrupt")) {
        damageBook(BookStatus::Corrupt, path, QString());
    } else if (kind == QLatin1String("book")) {
        DeviceBook writer;
        QVERIFY(writer.open(path).recorded);
        QVERIFY(writer.record(bookEvent(QStringLiteral("555"))).recorded);
    }
    const QStringList before = QDir(folder.path()).entryList(QDir::Files);
    const QByteArray content = readFile(path);
    DeviceBook book;
    // A writer in the same process would also fail on a write lock held.
    QSqlQuery lock;
    DeviceBook holder;
    if (status == BookStatus::Ok) {
        QVERIFY(holder.open(path).recorded);
        lock = QSqlQuery(holder.database());
        QVERIFY(lock.exec(QStringLiteral("BEGIN EXCLUSIVE")));
        book.setBusyTimeoutMs(100);
    }
    const BookResult opened = book.openForReading(path);
    QCOMPARE(opened.status, status);
    QCOMPARE(opened.recorded, status == BookStatus::Ok);
    QVERIFY(opened.setAsidePath.isEmpty());
    if (status == BookStatus::Ok) {
        lock.exec(QStringLiteral("COMMIT"));
        QCOMPARE(book.history(QStringLiteral("555")).size(), 1);
        QCOMPARE(book.verify().events, 1);
        QCOMPARE(book.record(bookEvent(QStringLiteral("555"))).status, BookStatus::ReadOnly);
        return;
    }
    // SQLite's own journal files aside.
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files).filter(QRegularExpression(QStringLiteral("sqlite$"))), before);
    QCOMPARE(readFile(path), content);
}

// A damaged page further in is met only by the query that reads it: that
// query fails rather than answering with what it read before.
void TestDeviceBook::damagedPagesAreSaid()
{
    const QString path = m_dir.filePath(QStringLiteral("pages.sqlite"));
    {
        DeviceBook book;
        QVERIFY(book.open(path).recorded);
        int n = 0;
        QCOMPARE(book.recordAll([&](BookEvent &e) {
            e = bookEvent(QStringLiteral("555"), QStringLiteral("ok"), ++n);
            e.details.insert(QStringLiteral("log"), QString(200, QLatin1Char('x')));
            return n <= 1000;
        }).status, BookStatus::Ok);
        QCOMPARE(book.verify().events, 1000);
        QVERIFY(book.verify().intact());
    }
    const qint64 size = QFileInfo(path).size();
    QVERIFY(size > 40 * 4096 && overwriteAt(path, size - 20 * 4096, QByteArray(10 * 4096, '\xab')));
    DeviceBook book;
    QCOMPARE(book.openForReading(path).status, BookStatus::Ok);
    BookResult failed;
    QVERIFY(book.history(QStringLiteral("555"), 0, &failed).isEmpty());
    QCOMPARE(failed.status, BookStatus::Corrupt);
    failed = {};
    QVERIFY(book.devices(QString(), &failed).isEmpty());
    QCOMPARE(failed.status, BookStatus::Corrupt);
    QCOMPARE(book.verify().status, BookStatus::Corrupt);
}

// The change history names a device by serial number only: its records go
// with the device read under that number, before or after the import.
void TestDeviceBook::importJoinsKnownDevice()
{
    const QString history = m_dir.filePath(QStringLiteral("join.csv"));
    const auto append = [&](int day, const char *serial, const QList<FieldChange> &changes) {
        return appendChangeHistory(history, changeHistoryRecord(QDateTime(QDate(2026, 3, day), QTime(10, 0)), "COM3",
                                                                 serial, changes));
    };
    for (const char *serial : {"555", "777", "888"})
        QVERIFY(append(1, serial, {{bilingualLabel(14), "00000012", "00000000"}}));
    // 888's record names its manufacturer itself.
    QVERIFY(append(2, "888", {{bilingualFieldLabel(FieldManufacturer), "ABC", "XYZ"}}));
    DeviceBook book;
    QVERIFY(book.open(m_dir.filePath(QStringLiteral("join.sqlite"))).recorded);
    BookEvent read = bookEvent(QStringLiteral("555"), QStringLiteral("ok"), QDateTime::currentMSecsSinceEpoch());
    read.counter = QStringLiteral("000000001");
    QVERIFY(book.record(read).recorded);
    QCOMPARE(book.importChangeHistory(history, FrontEnd::Cli).status, BookStatus::Ok);
    BookEvent why = bookEvent(QStringLiteral("777"), QStringLiteral("ok"), QDateTime::currentMSecsSinceEpoch());
    why.technician = QStringLiteral("Ann Example");
    why.reason = QStringLiteral("seal replaced");
    QVERIFY(book.record(why).recorded);
    const QList<DeviceSummary> devices = book.devices(QString());
    QStringList shown;
    for (const DeviceSummary &d : devices)
        shown.append(QStringLiteral("%1 %2/%3 %4").arg(d.serialNumber, d.manufacturer, d.deviceType).arg(d.events));
    QCOMPARE(shown, (QStringList{"555 ABC/TAV7 2", "777 ABC/TAV7 2", "888 XYZ/unknown 2"}));
    QCOMPARE(devices.at(0).counter, QStringLiteral("000000001")); // the read is newer than the record
    QCOMPARE(book.history(QStringLiteral("555")).at(0).manufacturer, QStringLiteral("ABC"));
    QSqlQuery search = book.deviceSearchQuery(QStringLiteral("777"));
    QVERIFY(search.next());
    QCOMPARE(search.value(7).toInt(), 2);
    QSqlQuery events = book.deviceEventsQuery(search.value(0).toLongLong());
    QVERIFY(!search.next());
    QStringList whoAndWhy; // the window's last two columns
    while (events.next())
        whoAndWhy.append(events.value(10).toString() + '|' + events.value(11).toString());
    QCOMPARE(whoAndWhy, (QStringList{"|", "Ann Example|seal replaced"}));
    // Another maker's device under the same serial number is another device.
    BookEvent other = bookEvent(QStringLiteral("555"), QStringLiteral("ok"), QDateTime::currentMSecsSinceEpoch());
    other.manufacturer = QStringLiteral("DEF");
    QVERIFY(book.record(other).recorded);
    QCOMPARE(book.history(QStringLiteral("555")).size(), 3);
    QCOMPARE(book.deviceHistory(QStringLiteral("555"), QStringLiteral("ABC"), QStringLiteral("TAV7")).size(), 2);
    QCOMPARE(book.deviceHistory(QStringLiteral("555"), QStringLiteral("DEF"), QStringLiteral("TAV7")).size(), 1);
    QVERIFY(book.verify().intact());
}

QTEST_GUILESS_MAIN(TestDeviceBook)
#include "tst_devicebook.moc"
