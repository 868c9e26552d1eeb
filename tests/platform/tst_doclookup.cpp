// Where the Help menu finds the manuals: the working directory first, then
// beside the program, then the installed share folder.

#include <QtTest>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "documentation.h"
#include "readfile.h"

using namespace tavik7::platform;

namespace {

const QString kManual = QStringLiteral("Tavik7M_manual.pdf");
const QString kInstalled = QStringLiteral("../share/tavik7-pc-software/Documentation");

bool placeManual(const QString &folder)
{
    return QDir().mkpath(folder) && writeFile(folder + QLatin1Char('/') + kManual, "%PDF-1.4\n");
}

} // namespace

class TestDocLookup : public QObject
{
    Q_OBJECT

private slots:
    void firstExistingManualWins();
    void candidateFolders();
};

void TestDocLookup::firstExistingManualWins()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString work = root.filePath(QStringLiteral("work"));
    const QString bin = root.filePath(QStringLiteral("usr/bin"));
    QVERIFY(QDir().mkpath(work) && QDir().mkpath(bin));
    const QStringList folders = documentationFolders(work, bin, kInstalled);
    QCOMPARE(folders.size(), 3);
    QCOMPARE(folders.at(2), root.filePath(QStringLiteral("usr/share/tavik7-pc-software/Documentation")));
    const auto found = [&] { return documentationPath(kManual, work, bin, kInstalled); };
    const auto manualIn = [&](int folder) { return folders.at(folder) + QLatin1Char('/') + kManual; };

    // Nowhere: the working directory's, so that the box names a place to put it.
    QCOMPARE(found(), manualIn(0));
    // A folder of that name is not the file: a stray "Documentation" folder in
    // the start folder must not hide the installed manuals.
    QVERIFY(QDir().mkpath(manualIn(0)));
    QVERIFY(placeManual(folders.at(2)));
    QCOMPARE(found(), manualIn(2));
    QVERIFY(placeManual(folders.at(1)));
    QCOMPARE(found(), manualIn(1));
    QVERIFY(QDir().rmdir(manualIn(0)) && placeManual(folders.at(0)));
    QCOMPARE(found(), manualIn(0));
}

void TestDocLookup::candidateFolders()
{
    // The working directory's path is used exactly as given, not cleaned.
    QCOMPARE(documentationFolders("/home/tech/./site", "/opt/t7/bin", kInstalled),
             QStringList({"/home/tech/./site/Documentation", "/opt/t7/bin/Documentation",
                          "/opt/t7/share/tavik7-pc-software/Documentation"}));

    // Started from the program's own folder: each place is looked at once.
    // Windows installs the manuals beside the program, so all three coincide.
    QCOMPARE(documentationFolders("C:/Tavik7", "C:/Tavik7", "Documentation"), QStringList({"C:/Tavik7/Documentation"}));

    // Without a known program folder only the working directory remains.
    QCOMPARE(documentationFolders("/srv", QString(), kInstalled), QStringList({"/srv/Documentation"}));

    // The relative path comes from the install layout, whatever the prefix.
    QCOMPARE(installedDocumentationRelativePath(), kInstalled);
}

QTEST_GUILESS_MAIN(TestDocLookup)
#include "tst_doclookup.moc"
