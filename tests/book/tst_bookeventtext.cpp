// How the book window and its exports word an event: each column in both
// languages, written from the manual's words, and the time cell with its
// offset from UTC on either side of it.

#include <QtTest>

#include <ctime>

#include "bookeventtext.h"
#include "texttable.h"

using namespace tavik7;
using namespace tavik7::book;

Q_DECLARE_METATYPE(QList<tavik7::book::BookChange>)

class TestBookEventText : public QObject
{
    Q_OBJECT

private slots:
    void cells_data();
    void cells();
    void localTime_data();
    void localTime();
};

void TestBookEventText::cells_data()
{
    QTest::addColumn<int>("action");
    QTest::addColumn<int>("frontEnd");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QList<BookChange>>("changes");
    QTest::addColumn<int>("language");
    QTest::addColumn<QStringList>("cells"); // action, front end, result, changes

    const QList<BookChange> none;
    QTest::newRow("read") << int(BookAction::Read) << int(FrontEnd::Window) << "ok" << none << int(German)
                          << QStringList{"Lesen", "Programmfenster", "in Ordnung", ""};
    // An index no item stands for stays bare; the changes one per line.
    QTest::newRow("write, two changes")
        << int(BookAction::Write) << int(FrontEnd::Cli) << "noAnswer"
        << QList<BookChange>{{"direction", "0", "1"}, {"baudRate", "2", "4"}} << int(English)
        << QStringList{"Write", "Command line", "no answer", "Direction: 0: right -> 1: left\nBaud rate: 2: 9600 Bps -> 4"};
    QTest::newRow("counter set") << int(BookAction::SetCounter) << int(FrontEnd::Cli) << "wrongAnswer"
                                 << QList<BookChange>{{"counter", "000000012", "000000000"}} << int(German)
                                 << QStringList{"Zählwerksstand setzen", "Kommandozeile", "falsche Antwort",
                                                "Zählwerksstand: 000000012 -> 000000000"};
    QTest::newRow("backup loaded") << int(BookAction::Restore) << int(FrontEnd::Window) << "badFile" << none
                                   << int(English) << QStringList{"Backup loaded", "Window", "bad file", ""};
    QTest::newRow("flash failed") << int(BookAction::Flash) << int(FrontEnd::Window) << "flashFailed" << none
                                  << int(German)
                                  << QStringList{"Flashen", "Programmfenster", "Flashen fehlgeschlagen", ""};
    QTest::newRow("import, interrupted") << int(BookAction::Import) << int(FrontEnd::Cli) << "interrupted" << none
                                         << int(English) << QStringList{"Import", "Command line", "interrupted", ""};
    // A word a later version stores is shown as it stands rather than as nothing.
    QTest::newRow("unknown word") << int(BookAction::Namur) << int(FrontEnd::Cli) << "drifted" << none
                                  << int(German) << QStringList{"NAMUR", "Kommandozeile", "drifted", ""};
}

void TestBookEventText::cells()
{
    QFETCH(int, action);
    QFETCH(int, frontEnd);
    QFETCH(QString, status);
    QFETCH(QList<BookChange>, changes);
    QFETCH(int, language);
    QFETCH(QStringList, cells);

    BookEvent event;
    event.id = 42;
    event.action = BookAction(action);
    event.frontEnd = FrontEnd(frontEnd);
    event.user = QStringLiteral("service");
    event.status = status;
    event.changes = changes;
    event.technician = QStringLiteral("Ann Example");
    event.reason = QStringLiteral("seal replaced");
    QStringList shown = eventCells(event, language);
    // The exports' rows stand under their headers; the PDF shares its width among the same columns.
    QCOMPARE(eventHeaders(language).size(), shown.size());
    QCOMPARE(eventPdfColumnWeights().size(), shown.size());
    shown.removeAt(1); // the time, its own test below
    QCOMPARE(shown, QStringList({"42", cells.at(0), cells.at(1), "service", "", cells.at(2), cells.at(3), "", "", "Ann Example",
                                  "seal replaced"}));
}

void TestBookEventText::localTime_data()
{
    QTest::addColumn<QByteArray>("zone"); // POSIX TZ: the offset is west of UTC
    QTest::addColumn<qint64>("timeMs");
    QTest::addColumn<QString>("shown");

    QTest::newRow("UTC") << QByteArray("UTC0") << qint64(3000) << "1970-01-01 00:00:03 UTC+00:00";
    QTest::newRow("east") << QByteArray("CET-1") << qint64(3000) << "1970-01-01 01:00:03 UTC+01:00";
    QTest::newRow("west, half hour") << QByteArray("NST3:30") << qint64(3000) << "1969-12-31 20:30:03 UTC-03:30";
    QTest::newRow("summer") << QByteArray("CET-1CEST,M3.5.0,M10.5.0/3") << qint64(1782900000000)
                            << "2026-07-01 12:00:00 UTC+02:00";
}

void TestBookEventText::localTime()
{
    QFETCH(QByteArray, zone);
    QFETCH(qint64, timeMs);
    const QByteArray was = qgetenv("TZ");
    qputenv("TZ", zone);
    ::tzset();
    BookEvent event;
    event.timeMs = timeMs;
    const QString shown = eventCells(event, English).at(1);
    qputenv("TZ", was);
    ::tzset();
    QTEST(shown, "shown");
}

QTEST_GUILESS_MAIN(TestBookEventText)
#include "tst_bookeventtext.moc"
