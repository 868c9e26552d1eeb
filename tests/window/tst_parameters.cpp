// The Parameters tab as a technician walks it, the real window against the
// simulated device: the start without a device, the language switch and the
// help menu; connect, read, the table's verdicts, write with a changed
// direction, set the counter; each way a request is cut short; and the faults
// only the whole window meets: bytes on the line that no request asked for, a
// port that vanishes while connected, a per-user folder that cannot take the
// logs. The rules are the core's and the device link's: here what the window
// makes of them.

#include <QtTest>

#include <limits>
#include <optional>

#include <poll.h>
#include <unistd.h>

#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QScopeGuard>
#include <QStatusBar>
#include <QTableView>

#include "booklocation.h"
#include "changehistory.h"
#include "devicebook.h"
#include "filesizelimit.h"
#include "messagecatalogue.h"
#include "rawline.h"
#include "residentmemory.h"
#include "samplerecord.h"
#include "telegram.h"
#include "windowtest.h"

namespace {

constexpr int kRowUnit = tavik7::FieldUnit;
constexpr int kRowManufacturer = tavik7::FieldManufacturer;
constexpr int kRowYear = tavik7::FieldYear;

const QColor kRed(255, 64, 64);
const QColor kBlack(0, 0, 0);

// Waits, running the event loop, until the program has sent request on the
// line's far end, then answers it with bytes (if any).
bool serve(RawLine &line, const QByteArray &request, const QByteArray &bytes = {})
{
    QByteArray received;
    const bool asked = QTest::qWaitFor(
        [&] {
            char buffer[256];
            const ssize_t n = ::read(line.masterFd(), buffer, sizeof buffer);
            received.append(buffer, n > 0 ? n : 0);
            return received.contains(request + '\r');
        },
        5000);
    return asked && ::write(line.masterFd(), bytes.constData(), size_t(bytes.size())) == bytes.size();
}

// A read that a sound device answers; counterAnswer as given.
bool serveRead(RawLine &line, const QByteArray &counterAnswer = "012345678\r\n")
{
    return serve(line, "LP", tavik7::buildParameterAnswer(sampleRecord())) && serve(line, "L_ZLW", counterAnswer);
}

} // namespace

// Stands in for the system's viewer: records what it was asked to open.
class ViewerStandIn : public QObject
{
    Q_OBJECT

public:
    QStringList opened;

public slots:
    void open(const QUrl &url) { opened.append(url.toLocalFile()); }
};

class TestParameters : public DeviceWindow
{
    Q_OBJECT

private slots:
    void startWithoutADevice();
    void connectReadEditWrite();
    void requestsCutShort();
    void strayBytesNeverReachAnAnswer();
    void portThatVanishesLeavesTheList();
    void unusablePerUserFolder_data();
    void unusablePerUserFolder();
    void reviewBeforeWriting();

private:
    QStandardItem *cell(int row) { return tableModel(*window)->item(row, 1); }
    bool enabled(const char *name) { return button(name)->isEnabled(); }
    bool writeEnabled() { return enabled("pushButtonWriteSettings"); }
    bool setCounterEnabled() { return enabled("pushButtonSetCounter"); }
    // How often the message went to the output log: once per showing.
    int logged(int id) { return int(log().count(germanMessage(id) + QStringLiteral("\r\n"))); }
    QLineEdit *openCellEditor(int row);
    void helpMenuOpensManuals();
    void portListFollowsAdapters();
    bool connectLine(RawLine &line)
    {
        window = openWindowOn(line.portPath());
        if (!connectWindow(*window, line.portPath()))
            return false;
        shortenTimeouts(1000, 200);
        return true;
    }
    bool readEndsWith(const QList<int> &ids)
    {
        return QTest::qWaitFor([&] { return consoleMessages(*window) == germanMessages(ids); }, 5000)
            && button("pushButtonReadSettings")->isEnabled();
    }
};

QLineEdit *TestParameters::openCellEditor(int row)
{
    auto *view = w<QTableView>("tableViewSettings");
    view->setFocus();
    view->setCurrentIndex(tableModel(*window)->index(row, 1));
    QTest::keyClick(view, Qt::Key_F2);
    QLineEdit *editor = nullptr;
    // A null editor fails the caller's check.
    (void)QTest::qWaitFor([&] { return (editor = view->viewport()->findChild<QLineEdit *>()) != nullptr; });
    return editor;
}

void TestParameters::startWithoutADevice()
{
    // As for a new account, whose ~/.local/share does not exist yet.
    const QString base = appData->filePath(QStringLiteral("home/.local/share"));
    qputenv("APPDATA", QFile::encodeName(base));
    const QString logFile = base + QStringLiteral("/KLV TAVIK7 PC Software/Tavik7_Output_Logfile%1.txt");
    window = openWindowOn();
    QCOMPARE(window->windowTitle(), QStringLiteral("TAVIK7 PC Software: nicht verbunden"));
    QCOMPARE(consoleMessages(*window), QStringList({"--- START TAVIK7 PC SOFTWARE ---"}));
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d : "
                                               "--- START TAVIK7 PC SOFTWARE ---\r\n$"))
                 .match(QString::fromLatin1(readFile(logFile.arg(1))))
                 .hasMatch(),
             readFile(logFile.arg(1)).constData());
    QCOMPARE(readFile(logFile.arg(2)), QByteArray());
    // The first page wears the window's look from the first frame on.
    QVERIFY(child<QWidget>(*window, "tabConfig")->styleSheet().contains(QLatin1String("#333F48")));
    // The placeholder record is shown without any plausibility complaint.
    QStandardItemModel *model = tableModel(*window);
    QCOMPARE(model->item(7, 1)->text(), QStringLiteral("0.00"));
    auto *hint = w<QLabel>("labelCounterHint");
    QCOMPARE(hint->text(), QStringLiteral("(Hinweis: 8-stellig)"));

    // F3 unlocks serial number and year (the lock's rule: tst_parametersheet); the language switch locks them.
    QTest::keyClick(window.get(), Qt::Key_F3);
    QVERIFY(model->item(5, 1)->isEditable() && model->item(6, 1)->isEditable());

    // Edits not yet written to the device survive the switch; the version
    // cell is read back at it, and the counter hint follows.
    model->item(0, 1)->setText(QStringLiteral("kWh"));
    model->item(7, 1)->setText(QStringLiteral("1.12"));
    w<QComboBox>("comboBoxDirection")->setCurrentIndex(1);
    w<QCheckBox>("checkBoxLeadingPlus")->setChecked(true);
    // A failed Connect replaces the console; the switch renders it anew without logging it again.
    w<QComboBox>("comboBoxDevice")->clear();
    button("pushButtonConnect")->click();
    const QByteArray logBefore = readFile(logFile.arg(1));
    auto *english = w<QAction>("actionEnglish");
    english->trigger();
    QVERIFY(!model->item(5, 1)->isEditable() && !model->item(6, 1)->isEditable());
    QCOMPARE(window->windowTitle(), QStringLiteral("TAVIK7 PC Software: not connected"));
    QCOMPARE(model->item(11, 0)->text(), QStringLiteral("Direction"));
    QCOMPARE(model->item(0, 1)->text(), QStringLiteral("kWh"));
    QCOMPARE(w<QComboBox>("comboBoxDirection")->currentText(), QStringLiteral("1: left"));
    QVERIFY(w<QCheckBox>("checkBoxLeadingPlus")->isChecked());
    QCOMPARE(hint->text(), QStringLiteral("(Hint: 9 digits)"));
    QCOMPARE(w<QLineEdit>("lineEditCounter")->maxLength(), 9);
    QCOMPARE(consoleMessages(*window), QStringList({"Serial port couldn't be opened."}));
    QCOMPARE(readFile(logFile.arg(1)), logBefore);
    // Triggering the checked action unchecks it in the menu; the switch checks it again.
    english->trigger();
    QVERIFY(english->isChecked());
    w<QAction>("actionGerman")->trigger();
    QVERIFY(!english->isChecked());
    QCOMPARE(model->item(11, 0)->text(), QStringLiteral("Richtung"));

    // The wizard's entry takes digits typed over the reading only; the keys' effects are the core's rows.
    auto *entry = w<QLineEdit>("lineEditCounter2");
    entry->setMaxLength(9);
    entry->setText(QStringLiteral("1234567,8"));
    entry->setCursorPosition(0);
    QTest::keyClicks(entry, QStringLiteral("9"));
    QTest::keyClick(entry, Qt::Key_Backspace);
    QCOMPARE(entry->text(), QStringLiteral("9234567,8"));

    helpMenuOpensManuals();
    portListFollowsAdapters();
}

// Each Help entry opens its own manual; which folder they come from is the lookup's test.
void TestParameters::helpMenuOpensManuals()
{
    QTemporaryDir startFolder;
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(startFolder.path()));
    const auto restore = qScopeGuard([&] {
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QDir::setCurrent(previous);
    });
    ViewerStandIn viewer;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &viewer, "open");
    // Found nowhere, each is asked for in the start folder.
    const QString manuals = startFolder.filePath(QStringLiteral("Documentation/"));
    const QStringList files{"Tavik7VUVozezoro.pdf", "Tavik7M_manual.pdf", "Tavik7_M_Programmierhandbuch.pdf"};
    for (const char *action : {"actionDocuQuickGuide", "actionDocuManual", "actionDocuProgrammerManual"})
        w<QAction>(action)->trigger();
    QCOMPARE(viewer.opened, QStringList({manuals + files[0], manuals + files[1], manuals + files[2]}));

    // Started from the desktop menu: nothing in the start folder, the manuals beside the program.
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/Documentation/");
    if (!QFileInfo::exists(beside)) {
        QVERIFY(QDir().mkpath(beside));
        QVERIFY(QFile(beside + files[1]).open(QIODevice::WriteOnly));
        w<QAction>("actionDocuManual")->trigger();
        QDir(beside).removeRecursively();
        QCOMPARE(viewer.opened.last(), beside + files[1]);
    }
}

void TestParameters::portListFollowsAdapters()
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
    auto *devices = w<QComboBox>("comboBoxDevice");
    QTRY_VERIFY(devices->findText(chosen) >= 0);
    devices->setCurrentIndex(devices->findText(chosen));
    // Another adapter comes: the choice stays (which one stays is the enumerator's rule).
    plugIn(plugged);
    QTRY_VERIFY(devices->findText(plugged) >= 0);
    QCOMPARE(devices->currentText(), chosen);

    // Listed a moment ago, gone by the time Connect is pressed: the console says why.
    devices->addItem(ports.filePath(QStringLiteral("gone")));
    devices->setCurrentIndex(devices->count() - 1);
    button("pushButtonConnect")->click();
    const QStringList messages = consoleMessages(*window);
    QCOMPARE(messages.size(), 2);
    QCOMPARE(messages.at(0), germanMessage(61));
    QVERIFY2(messages.at(1).contains(QStringLiteral("abgezogen")), qPrintable(messages.at(1)));
    QVERIFY(enabled("pushButtonConnect"));
    QCOMPARE(window->windowTitle(), QStringLiteral("TAVIK7 PC Software: ") + devices->currentText());
}

void TestParameters::connectReadEditWrite()
{
    // From the Interface tab Connect leads into the wizard; from elsewhere to the parameters.
    QVERIFY(connectDevice({}, 1));
    QCOMPARE(consoleMessages(*window), germanMessages({7}));
    button("pushButtonDisconnect")->click();
    QCOMPARE(window->windowTitle(), QStringLiteral("TAVIK7 PC Software: nicht verbunden"));
    QCOMPARE(consoleMessages(*window), germanMessages({8}));
    QVERIFY(!enabled("pushButtonReadSettings"));
    w<QTabWidget>("tabWidget")->setCurrentIndex(3);
    QVERIFY(connectWindow(*window, sim->portPath()));
    QCOMPARE(w<QTabWidget>("tabWidget")->currentIndex(), 2);
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
    // Implausible values block writing, nothing else.
    QVERIFY(enabled("pushButtonReadSettings") && enabled("pushButtonCreatePdf"));

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

    // The counter entry: a table fault outranks its own, a letter is as bad as a missing digit.
    auto *counter = w<QLineEdit>("lineEditCounter");
    counter->selectAll();
    QTest::keyClicks(counter, QStringLiteral("0123"));
    QVERIFY(!writeEnabled() && !setCounterEnabled());
    QCOMPARE(consoleMessages(*window), germanMessages({60}));
    QVERIFY(editCell(*window, kRowUnit, QString()));
    QCOMPARE(consoleMessages(*window), germanMessages({59}));
    QVERIFY(editCell(*window, kRowUnit, QStringLiteral("kWh")));
    QCOMPARE(consoleMessages(*window), germanMessages({60}));
    QTest::keyClicks(counter, QStringLiteral("4a678"));
    QVERIFY(!setCounterEnabled());
    counter->setText(QStringLiteral("012345678"));
    QVERIFY(writeEnabled() && setCounterEnabled());
    QCOMPARE(consoleMessages(*window), germanMessages({11}));
    QCOMPARE(logged(59), 2);
    QCOMPARE(logged(60), 2);
    QCOMPARE(logged(11), 2);

    // The mended values are what the device gets.
    button("pushButtonWriteSettings")->click();
    QTRY_COMPARE(consoleMessages(*window), germanMessages({1, 2}));
    QVERIFY(readSettings());
    QCOMPARE(cell(kRowManufacturer)->text(), QStringLiteral("ABC"));
    QCOMPARE(cell(kRowYear)->text(), QStringLiteral("2049"));
    QCOMPARE(cell(kRowUnit)->text(), QStringLiteral("kWh"));

    // Closed, nothing can reach the device until a verdict speaks again; a
    // connection offers the report again, the table as it is.
    QVERIFY(editCell(*window, kRowUnit, QStringLiteral("m 3")));
    button("pushButtonDisconnect")->click();
    QVERIFY(!enabled("pushButtonReadSettings") && !enabled("pushButtonCreatePdf"));
    QVERIFY(editCell(*window, kRowYear, QStringLiteral("1949")));
    QVERIFY(enabled("pushButtonReadSettings") && !enabled("pushButtonCreatePdf"));
    QVERIFY(connectWindow(*window, sim->portPath()));
    QVERIFY(enabled("pushButtonReadSettings") && enabled("pushButtonCreatePdf") && !writeEnabled());

    // The entry follows the sheet's layout and length (the rules: tst_parametersheet).
    QVERIFY(sim->control("set significance=1") && sim->control("set counter=123456789"));
    QVERIFY(readSettings());
    QVERIFY(enabled("pushButtonCreatePdf") && setCounterEnabled());
    auto *significance = w<QComboBox>("comboBoxSignificance");
    QCOMPARE(significance->currentText(), QStringLiteral("-2"));
    significance->setCurrentIndex(3);
    QCOMPARE(counter->text(), QStringLiteral("123456789"));
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
    const int incompleteBefore = logged(60);
    counter->setText(QStringLiteral("12345678"));
    significance->setCurrentIndex(2);
    QVERIFY(!writeEnabled());
    QCOMPARE(logged(60), incompleteBefore + 1);
    // A read refills the table with the device's significance; its counter
    // answer, not the typed text, has the last word.
    sim->clearLog();
    button("pushButtonReadSettings")->click();
    QVERIFY(sim->waitForReceived(2));
    QTRY_COMPARE(counter->text(), QStringLiteral("1234567,89"));
    QTRY_VERIFY(writeEnabled());
    QCOMPARE(consoleMessages(*window), germanMessages({11}));

    // A changed direction: the device's reading is read and goes back after
    // the telegram, without a question. The history cannot be written: the
    // device is written all the same, and the console says so once.
    const QString history = folder() + QLatin1String(tavik7::kChangeHistoryFileName);
    QVERIFY(QFile::remove(history) && QDir().mkdir(history));
    QVERIFY(editCell(*window, kRowUnit, QStringLiteral("kg")));
    w<QComboBox>("comboBoxTelegramB")->setCurrentIndex(2);
    w<QComboBox>("comboBoxDirection")->setCurrentIndex(1);
    sim->clearLog();
    {
        ModalAnswerer none(QMessageBox::No);
        button("pushButtonWriteSettings")->click();
        QTRY_COMPARE(consoleMessages(*window).mid(0, 5), germanMessages({1, 13, 3, 2, 4}));
        QCOMPARE(none.answered(), 0);
    }
    const tavik7::WriteTelegram sent =
        tavik7::parseWriteTelegram(QByteArray::fromHex(sim->received().at(2).section(QLatin1Char(' '), 2).toLatin1()));
    QVERIFY(sent.valid);
    QCOMPARE(tavik7::fieldText(sent.record.unit, tavik7::kUnitWidth), QStringLiteral("kg"));
    QCOMPARE(sent.record.significance, qint8(1));
    QCOMPARE(sent.record.direction, qint8(1));
    QCOMPARE(sent.record.telegramB, qint8(2));
    QCOMPARE(sim->received().at(3), QStringLiteral("RX S_ZLW 123456789"));

    // Set counter asks first; No sends nothing.
    counter->setText(QStringLiteral("0000000,42"));
    {
        ModalAnswerer no(QMessageBox::No);
        button("pushButtonSetCounter")->click();
        QCOMPARE(no.texts, QStringList{QString::fromUtf8("Zählwerksstand wirklich setzen?")});
    }
    QVERIFY(setCounterEnabled());
    counter->setText(QStringLiteral("0000000,43"));
    sim->clearLog();
    {
        ModalAnswerer yes(QMessageBox::Yes);
        button("pushButtonSetCounter")->click();
        QTRY_COMPARE(consoleMessages(*window), germanMessages({4}));
    }
    QCOMPARE(sim->received(), QStringList({"RX S_ZLW 000000043"}));
    QCOMPARE(log().count(QStringLiteral("Änderungshistorie")), 1);

    // As the wizard programs: the parameter telegram, then at once the
    // counter, which has nothing to send and leaves the telegram's answer alone.
    sim->clearLog();
    counter->clear();
    ModalAnswerer answerer(QMessageBox::Yes);
    QMetaObject::invokeMethod(window.get(), "onWriteSettingsClicked");
    QMetaObject::invokeMethod(window.get(), "onWriteCounterClicked");
    QTRY_COMPARE(consoleMessages(*window), germanMessages({60, 2}));
    QCOMPARE(sim->commands(), QStringList({"SP"}));
    QCOMPARE(answerer.answered(), 0);
    QCOMPARE(deviceLinkOf(*window)->portState(), tavik7::DeviceLink::PortState::Idle);
}

void TestParameters::requestsCutShort()
{
    // The device holds a significance text the program warns about. The
    // counter is read while the technician still reads the warning.
    QVERIFY(connectDevice({QStringLiteral("--significance-text"), QStringLiteral("01")}));
    {
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
    QVERIFY(sim->control("set significance-text="));

    // The port is closed, and the read it cut short did not complete: both are said.
    QVERIFY(sim->control("fault silent=LP"));
    sim->clearLog();
    button("pushButtonReadSettings")->click();
    QVERIFY(sim->waitForReceived(1));
    button("pushButtonDisconnect")->click();
    QCOMPARE(consoleMessages(*window), germanMessages({8, 70}));

    // Cut after the device took a new direction: the reading it had is
    // named, to be set again.
    QVERIFY(sim->control("clear-faults"));
    QVERIFY(connectWindow(*window, sim->portPath()));
    QVERIFY(readSettings());
    w<QComboBox>("comboBoxDirection")->setCurrentIndex(1);
    QVERIFY(sim->control("fault silent=S_ZLW"));
    button("pushButtonWriteSettings")->click();
    QVERIFY(sim->waitForLine(QStringLiteral("RX S_ZLW")));
    button("pushButtonDisconnect")->click();
    auto notWrittenBack = [this] {
        return tavik7::renderMessage(tavik7::MessageId::NoteCounterNotWrittenBack,
                                     {w<QLineEdit>("lineEditCounter")->text()}, tavik7::German);
    };
    QCOMPARE(consoleMessages(*window), germanMessages({8, 70}) << notWrittenBack());

    // Closed while the device takes a new direction: the window stays until
    // its reading is back, then closes by itself.
    QVERIFY(sim->control("clear-faults") && sim->control("set direction=0"));
    QVERIFY(connectWindow(*window, sim->portPath()));
    QVERIFY(readSettings());
    w<QComboBox>("comboBoxDirection")->setCurrentIndex(1);
    QVERIFY(sim->control("fault late=S_ZLW"));
    button("pushButtonWriteSettings")->click();
    QVERIFY(sim->waitForLine(QStringLiteral("RX S_ZLW")));
    QVERIFY(!window->close());
    QVERIFY(window->isVisible());
    QCOMPARE(window->statusBar()->currentMessage(),
             tavik7::catalogueText(tavik7::MessageId::NoteClosingAfterWrite, tavik7::German));
    QTRY_VERIFY(!window->isVisible());
    QCOMPARE(sim->commands().count(QStringLiteral("S_ZLW")), 1);
    QCOMPARE(consoleMessages(*window).mid(0, 5), germanMessages({1, 13, 3, 2, 4}));

    // A device that never answers: the window goes after the time-out, the
    // reading left unwritten in the log.
    window->show();
    QVERIFY(readSettings());
    shortenTimeouts(2500, 500);
    w<QComboBox>("comboBoxDirection")->setCurrentIndex(0);
    QVERIFY(sim->control("clear-faults") && sim->control("fault silent=S_ZLW"));
    button("pushButtonWriteSettings")->click();
    QVERIFY(sim->waitForLine(QStringLiteral("RX S_ZLW")));
    QVERIFY(!window->close());
    QTRY_VERIFY(!window->isVisible());
    QVERIFY(log().contains(notWrittenBack()));
    // Booked as well, and still there once the window has gone.
    window.reset();
    tavik7::book::DeviceBook book;
    QVERIFY(book.open(folder() + QLatin1String(tavik7::book::kBookFileName)).recorded);
    const QList<tavik7::book::BookEvent> events = book.history(QStringLiteral("123456789"));
    QVERIFY(!events.isEmpty());
    QCOMPARE(events.constLast().action, tavik7::book::BookAction::Write);
    QCOMPARE(events.constLast().status, QStringLiteral("noAnswer"));
}

void TestParameters::strayBytesNeverReachAnAnswer()
{
    RawLine line;
    QVERIFY(connectLine(line));

    // Noise with nothing asked and NAMUR off is read and dropped, not kept.
    [[maybe_unused]] const qint64 before = residentKiB();
    const QByteArray chunk(1024 * 1024, '\x55');
    for (int i = 0; i < 16; ++i)
        QVERIFY(line.send(chunk));
#if !defined(__SANITIZE_ADDRESS__) // its quarantine keeps freed memory resident
    QVERIFY2(residentKiB() - before < 8 * 1024, qPrintable(QString::number(residentKiB() - before)));
#endif

    // Listening that ends in the middle of a telegram leaves nothing for the read after it.
    button("pushButtonStartNamur")->click();
    QVERIFY(line.send(QByteArray(64 * 1024, 'x') + "\x1c" "0123"));
    button("pushButtonStopNamur")->click();
    // Whatever follows the counter's CR LF is not part of its answer.
    button("pushButtonReadSettings")->click();
    QVERIFY(serveRead(line, QByteArray("012345678\r\n\x00\x7f#", 14)));
    QVERIFY(readEndsWith({1, 3}));

    // The counter answer comes after its time-out and lies unread in the
    // driver when the next read starts: it must not begin that read's answer.
    button("pushButtonReadSettings")->click();
    QVERIFY(serve(line, "LP", tavik7::buildParameterAnswer(sampleRecord())) && serve(line, "L_ZLW"));
    QVERIFY(readEndsWith({70}));
    QCOMPARE(::write(line.masterFd(), "012345678\r\n", 11), ssize_t(11));
    pollfd readable{int(deviceLinkOf(*window)->serialPort()->handle()), POLLIN, 0};
    QCOMPARE(::poll(&readable, 1, 5000), 1);
    button("pushButtonReadSettings")->click();
    QVERIFY(serveRead(line));
    QVERIFY(readEndsWith({1, 3}));
}

void TestParameters::portThatVanishesLeavesTheList()
{
    QVERIFY(connectDevice());
    shortenTimeouts(60000, 60000);
    QVERIFY(sim->control("fault silent=LP"));
    button("pushButtonReadSettings")->click();
    QVERIFY(sim->waitForReceived(1));
    QCOMPARE(::kill(pid_t(sim->processId()), SIGKILL), 0);

    // The request ends with the line, long before its time-out, and the port leaves the list.
    QTRY_COMPARE(consoleMessages(*window), germanMessages({70}));
    QCOMPARE(window->windowTitle(), QStringLiteral("TAVIK7 PC Software: nicht verbunden"));
    auto *devices = w<QComboBox>("comboBoxDevice");
    QVERIFY(devices->isEnabled());
    // Unless another program on this machine has taken the freed terminal number at once.
    const QString gone = sim->portPath();
    QTRY_VERIFY(devices->findText(gone) < 0 || QFileInfo::exists(gone));

    // A new adapter appears in the list and works.
    sim = std::make_unique<DevSim>();
    QVERIFY(sim->start());
    qputenv("TAVIK7_EXTRA_PORTS", QFile::encodeName(sim->portPath()));
    QTRY_VERIFY(devices->findText(sim->portPath()) >= 0);
    QVERIFY(connectWindow(*window, sim->portPath()));
    QVERIFY(readSettings());
}

void TestParameters::unusablePerUserFolder_data()
{
    QTest::addColumn<QString>("blocked"); // what lies where the folder should be, or "full"
    QTest::newRow("a file where the program's folder should be") << "APPDATA/KLV TAVIK7 PC Software";
    QTest::newRow("disk full") << "full";
}

// The logs are the program's own business: the technician's work goes on,
// silently without them, and no byte of what was there is lost.
void TestParameters::unusablePerUserFolder()
{
    QFETCH(QString, blocked);
    const QByteArray own("the technician's own file\r\n");
    QMap<QString, QByteArray> kept;
    if (blocked != QLatin1String("full")) {
        QVERIFY(QDir(appData->path()).mkpath(QStringLiteral("APPDATA")));
        const QString path = appData->filePath(blocked);
        QDir(path).removeRecursively();
        QVERIFY(writeFile(path, own));
        kept.insert(path, own);
        qputenv("APPDATA", QFile::encodeName(appData->filePath(QStringLiteral("APPDATA"))));
    }

    RawLine line;
    QVERIFY(connectLine(line));
    std::optional<FileSizeLimit> full;
    if (blocked == QLatin1String("full")) {
        for (const QString &name : QDir(folder()).entryList(QDir::Files))
            kept.insert(folder() + name, readFile(folder() + name));
        // Room for part of a record in the smallest log, none in the others.
        qsizetype room = std::numeric_limits<qsizetype>::max();
        for (const QByteArray &content : std::as_const(kept))
            room = qMin(room, content.size() + 10);
        QVERIFY(full.emplace(rlim_t(room)).active());
    }
    QVERIFY(!kept.isEmpty());
    button("pushButtonReadSettings")->click();
    const bool read = serveRead(line) && readEndsWith({1, 3});
    full.reset();
    QVERIFY(read);
    for (auto it = kept.cbegin(); it != kept.cend(); ++it)
        QVERIFY2(readFile(it.key()) == it.value(), qPrintable(it.key())); // not even grown
}

// Write under review: the box lists the change as the table words it, Yes
// writes with the reason typed in the box booked, and a device changed while
// the box was open is refused unwritten.
void TestParameters::reviewBeforeWriting()
{
    QVERIFY(connectDevice({QStringLiteral("--quick-answers")}));
    QVERIFY(readSettings());
    auto *review = w<QAction>("actionReviewBeforeWriting");
    QVERIFY(!review->isChecked());
    review->setChecked(true);
    QVERIFY(editCell(*window, kRowUnit, QStringLiteral("l")));
    {
        ModalAnswerer answerer(QStringList{QStringLiteral("Ja")});
        answerer.typed = QStringLiteral("seal renewed");
        sim->clearLog();
        button("pushButtonWriteSettings")->click();
        QTRY_COMPARE_WITH_TIMEOUT(sim->commands(), (QStringList{"LP", "L_ZLW", "LP", "SP"}), 8000);
        QCOMPARE(answerer.informativeTexts,
                 QStringList{tavik7::fieldChangeText("unit", "m3", "l", tavik7::German)});
        const QString written = tavik7::catalogueText(tavik7::MessageId::ParametersWritten, tavik7::German);
        QTRY_COMPARE_WITH_TIMEOUT(consoleMessages(*window).last(), written, 8000);
        tavik7::book::DeviceBook book;
        QTRY_VERIFY(book.open(folder() + QLatin1String(tavik7::book::kBookFileName)).recorded
                    && book.history(QStringLiteral("123456789")).constLast().action == tavik7::book::BookAction::Write);
        QCOMPARE(book.history(QStringLiteral("123456789")).constLast().reason, QStringLiteral("seal renewed"));
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
        QCOMPARE(sim->commands(), (QStringList{"LP", "L_ZLW", "LP"}));
    }
    // Remembered for the next start.
    TAVIK7_Bediensoftware again;
    QVERIFY(child<QAction>(again, "actionReviewBeforeWriting")->isChecked());
}

QTEST_MAIN(TestParameters)
#include "tst_parameters.moc"
