// Saving and loading settings files through the window's buttons: the dialog
// it asks, the bytes on disk, the table afterwards and every refusal.

#include <QtTest>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <memory>

#ifdef Q_OS_UNIX
#include <sys/stat.h>

#include "filesizelimit.h"

#include "devsim.h"
#endif

#include "filehooks.h"
#include "samplerecord.h"
#include "windowtest.h"

class TestSettingsFileGui : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void saveAndLoadBack();
    void failedSaveKeepsOldFile();
    void loadFailures_data();
    void loadFailures();
    void loadReturnsWizardToFirstStep();
    void outOfRangeIndexBlocksWrite();

private:
    QStringList click(const char *button, const QString &answer);
    void fillTable();

    QScopedPointer<QTemporaryDir> appData;
    QScopedPointer<QTemporaryDir> files;
    std::unique_ptr<TAVIK7_Bediensoftware> window;
    QList<tavik7::FileNameRequest> requests;
    QString answer;
};

void TestSettingsFileGui::initTestCase()
{
    registerTavik7Resources();
    tavik7::fileNameHook = [this](const tavik7::FileNameRequest &request) {
        requests.append(request);
        return answer;
    };
}

void TestSettingsFileGui::init()
{
    // A fresh output log for every test: the messages are read back from it.
    appData.reset(new QTemporaryDir);
    QVERIFY(appData->isValid());
    qputenv("APPDATA", QFile::encodeName(appData->path()));
    files.reset(new QTemporaryDir);
    requests.clear();
    window = openWindowOn();
}

void TestSettingsFileGui::cleanup()
{
    window.reset();
    QVERIFY(noModalLeft());
}

// Clicks a button whose dialog is answered with the given name; returns the
// messages shown meanwhile, as the output log has them. (The console may
// already show a plausibility message in place of the load's own.)
QStringList TestSettingsFileGui::click(const char *button, const QString &name)
{
    const qsizetype before = outputLog(appData->path()).size();
    answer = name;
    child<QPushButton>(*window, button)->click();
    QStringList messages;
    const QList<QByteArray> lines = outputLog(appData->path()).mid(before).split('\n');
    for (const QByteArray &line : lines) {
        if (!line.isEmpty())
            messages.append(QString::fromLatin1(line.mid(22).chopped(1)));
    }
    return messages;
}

// The sample record, as typed into the table.
void TestSettingsFileGui::fillTable()
{
    QStandardItemModel *model = tableModel(*window);
    const struct
    {
        int row;
        const char *text;
    } cells[] = {{0, "kWh"}, {3, "ABC"}, {4, "TAV7"}, {5, "123456789"}, {6, "2024"}, {7, "1.13"}, {8, "0a3f"}};
    for (const auto &cell : cells)
        model->item(cell.row, 1)->setText(QString::fromLatin1(cell.text));
    const int indices[] = {1, 2, 5, 1, 3, 1};
    for (int i = 0; i < 6; ++i)
        child<QComboBox>(*window, kCombos[i])->setCurrentIndex(indices[i]);
    child<QCheckBox>(*window, "checkBoxLeadingPlus")->setChecked(false);
}

void TestSettingsFileGui::saveAndLoadBack()
{
    fillTable();
    const QStringList filled = tableSnapshot(*window);
    const QString path = files->filePath(QStringLiteral("device.dat"));

    QCOMPARE(click("pushButtonSaveSettings", path), QStringList{germanMessage(6)});
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests[0].mode, tavik7::FileNameRequest::Save);
    QCOMPARE(readFile(path), kSampleFile);

    // The keys do not follow the interface language.
    window->findChild<QAction *>(QStringLiteral("actionEnglish"))->trigger();
    const QString english = files->filePath(QStringLiteral("english.dat"));
    QCOMPARE(click("pushButtonSaveSettings", english), QStringList{tavik7::messageText(6, tavik7::English)});
    QCOMPARE(readFile(english), kSampleFile);
    window->findChild<QAction *>(QStringLiteral("actionGerman"))->trigger();

    // Something else in every cell, then the file back.
    QStandardItemModel *model = tableModel(*window);
    for (int row : {0, 3, 4, 5, 6, 7, 8})
        model->item(row, 1)->setText(QStringLiteral("1"));
    for (const char *name : kCombos)
        child<QComboBox>(*window, name)->setCurrentIndex(0);
    child<QCheckBox>(*window, "checkBoxLeadingPlus")->setChecked(true);

    QCOMPARE(click("pushButtonLoadSettings", path).value(0), germanMessage(5));
    QCOMPARE(requests.last().mode, tavik7::FileNameRequest::Open);
    QCOMPARE(QDir(requests.last().startName).canonicalPath(),
             QDir(appData->filePath(QStringLiteral("KLV TAVIK7 PC Software"))).canonicalPath());
    QCOMPARE(tableSnapshot(*window), filled);
    // The loaded serial number is the one the next suggestion is built from;
    // cancelling says nothing.
    QCOMPARE(click("pushButtonSaveSettings", QString()), QStringList());
    QVERIFY(requests.last().startName.endsWith(QDate::currentDate().toString("123456789-Tavik7_yyyy-MM-dd")));
}

void TestSettingsFileGui::failedSaveKeepsOldFile()
{
#ifdef Q_OS_UNIX
    const QString path = files->filePath(QStringLiteral("old.dat"));
    const QByteArray old("[Tavik-Parameter]\r\nold content\r\n");
    QVERIFY(writeFile(path, old));
    fillTable();

    {
        FileSizeLimit full(100);
        QVERIFY(full.active());
        click("pushButtonSaveSettings", path); // the limit keeps the log from taking the message too
    }

    QCOMPARE(consoleMessages(*window).constLast(), germanMessage(58));
    QCOMPARE(readFile(path), old);
    QCOMPARE(QDir(files->path()).entryList(QDir::Files), QStringList({"old.dat"}));
#else
    QSKIP("needs a per-process file size limit");
#endif
}

void TestSettingsFileGui::loadFailures_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("message");
    QTest::addColumn<bool>("tableChanges");

    QByteArray lfOnly = kSampleFile;
    lfOnly.replace("\r\n", "\n");

    QTest::newRow("LF only") << "file" << lfOnly << 56 << false;
    QTest::newRow("UTF-8 re-save") << "file" << QString::fromLatin1(kSampleFile).toUtf8() << 57 << false;
    QTest::newRow("empty file") << "file" << QByteArray() << 5 << false;
    QTest::newRow("ends early") << "file" << kSampleFile.left(kSampleFile.indexOf("Wertigkeit")) << 5 << true;
    QTest::newRow("cancelled") << "cancel" << QByteArray() << 64 << false;
    QTest::newRow("not .dat") << "txt" << kSampleFile << 64 << false;
    QTest::newRow("vanished") << "missing" << QByteArray() << 64 << false;
    QTest::newRow("a folder") << "folder" << QByteArray() << 64 << false;
#ifdef Q_OS_UNIX
    QTest::newRow("a pipe") << "fifo" << QByteArray() << 64 << false;
#endif
}

void TestSettingsFileGui::loadFailures()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, bytes);
    QFETCH(int, message);
    QFETCH(bool, tableChanges);

    QString path = files->filePath(QStringLiteral("chosen.dat"));
    if (kind == QLatin1String("file")) {
        QVERIFY(writeFile(path, bytes));
    } else if (kind == QLatin1String("txt")) {
        path = files->filePath(QStringLiteral("chosen.txt"));
        QVERIFY(writeFile(path, bytes));
    } else if (kind == QLatin1String("cancel")) {
        path.clear();
    } else if (kind == QLatin1String("folder")) {
        QVERIFY(QDir(files->path()).mkdir(QStringLiteral("chosen.dat")));
    } else if (kind == QLatin1String("fifo")) {
#ifdef Q_OS_UNIX
        // Opening a pipe waits for a writer that never comes.
        QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
#endif
    }

    const QStringList before = tableSnapshot(*window);
    QCOMPARE(click("pushButtonLoadSettings", path).value(0), germanMessage(message));
    QCOMPARE(tableSnapshot(*window) != before, tableChanges);
}

void TestSettingsFileGui::loadReturnsWizardToFirstStep()
{
    const QString path = files->filePath(QStringLiteral("device.dat"));
    QVERIFY(writeFile(path, kSampleFile));
    child<QComboBox>(*window, "comboBoxNumberOfDigits")->setCurrentIndex(1);
    QVERIFY(!child<QComboBox>(*window, "comboBoxUa")->isHidden());

    click("pushButtonLoadSettings", files->filePath(QStringLiteral("missing.dat")));
    QVERIFY(!child<QComboBox>(*window, "comboBoxUa")->isHidden());
    QCOMPARE(click("pushButtonLoadSettings", path).value(0), germanMessage(5));
    QVERIFY(child<QComboBox>(*window, "comboBoxUa")->isHidden());
}

void TestSettingsFileGui::outOfRangeIndexBlocksWrite()
{
#ifdef Q_OS_UNIX
    DevSim sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    window.reset();
    window = openWindowOn(sim.portPath());
    QVERIFY(connectWindow(*window, sim.portPath()));
    auto *write = child<QPushButton>(*window, "pushButtonWriteSettings");
    auto *setCounter = child<QPushButton>(*window, "pushButtonSetCounter");
    child<QPushButton>(*window, "pushButtonReadSettings")->click();
    QTRY_VERIFY_WITH_TIMEOUT(write->isEnabled() && setCounter->isEnabled(), 5000);

    // The device's own values, but a baud rate that no item stands for: the
    // load sets the combos with signals blocked and must still check them.
    const QString saved = files->filePath(QStringLiteral("device.dat"));
    QCOMPARE(click("pushButtonSaveSettings", saved), QStringList{germanMessage(6)});
    QByteArray file = readFile(saved);
    file.replace("Baudrate/Baud rate=0", "Baudrate/Baud rate=7");
    const QString path = files->filePath(QStringLiteral("odd.dat"));
    QVERIFY(writeFile(path, file));
    const QStringList shown = click("pushButtonLoadSettings", path);
    QCOMPARE(shown.value(0), germanMessage(5));
    QVERIFY(shown.contains(germanMessage(59)));
    auto *baudRate = child<QComboBox>(*window, "comboBoxTableBaudrate");
    QCOMPARE(baudRate->currentIndex(), -1);
    QVERIFY(!write->isEnabled());
    QVERIFY(!setCounter->isEnabled());

    baudRate->setCurrentIndex(0);
    QTRY_VERIFY(write->isEnabled() && setCounter->isEnabled());
#else
    QSKIP("needs the simulated device");
#endif
}

QTEST_MAIN(TestSettingsFileGui)
#include "tst_settingsfile_gui.moc"
