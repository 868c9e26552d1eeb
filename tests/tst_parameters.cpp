// The parameter table's checks and the counter entry in the real window,
// against the simulated device: red cells and blocked buttons, the messages
// that say so once, the significance reformatting the counter, the wizard
// entry's key filter, and answers that must not be lost or ignored.

#include <QtTest>

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>

#include <memory>

#include "devsim.h"
#include "modaldialogs.h"
#include "readfile.h"
#include "tavik7_bediensoftware.h"
#include "texttable.h"
#include "windowaccess.h"

namespace {

constexpr int kAnswerWaitMs = 5000;
// Long enough for a whole write sequence to be answered while a box is open.
constexpr int kBoxHoldMs = 1500;

constexpr int kRowUnit = 0;
constexpr int kRowManufacturer = 3;
constexpr int kRowYear = 6;

const QColor kRed(255, 64, 64);
const QColor kBlack(0, 0, 0);

QString message(int id)
{
    return tavik7::messageText(id, tavik7::German);
}

QStringList germanMessages(std::initializer_list<int> ids)
{
    QStringList texts;
    for (int id : ids)
        texts.append(message(id));
    return texts;
}

QStringList commands(const QStringList &received)
{
    QStringList names;
    for (const QString &line : received)
        names.append(line.section(QLatin1Char(' '), 1, 1));
    return names;
}

} // namespace

class TestParameters : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void implausibleCellBlocksWriting();
    void counterEntryBlocksAndRecovers();
    void counterReadReplacesTypedVerdict();
    void significanceReformatsCounter_data();
    void significanceReformatsCounter();
    void noticeHeldOpenLosesNoAnswer();
    void setCounterWithNothingToSendLeavesRequestAlone();
    void comboIndexWithoutItemBlocksWriting();
    void wizardEntryKeyFilter();
    void closingWhileEditingACell();

private:
    bool startDevice(const QStringList &args = {});
    void openWindow();
    void connectDevice();
    void readSettings();
    void setCell(int row, const QString &text);
    [[nodiscard]] QStandardItem *cellItem(int row) const;
    [[nodiscard]] bool writeEnabled() const;
    [[nodiscard]] bool setCounterEnabled() const;
    // How often the message went to the output log: once per showing.
    [[nodiscard]] int loggedCount(int messageId) const;

    std::unique_ptr<QTemporaryDir> appData;
    std::unique_ptr<DevSim> sim;
    std::unique_ptr<TAVIK7_Bediensoftware> window;
};

void TestParameters::initTestCase()
{
    registerTavik7Resources();
}

void TestParameters::init()
{
    // A fresh per-user folder each time, so the log counts only this test.
    appData = std::make_unique<QTemporaryDir>();
    QVERIFY(appData->isValid());
    qputenv("APPDATA", QFile::encodeName(appData->path()));
    sim = std::make_unique<DevSim>();
}

void TestParameters::cleanup()
{
    window.reset();
    sim.reset();
    QVERIFY(noModalLeft());
}

bool TestParameters::startDevice(const QStringList &args)
{
    if (!sim->start(args))
        return false;
    qputenv("TAVIK7_EXTRA_PORTS", QFile::encodeName(sim->portPath()));
    return true;
}

void TestParameters::openWindow()
{
    window = std::make_unique<TAVIK7_Bediensoftware>();
    window->show();
}

void TestParameters::connectDevice()
{
    if (!window)
        openWindow();
    auto *devices = child<QComboBox>(*window, "comboBoxDevice");
    const int index = devices->findText(sim->portPath());
    QVERIFY2(index >= 0, qPrintable(sim->portPath()));
    devices->setCurrentIndex(index);
    child<QPushButton>(*window, "pushButtonConnect")->click();
    child<QTabWidget>(*window, "tabWidget")->setCurrentIndex(2);
}

void TestParameters::readSettings()
{
    sim->clearLog();
    child<QPushButton>(*window, "pushButtonReadSettings")->click();
    QVERIFY(sim->waitForReceived(2));
    QTRY_COMPARE_WITH_TIMEOUT(consoleMessages(*window), germanMessages({1, 3}), kAnswerWaitMs);
    QTRY_VERIFY(writeEnabled());
}

QStandardItem *TestParameters::cellItem(int row) const
{
    return tableModel(*window)->item(row, 1);
}

void TestParameters::setCell(int row, const QString &text)
{
    // What the cell editor does when the user commits an edit.
    QStandardItemModel *model = tableModel(*window);
    QVERIFY(model->setData(model->index(row, 1), text, Qt::EditRole));
}

bool TestParameters::writeEnabled() const
{
    return child<QPushButton>(*window, "pushButtonWriteSettings")->isEnabled();
}

bool TestParameters::setCounterEnabled() const
{
    return child<QPushButton>(*window, "pushButtonSetCounter")->isEnabled();
}

int TestParameters::loggedCount(int messageId) const
{
    const QByteArray log =
        readFile(appData->filePath(QStringLiteral("KLV TAVIK7 PC Software/Tavik7_Output_Logfile1.txt")));
    return int(log.count(message(messageId).toLatin1() + "\r\n"));
}

void TestParameters::implausibleCellBlocksWriting()
{
    QVERIFY(startDevice());
    connectDevice();
    readSettings();
    QCOMPARE(cellItem(kRowUnit)->foreground().color(), kBlack);
    QCOMPARE(child<QLabel>(*window, "label_unit")->text(), QStringLiteral("m3"));

    // Typed into the cell's own editor, as the technician does.
    auto *view = child<QTableView>(*window, "tableViewSettings");
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
    QVERIFY(child<QPushButton>(*window, "pushButtonReadSettings")->isEnabled());
    QCOMPARE(consoleMessages(*window), germanMessages({59}));
    QCOMPARE(child<QLabel>(*window, "label_unit")->text(), QStringLiteral("m 3"));

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
    child<QPushButton>(*window, "pushButtonWriteSettings")->click();
    QTRY_COMPARE_WITH_TIMEOUT(consoleMessages(*window), germanMessages({1, 2}), kAnswerWaitMs);
    readSettings();
    QCOMPARE(cellItem(kRowManufacturer)->text(), QStringLiteral("ABC"));
    QCOMPARE(cellItem(kRowYear)->text(), QStringLiteral("2049"));
}

void TestParameters::counterEntryBlocksAndRecovers()
{
    QVERIFY(startDevice());
    connectDevice();
    readSettings();
    auto *counter = child<QLineEdit>(*window, "lineEditCounter");
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
    QVERIFY(startDevice());
    connectDevice();
    readSettings();
    auto *counter = child<QLineEdit>(*window, "lineEditCounter");
    counter->setText(QStringLiteral("0123"));
    QVERIFY(!writeEnabled());

    sim->clearLog();
    child<QPushButton>(*window, "pushButtonReadSettings")->click();
    QVERIFY(sim->waitForReceived(2));
    QTRY_COMPARE_WITH_TIMEOUT(counter->text(), QStringLiteral("012345678"), kAnswerWaitMs);
    QTRY_VERIFY(writeEnabled());
    QVERIFY(setCounterEnabled());
    QVERIFY(child<QPushButton>(*window, "pushButtonCreatePdf")->isEnabled());
    // The refilled table still met the typed counter's complaint; the read
    // counter answers it.
    QCOMPARE(consoleMessages(*window), germanMessages({11}));
    QCOMPARE(loggedCount(60), 2);
}

void TestParameters::significanceReformatsCounter_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("deviceCounter");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("withTwoDecimals");
    QTest::addColumn<QString>("withThreeDecimals");

    QTest::newRow("9 digits") << 112 << "123456789" << "123456789" << "1234567,89" << "123456,789";
    QTest::newRow("8 digits") << 111 << "12345678" << "12345678" << "123456,78" << "12345,678";
}

void TestParameters::significanceReformatsCounter()
{
    QFETCH(int, version);
    QFETCH(QString, deviceCounter);
    QFETCH(QString, shown);
    QFETCH(QString, withTwoDecimals);
    QFETCH(QString, withThreeDecimals);

    QVERIFY(startDevice({QStringLiteral("--version"), QString::number(version), QStringLiteral("--counter"),
                         deviceCounter}));
    connectDevice();
    readSettings();
    auto *counter = child<QLineEdit>(*window, "lineEditCounter");
    auto *significance = child<QComboBox>(*window, "comboBoxSignificance");
    auto *multi = child<QLabel>(*window, "label_multi");
    auto *factor = child<QLabel>(*window, "label_factor");
    const int digits = int(shown.size());
    QCOMPARE(counter->text(), shown);
    QCOMPARE(counter->maxLength(), digits);

    significance->setCurrentIndex(1); // -2
    QCOMPARE(counter->text(), withTwoDecimals);
    QCOMPARE(counter->maxLength(), digits + 1);
    QVERIFY(multi->text().isEmpty());
    QVERIFY(writeEnabled());

    // Moving the comma must not cut a digit on the way.
    significance->setCurrentIndex(0); // -3
    QCOMPARE(counter->text(), withThreeDecimals);

    significance->setCurrentIndex(4); // +1
    QCOMPARE(counter->text(), shown);
    QCOMPARE(counter->maxLength(), digits);
    QCOMPARE(multi->text(), QStringLiteral("x"));
    QCOMPARE(factor->text(), QStringLiteral("10"));
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
    QVERIFY(startDevice({QStringLiteral("--significance-text"), QStringLiteral("01")}));
    connectDevice();
    ModalAnswerer answerer(QMessageBox::Ok, kBoxHoldMs);

    child<QPushButton>(*window, "pushButtonReadSettings")->click();
    QTRY_COMPARE_WITH_TIMEOUT(answerer.answered(), 1, kAnswerWaitMs);
    QVERIFY(answerer.texts.at(0).contains(QStringLiteral("\"01\"")));
    QTRY_COMPARE_WITH_TIMEOUT(consoleMessages(*window), germanMessages({1, 3}), kAnswerWaitMs);
    QCOMPARE(child<QLineEdit>(*window, "lineEditCounter")->text(), QStringLiteral("012345678"));
    QTRY_VERIFY(writeEnabled());

    // Write settings: the telegram is answered while the warning is open.
    QVERIFY(sim->control("set significance-text=01"));
    sim->clearLog();
    child<QPushButton>(*window, "pushButtonWriteSettings")->click();
    QTRY_COMPARE_WITH_TIMEOUT(answerer.answered(), 2, kAnswerWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(consoleMessages(*window), germanMessages({1, 2}), kAnswerWaitMs);
    QCOMPARE(commands(sim->received()), QStringList({"LP", "SP"}));
    QTRY_VERIFY(writeEnabled());

    // With a changed direction the whole chain, counter write included, runs
    // behind the open warning.
    QVERIFY(sim->control("set significance-text=01"));
    sim->clearLog();
    child<QComboBox>(*window, "comboBoxDirection")->setCurrentIndex(1);
    child<QPushButton>(*window, "pushButtonWriteSettings")->click();
    QTRY_COMPARE_WITH_TIMEOUT(answerer.answered(), 3, kAnswerWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(consoleMessages(*window), germanMessages({1, 13, 3, 2, 4}), kAnswerWaitMs);
    QCOMPARE(commands(sim->received()), QStringList({"LP", "L_ZLW", "SP", "S_ZLW"}));
    QTRY_VERIFY(noModalLeft());
    QCOMPARE(loggedCount(70), 0);
}

void TestParameters::setCounterWithNothingToSendLeavesRequestAlone()
{
    QVERIFY(startDevice());
    connectDevice();
    readSettings();
    sim->clearLog();
    child<QLineEdit>(*window, "lineEditCounter")->clear();
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
    child<QLineEdit>(*window, "lineEditCounter")->setText(QStringLiteral("000000001"));
    readSettings();
    QCOMPARE(loggedCount(70), 0);
}

void TestParameters::comboIndexWithoutItemBlocksWriting()
{
    // A transmit mode that no item stands for, as a hand-edited file might hold.
    QVERIFY(startDevice({QStringLiteral("--transmit-mode"), QStringLiteral("9")}));
    connectDevice();
    auto *transmitMode = child<QComboBox>(*window, "comboBoxTransmitMode");
    child<QPushButton>(*window, "pushButtonReadSettings")->click();
    QTRY_COMPARE_WITH_TIMEOUT(consoleMessages(*window), germanMessages({59, 3}), kAnswerWaitMs);
    QCOMPARE(transmitMode->currentIndex(), -1);
    QVERIFY(!writeEnabled());
    QVERIFY(!setCounterEnabled());

    // Reading the same device again keeps it blocked.
    sim->clearLog();
    child<QPushButton>(*window, "pushButtonReadSettings")->click();
    QVERIFY(sim->waitForReceived(2));
    QTRY_COMPARE_WITH_TIMEOUT(consoleMessages(*window), germanMessages({59, 3}), kAnswerWaitMs);
    QVERIFY(!writeEnabled());

    // Picking an item lifts the block at once.
    transmitMode->setCurrentIndex(2);
    QVERIFY(writeEnabled());
    QVERIFY(setCounterEnabled());
    QCOMPARE(consoleMessages(*window), germanMessages({11}));

    sim->clearLog();
    child<QPushButton>(*window, "pushButtonWriteSettings")->click();
    QTRY_COMPARE_WITH_TIMEOUT(consoleMessages(*window), germanMessages({1, 2}), kAnswerWaitMs);
    readSettings();
    QCOMPARE(transmitMode->currentIndex(), 2);
}

void TestParameters::wizardEntryKeyFilter()
{
    openWindow();
    auto *entry = child<QLineEdit>(*window, "lineEditCounter2");
    entry->setMaxLength(9);
    entry->setText(QStringLiteral("1234567,8"));
    entry->setCursorPosition(0);

    QTest::keyClicks(entry, QStringLiteral("9999999"));
    QCOMPARE(entry->cursorPosition(), 8); // over the comma
    QTest::keyClick(entry, Qt::Key_9);
    QCOMPARE(entry->text(), QStringLiteral("9999999,9"));
    QCOMPARE(entry->cursorPosition(), 0); // wrapped

    QTest::keyClick(entry, Qt::Key_Left);
    QCOMPARE(entry->cursorPosition(), 8);
    QTest::keyClick(entry, Qt::Key_Left);
    QCOMPARE(entry->cursorPosition(), 6);
    QTest::keyClick(entry, Qt::Key_Right);
    QCOMPARE(entry->cursorPosition(), 8);

    // Every other key is swallowed.
    for (Qt::Key key : {Qt::Key_Backspace, Qt::Key_Delete, Qt::Key_A, Qt::Key_Space, Qt::Key_Comma, Qt::Key_Home,
                        Qt::Key_End, Qt::Key_Minus})
        QTest::keyClick(entry, key);
    QTest::keyClick(entry, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(entry->text(), QStringLiteral("9999999,9"));
    QCOMPARE(entry->cursorPosition(), 8);

    // The settings tab's entry is edited normally.
    auto *counter = child<QLineEdit>(*window, "lineEditCounter");
    counter->setText(QStringLiteral("12345678"));
    counter->end(false);
    QTest::keyClick(counter, Qt::Key_Backspace);
    QCOMPARE(counter->text(), QStringLiteral("1234567"));
}

void TestParameters::closingWhileEditingACell()
{
    // The open editor hands its text to the model while the window goes away.
    openWindow();
    auto *view = child<QTableView>(*window, "tableViewSettings");
    child<QTabWidget>(*window, "tabWidget")->setCurrentIndex(2);
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
