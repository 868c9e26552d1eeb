// The device book window driven through its models: search as you type,
// the chosen device's changes in the table's words, the language switch and
// both exports, the PDF one of thousands of events with the window answering.

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QSortFilterProxyModel>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "devicebookwindow.h"
#include "texttable.h"

using namespace tavik7::book;

class TestDeviceBookWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void searchAndHistory();
    void pdfOfThousandsKeepsTheWindowAnswering();

private:
    QTemporaryDir m_dir;
    QString m_path;
};

void TestDeviceBookWindow::initTestCase()
{
    qputenv("APPDATA", m_dir.path().toUtf8()); // no user's own change history
    m_path = m_dir.filePath(QStringLiteral("book.sqlite"));
    DeviceBook book;
    QVERIFY(book.open(m_path).recorded);
    BookEvent event;
    event.manufacturer = QStringLiteral("ABC");
    event.deviceType = QStringLiteral("TAV7");
    event.serialNumber = QStringLiteral("111111111");
    QVERIFY(book.record(event).recorded);
    event.action = BookAction::Write;
    event.timeMs = 2000;
    event.changes = {{QStringLiteral("direction"), QStringLiteral("0"), QStringLiteral("1")},
                     {QStringLiteral("baudRate"), QStringLiteral("2"), QStringLiteral("4")}};
    QVERIFY(book.record(event).recorded);
    event = BookEvent();
    event.manufacturer = QStringLiteral("XYZ");
    event.serialNumber = QStringLiteral("222222222");
    QVERIFY(book.record(event).recorded);
}

void TestDeviceBookWindow::searchAndHistory()
{
    DeviceBookWindow window(m_path, tavik7::English);
    window.show();
    QCOMPARE(window.deviceList()->rowCount(), 2);
    QTest::keyClicks(window.searchField(), QStringLiteral("XY"));
    QCOMPARE(window.deviceList()->rowCount(), 1);
    QCOMPARE(window.deviceList()->index(0, 1).data().toString(), QStringLiteral("222222222"));
    window.searchField()->clear();
    QTest::keyClicks(window.searchField(), QStringLiteral("1111"));
    QCOMPARE(window.deviceList()->rowCount(), 1);
    QCOMPARE(window.events()->rowCount(), 2);
    // The table's labels and values; an index no item stands for stays bare.
    QCOMPARE(window.events()->index(1, 7).data().toString(),
             QStringLiteral("Direction: 0: right -> 1: left\nBaud rate: 2: 9600 Bps -> 4"));
    QCOMPARE(window.events()->index(1, 2).data().toString(), QStringLiteral("Write"));
    {
        // Another process records while the window is open.
        DeviceBook other;
        QVERIFY(other.open(m_path).recorded);
        BookEvent counter;
        counter.action = BookAction::SetCounter;
        counter.timeMs = 3000;
        counter.manufacturer = QStringLiteral("ABC");
        counter.deviceType = QStringLiteral("TAV7");
        counter.serialNumber = QStringLiteral("111111111");
        counter.changes = {{QStringLiteral("counter"), QStringLiteral("000000012"), QStringLiteral("000000000")}};
        QVERIFY(other.record(counter).recorded);
    }
    window.refresh();
    QCOMPARE(window.events()->rowCount(), 3);
    QCOMPARE(window.events()->index(2, 7).data().toString(),
             QStringLiteral("Counter status: 000000012 -> 000000000"));
    window.setLanguage(tavik7::German);
    QCOMPARE(window.deviceList()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Seriennummer"));
    QCOMPARE(window.deviceList()->headerData(6, Qt::Horizontal).toString(), QStringLiteral("Zählwerksstand"));
    QCOMPARE(window.windowTitle(), QStringLiteral("Gerätebuch"));
    const QStringList german = {window.events()->index(2, 2).data().toString(),
                                window.events()->index(2, 3).data().toString(),
                                window.events()->index(2, 6).data().toString(),
                                window.events()->index(2, 7).data().toString()};
    QCOMPARE(german, QStringList({QStringLiteral("Zählwerksstand setzen"), QStringLiteral("Kommandozeile"),
                                  QStringLiteral("in Ordnung"),
                                  QStringLiteral("Zählwerksstand: 000000012 -> 000000000")}));
    // Local time, saying so: 3 s after the epoch.
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(3000);
    QVERIFY2(window.events()->index(2, 1).data().toString().startsWith(at.toString("yyyy-MM-dd hh:mm:ss UTC")),
             qPrintable(window.events()->index(2, 1).data().toString()));

    const QString csv = m_dir.filePath(QStringLiteral("history.csv"));
    QVERIFY(window.exportCsv(csv));
    QFile csvFile(csv);
    QVERIFY(csvFile.open(QIODevice::ReadOnly));
    QVERIFY(csvFile.readAll().contains("\"Richtung: 0: rechts -> 1: links\nBaudrate: 2: 9600 Bps -> 4\""));
    QVERIFY(!window.exportCsv(m_dir.filePath(QStringLiteral("missing/folder/history.csv"))));
    // Saving renames over the name: what is no regular file is left alone.
    QVERIFY(!window.exportCsv(QStringLiteral("/dev/null")));
    QVERIFY(!window.exportPdf(QStringLiteral("/dev/null")));
}

void TestDeviceBookWindow::pdfOfThousandsKeepsTheWindowAnswering()
{
    constexpr int kEvents = 5000;
    int made = 0;
    DeviceBook book;
    QVERIFY(book.open(m_path).recorded);
    QVERIFY(book.recordAll([&](BookEvent &event) {
        event = BookEvent();
        event.action = BookAction::Flash;
        event.timeMs = 10000 + made;
        event.serialNumber = QStringLiteral("333333333");
        event.file = QStringLiteral("/home/service/firmware/tavik_v1_12.hex");
        event.sha256 = QString(64, QLatin1Char('a' + made % 6));
        return ++made <= kEvents;
    }).recorded);

    DeviceBookWindow window(m_path, tavik7::German);
    window.show();
    QTest::keyClicks(window.searchField(), QStringLiteral("333"));
    QCOMPARE(window.events()->rowCount(), kEvents);
    const QString pdf = m_dir.filePath(QStringLiteral("thousands.pdf"));
    QSignalSpy exported(&window, &DeviceBookWindow::pdfExported);
    int turns = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, &ticker, [&] { ++turns; });
    ticker.start(5);
    QVERIFY(window.exportPdf(pdf));
    QVERIFY(!window.exportPdf(pdf)); // one at a time
    QVERIFY(exported.wait(60000));
    QCOMPARE(exported.first().first().toBool(), true);
    QVERIFY2(turns >= 3, qPrintable(QString::number(turns)));
    QFile file(pdf);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.startsWith("%PDF"));
    QVERIFY(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r") + bytes.count("/Type /Page ") > 50);
}

QTEST_MAIN(TestDeviceBookWindow)
#include "tst_devicebookwindow.moc"
