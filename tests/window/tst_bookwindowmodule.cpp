// The device book's window comes with a module of its own, linked as the
// program is: the window maps no database code until the book is opened, and
// a module that is missing or cannot be loaded is said in a box rather than
// leaving the menu entry doing nothing.

#include <QtTest>

#include <QAction>
#include <QTemporaryDir>

#include "modaldialogs.h"
#include "tavik7_bediensoftware.h"
#include "windowaccess.h"

namespace {

bool databaseCodeMapped()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt6Sql");
}

QWidget *bookWindowOf(QWidget &mainWindow)
{
    for (QWidget *widget : mainWindow.findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (widget->isWindow() && qstrcmp(widget->metaObject()->className(), "DeviceBookWindow") == 0)
            return widget;
    }
    return nullptr;
}

} // namespace

class TestBookWindowModule : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    // Runs first: once loaded, the module stays.
    void unloadableModuleIsSaid_data();
    void unloadableModuleIsSaid();
    void databaseCodeComesWithTheBookWindow();

private:
    QTemporaryDir appData;
};

void TestBookWindowModule::initTestCase()
{
    QVERIFY(appData.isValid());
    qputenv("APPDATA", QFile::encodeName(appData.path()));
    registerTavik7Resources();
}

void TestBookWindowModule::unloadableModuleIsSaid_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("named");

    // Nothing beside the program (the test's folder), and the named file absent.
    QTest::newRow("missing") << QByteArray() << QCoreApplication::applicationDirPath();
    QTest::newRow("damaged") << QByteArray("\x7f" "ELF, but cut short") << appData.filePath(QStringLiteral("cut.so"));
}

void TestBookWindowModule::unloadableModuleIsSaid()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, named);
    const QString file = appData.filePath(QStringLiteral("cut.so"));
    QFile::remove(file);
    if (!content.isEmpty()) {
        QFile cut(file);
        QVERIFY(cut.open(QIODevice::WriteOnly) && cut.write(content) == content.size());
    }
    qputenv("TAVIK7_BOOKWINDOW", QFile::encodeName(file));

    TAVIK7_Bediensoftware window;
    window.show();
    ModalAnswerer answerer;
    child<QAction>(window, "actionDeviceBook")->trigger();
    QCOMPARE(answerer.answered(), 1);
    QVERIFY2(answerer.texts.first().startsWith(QStringLiteral("Das Gerätebuch lässt sich nicht öffnen"))
                 && answerer.texts.first().contains(QDir::toNativeSeparators(named)),
             qPrintable(answerer.texts.first()));
    QVERIFY(!bookWindowOf(window));
    QVERIFY(!databaseCodeMapped());
    // Nothing to refresh or to switch: the window goes on without its book.
    child<QAction>(window, "actionEnglish")->trigger();
    QVERIFY(noModalLeft());
}

void TestBookWindowModule::databaseCodeComesWithTheBookWindow()
{
    qputenv("TAVIK7_BOOKWINDOW", TAVIK7_BOOKWINDOW_PATH);
    TAVIK7_Bediensoftware window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(!databaseCodeMapped());

    child<QAction>(window, "actionDeviceBook")->trigger();
    QWidget *book = bookWindowOf(window);
    QVERIFY(book && book->isVisible());
    QVERIFY(book->windowTitle().startsWith(QStringLiteral("Gerätebuch /")));
    QVERIFY(databaseCodeMapped());
    // The language switch reaches the book window through the module.
    child<QAction>(window, "actionEnglish")->trigger();
    QVERIFY(book->windowTitle().startsWith(QStringLiteral("Device book /")));
    // Opened again: the same window, raised.
    book->hide();
    child<QAction>(window, "actionDeviceBook")->trigger();
    QCOMPARE(bookWindowOf(window), book);
    QVERIFY(book->isVisible());
}

QTEST_MAIN(TestBookWindowModule)
#include "tst_bookwindowmodule.moc"
