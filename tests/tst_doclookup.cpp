// Where the Help menu finds the manuals: the working directory first, then
// beside the program, then the installed share folder.

#include <QtTest>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "documentation.h"

using namespace tavik7::platform;

namespace {

const QString kManual = QStringLiteral("Tavik7M_manual.pdf");
const QString kInstalled = QStringLiteral("../share/tavik7-pc-software/Documentation");

// An installed tree below root: <root>/work (start folder), <root>/usr/bin
// (program) and the three candidate folders, each holding the manual if asked.
struct Tree
{
    QString work, bin, inWork, besideExe, inShare;
};

Tree makeTree(const QString &root, bool inWork, bool besideExe, bool inShare)
{
    Tree t{root + QStringLiteral("/work"), root + QStringLiteral("/usr/bin"),
           root + QStringLiteral("/work/Documentation"), root + QStringLiteral("/usr/bin/Documentation"),
           root + QStringLiteral("/usr/share/tavik7-pc-software/Documentation")};
    QDir().mkpath(t.work);
    QDir().mkpath(t.bin);
    const auto place = [](const QString &folder) {
        QDir().mkpath(folder);
        QFile file(folder + QLatin1Char('/') + kManual);
        return file.open(QIODevice::WriteOnly) && file.write("%PDF-1.4\n") > 0;
    };
    if ((inWork && !place(t.inWork)) || (besideExe && !place(t.besideExe)) || (inShare && !place(t.inShare)))
        qFatal("cannot build the test tree below %s", qPrintable(root));
    return t;
}

} // namespace

class TestDocLookup : public QObject
{
    Q_OBJECT

private slots:
    void firstExistingFolderWins_data();
    void firstExistingFolderWins();
    void candidateFolders();
    void installedPathFromBuild();
};

void TestDocLookup::firstExistingFolderWins_data()
{
    QTest::addColumn<bool>("inWork");
    QTest::addColumn<bool>("besideExe");
    QTest::addColumn<bool>("inShare");
    QTest::addColumn<QString>("winner"); // "work", "exe", "share"; "none" falls back to work

    QTest::newRow("everywhere") << true << true << true << "work";
    QTest::newRow("working directory only") << true << false << false << "work";
    QTest::newRow("beside the program and installed") << false << true << true << "exe";
    QTest::newRow("installed only (desktop menu)") << false << false << true << "share";
    QTest::newRow("nowhere") << false << false << false << "none";
}

void TestDocLookup::firstExistingFolderWins()
{
    QFETCH(bool, inWork);
    QFETCH(bool, besideExe);
    QFETCH(bool, inShare);
    QFETCH(QString, winner);

    QTemporaryDir root;
    QVERIFY(root.isValid());
    const Tree t = makeTree(root.path(), inWork, besideExe, inShare);
    const QString found = documentationPath(kManual, t.work, t.bin, kInstalled);

    const QString expected = winner == QLatin1String("exe")     ? t.besideExe
                             : winner == QLatin1String("share") ? t.inShare
                                                                : t.inWork;
    QCOMPARE(found, expected + QLatin1Char('/') + kManual);

    // A folder of that name is not the file: a stray "Documentation" folder
    // in the start folder must not hide the installed manuals.
    if (!inWork) {
        QVERIFY(QDir().mkpath(t.inWork + QLatin1Char('/') + kManual));
        QCOMPARE(documentationPath(kManual, t.work, t.bin, kInstalled), found);
    }
}

void TestDocLookup::candidateFolders()
{
    // The working directory's path is used exactly as given, not cleaned.
    QCOMPARE(documentationFolders(QStringLiteral("/home/tech/./site"), QStringLiteral("/opt/t7/bin"), kInstalled),
             QStringList({QStringLiteral("/home/tech/./site/Documentation"),
                          QStringLiteral("/opt/t7/bin/Documentation"),
                          QStringLiteral("/opt/t7/share/tavik7-pc-software/Documentation")}));

    // Started from the program's own folder: each place is looked at once.
    // Windows installs the manuals beside the program, so all three coincide.
    QCOMPARE(documentationFolders(QStringLiteral("C:/Tavik7"), QStringLiteral("C:/Tavik7"), QStringLiteral("Documentation")),
             QStringList({QStringLiteral("C:/Tavik7/Documentation")}));

    // Without a known program folder only the working directory remains.
    QCOMPARE(documentationFolders(QStringLiteral("/srv"), QString(), kInstalled),
             QStringList({QStringLiteral("/srv/Documentation")}));
}

void TestDocLookup::installedPathFromBuild()
{
    // The relative path comes from the install layout; it must lead from the
    // program's folder to a folder named "Documentation", whatever the prefix.
    const QString relative = installedDocumentationRelativePath();
    QVERIFY(!QDir::isAbsolutePath(relative));
    QVERIFY2(relative.endsWith(QLatin1String("Documentation")), qPrintable(relative));
#ifndef Q_OS_WIN
    QCOMPARE(relative, kInstalled);
#endif
}

QTEST_GUILESS_MAIN(TestDocLookup)
#include "tst_doclookup.moc"
