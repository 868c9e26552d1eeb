// The Help menu's three entries, each opening its own manual in the viewer.
// Which folder the manuals are taken from is the lookup's own test.

#include <QtTest>

#include <QAction>
#include <QDesktopServices>
#include <QTemporaryDir>

#include "tavik7_bediensoftware.h"
#include "windowaccess.h"

// Stands in for the system's viewer: records what it was asked to open.
class ViewerStandIn : public QObject
{
    Q_OBJECT

public:
    QStringList opened;

public slots:
    void open(const QUrl &url) { opened.append(url.toLocalFile()); }
};

class TestHelpMenu : public QObject
{
    Q_OBJECT

private slots:
    void eachEntryOpensItsManual()
    {
        registerTavik7Resources();
        QTemporaryDir appData, startFolder;
        qputenv("APPDATA", QFile::encodeName(appData.path()));
        qputenv("TAVIK7_EXTRA_PORTS", QByteArray());
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(startFolder.path()));
        ViewerStandIn viewer;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &viewer, "open");

        const QString manuals = startFolder.filePath(QStringLiteral("Documentation/"));
        const QStringList files{"Tavik7VUVozezoro.pdf", "Tavik7M_manual.pdf", "Tavik7_M_Programmierhandbuch.pdf"};
        QVERIFY(QDir().mkpath(manuals));
        for (const QString &name : files)
            QVERIFY(QFile(manuals + name).open(QIODevice::WriteOnly));
        TAVIK7_Bediensoftware w;
        for (const char *action : {"actionDocuQuickGuide", "actionDocuManual", "actionDocuProgrammerManual"})
            child<QAction>(w, action)->trigger();
        QCOMPARE(viewer.opened, QStringList({manuals + files[0], manuals + files[1], manuals + files[2]}));

        // Started from the desktop menu: nothing in the start folder, the manuals beside the program.
        const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/Documentation/");
        if (!QFileInfo::exists(beside)) {
            QVERIFY(QDir(manuals).removeRecursively() && QDir().mkpath(beside));
            QVERIFY(QFile(beside + files[1]).open(QIODevice::WriteOnly));
            child<QAction>(w, "actionDocuManual")->trigger();
            QDir(beside).removeRecursively();
            QCOMPARE(viewer.opened.last(), beside + files[1]);
        }
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QDir::setCurrent(previous);
    }
};

QTEST_MAIN(TestHelpMenu)
#include "tst_helpmenu.moc"
