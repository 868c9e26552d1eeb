// The window's reads and writes in the device book as the window's own
// events, and an open book window that shows them without being asked.

#include <QtTest>

#include <QMenu>
#include <QMenuBar>
#include <QStandardItemModel>

#include "booklocation.h"
#include "devicebook.h"
#include "devicebookwindow.h"
#include "windowtest.h"

class TestBookWindow : public DeviceWindow
{
    Q_OBJECT

private slots:
    void readAndWriteAreWindowEvents();
    void bookTroubleIsAConsoleMessage();
};

void TestBookWindow::readAndWriteAreWindowEvents()
{
    QVERIFY(connectDevice());
    // Opened from a menu of its own, in the program's words and face.
    auto *entry = w<QAction>("actionDeviceBook");
    auto *menu = w<QMenu>("menuExtras");
    QVERIFY(menu->actions().contains(entry) && !window->menuBar()->actions().contains(entry));
    QCOMPARE(menu->title() + QLatin1Char('/') + entry->text(), QStringLiteral("Extras/Gerätebuch..."));
    entry->trigger();
    auto *shown = window->findChild<DeviceBookWindow *>();
    QVERIFY(shown && shown->isVisible());
    QCOMPARE(shown->font().family() + QString::number(shown->font().pointSize()), QStringLiteral("Arial10"));
    QVERIFY(shown->styleSheet().contains(QStringLiteral("QPushButton")));
    QVERIFY(readSettings());
    QTRY_COMPARE(shown->deviceList()->rowCount(), 1);
    w<QComboBox>("comboBoxDirection")->setCurrentIndex(1);
    button("pushButtonWriteSettings")->click();
    QTRY_COMPARE(consoleMessages(*window).mid(0, 5), germanMessages({1, 13, 3, 2, 4}));

    tavik7::book::DeviceBook book;
    QVERIFY(book.open(folder() + QLatin1String(tavik7::book::kBookFileName)).recorded);
    // The window's writer process commits after the window has gone on.
    QTRY_COMPARE(book.history(QStringLiteral("123456789")).size(), 2);
    const QList<tavik7::book::BookEvent> events = book.history(QStringLiteral("123456789"));
    QCOMPARE(events.at(0).action, tavik7::book::BookAction::Read);
    QCOMPARE(events.at(1).action, tavik7::book::BookAction::Write);
    QCOMPARE(events.at(1).changes.first(), (tavik7::book::BookChange{"direction", "0", "1"}));
    for (const tavik7::book::BookEvent &event : events)
        QCOMPARE(event.frontEnd, tavik7::book::FrontEnd::Window);

    // The shown write in the window's words, and again after a switch.
    QTRY_COMPARE(shown->events()->rowCount(), 2);
    QCOMPARE(shown->events()->index(1, 2).data().toString(), QStringLiteral("Schreiben"));
    QCOMPARE(shown->events()->index(1, 3).data().toString(), QStringLiteral("Programmfenster"));
    auto firstChange = [shown] { return shown->events()->index(1, 7).data().toString().section(QLatin1Char('\n'), 0, 0); };
    QCOMPARE(firstChange(), QStringLiteral("Richtung: 0: rechts -> 1: links"));
    switchLanguage("actionEnglish");
    QCOMPARE(menu->title() + QLatin1Char('/') + entry->text(), QStringLiteral("Tools/Device book..."));
    QCOMPARE(firstChange(), QStringLiteral("Direction: 0: right -> 1: left"));
}

void TestBookWindow::bookTroubleIsAConsoleMessage()
{
    // A folder where the book should be: no event can be recorded.
    QVERIFY(QDir().mkpath(folder() + QLatin1String(tavik7::book::kBookFileName)));
    QVERIFY(connectDevice());
    QVERIFY(readSettings());
    const QString book = QDir::toNativeSeparators(folder() + QLatin1String(tavik7::book::kBookFileName));
    QTRY_COMPARE(consoleMessages(*window).size(), 3);
    const QString notice = consoleMessages(*window).at(2);
    QVERIFY2(notice.startsWith(QStringLiteral("Gerätebuch")) && notice.contains(book), qPrintable(notice));
    // Logged as every message is, and said again in the language switched to.
    QVERIFY(log().contains(notice));
    switchLanguage("actionEnglish");
    QCOMPARE(consoleMessages(*window).size(), 3);
    QVERIFY2(consoleMessages(*window).at(2).startsWith(QStringLiteral("Device book")),
             qPrintable(consoleMessages(*window).at(2)));
}

QTEST_MAIN(TestBookWindow)
#include "tst_bookwindow.moc"
