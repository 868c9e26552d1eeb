// The wizard against the simulated device: choosing a counter type, the
// firmware check, the counter entry and programming, with the boxes answered
// as a technician would, some of them only after a while, and real avrdude
// flashing the simulator on the way. What each kind of counter type prepares
// and writes is in tst_wizardtable.

#include <QtTest>

#include <QAbstractItemView>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>

#include "telegram.h"
#include "windowtest.h"

namespace {

constexpr int kAnswerWaitMs = 5000;
constexpr int kTimeoutWaitMs = 8000;
constexpr int kSlowUserMs = 1500;

constexpr char kIconGoNext[] = ":/Images/go-next-3.png";
constexpr char kIconDone[] = ":/Images/dialog-ok_2.png";
constexpr char kIconFailed[] = ":/Images/dialog-close_2.png";

// Console lines whose colour breaks the rule: the graduation hint in red,
// every other line in the console's own colour.
QStringList miscolouredLines(QWidget &window)
{
    QStringList wrong;
    const QTextDocument *console = child<QTextEdit>(window, "textEditOutput")->document();
    for (QTextBlock line = console->begin(); line.isValid(); line = line.next()) {
        const QBrush ink = line.begin().fragment().charFormat().foreground();
        const bool red = ink.style() != Qt::NoBrush && ink.color() == QColor(Qt::red);
        if (red != line.text().endsWith(germanMessage(110)))
            wrong.append(line.text());
    }
    return wrong;
}

} // namespace

class TestWizard : public QObject, DeviceWindow
{
    Q_OBJECT

private slots:
    void initTestCase() { registerTavik7Resources(); }
    // A fresh output log for each test: some look for what was not logged.
    void init() { freshBench(); }
    void cleanup()
    {
        closeBench();
        qunsetenv("TAVIK7_AVRDUDE");
        QVERIFY(noModalLeft());
    }

    void keyPathProgramsDevice();
    void counterTypesProgramDevice_data();
    void counterTypesProgramDevice();
    void answersArriveInOrderAtStep7_data();
    void answersArriveInOrderAtStep7();
    void wrongFirmwareDeclined();
    void deviceFailsAtStep4_data();
    void deviceFailsAtStep4();
    void closedPortAtStep4();
    void earlierChoiceAbandonsCheck();
    void focusLandsInEntryAfterDirectionPopup();
    void returnFromFlashing_data();
    void returnFromFlashing();
    void realFlashFromWizard();

private:
    bool choose(const char *comboName, const QString &text);
    bool chooseCounterType(const QString &digits, const QString &ua, const QString &places);
    // Chooses the type, waits for the firmware check and takes direction "right".
    bool reachEntry(const QString &digits, const QString &ua, const QString &places, const QString &typed);
    bool showsIcon(const char *label, const char *path);
    // The red lines above and below span the last digits as drawn, not the comma.
    bool framesSurroundDigitsAfterComma(int digits);
    QString sentTelegramHex();
};

bool TestWizard::framesSurroundDigitsAfterComma(int digits)
{
    auto *entry = w<QLineEdit>("lineEditCounter2");
    // Ink columns of the entry's text, grouped into glyphs; the cursor's one
    // pixel wide line is no glyph.
    const QImage image = entry->grab().toImage();
    QList<QPair<int, int>> glyphs;
    int start = -1;
    for (int x = 2; x <= image.width() - 2; ++x) {
        bool ink = false;
        for (int y = 2; x < image.width() - 2 && y < image.height() - 2 && !ink; ++y)
            ink = qGray(image.pixel(x, y)) < 128;
        if (ink && start < 0)
            start = x;
        if (!ink && start >= 0) {
            if (x - start > 1)
                glyphs.append({start, x - 1});
            start = -1;
        }
    }
    if (glyphs.size() != entry->text().size()) {
        qWarning() << "glyphs" << glyphs;
        return false;
    }
    const QPair<int, int> comma = glyphs.at(glyphs.size() - digits - 1);
    const int firstDigit = glyphs.at(glyphs.size() - digits).first;
    const int lastDigit = glyphs.last().second;
    for (const char *name : {"lineCounterFrame1", "lineCounterFrame2"}) {
        const QRect line = w<QFrame>(name)->geometry().translated(-entry->x(), 0);
        if (line.left() <= comma.second || line.left() > firstDigit || line.right() < lastDigit
            || line.right() > lastDigit + 6) {
            qWarning() << name << line << "comma" << comma << "digits" << firstDigit << lastDigit;
            return false;
        }
    }
    return true;
}

bool TestWizard::choose(const char *comboName, const QString &text)
{
    auto *combo = w<QComboBox>(comboName);
    const int index = combo->findText(text);
    if (index < 0 || !combo->isVisible())
        return false;
    combo->setCurrentIndex(index);
    return true;
}

bool TestWizard::chooseCounterType(const QString &digits, const QString &ua, const QString &places)
{
    return choose("comboBoxNumberOfDigits", digits) && choose("comboBoxUa", ua)
        && choose("comboBoxDecimalPlaces", places);
}

bool TestWizard::reachEntry(const QString &digits, const QString &ua, const QString &places, const QString &typed)
{
    if (!chooseCounterType(digits, ua, places)
        || !QTest::qWaitFor([this] { return w<QComboBox>("comboBoxDirection2")->isVisible(); }, kAnswerWaitMs)
        || !choose("comboBoxDirection2", germanText(80)))
        return false;
    w<QLineEdit>("lineEditCounter2")->setText(typed);
    return true;
}

bool TestWizard::showsIcon(const char *label, const char *path)
{
    return w<QLabel>(label)->pixmap().toImage() == QPixmap(QString::fromLatin1(path)).toImage();
}

// The hex of the last "SP" telegram the simulator received.
QString TestWizard::sentTelegramHex()
{
    const QStringList lines = sim->received();
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        if (it->startsWith(QLatin1String("RX SP ")))
            return it->section(QLatin1Char(' '), 2);
    }
    return QString();
}

void TestWizard::keyPathProgramsDevice()
{
    QVERIFY(connectDevice({"--counter", "123456789"}, 1));
    auto *ua = w<QComboBox>("comboBoxUa");
    auto *direction = w<QComboBox>("comboBoxDirection2");
    auto *entry = w<QLineEdit>("lineEditCounter2");
    auto *program = w<QPushButton>("pushButtonProgram");

    // Each step shows only once the one before is done.
    QVERIFY(!ua->isVisible());
    QVERIFY(showsIcon("labelSymbol1", kIconGoNext));
    QVERIFY(choose("comboBoxNumberOfDigits", "8"));
    QVERIFY(!w<QComboBox>("comboBoxDecimalPlaces")->isVisible());
    QVERIFY(showsIcon("labelSymbol1", kIconDone));
    QVERIFY(choose("comboBoxUa", "0.01"));
    QVERIFY(choose("comboBoxDecimalPlaces", "2"));
    QVERIFY(showsIcon("labelSymbol4", kIconGoNext));

    // Firmware 1.12 fits: the direction is offered once the device has answered.
    QTRY_VERIFY_WITH_TIMEOUT(direction->isVisible(), kAnswerWaitMs);
    QCOMPARE(w<QLabel>("labelSoftwareData")->text(), QStringLiteral("1.12"));
    QVERIFY(showsIcon("labelSymbol4", kIconDone));
    QCOMPARE(direction->currentIndex(), 0);
    QVERIFY(!entry->isVisible());

    // Step 6: the last digit is a graduation mark, which the user is told.
    {
        ModalAnswerer boxes(QStringList{"OK"}, kSlowUserMs);
        QVERIFY(choose("comboBoxDirection2", germanText(81)));
        QCOMPARE(boxes.answered(), 1);
        QVERIFY(boxes.texts.at(0).contains(germanText(242)));
    }
    QCOMPARE(entry->maxLength(), 10);
    QCOMPARE(entry->text(), QStringLiteral("123456,789"));
    QCOMPARE(entry->cursorPosition(), 0);
    QVERIFY(w<QFrame>("lineCounterFrame1")->isVisible());
    QVERIFY(framesSurroundDigitsAfterComma(3));
    QCOMPARE(consoleMessages(*window), QStringList({germanMessage(110)}));

    // The captions follow the language; the choices stay.
    window->findChild<QAction *>(QStringLiteral("actionEnglish"))->trigger();
    QCOMPARE(w<QLabel>("labelDirection2")->text(), tavik7::text(55, tavik7::English));
    QCOMPARE(direction->currentText(), QStringLiteral("left"));
    window->findChild<QAction *>(QStringLiteral("actionGerman"))->trigger();

    entry->setText(QStringLiteral("654321,987"));
    sim->clearLog();
    QStringList consoleAtConfirmation;
    ModalAnswerer boxes(QStringList{"Ja", "OK"}, kSlowUserMs, [&] {
        if (consoleAtConfirmation.isEmpty())
            consoleAtConfirmation = consoleMessages(*window);
    });
    program->click();
    QTRY_COMPARE_WITH_TIMEOUT(boxes.answered(), 2, 3 * kAnswerWaitMs);
    QVERIFY(boxes.unexpected.isEmpty());
    QCOMPARE(boxes.texts.at(0), germanMessage(102));
    QVERIFY2(boxes.texts.at(1).contains(QStringLiteral("v1.12")), qPrintable(boxes.texts.at(1)));
    // The confirmation came after the parameters were written.
    QVERIFY2(consoleAtConfirmation.contains(germanMessage(2)), qPrintable(consoleAtConfirmation.join('\n')));
    QTRY_COMPARE_WITH_TIMEOUT(consoleMessages(*window), QStringList({germanMessage(4)}), kAnswerWaitMs);
    QVERIFY(showsIcon("labelSymbol6", kIconDone));
    QCOMPARE(commands(sim->received()), QStringList({"SP", "S_ZLW"}));
    QCOMPARE(sim->received().at(1), QStringLiteral("RX S_ZLW 654321987"));
    const tavik7::WriteTelegram sent = tavik7::parseWriteTelegram(QByteArray::fromHex(sentTelegramHex().toLatin1()));
    QVERIFY(sent.valid);
    QCOMPARE(int(sent.record.significance), 0);
    QCOMPARE(int(sent.record.direction), 1);

    // Read back from the device, the counter has three decimals.
    w<QTabWidget>("tabWidget")->setCurrentIndex(2);
    w<QPushButton>("pushButtonReadSettings")->click();
    QTRY_COMPARE_WITH_TIMEOUT(consoleMessages(*window), germanMessages({1, 3}), kAnswerWaitMs);
    QCOMPARE(w<QLineEdit>("lineEditCounter")->text(), QStringLiteral("654321,987"));
    QCOMPARE(w<QComboBox>("comboBoxDirection")->currentIndex(), 1);
}

void TestWizard::counterTypesProgramDevice_data()
{
    QTest::addColumn<QString>("digits");
    QTest::addColumn<QString>("ua");
    QTest::addColumn<QString>("places");
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("entry");   // as prepared from the device's counter
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written"); // digits of "S_ZLW"
    QTest::addColumn<int>("significance");
    QTest::addColumn<int>("leadingPlus");
    QTest::addColumn<bool>("hint"); // the last digit is a graduation mark

    // The kinds of row end to end: no Ua value, the x10 factor, an entry
    // longer than the device's eight digits, later firmware. The device
    // counts 12345678 (eight digits at 1.11, 012345678 at 1.12) with
    // significance 3, so its reading has no comma.
    QTest::newRow("8/---/2") << "8" << "---" << "2" << 111 << "123456,78" << "876543,21" << "87654321" << 1 << 0
                             << false;
    QTest::newRow("8/---/x10") << "8" << "---" << "x10" << 111 << "12345678" << "87654321" << "87654321" << 4 << 1
                               << false;
    QTest::newRow("8/10/x10") << "8" << "10" << "x10" << 112 << "01234567,8" << "12345678,9" << "123456789" << 3
                              << 1 << true;
    QTest::newRow("9/1/1") << "9" << "1" << "1" << 113 << "01234567,8" << "87654321,9" << "876543219" << 2 << 0
                           << false;
}

void TestWizard::counterTypesProgramDevice()
{
    QFETCH(QString, digits);
    QFETCH(QString, ua);
    QFETCH(QString, places);
    QFETCH(int, version);
    QFETCH(QString, entry);
    QFETCH(QString, typed);
    QFETCH(QString, written);
    QFETCH(int, significance);
    QFETCH(int, leadingPlus);
    QFETCH(bool, hint);

    QVERIFY(connectDevice({"--version", QString::number(version), "--direction", "1"}, 1));
    QStringList answers{"Ja", "OK"};
    if (hint)
        answers.prepend("OK");
    QStringList miscoloured;
    bool hintShown = false;
    ModalAnswerer boxes(answers, 0, [&] {
        miscoloured += miscolouredLines(*window);
        hintShown = hintShown || consoleMessages(*window).contains(germanMessage(110));
    });
    QVERIFY(chooseCounterType(digits, ua, places));

    auto *direction = w<QComboBox>("comboBoxDirection2");
    auto *entryEdit = w<QLineEdit>("lineEditCounter2");
    if (ua == QLatin1String("---")) {
        // No Ua value: the direction is right and not offered.
        QTRY_VERIFY_WITH_TIMEOUT(entryEdit->isVisible(), kAnswerWaitMs);
        QCOMPARE(direction->currentIndex(), 1);
        QVERIFY(!direction->isEnabled());
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(direction->isVisible(), kAnswerWaitMs);
        QVERIFY(choose("comboBoxDirection2", germanText(80)));
    }
    QCOMPARE(entryEdit->text(), entry);
    QCOMPARE(w<QLabel>("labelFactor")->isVisible(), places == QLatin1String("x10"));

    entryEdit->setText(typed);
    sim->clearLog();
    w<QPushButton>("pushButtonProgram")->click();
    QVERIFY(sim->waitForReceived(2));
    QCOMPARE(sim->received().at(1), QStringLiteral("RX S_ZLW ") + written);
    QTRY_COMPARE_WITH_TIMEOUT(consoleMessages(*window), QStringList({germanMessage(4)}), kAnswerWaitMs);
    QTRY_VERIFY(noModalLeft());

    const tavik7::WriteTelegram sent = tavik7::parseWriteTelegram(QByteArray::fromHex(sentTelegramHex().toLatin1()));
    QVERIFY(sent.valid);
    QCOMPARE(int(sent.record.significance), significance);
    QCOMPARE(int(sent.record.leadingPlus), leadingPlus);
    QCOMPARE(int(sent.record.direction), 0); // right, from the device's left
    QVERIFY(boxes.unexpected.isEmpty());
    QCOMPARE(boxes.answered(), int(answers.size()));
    QVERIFY(boxes.texts.last().contains(QStringLiteral("v%1").arg(version / 100.0, 0, 'f', 2)));
    // The hint stays in view in red while the next messages come in their own colour.
    QCOMPARE(hintShown, hint);
    QVERIFY2(miscoloured.isEmpty(), qPrintable(miscoloured.join('\n')));
}

void TestWizard::answersArriveInOrderAtStep7_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("holdMs");
    QTest::addColumn<int>("atConfirmation"); // the message shown when the confirmation opens
    QTest::addColumn<QList<int>>("notLogged");

    // A quick user confirms at once; the answer to the telegram is slow to come.
    QTest::newRow("SP answer in pieces") << "pieces=SP" << 0 << 2 << QList<int>{55};
    QTest::newRow("SP no answer") << "silent=SP" << 0 << 70 << QList<int>{55};
    // The counter answer trickles in; the reminder shows at its first bytes
    // and stays open longer than the request's time-out while the rest arrives.
    QTest::newRow("reminder open while S_ZLW trickles in") << "pieces=S_ZLW" << 6000 << 2 << QList<int>{55, 70};
}

void TestWizard::answersArriveInOrderAtStep7()
{
    QFETCH(QString, fault);
    QFETCH(int, holdMs);
    QFETCH(int, atConfirmation);
    QFETCH(QList<int>, notLogged);

    QVERIFY(connectDevice({}, 1));
    QVERIFY(reachEntry("9", "10", "0", "000000042"));
    QVERIFY(sim->control("fault-once " + fault.toLatin1()));
    sim->clearLog();
    QStringList console;
    ModalAnswerer boxes(QStringList{"Ja", "OK"}, holdMs, [&] {
        if (console.isEmpty())
            console = consoleMessages(*window);
    });
    w<QPushButton>("pushButtonProgram")->click();
    QTRY_COMPARE_WITH_TIMEOUT(boxes.answered(), 2, 20000);
    QCOMPARE(console.value(console.size() - 1), germanMessage(atConfirmation));
    QTRY_COMPARE_WITH_TIMEOUT(consoleMessages(*window), QStringList({germanMessage(4)}), kAnswerWaitMs);
    QCOMPARE(sim->received().size(), 2);
    QCOMPARE(sim->received().at(1), QStringLiteral("RX S_ZLW 000000042"));
    for (int id : notLogged)
        QVERIFY2(!outputLog(appData->path()).contains(germanMessage(id).toLatin1()), qPrintable(germanMessage(id)));
}

void TestWizard::wrongFirmwareDeclined()
{
    QVERIFY(connectDevice({"--version", "111"}, 1));
    {
        ModalAnswerer boxes(QStringList{"Cancel"}, kSlowUserMs);
        QVERIFY(chooseCounterType("8", "0.01", "2"));
        QTRY_COMPARE_WITH_TIMEOUT(boxes.answered(), 1, kAnswerWaitMs + kSlowUserMs);
        QCOMPARE(boxes.texts.at(0), germanText(239));
        QCOMPARE(boxes.informativeTexts.at(0), germanText(241));
        QCOMPARE(boxes.buttonTexts.at(0).split(QLatin1Char('|')).size(), 2);
        QVERIFY(boxes.buttonTexts.at(0).contains(germanText(238)));
        QTRY_VERIFY(showsIcon("labelSymbol4", kIconFailed));
    }
    QCOMPARE(w<QTabWidget>("tabWidget")->currentIndex(), 1);
    QCOMPARE(w<QLabel>("labelSoftwareData")->text(), QStringLiteral("1.11"));
    QVERIFY(!w<QComboBox>("comboBoxDirection2")->isVisible());
    QVERIFY(w<QLineEdit>("lineEditSelectedFileFlashen")->text().isEmpty());
    // The counter read after the check still came through.
    QTRY_COMPARE(consoleMessages(*window), germanMessages({1, 3}));

    // A V1.11 type on this device fits; the shared box holds no leftover button
    // when it is shown again for a V1.12 type.
    QVERIFY(choose("comboBoxDecimalPlaces", QString()));
    QVERIFY(choose("comboBoxUa", "0.1"));
    QVERIFY(choose("comboBoxDecimalPlaces", "2"));
    QTRY_VERIFY_WITH_TIMEOUT(w<QComboBox>("comboBoxDirection2")->isVisible(), kAnswerWaitMs);
    ModalAnswerer boxes(QStringList{"Cancel"});
    QVERIFY(choose("comboBoxDecimalPlaces", "1"));
    QTRY_COMPARE_WITH_TIMEOUT(boxes.answered(), 1, kAnswerWaitMs);
    QCOMPARE(boxes.buttonTexts.at(0).split(QLatin1Char('|')).size(), 2);
    QTRY_VERIFY(showsIcon("labelSymbol4", kIconFailed));
}

void TestWizard::deviceFailsAtStep4_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("message");
    QTest::newRow("silent") << "silent=LP" << 70;
    QTest::newRow("Fehler!") << "error=LP" << 51;
}

void TestWizard::deviceFailsAtStep4()
{
    QFETCH(QString, fault);
    QFETCH(int, message);
    QVERIFY(connectDevice({"--fault", fault}, 1));
    ModalAnswerer anyBox;
    QVERIFY(chooseCounterType("9", "1", "1"));
    QVERIFY(showsIcon("labelSymbol4", kIconGoNext));
    QTRY_VERIFY_WITH_TIMEOUT(showsIcon("labelSymbol4", kIconFailed), kTimeoutWaitMs);
    QCOMPARE(consoleMessages(*window), QStringList({germanMessage(message)}));
    QVERIFY(w<QLabel>("labelSoftwareData")->text().isEmpty());
    QVERIFY(!w<QComboBox>("comboBoxDirection2")->isVisible());
    QCOMPARE(anyBox.answered(), 0);

    // Choosing again asks the device again.
    QVERIFY(sim->control("clear-faults"));
    sim->clearLog();
    QVERIFY(choose("comboBoxDecimalPlaces", QString()));
    QVERIFY(choose("comboBoxDecimalPlaces", "1"));
    QTRY_VERIFY_WITH_TIMEOUT(w<QComboBox>("comboBoxDirection2")->isVisible(), kAnswerWaitMs);
    QCOMPARE(sim->received().value(0), QStringLiteral("RX LP"));
}

void TestWizard::closedPortAtStep4()
{
    QVERIFY(connectDevice({}, 1));
    w<QPushButton>("pushButtonDisconnect")->click();
    QVERIFY(chooseCounterType("9", "1", "1"));
    QVERIFY(showsIcon("labelSymbol4", kIconFailed));
    QVERIFY(!w<QLabel>("labelSoftwareData")->isVisible());
    QTest::qWait(200);
    QVERIFY(sim->received().isEmpty());
}

void TestWizard::earlierChoiceAbandonsCheck()
{
    // The user changes the Ua value while the device is still being read:
    // its answer must not move the wizard on.
    QVERIFY(connectDevice({"--fault", "pieces=LP"}, 1));
    QVERIFY(chooseCounterType("9", "1", "1"));
    QVERIFY(choose("comboBoxUa", "10"));
    QVERIFY(sim->waitForReceived(2)); // LP answered, counter read
    QTRY_COMPARE_WITH_TIMEOUT(consoleMessages(*window), germanMessages({1, 3}), kAnswerWaitMs);
    QTest::qWait(100);
    QVERIFY(!w<QComboBox>("comboBoxDirection2")->isVisible());
    QVERIFY(w<QComboBox>("comboBoxDecimalPlaces")->isVisible());
    QCOMPARE(w<QComboBox>("comboBoxDecimalPlaces")->currentIndex(), 0);
}

void TestWizard::focusLandsInEntryAfterDirectionPopup()
{
    QVERIFY(connectDevice({}, 1));
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QVERIFY(chooseCounterType("9", "10", "0"));
    auto *direction = w<QComboBox>("comboBoxDirection2");
    QTRY_VERIFY_WITH_TIMEOUT(direction->isVisible(), kAnswerWaitMs);

    // Chosen the way a user does: open the list, click the item.
    direction->setFocus();
    direction->showPopup();
    QAbstractItemView *list = direction->view();
    QTRY_VERIFY(list->isVisible());
    const QRect item = list->visualRect(list->model()->index(2, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, item.center());
    QTRY_VERIFY(!list->isVisible());
    QCOMPARE(direction->currentIndex(), 2);
    auto *entry = w<QLineEdit>("lineEditCounter2");
    // The window's focus widget is what gets the keys; the offscreen
    // platform leaves no window active once the list has closed.
    QTRY_COMPARE(window->focusWidget(), entry);
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QTRY_COMPARE(QApplication::focusWidget(), entry);
    QCOMPARE(entry->cursorPosition(), 0);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("98"));
    QCOMPARE(entry->text(), QStringLiteral("982345678"));
    QCOMPARE(direction->currentIndex(), 2);
}

void TestWizard::returnFromFlashing_data()
{
    QTest::addColumn<QByteArray>("tool"); // script of the stand-in flash tool; empty: none there
    QTest::addColumn<bool>("succeeds");

    QTest::newRow("flash fails") << QByteArray("echo 'avrdude done.  Thank you.'\nexit 1\n") << false;
    QTest::newRow("tool missing") << QByteArray() << false;
    QTest::newRow("flash succeeds") << QByteArray("echo 'avrdude done.  Thank you.'\nexit 0\n") << true;
}

void TestWizard::returnFromFlashing()
{
    QFETCH(QByteArray, tool);
    QFETCH(bool, succeeds);

    QTemporaryDir toolDir;
    QVERIFY(toolDir.isValid());
    const QString toolPath = toolDir.filePath(QStringLiteral("avrdude"));
    if (!tool.isEmpty()) {
        QFile script(toolPath);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\n" + tool);
        script.close();
        QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }
    qputenv("TAVIK7_AVRDUDE", QFile::encodeName(toolPath));

    QVERIFY(connectDevice({"--version", "111"}, 1));
    QStringList answers{germanText(238), "OK"};
    if (!tool.isEmpty())
        answers.append("OK");
    ModalAnswerer boxes(answers, kSlowUserMs);
    QVERIFY(chooseCounterType("8", "0.01", "2"));

    QTRY_COMPARE_WITH_TIMEOUT(boxes.answered(), int(answers.size()), 4 * kSlowUserMs + kAnswerWaitMs);
    QVERIFY(boxes.unexpected.isEmpty());
    QCOMPARE(w<QLineEdit>("lineEditSelectedFileFlashen")->text(),
             QDir::toNativeSeparators(QDir::currentPath() + QStringLiteral("/AVRDude/tavik_v1_12.hex")));
    if (!tool.isEmpty())
        QCOMPARE(boxes.texts.last(), germanText(succeeds ? 245 : 246));

    // The port is taken back and the wizard shown again.
    QTRY_COMPARE_WITH_TIMEOUT(window->windowTitle(), QStringLiteral("TAVIK7 PC Software: ") + sim->portPath(),
                              kAnswerWaitMs);
    QCOMPARE(w<QTabWidget>("tabWidget")->currentIndex(), 1);
    // A device still on 1.11 must not get a 1.12 counter type programmed.
    QCOMPARE(w<QComboBox>("comboBoxDirection2")->isVisible(), succeeds);
    QVERIFY(showsIcon("labelSymbol4", succeeds ? kIconDone : kIconFailed));
    QCOMPARE(w<QLabel>("labelSoftwareData")->text(), QString::fromLatin1(succeeds ? "1.12" : "1.11"));
    if (!succeeds)
        QVERIFY(!w<QPushButton>("pushButtonProgram")->isVisible());
}

void TestWizard::realFlashFromWizard()
{
    // The whole road with the real tool: the wizard finds 1.11, real avrdude
    // writes 1.12 into the simulated boot loader, the port is taken back and
    // the wizard programs a counter type that needs 1.12.
    const QString image = QStringLiteral(TAVIK7_FIRMWARE_DIR "/tavik_v1_12.hex");
    if (QStandardPaths::findExecutable(QStringLiteral("avrdude")).isEmpty() || !QFile::exists(image))
        QSKIP("needs avrdude and the firmware images");

    // The technician's working directory, with the images in its AVRDude folder.
    QTemporaryDir work;
    QVERIFY(work.isValid());
    QVERIFY(QDir(work.path()).mkdir(QStringLiteral("AVRDude")));
    QVERIFY(QFile::copy(image, work.filePath(QStringLiteral("AVRDude/tavik_v1_12.hex"))));
    const QString previousDir = QDir::currentPath();
    const auto restoreDir = qScopeGuard([&] { QDir::setCurrent(previousDir); });
    QVERIFY(QDir::setCurrent(work.path()));

    QVERIFY(connectDevice({"--version", "111"}, 1));
    ModalAnswerer flashBoxes(QStringList{germanText(238), "OK", "OK"}, kSlowUserMs);
    QVERIFY(chooseCounterType("8", "0.01", "2"));
    QTRY_COMPARE_WITH_TIMEOUT(flashBoxes.answered(), 3, 60000);
    QVERIFY(flashBoxes.unexpected.isEmpty());
    QVERIFY2(flashBoxes.texts.at(2) == germanText(245), qPrintable(w<QTextEdit>("textEditConsole")->toPlainText()));

    // Back at step 5 with the firmware that fits, then programmed.
    QTRY_VERIFY_WITH_TIMEOUT(w<QComboBox>("comboBoxDirection2")->isVisible(), kAnswerWaitMs);
    QCOMPARE(w<QLabel>("labelSoftwareData")->text(), QStringLiteral("1.12"));
    ModalAnswerer boxes(QStringList{"OK", "Ja", "OK"});
    QVERIFY(choose("comboBoxDirection2", germanText(80)));
    w<QLineEdit>("lineEditCounter2")->setText(QStringLiteral("654321,987"));
    w<QPushButton>("pushButtonProgram")->click();
    QTRY_COMPARE_WITH_TIMEOUT(boxes.answered(), 3, 2 * kAnswerWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(consoleMessages(*window), QStringList({germanMessage(4)}), kAnswerWaitMs);

    // The device itself now says 1.12 and counts with three decimals.
    w<QTabWidget>("tabWidget")->setCurrentIndex(2);
    w<QPushButton>("pushButtonReadSettings")->click();
    QTRY_COMPARE_WITH_TIMEOUT(consoleMessages(*window), germanMessages({1, 3}), kAnswerWaitMs);
    QCOMPARE(tableModel(*window)->item(7, 1)->text(), QStringLiteral("1.12"));
    QCOMPARE(w<QComboBox>("comboBoxSignificance")->currentIndex(), 0);
    QCOMPARE(w<QLineEdit>("lineEditCounter")->text(), QStringLiteral("654321,987"));
}

QTEST_MAIN(TestWizard)
#include "tst_wizard.moc"
