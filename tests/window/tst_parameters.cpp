// What the window makes of the table's and the counter's verdicts, against
// the simulated device: red cells and blocked buttons, each complaint said
// once, the counter following the significance and the device's reading, and
// a box that must not hold up the line. The rules themselves are the core's.

#include <QtTest>

#include <QLabel>
#include <QLineEdit>
#include <QTableView>

#include "messagecatalogue.h"
#include "windowtest.h"

namespace {

constexpr int kRowUnit = TAVIK7_Bediensoftware::RowUnit;
constexpr int kRowManufacturer = TAVIK7_Bediensoftware::RowManufacturer;
constexpr int kRowYear = TAVIK7_Bediensoftware::RowYear;

// How answers trickle in is the device link's test; here only what the
// window makes of them, but for the box that must not hold up the line.
const QString kQuickAnswers = QStringLiteral("--quick-answers");

const QColor kRed(255, 64, 64);
const QColor kBlack(0, 0, 0);

} // namespace

class TestParameters : public DeviceWindow
{
    Q_OBJECT

private slots:
    void verdictsBlockAndRelease();
    void implausibleValuesAndThePort();
    void counterFollowsSignificanceAndReading();
    void comboWithoutItemBlocksWriting();
    void noticeBoxDoesNotHoldTheLine();
    void wizardCounterWithNothingToSend();
    void wizardEntryTakesDigitsOnly();
    void reviewBeforeWriting();

private:
    QStandardItem *cell(int row) { return tableModel(*window)->item(row, 1); }
    bool writeEnabled() { return button("pushButtonWriteSettings")->isEnabled(); }
    bool setCounterEnabled() { return button("pushButtonSetCounter")->isEnabled(); }
    // How often the message went to the output log: once per showing.
    int logged(int id) { return int(log().count(germanMessage(id) + QStringLiteral("\r\n"))); }
    QLineEdit *openCellEditor(int row)
    {
        auto *view = w<QTableView>("tableViewSettings");
        view->setFocus();
        view->setCurrentIndex(tableModel(*window)->index(row, 1));
        QTest::keyClick(view, Qt::Key_F2);
        QLineEdit *editor = nullptr;
        // A null editor fails the caller's check.
        if (!QTest::qWaitFor([&] { return (editor = view->viewport()->findChild<QLineEdit *>()) != nullptr; }))
            return nullptr;
        return editor;
    }
    void counterEntryVerdicts();
};

// The counter entry: a table fault outranks its own, a letter is as bad as a
// missing digit.
void TestParameters::counterEntryVerdicts()
{
    auto *counter = w<QLineEdit>("lineEditCounter");
    counter->selectAll();
    QTest::keyClicks(counter, QStringLiteral("0123"));
    QVERIFY(!writeEnabled() && !setCounterEnabled());
    QCOMPARE(consoleMessages(*window), germanMessages({60}));
    QVERIFY(editCell(*window, kRowUnit, QString()));
    QCOMPARE(consoleMessages(*window), germanMessages({59}));
    QVERIFY(editCell(*window, kRowUnit, QStringLiteral("m3")));
    QCOMPARE(consoleMessages(*window), germanMessages({60}));
    QTest::keyClicks(counter, QStringLiteral("4a678"));
    QVERIFY(!setCounterEnabled());
    counter->setText(QStringLiteral("012345678"));
    QVERIFY(writeEnabled() && setCounterEnabled());
    QCOMPARE(consoleMessages(*window), germanMessages({11}));
}

void TestParameters::verdictsBlockAndRelease()
{
    QVERIFY(connectDevice({kQuickAnswers}));
    QVERIFY(readSettings());

    // Typed into the cell's own editor, as the technician does.
    QLineEdit *editor = openCellEditor(kRowUnit);
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("m 3"));
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(cell(kRowUnit)->text(), QStringLiteral("m 3"));
    QCOMPARE(cell(kRowUnit)->foreground().color(), kRed);
    QVERIFY(!writeEnabled() && !setCounterEnabled());
    QCOMPARE(consoleMessages(*window), germanMessages({59}));

    // More red cells say nothing new; a language switch neither checks nor forgets.
    QVERIFY(editCell(*window, kRowManufacturer, QStringLiteral("AB1")));
    QVERIFY(editCell(*window, kRowYear, QStringLiteral("1949")));
    switchLanguage("actionEnglish");
    QCOMPARE(cell(kRowUnit)->foreground().color(), kRed);
    QVERIFY(!writeEnabled());
    QCOMPARE(consoleMessages(*window), QStringList({tavik7::messageText(59, tavik7::English)}));
    switchLanguage("actionGerman");

    // Mended cells keep what the rule cuts them to; one red cell still blocks.
    QVERIFY(editCell(*window, kRowUnit, QStringLiteral("kWhx")));
    QCOMPARE(cell(kRowUnit)->text(), QStringLiteral("kWh"));
    QCOMPARE(cell(kRowUnit)->foreground().color(), kBlack);
    QVERIFY(editCell(*window, kRowYear, QStringLiteral("2049")));
    QVERIFY(!writeEnabled());
    QVERIFY(editCell(*window, kRowManufacturer, QStringLiteral("ABCD")));
    QVERIFY(writeEnabled() && setCounterEnabled());
    QCOMPARE(consoleMessages(*window), germanMessages({11}));

    counterEntryVerdicts();
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(logged(59), 2);
    QCOMPARE(logged(60), 2);
    QCOMPARE(logged(11), 2);

    // The mended values are what the device gets.
    button("pushButtonWriteSettings")->click();
    QTRY_COMPARE(consoleMessages(*window), germanMessages({1, 2}));
    QVERIFY(readSettings());
    QCOMPARE(cell(kRowManufacturer)->text(), QStringLiteral("ABC"));
    QCOMPARE(cell(kRowYear)->text(), QStringLiteral("2049"));
}

// Implausible values block writing, nothing else: Read and the report button
// stay as the port has them, and a read replaces the values.
void TestParameters::implausibleValuesAndThePort()
{
    QVERIFY(connectDevice({kQuickAnswers}));
    QVERIFY(readSettings());
    auto enabled = [this](const char *name) { return button(name)->isEnabled(); };
    QVERIFY(editCell(*window, kRowUnit, QStringLiteral("m 3")));
    QVERIFY(!writeEnabled() && !setCounterEnabled());
    QVERIFY(enabled("pushButtonReadSettings") && enabled("pushButtonCreatePdf"));

    // Closed, nothing can reach the device until a verdict speaks again.
    button("pushButtonDisconnect")->click();
    QVERIFY(!enabled("pushButtonReadSettings") && !enabled("pushButtonCreatePdf"));
    QVERIFY(editCell(*window, kRowYear, QStringLiteral("1949")));
    QVERIFY(enabled("pushButtonReadSettings") && !enabled("pushButtonCreatePdf"));

    // A connection offers the report again, the table as it is.
    QVERIFY(connectWindow(*window, sim->portPath()));
    QVERIFY(enabled("pushButtonReadSettings") && enabled("pushButtonCreatePdf") && !writeEnabled());
    QVERIFY(readSettings());
    QVERIFY(enabled("pushButtonCreatePdf") && setCounterEnabled());
}

void TestParameters::counterFollowsSignificanceAndReading()
{
    QVERIFY(connectDevice({"--counter", "123456789", kQuickAnswers}));
    QVERIFY(readSettings());
    auto *counter = w<QLineEdit>("lineEditCounter");
    auto *significance = w<QComboBox>("comboBoxSignificance");
    QCOMPARE(counter->text(), QStringLiteral("123456789"));

    // The entry follows the sheet's layout and length (the rules: tst_parametersheet).
    significance->setCurrentIndex(1); // -2
    QCOMPARE(counter->text(), QStringLiteral("1234567,89"));
    QCOMPARE(counter->maxLength(), 10);
    significance->setCurrentIndex(5); // +2
    // Not yet written, the choice survives a language switch.
    switchLanguage("actionEnglish");
    QCOMPARE(w<QLabel>("label_multi")->text(), QStringLiteral("x"));
    QCOMPARE(w<QLabel>("label_factor")->text(), QStringLiteral("100"));
    QCOMPARE(significance->currentIndex(), 5);
    switchLanguage("actionGerman");
    QVERIFY(writeEnabled());
    QCOMPARE(consoleMessages(*window), germanMessages({1, 3}));

    // An incomplete entry stays incomplete whatever the comma does.
    counter->setText(QStringLiteral("12345678"));
    significance->setCurrentIndex(2);
    QVERIFY(!writeEnabled());
    QCOMPARE(logged(60), 1);

    // A read refills the table with the device's significance; its counter
    // answer, not the typed text, has the last word.
    sim->clearLog();
    button("pushButtonReadSettings")->click();
    QVERIFY(sim->waitForReceived(2));
    QTRY_COMPARE(counter->text(), QStringLiteral("123456789"));
    QTRY_VERIFY(writeEnabled());
    QCOMPARE(consoleMessages(*window), germanMessages({11}));
}

void TestParameters::comboWithoutItemBlocksWriting()
{
    // A transmit mode that no item stands for.
    QVERIFY(connectDevice({QStringLiteral("--transmit-mode"), QStringLiteral("9"), kQuickAnswers}));
    auto *transmitMode = w<QComboBox>("comboBoxTransmitMode");
    button("pushButtonReadSettings")->click();
    QTRY_COMPARE(consoleMessages(*window), germanMessages({59, 3}));
    QCOMPARE(transmitMode->currentIndex(), -1);
    QVERIFY(!writeEnabled() && !setCounterEnabled());

    // Picking an item lifts the block at once.
    transmitMode->setCurrentIndex(2);
    QVERIFY(writeEnabled() && setCounterEnabled());
    QCOMPARE(consoleMessages(*window), germanMessages({11}));
}

void TestParameters::noticeBoxDoesNotHoldTheLine()
{
    // The device holds a significance text the program warns about. The
    // counter is read while the technician still reads the warning.
    QVERIFY(connectDevice({QStringLiteral("--significance-text"), QStringLiteral("01")}));
    bool readBehindBox = false;
    QTimer watch;
    connect(&watch, &QTimer::timeout, this, [&] {
        readBehindBox = readBehindBox
            || (QApplication::activeModalWidget() && consoleMessages(*window) == germanMessages({1, 3}));
    });
    watch.start(20);
    // Held open two seconds, as a technician reads it (the counter's answer
    // comes well within it): the answers arriving meanwhile must be read all the same.
    ModalAnswerer answerer(QMessageBox::Ok, 2000);
    button("pushButtonReadSettings")->click();
    QTRY_COMPARE_WITH_TIMEOUT(answerer.answered(), 1, 8000);
    QVERIFY(answerer.texts.at(0).contains(QStringLiteral("inkompatible Wertigkeit \"01\"")));
    QVERIFY(readBehindBox);
    QCOMPARE(w<QComboBox>("comboBoxSignificance")->currentText(), QStringLiteral("1"));
    QCOMPARE(w<QLineEdit>("lineEditCounter")->text(), QStringLiteral("012345678"));
}

void TestParameters::wizardCounterWithNothingToSend()
{
    QVERIFY(connectDevice());
    QVERIFY(readSettings());
    sim->clearLog();
    w<QLineEdit>("lineEditCounter")->clear();

    // As the wizard programs: the parameter telegram, then at once the
    // counter, which has nothing to send and leaves the telegram's answer alone.
    ModalAnswerer answerer(QMessageBox::Yes);
    QMetaObject::invokeMethod(window.get(), "onWriteSettingsClicked");
    QMetaObject::invokeMethod(window.get(), "onWriteCounterClicked");
    QTRY_COMPARE(consoleMessages(*window), germanMessages({60, 2}));
    QCOMPARE(commands(sim->received()), QStringList({"SP"}));
    QCOMPARE(answerer.answered(), 0);
    QCOMPARE(deviceLinkOf(*window)->portState(), tavik7::DeviceLink::PortState::Idle);
}

void TestParameters::wizardEntryTakesDigitsOnly()
{
    // The key filter is installed on the wizard's entry; the keys' effects are the core's rows.
    window = openWindowOn();
    auto *entry = w<QLineEdit>("lineEditCounter2");
    entry->setMaxLength(9);
    entry->setText(QStringLiteral("1234567,8"));
    entry->setCursorPosition(0);
    QTest::keyClicks(entry, QStringLiteral("9"));
    QTest::keyClick(entry, Qt::Key_Backspace);
    QCOMPARE(entry->text(), QStringLiteral("9234567,8"));
}

// Write under review: the box lists the change as the table words it, Yes
// writes, and a device changed while the box was open is refused unwritten.
void TestParameters::reviewBeforeWriting()
{
    QVERIFY(connectDevice({kQuickAnswers}));
    QVERIFY(readSettings());
    auto *review = w<QAction>("actionReviewBeforeWriting");
    QVERIFY(!review->isChecked());
    review->setChecked(true);
    QVERIFY(editCell(*window, kRowUnit, QStringLiteral("l")));
    {
        ModalAnswerer answerer(QStringList{QStringLiteral("Ja")});
        sim->clearLog();
        button("pushButtonWriteSettings")->click();
        QTRY_COMPARE_WITH_TIMEOUT(commands(sim->received()), (QStringList{"LP", "L_ZLW", "LP", "SP"}), 8000);
        QCOMPARE(answerer.informativeTexts,
                 QStringList{tavik7::fieldChangeText(QStringLiteral("unit"), QStringLiteral("m3"), QStringLiteral("l"),
                                                     tavik7::German)});
        const QString written = tavik7::catalogueText(tavik7::MessageId::ParametersWritten, tavik7::German);
        QTRY_COMPARE_WITH_TIMEOUT(consoleMessages(*window).last(), written, 8000);
    }
    QVERIFY(editCell(*window, kRowUnit, QStringLiteral("t")));
    const QString stale = tavik7::catalogueText(tavik7::MessageId::NotePlanStale, tavik7::German).section('(', 0, 0);
    {
        ModalAnswerer answerer(QStringList{QStringLiteral("Ja")}, 1000);
        // The device changes while the box is open, from within its own loop.
        bool changed = false;
        QTimer meanwhile;
        connect(&meanwhile, &QTimer::timeout, this, [&] {
            if (QApplication::activeModalWidget() && !std::exchange(changed, true))
                QVERIFY(sim->control("set unit=kg"));
        });
        meanwhile.start(20);
        sim->clearLog();
        button("pushButtonWriteSettings")->click();
        QTRY_VERIFY_WITH_TIMEOUT(consoleMessages(*window).last().startsWith(stale), 8000);
        QCOMPARE(commands(sim->received()), (QStringList{"LP", "L_ZLW", "LP"}));
    }
    // Remembered for the next start.
    TAVIK7_Bediensoftware again;
    QVERIFY(child<QAction>(again, "actionReviewBeforeWriting")->isChecked());
}

QTEST_MAIN(TestParameters)
#include "tst_parameters.moc"
