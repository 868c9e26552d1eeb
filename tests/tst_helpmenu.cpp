// The Help menu's three manuals, opened from the real window: each entry asks
// the viewer for its own file, taken from the start folder when it is there
// and from beside the program otherwise.

#include <QtTest>

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QUrl>

#include "tavik7_bediensoftware.h"
#include "windowaccess.h"

namespace {

const char *const kActions[] = {"actionDocuQuickGuide", "actionDocuManual", "actionDocuProgrammerManual"};
const char *const kFiles[] = {"Tavik7VUVozezoro.pdf", "Tavik7M_manual.pdf", "Tavik7_M_Programmierhandbuch.pdf"};

bool placeManuals(const QString &folder)
{
    if (!QDir().mkpath(folder))
        return false;
    for (const char *name : kFiles) {
        QFile file(folder + QLatin1Char('/') + QLatin1String(name));
        if (!file.open(QIODevice::WriteOnly) || file.write("%PDF-1.4\n") <= 0)
            return false;
    }
    return true;
}

} // namespace

// Stands in for the system's viewer: records what it was asked to open.
class ViewerStandIn : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened.append(url); }
};

class TestHelpMenu : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void manualsFromStartFolderFirst();
    void manualsBesideProgram();

private:
    QList<QString> openEachManual();

    ViewerStandIn viewer;
    QScopedPointer<QTemporaryDir> appData;
    QScopedPointer<QTemporaryDir> startFolder;
    QString previousFolder;
};

void TestHelpMenu::initTestCase()
{
    registerTavik7Resources();
    qputenv("TAVIK7_EXTRA_PORTS", QByteArray());
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &viewer, "open");
    previousFolder = QDir::currentPath();
}

void TestHelpMenu::init()
{
    appData.reset(new QTemporaryDir);
    startFolder.reset(new QTemporaryDir);
    QVERIFY(appData->isValid() && startFolder->isValid());
    qputenv("APPDATA", QFile::encodeName(appData->path()));
    QVERIFY(QDir::setCurrent(startFolder->path()));
    viewer.opened.clear();
}

void TestHelpMenu::cleanup()
{
    QDir::setCurrent(previousFolder);
}

QList<QString> TestHelpMenu::openEachManual()
{
    TAVIK7_Bediensoftware w;
    for (const char *action : kActions)
        child<QAction>(w, action)->trigger();
    QList<QString> paths;
    for (const QUrl &url : std::as_const(viewer.opened))
        paths.append(url.toLocalFile());
    return paths;
}

void TestHelpMenu::manualsFromStartFolderFirst()
{
    QVERIFY(placeManuals(QDir::currentPath() + QStringLiteral("/Documentation")));
    const QList<QString> paths = openEachManual();
    QCOMPARE(paths.size(), 3);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(paths.at(i), QDir::currentPath() + QStringLiteral("/Documentation/") + QLatin1String(kFiles[i]));
}

void TestHelpMenu::manualsBesideProgram()
{
    // As a program started from the desktop menu: nothing in the start folder,
    // the manuals beside the executable.
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/Documentation");
    if (QFileInfo::exists(beside))
        QSKIP("a Documentation folder already lies beside the test program");
    const auto removeBeside = qScopeGuard([&] { QDir(beside).removeRecursively(); });
    QVERIFY(placeManuals(beside));

    const QList<QString> paths = openEachManual();
    QCOMPARE(paths.size(), 3);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(paths.at(i), beside + QLatin1Char('/') + QLatin1String(kFiles[i]));
}

QTEST_MAIN(TestHelpMenu)
#include "tst_helpmenu.moc"
