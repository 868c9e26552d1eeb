// The device book window driven through its models: search as you type,
// the chosen device's changes, the language switch and both exports.

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include "devicebookwindow.h"
#include "texttable.h"

using namespace tavik7::book;

class TestDeviceBookWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void searchAndHistory();

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
    QCOMPARE(window.events()->index(1, 7).data().toString(),
             QStringLiteral("direction: 0 -> 1\nbaudRate: 2 -> 4"));
    QCOMPARE(window.events()->index(1, 2).data().toString(), QStringLiteral("write"));
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
    QCOMPARE(window.events()->index(2, 7).data().toString(), QStringLiteral("counter: 000000012 -> 000000000"));
    window.setLanguage(tavik7::German);
    QCOMPARE(window.deviceList()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Seriennummer"));
    QCOMPARE(window.windowTitle(), QStringLiteral("Gerätebuch"));

    const QString csv = m_dir.filePath(QStringLiteral("history.csv"));
    QVERIFY(window.exportCsv(csv));
    QFile csvFile(csv);
    QVERIFY(csvFile.open(QIODevice::ReadOnly));
    QVERIFY(csvFile.readAll().contains("\"direction: 0 -> 1\nbaudRate: 2 -> 4\""));
    const QString pdf = m_dir.filePath(QStringLiteral("history.pdf"));
    QVERIFY(window.exportPdf(pdf));
    QFile pdfFile(pdf);
    QVERIFY(pdfFile.open(QIODevice::ReadOnly) && pdfFile.read(4) == "%PDF");
    QVERIFY(!window.exportCsv(m_dir.filePath(QStringLiteral("missing/folder/history.csv"))));
}

QTEST_MAIN(TestDeviceBookWindow)
#include "tst_devicebookwindow.moc"
