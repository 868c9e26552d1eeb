// The window's reads and writes in the device book as the window's own
// events, and an open book window that shows them without being asked.

#include <QtTest>

#include "booklocation.h"
#include "devicebook.h"
#include "devicebookwindow.h"
#include "windowtest.h"

class TestBookWindow : public DeviceWindow
{
    Q_OBJECT

private slots:
    void readAndWriteAreWindowEvents();
};

void TestBookWindow::readAndWriteAreWindowEvents()
{
    QVERIFY(connectDevice());
    DeviceBookWindow *shown = DeviceBookWindow::showFor(window.get(), tavik7::German);
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
}

QTEST_MAIN(TestBookWindow)
#include "tst_bookwindow.moc"
