// The main window without a device: start-up, language switch, console,
// output log, parameter table editing and the help menu.

#include <QtTest>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScopeGuard>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextEdit>

#include "readfile.h"
#include "tavik7_bediensoftware.h"
#include "windowaccess.h"

class TestShell : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void startsInGermanAndLogsTheStartLine();
    void languageSwitchRewritesTexts();
    void consoleRerendersHistoryWithoutLogging();
    void counterHintFollowsSoftwareVersion();
    void f3TogglesSerialAndYear();
    void hotPlugKeepsChosenPort();

private:
    QScopedPointer<QTemporaryDir> appData;
    QString folder;
};

void TestShell::initTestCase()
{
    registerTavik7Resources();
    qputenv("TAVIK7_EXTRA_PORTS", QByteArray());
}

void TestShell::init()
{
    appData.reset(new QTemporaryDir);
    QVERIFY(appData->isValid());
#ifdef Q_OS_WIN
    const QString base = appData->path();
#else
    // As for a new account, whose ~/.local/share does not exist yet.
    const QString base = appData->filePath(QStringLiteral("home/.local/share"));
#endif
    qputenv("APPDATA", QFile::encodeName(base));
    folder = base + QStringLiteral("/KLV TAVIK7 PC Software");
}

void TestShell::startsInGermanAndLogsTheStartLine()
{
    TAVIK7_Bediensoftware w;
    QCOMPARE(w.windowTitle(), QStringLiteral("TAVIK7 PC Software: nicht verbunden"));
    QVERIFY(child<QAction>(w, "actionGerman")->isChecked());
    // Filled empty at start; only the switch gives them their texts.
    QCOMPARE(child<QComboBox>(w, "comboBoxFlowcontrol")->itemText(1), QStringLiteral("Hardware"));

    QCOMPARE(consoleMessages(w), QStringList({"--- START TAVIK7 PC SOFTWARE ---"}));
    const QByteArray log = readFile(folder + QStringLiteral("/Tavik7_Output_Logfile1.txt"));
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d : "
                                               "--- START TAVIK7 PC SOFTWARE ---\r\n$"))
                 .match(QString::fromLatin1(log))
                 .hasMatch(),
             log.constData());
    QCOMPARE(readFile(folder + QStringLiteral("/Tavik7_Output_Logfile2.txt")), QByteArray());

    // The placeholder record is shown without any plausibility complaint.
    QCOMPARE(tableModel(w)->item(7, 1)->text(), QStringLiteral("0.00"));
    QVERIFY(!child<QPushButton>(w, "pushButtonWriteSettings")->isEnabled());
}

void TestShell::languageSwitchRewritesTexts()
{
    TAVIK7_Bediensoftware w;
    auto *english = child<QAction>(w, "actionEnglish");
    auto *german = child<QAction>(w, "actionGerman");
    // Edits not yet written to the device must survive the switch.
    QStandardItemModel *model = tableModel(w);
    model->item(0, 1)->setText(QStringLiteral("kWh"));
    child<QComboBox>(w, "comboBoxDirection")->setCurrentIndex(1);
    child<QCheckBox>(w, "checkBoxLeadingPlus")->setChecked(true);

    english->trigger();
    QCOMPARE(w.windowTitle(), QStringLiteral("TAVIK7 PC Software: not connected"));
    QCOMPARE(model->item(11, 0)->text(), QStringLiteral("Direction"));
    QCOMPARE(model->item(0, 1)->text(), QStringLiteral("kWh"));
    QCOMPARE(child<QComboBox>(w, "comboBoxDirection")->currentText(), QStringLiteral("1: left"));
    QVERIFY(child<QCheckBox>(w, "checkBoxLeadingPlus")->isChecked());
    QCOMPARE(consoleMessages(w).at(0), QStringLiteral(" --- START TAVIK7 PC SOFTWARE ---"));

    // Triggering the checked action unchecks it in the menu; the switch checks it again.
    english->trigger();
    QVERIFY(english->isChecked());
    QVERIFY(!german->isChecked());

    german->trigger();
    QCOMPARE(tableModel(w)->item(11, 0)->text(), QStringLiteral("Richtung"));
    QCOMPARE(consoleMessages(w).at(0), QStringLiteral("--- START TAVIK7 PC SOFTWARE ---"));
    QVERIFY(german->isChecked());
    QVERIFY(!english->isChecked());
}

void TestShell::consoleRerendersHistoryWithoutLogging()
{
    TAVIK7_Bediensoftware w;
    // Connect with no port in the list fails and replaces the console.
    child<QComboBox>(w, "comboBoxDevice")->clear();
    child<QPushButton>(w, "pushButtonConnect")->click();
    QCOMPARE(consoleMessages(w).at(0), QString::fromUtf8("Serielle Schnittstelle konnte nicht geöffnet werden."));
    const QByteArray logBefore = readFile(folder + QStringLiteral("/Tavik7_Output_Logfile1.txt"));
    QCOMPARE(logBefore.count("\r\n"), 2);

    child<QAction>(w, "actionEnglish")->trigger();
    const QStringList lines = consoleMessages(w);
    QCOMPARE(lines.size(), 1);
    QCOMPARE(lines.at(0), QStringLiteral("Serial port couldn't be opened."));
    QCOMPARE(readFile(folder + QStringLiteral("/Tavik7_Output_Logfile1.txt")), logBefore);
}

void TestShell::counterHintFollowsSoftwareVersion()
{
    TAVIK7_Bediensoftware w;
    auto *hint = child<QLabel>(w, "labelCounterHint");
    auto *counter = child<QLineEdit>(w, "lineEditCounter");
    QCOMPARE(hint->text(), QStringLiteral("(Hinweis: 8-stellig)"));
    QCOMPARE(counter->maxLength(), 8);

    // The version cell is read back at the switch, and the hint follows it.
    tableModel(w)->item(7, 1)->setText(QStringLiteral("1.12"));
    child<QAction>(w, "actionEnglish")->trigger();
    QCOMPARE(hint->text(), QStringLiteral("(Hint: 9 digits)"));
    QCOMPARE(counter->maxLength(), 9);
    QCOMPARE(tableModel(w)->item(7, 1)->text(), QStringLiteral("1.12"));

    child<QComboBox>(w, "comboBoxSignificance")->setCurrentIndex(1);
    tableModel(w)->item(7, 1)->setText(QStringLiteral("1.11"));
    child<QAction>(w, "actionGerman")->trigger();
    QCOMPARE(hint->text(), QStringLiteral("(Hinweis: 8-stellig)"));
    QCOMPARE(counter->maxLength(), 9); // eight digits and a comma
}

void TestShell::f3TogglesSerialAndYear()
{
    TAVIK7_Bediensoftware w;
    QStandardItemModel *model = tableModel(w);
    QVERIFY(!model->item(5, 1)->isEditable());
    QVERIFY(!model->item(6, 1)->isEditable());
    QTest::keyClick(&w, Qt::Key_F3);
    QVERIFY(model->item(5, 1)->isEditable());
    QVERIFY(!model->item(7, 1)->isEditable());
    QTest::keyClick(&w, Qt::Key_F3);
    QVERIFY(!model->item(5, 1)->isEditable());

    // A refill locks them again.
    QTest::keyClick(&w, Qt::Key_F3);
    child<QAction>(w, "actionEnglish")->trigger();
    QVERIFY(!model->item(5, 1)->isEditable());
    QVERIFY(!model->item(6, 1)->isEditable());
}

void TestShell::hotPlugKeepsChosenPort()
{
    // Plain files stand in for adapters: an extra port is listed while its path exists.
    QTemporaryDir ports;
    const QString first = ports.filePath(QStringLiteral("first"));
    const QString chosen = ports.filePath(QStringLiteral("chosen"));
    const QString plugged = ports.filePath(QStringLiteral("plugged"));
    const auto plugIn = [](const QString &path) { QFile(path).open(QIODevice::WriteOnly); };
    plugIn(first);
    plugIn(chosen);
    qputenv("TAVIK7_EXTRA_PORTS", QFile::encodeName(QStringList{first, chosen, plugged}.join(QDir::listSeparator())));
    const auto restore = qScopeGuard([] { qputenv("TAVIK7_EXTRA_PORTS", QByteArray()); });

    TAVIK7_Bediensoftware w;
    auto *devices = child<QComboBox>(w, "comboBoxDevice");
    devices->setCurrentIndex(devices->findText(chosen));
    QCOMPARE(devices->currentText(), chosen);

    // Another adapter comes and goes (the system's ports may arrive meanwhile).
    plugIn(plugged);
    QTRY_VERIFY(devices->findText(plugged) >= 0);
    QCOMPARE(devices->currentText(), chosen);
    QVERIFY(QFile::remove(plugged));
    QTRY_VERIFY(devices->findText(plugged) < 0);
    QCOMPARE(devices->currentText(), chosen);

    // The chosen one is pulled: the first port takes its place.
    QVERIFY(QFile::remove(chosen));
    QTRY_VERIFY(devices->findText(chosen) < 0);
    QCOMPARE(devices->currentIndex(), 0);
}

QTEST_MAIN(TestShell)
#include "tst_shell.moc"
