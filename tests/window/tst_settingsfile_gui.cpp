// Saving and loading settings files through the window's buttons, walked as
// a technician would: the bytes on disk, the table afterwards, a save that
// fails, every refusal, and a loaded file held against the device's own values.

#include <QtTest>

#include <QLineEdit>

#include <sys/stat.h>

#include "filehooks.h"
#include "filesizelimit.h"
#include "samplerecord.h"
#include "windowtest.h"

class TestSettingsFileGui : public DeviceWindow
{
    Q_OBJECT

private slots:
    void init();
    void saveLoadAndHoldAgainstTheDevice();

private:
    QStringList click(const char *button, const QString &answer);
    void fillTable();

    QScopedPointer<QTemporaryDir> files;
    QList<tavik7::FileNameRequest> requests;
    QString answer;
};

void TestSettingsFileGui::init()
{
    freshBench();
    files.reset(new QTemporaryDir);
    requests.clear();
    tavik7::fileNameHook = [this](const tavik7::FileNameRequest &request) {
        requests.append(request);
        return answer;
    };
}

// Clicks a button whose dialog is answered with name; returns the messages
// shown meanwhile, as the output log has them (the console may already show
// a plausibility message in place of the load's own).
QStringList TestSettingsFileGui::click(const char *name, const QString &chosen)
{
    const qsizetype before = outputLog(appData->path()).size();
    answer = chosen;
    button(name)->click();
    QStringList messages;
    for (const QByteArray &line : outputLog(appData->path()).mid(before).split('\n')) {
        if (!line.isEmpty())
            messages.append(QString::fromLatin1(line.mid(22).chopped(1)));
    }
    return messages;
}

// The sample record, as typed into the table.
void TestSettingsFileGui::fillTable()
{
    const QStringList texts{"kWh", "", "", "ABC", "TAV7", "123456789", "2024", "1.13", "0a3f"};
    for (int row = 0; row < texts.size(); ++row) {
        if (QStandardItem *item = tableModel(*window)->item(row, 1))
            item->setText(texts.at(row));
    }
    const int indices[] = {1, 2, 5, 1, 3, 1};
    for (int i = 0; i < 6; ++i)
        w<QComboBox>(kCombos[i])->setCurrentIndex(indices[i]);
    w<QCheckBox>("checkBoxLeadingPlus")->setChecked(false);
}

void TestSettingsFileGui::saveLoadAndHoldAgainstTheDevice()
{
    window = openWindowOn();
    fillTable();
    const QStringList filled = tableSnapshot(*window);
    const QString path = files->filePath(QStringLiteral("device.dat"));
    QCOMPARE(click("pushButtonSaveSettings", path), QStringList{germanMessage(6)});
    QCOMPARE(requests.last().mode, tavik7::FileNameRequest::Save);
    QCOMPARE(readFile(path), kSampleFile);

    // Something else everywhere, the wizard a step on; then the file back.
    for (int row : {0, 3, 4, 5, 6, 7, 8})
        tableModel(*window)->item(row, 1)->setText(QStringLiteral("1"));
    for (const char *name : kCombos)
        w<QComboBox>(name)->setCurrentIndex(0);
    w<QCheckBox>("checkBoxLeadingPlus")->setChecked(true);
    w<QComboBox>("comboBoxNumberOfDigits")->setCurrentIndex(1);
    QVERIFY(!w<QComboBox>("comboBoxUa")->isHidden());
    QCOMPARE(click("pushButtonLoadSettings", path).value(0), germanMessage(5));
    QCOMPARE(requests.last().mode, tavik7::FileNameRequest::Open);
    QCOMPARE(QDir(requests.last().startName).canonicalPath(), QDir(folder()).canonicalPath());
    QCOMPARE(tableSnapshot(*window), filled);
    QVERIFY(w<QComboBox>("comboBoxUa")->isHidden());
    // The next name offered is built from the loaded serial number; cancelling says nothing.
    QCOMPARE(click("pushButtonSaveSettings", QString()), QStringList());
    QVERIFY(requests.last().startName.endsWith(QDate::currentDate().toString("123456789-Tavik7_yyyy-MM-dd")));

    // A disk that fills up keeps the old file whole, and no draft beside it.
    const QString old = files->filePath(QStringLiteral("old.dat"));
    const QByteArray oldBytes("[Tavik-Parameter]\r\nold content\r\n");
    QVERIFY(writeFile(old, oldBytes));
    {
        FileSizeLimit full(100);
        QVERIFY(full.active());
        click("pushButtonSaveSettings", old); // the limit keeps the log from taking the message too
    }
    QCOMPARE(consoleMessages(*window).constLast(), germanMessage(58));
    QCOMPARE(readFile(old), oldBytes);
    QCOMPARE(QDir(files->path()).entryList(QDir::Files), QStringList({"device.dat", "old.dat"}));

    // Refusals leave the table as it was.
    QByteArray lfOnly = kSampleFile;
    lfOnly.replace("\r\n", "\n");
    const struct { const char *name; QByteArray bytes; int message; } refused[] = {
        {"lf.dat", lfOnly, 56},
        {"utf8.dat", QString::fromLatin1(kSampleFile).toUtf8(), 57},
        {"chosen.txt", kSampleFile, 64},
        // Opening a pipe would wait for a writer that never comes.
        {"fifo.dat", {}, 64},
    };
    for (const auto &file : refused) {
        const QString path = files->filePath(QLatin1String(file.name));
        if (QLatin1String(file.name).startsWith(QLatin1String("fifo")))
            QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else
            QVERIFY(writeFile(path, file.bytes));
        QCOMPARE(click("pushButtonLoadSettings", path).value(0), germanMessage(file.message));
        QCOMPARE(tableSnapshot(*window), filled);
    }

    // A file held against the device the window is connected to.
    QVERIFY(sim->start());
    qputenv("TAVIK7_EXTRA_PORTS", QFile::encodeName(sim->portPath()));
    QTRY_VERIFY(w<QComboBox>("comboBoxDevice")->findText(sim->portPath()) >= 0);
    QVERIFY(connectWindow(*window, sim->portPath()));
    w<QTabWidget>("tabWidget")->setCurrentIndex(2);
    QVERIFY(readSettings());
    click("pushButtonSaveSettings", files->filePath("device.dat"));
    QByteArray bytes = readFile(answer);
    // A baud rate no item stands for: the load sets the combos with signals
    // blocked and must still check them.
    bytes.replace("Unit=m3", "Unit=kWh").replace("Direction=0", "Direction=1").replace("Baud rate=0", "Baud rate=9");
    QVERIFY(writeFile(files->filePath("other.dat"), bytes));
    QVERIFY(click("pushButtonLoadSettings", files->filePath("other.dat")).contains(germanMessage(59)));
    auto *baudRate = w<QComboBox>("comboBoxTableBaudrate");
    QCOMPARE(baudRate->currentIndex(), -1);
    // Nothing that would send the table; reading the device stays possible,
    // and the report, which reads before it prints.
    for (const char *name : {"pushButtonWriteSettings", "pushButtonSetCounter"})
        QVERIFY2(!button(name)->isEnabled(), name);
    QVERIFY(button("pushButtonReadSettings")->isEnabled() && button("pushButtonCreatePdf")->isEnabled());

    // The cells that would change the device are marked, and only those.
    const QString yellow = QColor(255, 255, 200).name();
    QStandardItem *unit = tableModel(*window)->item(tavik7::FieldUnit, 1);
    QCOMPARE(unit->background().color().name(), yellow);
    QCOMPARE(unit->toolTip(), QStringLiteral("Im Gerät: m3"));
    QCOMPARE(unit->foreground().color(), QColor(0, 0, 0));
    auto *direction = w<QComboBox>("comboBoxDirection");
    QVERIFY(direction->styleSheet().contains(yellow));
    QCOMPARE(direction->toolTip(), QStringLiteral("Im Gerät: 0: rechts"));
    QVERIFY(w<QComboBox>("comboBoxTelegramB")->styleSheet().isEmpty());

    // The marks follow a pick (how they follow edits and languages: tst_parametersheet).
    direction->setCurrentIndex(0);
    QVERIFY(direction->styleSheet().isEmpty() && direction->toolTip().isEmpty());
    baudRate->setCurrentIndex(0);
    for (const char *name : {"pushButtonWriteSettings", "pushButtonSetCounter", "pushButtonCreatePdf"})
        QVERIFY2(button(name)->isEnabled(), name);

    // A read shows the device itself: the marks go, and the combo left
    // without an item by the load is no complaint on the way.
    click("pushButtonLoadSettings", files->filePath("other.dat"));
    button("pushButtonReadSettings")->click();
    QTRY_COMPARE(consoleMessages(*window), germanMessages({1, 3}));
    QCOMPARE(direction->currentIndex(), 0);
    QVERIFY(direction->styleSheet().isEmpty() && direction->toolTip().isEmpty());
}

QTEST_MAIN(TestSettingsFileGui)
#include "tst_settingsfile_gui.moc"
