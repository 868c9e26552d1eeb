// The parameter table's checks and the counter entry in the real window,
// against the simulated device: red cells and blocked buttons, the messages
// that say so once, the significance reformatting the counter, the wizard
// entry's key filter, and answers that must not be lost or ignored.

#include <QtTest>

#include <QLabel>
#include <QLineEdit>
#include <QTableView>

#include "windowtest.h"

namespace {

constexpr int kAnswerWaitMs = 5000;
// Long enough for a whole write sequence to be answered while a box is open.
constexpr int kBoxHoldMs = 1500;

constexpr int kRowUnit = 0;
constexpr int kRowManufacturer = 3;
constexpr int kRowYear = 6;

const QColor kRed(255, 64, 64);
const QColor kBlack(0, 0, 0);

} // namespace

class TestParameters : public QObject, DeviceWindow
{
    Q_OBJECT

private slots:
    void initTestCase() { registerTavik7Resources(); }
    void init() { freshBench(); }
    void cleanup()
    {
        closeBench();
        QVERIFY(noModalLeft());
    }

    void implausibleCellBlocksWriting();
    void counterEntryBlocksAndRecovers();
    void counterReadReplacesTypedVerdict();
    void significanceReformatsCounter();
    void noticeHeldOpenLosesNoAnswer();
    void setCounterWithNothingToSendLeavesRequestAlone();
    void comboIndexWithoutItemBlocksWriting();
    void wizardEntryKeyFilter();
    void closingWhileEditingACell();

private:
    QStandardItem *cellItem(int row) { return tableModel(*window)->item(row, 1); }
    // What the cell editor does when the user commits an edit.
    void setCell(int row, const QString &text)
    {
        QVERIFY(tableModel(*window)->setData(tableModel(*window)->index(row, 1), text, Qt::EditRole));
    }
    bool writeEnabled() { return button("pushButtonWriteSettings")->isEnabled(); }
    bool setCounterEnabled() { return button("pushButtonSetCounter")->isEnabled(); }
    // How often the message went to the output log: once per showing.
    int loggedCount(int id) { return int(outputLog(appData->path()).count(germanMessage(id).toLatin1() + "\r\n")); }
};

void TestParameters::implausibleCellBlocksWriting()
{
    QVERIFY(connectDevice());
    QVERIFY(readSettings());

    // Typed into the cell's own editor, as the technician does.
    auto *view = w<QTableView>("tableViewSettings");
    view->setFocus();
    view->setCurrentIndex(tableModel(*window)->index(kRowUnit, 1));
    QTest::keyClick(view, Qt::Key_F2);
    QLineEdit *editor = nullptr;
    QTRY_VERIFY((editor = view->viewport()->findChild<QLineEdit *>()) != nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("m 3"));
    QTest::keyClick(editor, Qt::Key_Return); // commits from the event loop
    QTRY_COMPARE(cellItem(kRowUnit)->text(), QStringLiteral("m 3"));
    QCOMPARE(cellItem(kRowUnit)->foreground().color(), kRed);
    QVERIFY(!writeEnabled());
    QVERIFY(!setCounterEnabled());
    QCOMPARE(consoleMessages(*window), germanMessages({59}));

    // A second implausible cell says nothing new.
    setCell(kRowManufacturer, QStringLiteral("AB1"));
    QCOMPARE(cellItem(kRowManufacturer)->foreground().color(), kRed);
    setCell(kRowYear, QStringLiteral("1949"));
    QCOMPARE(consoleMessages(*window), germanMessages({59}));

    // A language switch neither checks nor forgets.
    window->findChild<QAction *>(QStringLiteral("actionEnglish"))->trigger();
    QCOMPARE(cellItem(kRowUnit)->foreground().color(), kRed);
    QVERIFY(!writeEnabled());
    QCOMPARE(consoleMessages(*window), QStringList({tavik7::messageText(59, tavik7::English)}));
    window->findChild<QAction *>(QStringLiteral("actionGerman"))->trigger();

    // Mending one cell is not enough while another is still red.
    setCell(kRowUnit, QStringLiteral("kWhx"));
    QCOMPARE(cellItem(kRowUnit)->text(), QStringLiteral("kWh"));
    QCOMPARE(cellItem(kRowUnit)->foreground().color(), kBlack);
    setCell(kRowYear, QStringLiteral("2049"));
    QVERIFY(!writeEnabled());
    QCOMPARE(consoleMessages(*window), germanMessages({59}));

    setCell(kRowManufacturer, QStringLiteral("ABCD"));
    QCOMPARE(cellItem(kRowManufacturer)->text(), QStringLiteral("ABC"));
    QCOMPARE(cellItem(kRowManufacturer)->foreground().color(), kBlack);
    QVERIFY(writeEnabled());
    QVERIFY(setCounterEnabled());
    QCOMPARE(consoleMessages(*window), germanMessages({11}));

    // Plausible edits after the all-clear stay silent.
    setCell(kRowUnit, QStringLiteral("m3"));
    QCOMPARE(consoleMessages(*window), germanMessages({11}));
    QCOMPARE(loggedCount(59), 1);
    QCOMPARE(loggedCount(11), 1);

    // The mended values are what the device gets.
    button("pushButtonWriteSettings")->click();
    QTRY_COMPARE_WITH_TIMEOUT(consoleMessages(*window), germanMessages({1, 2}), kAnswerWaitMs);
    QVERIFY(readSettings());
    QCOMPARE(cellItem(kRowManufacturer)->text(), QStringLiteral("ABC"));
    QCOMPARE(cellItem(kRowYear)->text(), QStringLiteral("2049"));
}

void TestParameters::counterEntryBlocksAndRecovers()
{
    QVERIFY(connectDevice());
    QVERIFY(readSettings());
    auto *counter = w<QLineEdit>("lineEditCounter");
    QCOMPARE(counter->text(), QStringLiteral("012345678"));

    counter->selectAll();
    QTest::keyClicks(counter, QStringLiteral("0123"));
    QCOMPARE(counter->text(), QStringLiteral("0123"));
    QVERIFY(!writeEnabled());
    QVERIFY(!setCounterEnabled());
    QCOMPARE(consoleMessages(*window), germanMessages({60}));

    // A table fault outranks the counter's.
    setCell(kRowUnit, QString());
    QCOMPARE(consoleMessages(*window), germanMessages({59}));
    setCell(kRowUnit, QStringLiteral("m3"));
    QCOMPARE(consoleMessages(*window), germanMessages({60}));

    QTest::keyClicks(counter, QStringLiteral("4567"));
    QVERIFY(!writeEnabled());
    QTest::keyClicks(counter, QStringLiteral("8"));
    QVERIFY(writeEnabled());
    QCOMPARE(consoleMessages(*window), germanMessages({11}));
    QCOMPARE(loggedCount(60), 2);
    QCOMPARE(loggedCount(11), 1);

    // A letter anywhere is as bad as a missing digit.
    counter->setText(QStringLiteral("01234a678"));
    QVERIFY(!setCounterEnabled());
    counter->setText(QStringLiteral("012345678"));
    QVERIFY(setCounterEnabled());
}

void TestParameters::counterReadReplacesTypedVerdict()
{
    // Significance 0 leaves the device's counter without a comma, so the
    // entry's text is final before the last step of the counter answer.
    QVERIFY(connectDevice());
    QVERIFY(readSettings());
    auto *counter = w<QLineEdit>("lineEditCounter");
    counter->setText(QStringLiteral("0123"));
    QVERIFY(!writeEnabled());

    sim->clearLog();
    button("pushButtonReadSettings")->click();
    QVERIFY(sim->waitForReceived(2));
    QTRY_COMPARE_WITH_TIMEOUT(counter->text(), QStringLiteral("012345678"), kAnswerWaitMs);
    QTRY_VERIFY(writeEnabled());
    QVERIFY(setCounterEnabled());
    QVERIFY(button("pushButtonCreatePdf")->isEnabled());
    // The refilled table still met the typed counter's complaint; the read
    // counter answers it.
    QCOMPARE(consoleMessages(*window), germanMessages({11}));
    QCOMPARE(loggedCount(60), 2);
}

void TestParameters::significanceReformatsCounter()
{
    // Where the comma goes is in tst_plausibility; here that the entry follows the combo.
    const QString shown = QStringLiteral("123456789");
    QVERIFY(connectDevice({"--counter", shown}));
    QVERIFY(readSettings());
    auto *counter = w<QLineEdit>("lineEditCounter");
    auto *significance = w<QComboBox>("comboBoxSignificance");
    auto *multi = w<QLabel>("label_multi");
    auto *factor = w<QLabel>("label_factor");
    const int digits = int(shown.size());
    QCOMPARE(counter->text(), shown);
    QCOMPARE(counter->maxLength(), digits);

    significance->setCurrentIndex(1); // -2
    QCOMPARE(counter->text(), QStringLiteral("1234567,89"));
    QCOMPARE(counter->maxLength(), digits + 1);

    // Moving the comma must not cut a digit on the way.
    significance->setCurrentIndex(0); // -3
    QCOMPARE(counter->text(), QStringLiteral("123456,789"));

    significance->setCurrentIndex(4); // +1
    QCOMPARE(counter->text(), shown);
    QCOMPARE(counter->maxLength(), digits);
    significance->setCurrentIndex(5); // +2
    QCOMPARE(factor->text(), QStringLiteral("100"));
    // Not yet written, the choice survives a language switch.
    window->findChild<QAction *>(QStringLiteral("actionEnglish"))->trigger();
    QCOMPARE(multi->text(), QStringLiteral("x"));
    QCOMPARE(factor->text(), QStringLiteral("100"));
    QCOMPARE(significance->currentIndex(), 5);
    window->findChild<QAction *>(QStringLiteral("actionGerman"))->trigger();
    significance->setCurrentIndex(3); // 0
    QVERIFY(multi->text().isEmpty());
    QVERIFY(factor->text().isEmpty());

    // Nothing was ever implausible on the way.
    QVERIFY(writeEnabled());
    QCOMPARE(consoleMessages(*window), germanMessages({1, 3}));
    QCOMPARE(loggedCount(60), 0);

    // An incomplete entry stays incomplete whatever the comma does.
    counter->setText(shown.left(digits - 1));
    QCOMPARE(consoleMessages(*window), germanMessages({60}));
    significance->setCurrentIndex(2);
    QVERIFY(!writeEnabled());
    QCOMPARE(loggedCount(60), 1);
}

void TestParameters::noticeHeldOpenLosesNoAnswer()
{
    // The device holds a significance text that the program warns about; the
    // technician takes 1.5 s to read the warning.
    QVERIFY(connectDevice({QStringLiteral("--significance-text"), QStringLiteral("01")}));
    ModalAnswerer answerer(QMessageBox::Ok, kBoxHoldMs);

    button("pushButtonReadSettings")->click();
    QTRY_COMPARE_WITH_TIMEOUT(answerer.answered(), 1, kAnswerWaitMs);
    QVERIFY(answerer.texts.at(0).contains(QString::fromUtf8("inkompatible Wertigkeit \"01\"")));
    QCOMPARE(w<QComboBox>("comboBoxSignificance")->currentText(), QStringLiteral("1"));
    QTRY_COMPARE_WITH_TIMEOUT(consoleMessages(*window), germanMessages({1, 3}), kAnswerWaitMs);
    QCOMPARE(w<QLineEdit>("lineEditCounter")->text(), QStringLiteral("012345678"));
    QTRY_VERIFY(writeEnabled());

    // Write settings: the telegram is answered while the warning is open.
    QVERIFY(sim->control("set significance-text=01"));
    sim->clearLog();
    button("pushButtonWriteSettings")->click();
    QTRY_COMPARE_WITH_TIMEOUT(answerer.answered(), 2, kAnswerWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(consoleMessages(*window), germanMessages({1, 2}), kAnswerWaitMs);
    QCOMPARE(commands(sim->received()), QStringList({"LP", "SP"}));
    QTRY_VERIFY(writeEnabled());

    // With a changed direction the whole chain, counter write included, runs
    // behind the open warning.
    QVERIFY(sim->control("set significance-text=01"));
    sim->clearLog();
    w<QComboBox>("comboBoxDirection")->setCurrentIndex(1);
    button("pushButtonWriteSettings")->click();
    QTRY_COMPARE_WITH_TIMEOUT(answerer.answered(), 3, kAnswerWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(consoleMessages(*window), germanMessages({1, 13, 3, 2, 4}), kAnswerWaitMs);
    QCOMPARE(commands(sim->received()), QStringList({"LP", "L_ZLW", "SP", "S_ZLW"}));
    // The counter goes back unchanged and without a confirmation.
    QCOMPARE(sim->received().at(3), QStringLiteral("RX S_ZLW 012345678"));
    QTRY_VERIFY(noModalLeft());
    QCOMPARE(answerer.answered(), 3);
    QCOMPARE(loggedCount(70), 0);
}

void TestParameters::setCounterWithNothingToSendLeavesRequestAlone()
{
    QVERIFY(connectDevice());
    QVERIFY(readSettings());
    sim->clearLog();
    w<QLineEdit>("lineEditCounter")->clear();
    QCOMPARE(consoleMessages(*window), germanMessages({60}));

    // As the wizard programs: the parameter telegram, then at once the counter.
    ModalAnswerer answerer(QMessageBox::Yes);
    QMetaObject::invokeMethod(window.get(), "onWriteSettingsClicked");
    QMetaObject::invokeMethod(window.get(), "onWriteCounterClicked");
    QVERIFY(sim->waitForReceived(1));
    // The telegram's answer is still taken as one.
    QTRY_COMPARE_WITH_TIMEOUT(consoleMessages(*window), germanMessages({60, 2}), kAnswerWaitMs);
    QCOMPARE(commands(sim->received()), QStringList({"SP"}));
    QCOMPARE(answerer.answered(), 0);

    // And the link is idle again: a read goes through as usual.
    w<QLineEdit>("lineEditCounter")->setText(QStringLiteral("000000001"));
    QVERIFY(readSettings());
    QCOMPARE(loggedCount(70), 0);
}

void TestParameters::comboIndexWithoutItemBlocksWriting()
{
    // A transmit mode that no item stands for, as a hand-edited file might hold.
    QVERIFY(connectDevice({QStringLiteral("--transmit-mode"), QStringLiteral("9")}));
    auto *transmitMode = w<QComboBox>("comboBoxTransmitMode");
    button("pushButtonReadSettings")->click();
    QTRY_COMPARE_WITH_TIMEOUT(consoleMessages(*window), germanMessages({59, 3}), kAnswerWaitMs);
    QCOMPARE(transmitMode->currentIndex(), -1);
    QVERIFY(!writeEnabled());
    QVERIFY(!setCounterEnabled());

    // Reading the same device again keeps it blocked.
    sim->clearLog();
    button("pushButtonReadSettings")->click();
    QVERIFY(sim->waitForReceived(2));
    QTRY_COMPARE_WITH_TIMEOUT(consoleMessages(*window), germanMessages({59, 3}), kAnswerWaitMs);
    QVERIFY(!writeEnabled());

    // Picking an item lifts the block at once.
    transmitMode->setCurrentIndex(2);
    QVERIFY(writeEnabled());
    QVERIFY(setCounterEnabled());
    QCOMPARE(consoleMessages(*window), germanMessages({11}));

    sim->clearLog();
    button("pushButtonWriteSettings")->click();
    QTRY_COMPARE_WITH_TIMEOUT(consoleMessages(*window), germanMessages({1, 2}), kAnswerWaitMs);
    QVERIFY(readSettings());
    QCOMPARE(transmitMode->currentIndex(), 2);
}

void TestParameters::wizardEntryKeyFilter()
{
    // The editing rules are in tst_plausibility; here only that the wizard's
    // entry has the filter, real keys go through it, and the settings entry
    // does not.
    window = openWindowOn();
    auto *entry = w<QLineEdit>("lineEditCounter2");
    entry->setMaxLength(9);
    entry->setText(QStringLiteral("1234567,8"));
    entry->setCursorPosition(0);
    QTest::keyClicks(entry, QStringLiteral("99999999"));
    QCOMPARE(entry->text(), QStringLiteral("9999999,9"));
    QCOMPARE(entry->cursorPosition(), 0); // wrapped
    for (Qt::Key key : {Qt::Key_Backspace, Qt::Key_Delete, Qt::Key_A, Qt::Key_Home})
        QTest::keyClick(entry, key);
    QTest::keyClick(entry, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(entry->text(), QStringLiteral("9999999,9"));
    QCOMPARE(entry->cursorPosition(), 0);

    auto *counter = w<QLineEdit>("lineEditCounter");
    counter->setText(QStringLiteral("12345678"));
    counter->end(false);
    QTest::keyClick(counter, Qt::Key_Backspace);
    QCOMPARE(counter->text(), QStringLiteral("1234567"));
}

void TestParameters::closingWhileEditingACell()
{
    // The open editor hands its text to the model while the window goes away.
    window = openWindowOn();
    auto *view = w<QTableView>("tableViewSettings");
    w<QTabWidget>("tabWidget")->setCurrentIndex(2);
    window->activateWindow();
    view->setFocus();
    view->setCurrentIndex(tableModel(*window)->index(kRowUnit, 1));
    QTest::keyClick(view, Qt::Key_F2);
    QLineEdit *editor = nullptr;
    QTRY_VERIFY((editor = view->viewport()->findChild<QLineEdit *>()) != nullptr);
    QTRY_VERIFY(editor->hasFocus());
    QTest::keyClicks(editor, QStringLiteral("x y"));
    window.reset();
}

QTEST_MAIN(TestParameters)
#include "tst_parameters.moc"
