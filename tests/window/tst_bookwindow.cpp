// The device book as the window keeps it, walked as a technician would: the
// book window opened from its menu, reads and writes in it as the window's
// own events shown without being asked, in the window's words, its search and
// exports; other programs
// on the same book (a file dialog's peek, a command-line run, a held write
// lock) that lose no event and hold up nothing; a book that cannot be kept.

#include <QtTest>

#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QTableView>

#include "booklocation.h"
#include "bookwriter.h"
#include "clirun.h"
#include "devicebook.h"
#include "devicebookkeeper.h"
#include "devicebookwindow.h"
#include "pgserver.h"
#include "windowtest.h"

using namespace tavik7::book;

namespace {

// What a file dialog on the folder does to the book: it lists the folder and
// opens each file to guess its type, then closes it again.
void peekAtFolder(QWidget *parent, const QString &folder, const QString &book)
{
    QFileDialog dialog(parent, QString(), folder);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    auto *model = dialog.findChild<QFileSystemModel *>();
    QSignalSpy loaded(model, &QFileSystemModel::directoryLoaded);
    dialog.show();
    loaded.wait(2000);
    QFile file(book);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.read(16).startsWith("SQLite format 3"));
    file.close();
    dialog.close();
}

} // namespace

class TestBookWindow : public DeviceWindow
{
    Q_OBJECT

private slots:
    void eventsShownAndKeptBesideOtherPrograms();
    void bookTroubleIsAConsoleMessage();
    void searchHistoryAndExports();
    void serverChosenWaitingAndVerified();

private:
    [[nodiscard]] QString bookFile() const { return folder() + QLatin1String(kBookFileName); }
};

void TestBookWindow::eventsShownAndKeptBesideOtherPrograms()
{
    // The technician's own name, through the writer process into every row.
    qputenv("TAVIK7_TECHNICIAN", "Ann Example");
    QVERIFY(connectDevice());
    qunsetenv("TAVIK7_TECHNICIAN");
    QSignalSpy recorded(DeviceBookKeeper::of(window.get()), &DeviceBookKeeper::recorded);
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
    QTRY_COMPARE(shown->browser()->devices()->rowCount(), 1);
    w<QComboBox>("comboBoxDirection")->setCurrentIndex(1);
    button("pushButtonWriteSettings")->click();
    QTRY_COMPARE(consoleMessages(*window).mid(0, 5), germanMessages({1, 13, 3, 2, 4}));
    {
        DeviceBook book;
        QVERIFY(book.open(bookFile()).recorded);
        // The window's writer process commits after the window has gone on.
        QTRY_COMPARE(book.history(QStringLiteral("123456789")).size(), 2);
        const QList<BookEvent> events = book.history(QStringLiteral("123456789"));
        QCOMPARE(events.at(0).action, BookAction::Read);
        QCOMPARE(events.at(1).action, BookAction::Write);
        QCOMPARE(events.at(1).changes.first(), (BookChange{"direction", "0", "1"}));
        for (const BookEvent &event : events)
            QCOMPARE(event.frontEnd, FrontEnd::Window);
    }
    QTRY_COMPARE(recorded.count(), 2);

    // The shown write in the window's words, and again after a switch.
    QTRY_COMPARE(shown->browser()->events()->rowCount(), 2);
    QCOMPARE(shown->browser()->events()->index(1, 2).data().toString(), QStringLiteral("Schreiben"));
    QCOMPARE(shown->browser()->events()->index(1, 10).data().toString(), QStringLiteral("Ann Example"));
    auto firstChange = [shown] {
        return shown->browser()->events()->index(1, 7).data().toString().section(QLatin1Char('\n'), 0, 0);
    };
    QCOMPARE(firstChange(), QStringLiteral("Richtung: 0: rechts -> 1: links"));
    switchLanguage("actionEnglish");
    QCOMPARE(menu->title() + QLatin1Char('/') + entry->text(), QStringLiteral("Tools/Device book..."));
    QCOMPARE(firstChange(), QStringLiteral("Direction: 0: right -> 1: left"));
    switchLanguage("actionGerman");

    // A file dialog peeks at the folder and a command-line run ends meanwhile: no event is lost.
    peekAtFolder(window.get(), folder(), bookFile());
    DevSim other;
    QVERIFY(other.start());
    QByteArray out;
    QCOMPARE(runCli({QStringLiteral("--book"), bookFile(), QStringLiteral("read"), QStringLiteral("-p"),
                     other.portPath()}, &out), 0);
    QVERIFY(readSettings());
    QTRY_COMPARE(recorded.count(), 3);
    // Read by other programs: this one holds no view of the book of its own.
    QCOMPARE(runCli({QStringLiteral("--book"), bookFile(), QStringLiteral("book"), QStringLiteral("history"),
                     QStringLiteral("123456789")}, &out), 0);
    const QList<QByteArray> lines = out.trimmed().split('\n');
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines.count(), int(out.count("\twindow\t") + out.count("\tcli\t")));
    QCOMPARE(out.count("\twindow\t"), 3);
    QCOMPARE(runCli({QStringLiteral("--book"), bookFile(), QStringLiteral("book"), QStringLiteral("verify")}, &out), 0);

    // Another program holds the book's write lock: neither the window nor, once it lets go, the event is held up.
    QProcess locker;
    locker.start(QStringLiteral(TAVIK7_BOOKLOCKER_PATH), {bookFile()});
    QVERIFY(locker.waitForReadyRead(5000));
    QCOMPARE(locker.readLine(), QByteArray("locked\n"));
    // The longest the event loop stood still while the event waited.
    QElapsedTimer sinceTick;
    qint64 longestGapMs = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&] { longestGapMs = qMax(longestGapMs, sinceTick.restart()); });
    sinceTick.start();
    ticker.start(10);
    QVERIFY(readSettings());
    QTest::qWait(1500);
    QVERIFY2(longestGapMs < 500, qPrintable(QString::number(longestGapMs)));
    QCOMPARE(recorded.count(), 3);
    auto *writer = qobject_cast<BookWriterProcess *>(DeviceBookKeeper::of(window.get())->writer());
    QVERIFY(writer);
    QCOMPARE(writer->waiting(), 1);
    locker.write("\n");
    QVERIFY(locker.waitForFinished(5000));
    QCOMPARE(locker.exitCode(), 0);
    QTRY_COMPARE(recorded.count(), 4);
    QCOMPARE(writer->waiting(), 0);
    QVERIFY2(longestGapMs < 500, qPrintable(QString::number(longestGapMs)));

    // The counter's confirmation asks why, and takes no control character.
    bool refused = false;
    QTimer answer;
    connect(&answer, &QTimer::timeout, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        auto *line = box ? box->findChild<QLineEdit *>() : nullptr;
        if (!line)
            return;
        answer.stop();
        line->setText(QStringLiteral("meter\u0007swap"));
        refused = !box->button(QMessageBox::Yes)->isEnabled();
        line->setText(QStringLiteral(" meter swap "));
        box->button(QMessageBox::Yes)->click();
    });
    answer.start(20);
    // The counter as read, set again.
    QTRY_VERIFY(button("pushButtonSetCounter")->isEnabled());
    button("pushButtonSetCounter")->click();
    QVERIFY(refused);
    QTRY_COMPARE(recorded.count(), 5);
    DeviceBook book;
    QVERIFY(book.openForReading(bookFile()).recorded);
    const BookEvent counter = book.history(QStringLiteral("123456789")).constLast();
    QCOMPARE(counter.action, BookAction::SetCounter);
    QCOMPARE(counter.reason, QStringLiteral("meter swap"));
}

void TestBookWindow::bookTroubleIsAConsoleMessage()
{
    // A folder where the book should be: no event can be recorded.
    QVERIFY(QDir().mkpath(bookFile()));
    QVERIFY(connectDevice());
    QVERIFY(readSettings());
    QTRY_COMPARE(consoleMessages(*window).size(), 3);
    const QString notice = consoleMessages(*window).at(2);
    QVERIFY2(notice.startsWith(QStringLiteral("Gerätebuch")) && notice.contains(QDir::toNativeSeparators(bookFile())),
             qPrintable(notice));
    // Logged as every message is, and said again in the language switched to.
    QVERIFY(log().contains(notice));
    switchLanguage("actionEnglish");
    QCOMPARE(consoleMessages(*window).size(), 3);
    QVERIFY2(consoleMessages(*window).at(2).startsWith(QStringLiteral("Device book")),
             qPrintable(consoleMessages(*window).at(2)));
}

void TestBookWindow::searchHistoryAndExports()
{
    // Driven through its fields, on a book of its own: search as you type, the
    // first device found shown, a language switch, the PDF export.
    const QString path = appData->filePath(QStringLiteral("book.sqlite"));
    {
        DeviceBook book;
        QVERIFY(book.open(path).recorded);
        BookEvent event;
        event.serialNumber = QStringLiteral("111111111");
        QVERIFY(book.record(event).recorded);
        event.action = BookAction::Write;
        event.changes = {{QStringLiteral("direction"), QStringLiteral("0"), QStringLiteral("1")}};
        QVERIFY(book.record(event).recorded);
        event.serialNumber = QStringLiteral("222222222");
        QVERIFY(book.record(event).recorded);
    }
    DeviceBookWindow book(path, tavik7::English);
    book.show();
    QCOMPARE(book.browser()->devices()->rowCount(), 2);
    QTest::keyClicks(book.findChild<QLineEdit *>(QStringLiteral("searchField")), QStringLiteral("1111"));
    QCOMPARE(book.browser()->devices()->rowCount(), 1);
    QCOMPARE(book.browser()->events()->rowCount(), 2);
    book.setLanguage(tavik7::German);
    QCOMPARE(book.windowTitle(), QStringLiteral("Gerätebuch ") + path);
    QCOMPARE(book.browser()->events()->index(1, 7).data().toString(), QStringLiteral("Richtung: 0: rechts -> 1: links"));
    // Sorted by a click on its header, the list keeps the device marked and its events.
    book.findChild<QLineEdit *>(QStringLiteral("searchField"))->clear();
    auto *table = book.findChild<QTableView *>(QStringLiteral("deviceTable"));
    QHeaderView *header = table->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionViewportPosition(1) + 5, 5));
    QCOMPARE(book.browser()->devices()->index(1, 1).data().toString(), QStringLiteral("111111111"));
    QCOMPARE(table->currentIndex().row(), 1);
    QCOMPARE(book.browser()->events()->rowCount(), 2);

    // A PDF of thousands of events is laid out with the window answering.
    constexpr int kEvents = 5000;
    int made = 0;
    DeviceBook many;
    QVERIFY(many.open(path).recorded);
    QVERIFY(many.recordAll([&](BookEvent &event) {
        event = BookEvent();
        event.action = BookAction::Flash;
        event.timeMs = 10000 + made;
        event.serialNumber = QStringLiteral("333333333");
        event.file = QStringLiteral("/home/service/firmware/tavik_v1_12.hex");
        event.sha256 = QString(64, QLatin1Char('a' + made % 6));
        return ++made <= kEvents;
    }).recorded);

    book.findChild<QLineEdit *>(QStringLiteral("searchField"))->clear();
    QTest::keyClicks(book.findChild<QLineEdit *>(QStringLiteral("searchField")), QStringLiteral("333"));
    QCOMPARE(book.browser()->events()->rowCount(), kEvents);
    const QString pdf = appData->filePath(QStringLiteral("thousands.pdf"));
    QSignalSpy exported(&book, &DeviceBookWindow::pdfExported);
    int turns = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, &ticker, [&] { ++turns; });
    ticker.start(5);
    QVERIFY(book.exportPdf(pdf));
    QVERIFY(exported.wait(60000));
    QCOMPARE(exported.first().first().toBool(), true);
    QVERIFY2(turns >= 3, qPrintable(QString::number(turns)));
    QFile file(pdf);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.startsWith("%PDF"));
    QVERIFY(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r") + bytes.count("/Type /Page ") > 50);
}

// The technician points the window at a workshop's server and names
// himself there; the server goes away and comes back while he works.
void TestBookWindow::serverChosenWaitingAndVerified()
{
    PgServer server;
    QString log;
    QVERIFY2(server.start(&log), qPrintable(log));
    QCOMPARE(server.initBook(QStringLiteral("shop")), QString());
    QVERIFY(connectDevice());
    w<QAction>("actionDeviceBook")->trigger();
    auto *shown = window->findChild<DeviceBookWindow *>();
    auto *location = shown->findChild<QLineEdit *>(QStringLiteral("bookLocation"));
    auto *status = shown->findChild<QLabel *>(QStringLiteral("status"));
    auto enter = [](QLineEdit *field, const QString &text) {
        field->setText(text);
        emit field->editingFinished();
    };
    const QString url = server.url(QStringLiteral("shop"));
    enter(location, url);
    QCOMPARE(shown->windowTitle(), QStringLiteral("Gerätebuch ") + url);
    enter(shown->findChild<QLineEdit *>(QStringLiteral("technician")), QStringLiteral("Bea Tech"));
    QVERIFY(readFile(folder() + QStringLiteral("TAVIK7 PC Software.ini")).contains(url.toUtf8()));

    // Recorded on the server from then on; kept while it is gone, counted, and sent once it is back.
    QSignalSpy recorded(DeviceBookKeeper::of(window.get()), &DeviceBookKeeper::recorded);
    QVERIFY(readSettings());
    QTRY_COMPARE(recorded.count(), 1);
    server.stop();
    QVERIFY(readSettings());
    auto *waiting = shown->findChild<QLabel *>(QStringLiteral("waiting"));
    QTRY_COMPARE(waiting->text(), QStringLiteral("1 Eintrag wartet"));
    QVERIFY2(server.restart(&log), qPrintable(log));
    shown->refresh();
    QTRY_VERIFY(waiting->isHidden());
    DeviceBook book;
    QVERIFY(book.openForReading(url).recorded);
    QCOMPARE(book.history(QStringLiteral("123456789")).size(), 2);
    QCOMPARE(book.history(QStringLiteral("123456789")).constLast().technician, QStringLiteral("Bea Tech"));

    // Verified on request, the window going on meanwhile.
    shown->findChild<QPushButton *>(QStringLiteral("verify"))->click();
    QCOMPARE(status->text(), QStringLiteral("Gerätebuch wird geprüft..."));
    QTRY_COMPARE_WITH_TIMEOUT(status->text(), QStringLiteral("Gerätebuch unversehrt: 2 Einträge"), 20000);

    // The next start opens the book chosen.
    window = openWindowOn();
    w<QAction>("actionDeviceBook")->trigger();
    QCOMPARE(window->findChild<DeviceBookWindow *>()->findChild<QLineEdit *>(QStringLiteral("bookLocation"))->text(), url);
}

QTEST_MAIN(TestBookWindow)
#include "tst_bookwindow.moc"
