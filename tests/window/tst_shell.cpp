// The main window without a device: start-up, the language switch and what
// it must keep, the service key, and the port list.

#include <QtTest>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>

#include "readfile.h"
#include "tavik7_bediensoftware.h"
#include "texttable.h"
#include "windowaccess.h"

class TestShell : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void startAndLanguageSwitch();
    void serviceKeyUnlocksSerialAndYear();
    void portList();

private:
    QString logFile(int n) const { return folder + QStringLiteral("/Tavik7_Output_Logfile%1.txt").arg(n); }

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
    // As for a new account, whose ~/.local/share does not exist yet.
    const QString base = appData->filePath(QStringLiteral("home/.local/share"));
    qputenv("APPDATA", QFile::encodeName(base));
    folder = base + QStringLiteral("/KLV TAVIK7 PC Software");
}

void TestShell::startAndLanguageSwitch()
{
    TAVIK7_Bediensoftware w;
    QCOMPARE(w.windowTitle(), QStringLiteral("TAVIK7 PC Software: nicht verbunden"));
    QCOMPARE(consoleMessages(w), QStringList({"--- START TAVIK7 PC SOFTWARE ---"}));
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d : "
                                               "--- START TAVIK7 PC SOFTWARE ---\r\n$"))
                 .match(QString::fromLatin1(readFile(logFile(1))))
                 .hasMatch(),
             readFile(logFile(1)).constData());
    QCOMPARE(readFile(logFile(2)), QByteArray());
    // The first page wears the window's look from the first frame on.
    QVERIFY(child<QWidget>(w, "tabConfig")->styleSheet().contains(QLatin1String("#333F48")));
    // The placeholder record is shown without any plausibility complaint.
    QCOMPARE(tableModel(w)->item(7, 1)->text(), QStringLiteral("0.00"));
    auto *hint = child<QLabel>(w, "labelCounterHint");
    QCOMPARE(hint->text(), QStringLiteral("(Hinweis: 8-stellig)"));

    // Edits not yet written to the device survive the switch; the version
    // cell is read back at it, and the counter hint follows.
    QStandardItemModel *model = tableModel(w);
    model->item(0, 1)->setText(QStringLiteral("kWh"));
    model->item(7, 1)->setText(QStringLiteral("1.12"));
    child<QComboBox>(w, "comboBoxDirection")->setCurrentIndex(1);
    child<QCheckBox>(w, "checkBoxLeadingPlus")->setChecked(true);
    // A failed Connect replaces the console; the switch renders it anew without logging it again.
    child<QComboBox>(w, "comboBoxDevice")->clear();
    child<QPushButton>(w, "pushButtonConnect")->click();
    const QByteArray logBefore = readFile(logFile(1));

    auto *english = child<QAction>(w, "actionEnglish");
    english->trigger();
    QCOMPARE(w.windowTitle(), QStringLiteral("TAVIK7 PC Software: not connected"));
    QCOMPARE(model->item(11, 0)->text(), QStringLiteral("Direction"));
    QCOMPARE(model->item(0, 1)->text(), QStringLiteral("kWh"));
    QCOMPARE(child<QComboBox>(w, "comboBoxDirection")->currentText(), QStringLiteral("1: left"));
    QVERIFY(child<QCheckBox>(w, "checkBoxLeadingPlus")->isChecked());
    QCOMPARE(hint->text(), QStringLiteral("(Hint: 9 digits)"));
    QCOMPARE(child<QLineEdit>(w, "lineEditCounter")->maxLength(), 9);
    QCOMPARE(consoleMessages(w), QStringList({"Serial port couldn't be opened."}));
    QCOMPARE(readFile(logFile(1)), logBefore);
    // Triggering the checked action unchecks it in the menu; the switch checks it again.
    english->trigger();
    QVERIFY(english->isChecked());
    child<QAction>(w, "actionGerman")->trigger();
    QVERIFY(!english->isChecked());
    QCOMPARE(model->item(11, 0)->text(), QStringLiteral("Richtung"));
}

void TestShell::serviceKeyUnlocksSerialAndYear()
{
    TAVIK7_Bediensoftware w;
    QStandardItemModel *model = tableModel(w);
    QVERIFY(!model->item(5, 1)->isEditable() && !model->item(6, 1)->isEditable());
    QTest::keyClick(&w, Qt::Key_F3);
    QVERIFY(model->item(5, 1)->isEditable() && model->item(6, 1)->isEditable());
    QVERIFY(!model->item(7, 1)->isEditable());
    QTest::keyClick(&w, Qt::Key_F3);
    QVERIFY(!model->item(5, 1)->isEditable());
    // A refill locks them again.
    QTest::keyClick(&w, Qt::Key_F3);
    child<QAction>(w, "actionEnglish")->trigger();
    QVERIFY(!model->item(5, 1)->isEditable() && !model->item(6, 1)->isEditable());
}

void TestShell::portList()
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
    // Another adapter comes and goes: the choice stays.
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

    // Listed a moment ago, gone by the time Connect is pressed: the console says why.
    devices->addItem(ports.filePath(QStringLiteral("gone")));
    devices->setCurrentIndex(devices->count() - 1);
    child<QPushButton>(w, "pushButtonConnect")->click();
    const QStringList messages = consoleMessages(w);
    QCOMPARE(messages.size(), 2);
    QCOMPARE(messages.at(0), tavik7::messageText(61, tavik7::German));
    QVERIFY2(messages.at(1).contains(QStringLiteral("abgezogen")), qPrintable(messages.at(1)));
    QVERIFY(child<QPushButton>(w, "pushButtonConnect")->isEnabled());
}

QTEST_MAIN(TestShell)
#include "tst_shell.moc"
