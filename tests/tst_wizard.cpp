// The wizard against the simulated device: choosing a counter type, the
// firmware check, the counter entry and programming, with the boxes answered
// as a technician would, some of them only after a while.

#include <QtTest>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextEdit>

#include <functional>
#include <memory>

#include "devsim.h"
#include "modaldialogs.h"
#include "tavik7_bediensoftware.h"
#include "telegram.h"
#include "texttable.h"
#include "windowaccess.h"

namespace {

constexpr int kAnswerWaitMs = 5000;
constexpr int kTimeoutWaitMs = 8000;
constexpr int kSlowUserMs = 1500;

QString german(int textId)
{
    return tavik7::text(textId, tavik7::German);
}

QString germanMessage(int messageId)
{
    return tavik7::messageText(messageId, tavik7::German);
}

QString buttonCaption(const QAbstractButton *button)
{
    return button->text().remove(QLatin1Char('&'));
}

// Answers the message boxes one after another, each with the button of the
// given caption, after holding it open for holdMs. onShown runs when a box
// has just appeared, to look at the window at that moment.
class BoxScript : public QObject
{
public:
    explicit BoxScript(QStringList captions, int holdMs = 0, std::function<void()> onShown = {})
        : captions(std::move(captions)), holdMs(holdMs), onShown(std::move(onShown))
    {
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, this, [this] { poll(); });
        timer.start();
    }

    QStringList texts;
    QStringList informativeTexts;
    QStringList buttonTexts;
    QStringList unexpected; // boxes beyond the script, or without the scripted button

    [[nodiscard]] int answered() const { return int(texts.size()); }

private:
    void poll()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box) {
            seenBox = nullptr;
            lastBox = nullptr;
            return;
        }
        if (box == lastBox)
            return;
        if (box != seenBox) {
            seenBox = box;
            seen.start();
            if (onShown)
                onShown();
        }
        if (seen.elapsed() < holdMs)
            return;
        lastBox = box;
        texts.append(box->text());
        informativeTexts.append(box->informativeText());
        QStringList shown;
        for (QAbstractButton *b : box->buttons())
            shown.append(buttonCaption(b));
        buttonTexts.append(shown.join(QLatin1Char('|')));

        const QString wanted = captions.value(answered() - 1);
        QAbstractButton *target = nullptr;
        for (QAbstractButton *b : box->buttons()) {
            if (buttonCaption(b) == wanted)
                target = b;
        }
        if (!target) {
            unexpected.append(box->text());
            target = box->buttons().value(0);
        }
        if (target)
            target->click();
        // The window's one message box may be shown again at once, before
        // any poll finds it closed: a box that closed is new when it reappears.
        if (!box->isVisible()) {
            seenBox = nullptr;
            lastBox = nullptr;
        }
    }

    QStringList captions;
    int holdMs;
    std::function<void()> onShown;
    QTimer timer;
    QElapsedTimer seen;
    QPointer<QMessageBox> seenBox;
    QPointer<QMessageBox> lastBox;
};

bool showsIcon(QLabel *label, const char *path)
{
    return label->pixmap().toImage() == QPixmap(QString::fromLatin1(path)).toImage();
}

constexpr char kIconGoNext[] = ":/Images/go-next-3.png";
constexpr char kIconDone[] = ":/Images/dialog-ok_2.png";
constexpr char kIconFailed[] = ":/Images/dialog-close_2.png";

} // namespace

class TestWizard : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void keyPathProgramsDevice();
    void everyCounterTypeProgramsDevice_data();
    void everyCounterTypeProgramsDevice();
    void parameterAnswerComesBeforeCounterRequest_data();
    void parameterAnswerComesBeforeCounterRequest();
    void reminderWaitsForNoAnswer();
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
    bool startDevice(const QStringList &args = {});
    bool connectFromInterfaceTab();
    bool choose(const char *comboName, const QString &text);
    bool chooseCounterType(const QString &digits, const QString &ua, const QString &places);
    QString sentTelegramHex();

    QScopedPointer<QTemporaryDir> appData;
    QString startDirectory;
    std::unique_ptr<DevSim> sim;
    std::unique_ptr<TAVIK7_Bediensoftware> window;
};

void TestWizard::initTestCase()
{
    registerTavik7Resources();
    startDirectory = QDir::currentPath();
}

void TestWizard::init()
{
    // A fresh output log for each test: some look for what was not logged.
    appData.reset(new QTemporaryDir);
    QVERIFY(appData->isValid());
    qputenv("APPDATA", QFile::encodeName(appData->path()));
    sim = std::make_unique<DevSim>();
}

void TestWizard::cleanup()
{
    window.reset();
    sim.reset();
    qunsetenv("TAVIK7_AVRDUDE");
    QDir::setCurrent(startDirectory);
    QVERIFY(noModalLeft());
}

bool TestWizard::startDevice(const QStringList &args)
{
    if (!sim->start(args))
        return false;
    qputenv("TAVIK7_EXTRA_PORTS", QFile::encodeName(sim->portPath()));
    window = std::make_unique<TAVIK7_Bediensoftware>();
    window->show();
    return true;
}

bool TestWizard::connectFromInterfaceTab()
{
    auto *devices = child<QComboBox>(*window, "comboBoxDevice");
    const int index = devices->findText(sim->portPath());
    if (index < 0)
        return false;
    devices->setCurrentIndex(index);
    child<QTabWidget>(*window, "tabWidget")->setCurrentIndex(0);
    child<QPushButton>(*window, "pushButtonConnect")->click();
    return child<QTabWidget>(*window, "tabWidget")->currentIndex() == 1;
}

bool TestWizard::choose(const char *comboName, const QString &text)
{
    auto *combo = child<QComboBox>(*window, comboName);
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
    QVERIFY(startDevice({QStringLiteral("--counter"), QStringLiteral("123456789")}));
    QVERIFY(connectFromInterfaceTab());

    auto *digits = child<QComboBox>(*window, "comboBoxNumberOfDigits");
    auto *ua = child<QComboBox>(*window, "comboBoxUa");
    auto *places = child<QComboBox>(*window, "comboBoxDecimalPlaces");
    auto *direction = child<QComboBox>(*window, "comboBoxDirection2");
    auto *entry = child<QLineEdit>(*window, "lineEditCounter2");
    auto *program = child<QPushButton>(*window, "pushButtonProgram");

    QVERIFY(digits->isVisible());
    QVERIFY(!ua->isVisible());
    QVERIFY(!program->isVisible());
    QVERIFY(showsIcon(child<QLabel>(*window, "labelSymbol1"), kIconGoNext));
    QCOMPARE(digits->count(), 3);

    QVERIFY(choose("comboBoxNumberOfDigits", QStringLiteral("8")));
    QVERIFY(ua->isVisible());
    QVERIFY(!places->isVisible());
    QCOMPARE(ua->count(), 7);
    QVERIFY(showsIcon(child<QLabel>(*window, "labelSymbol1"), kIconDone));
    QVERIFY(choose("comboBoxUa", QStringLiteral("0.01")));
    QCOMPARE(places->count(), 2);
    QVERIFY(choose("comboBoxDecimalPlaces", QStringLiteral("2")));
    QVERIFY(child<QLabel>(*window, "labelSoftwareData")->isVisible());
    QVERIFY(showsIcon(child<QLabel>(*window, "labelSymbol4"), kIconGoNext));

    // Firmware 1.12 fits: the direction is offered once the device has answered.
    QVERIFY(sim->waitForReceived(2));
    QTRY_VERIFY_WITH_TIMEOUT(direction->isVisible(), kAnswerWaitMs);
    QCOMPARE(child<QLabel>(*window, "labelSoftwareData")->text(), QStringLiteral("1.12"));
    QVERIFY(showsIcon(child<QLabel>(*window, "labelSymbol4"), kIconDone));
    QVERIFY(direction->isEnabled());
    QCOMPARE(direction->currentIndex(), 0);
    QVERIFY(!entry->isVisible());

    // Step 6: the last digit is a graduation mark, which the user is told.
    {
        BoxScript boxes({QStringLiteral("OK")}, kSlowUserMs);
        QVERIFY(choose("comboBoxDirection2", german(81)));
        QCOMPARE(boxes.answered(), 1);
        QVERIFY(boxes.texts.at(0).contains(german(242)));
        QVERIFY(boxes.texts.at(0).startsWith(QStringLiteral("<font color = red>")));
    }
    QVERIFY(entry->isVisible());
    QCOMPARE(entry->maxLength(), 10);
    QCOMPARE(entry->text(), QStringLiteral("123456,789"));
    QCOMPARE(entry->cursorPosition(), 0);
    QVERIFY(!child<QLabel>(*window, "labelFactor")->isVisible());
    QVERIFY(child<QFrame>(*window, "lineCounterFrame1")->isVisible());
    QCOMPARE(child<QFrame>(*window, "lineCounterFrame1")->geometry(), QRect(587, 319, 45, 20));
    QCOMPARE(child<QFrame>(*window, "lineCounterFrame3")->geometry(), QRect(615, 330, 30, 23));
    QCOMPARE(consoleMessages(*window), QStringList({germanMessage(110)}));
    QVERIFY(program->isVisible());

    // The captions follow the language; the choices stay.
    window->findChild<QAction *>(QStringLiteral("actionEnglish"))->trigger();
    QCOMPARE(child<QLabel>(*window, "labelDirection2")->text(), tavik7::text(55, tavik7::English));
    QCOMPARE(direction->currentText(), QStringLiteral("left"));
    window->findChild<QAction *>(QStringLiteral("actionGerman"))->trigger();

    entry->setText(QStringLiteral("654321,987"));
    sim->clearLog();
    QStringList consoleAtConfirmation;
    BoxScript boxes({QStringLiteral("Ja"), QStringLiteral("OK")}, kSlowUserMs, [&] {
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
    QVERIFY(showsIcon(child<QLabel>(*window, "labelSymbol6"), kIconDone));

    const QStringList received = sim->received();
    QCOMPARE(received.size(), 2);
    QVERIFY(received.at(0).startsWith(QLatin1String("RX SP ")));
    QCOMPARE(received.at(1), QStringLiteral("RX S_ZLW 654321987"));
    const tavik7::WriteTelegram sent = tavik7::parseWriteTelegram(QByteArray::fromHex(sentTelegramHex().toLatin1()));
    QVERIFY(sent.valid);
    QCOMPARE(int(sent.record.significance), 0);
    QCOMPARE(int(sent.record.leadingPlus), 0);
    QCOMPARE(int(sent.record.direction), 1);

    // Read back from the device, the counter has three decimals.
    child<QTabWidget>(*window, "tabWidget")->setCurrentIndex(2);
    child<QPushButton>(*window, "pushButtonReadSettings")->click();
    QTRY_COMPARE_WITH_TIMEOUT(consoleMessages(*window), QStringList({germanMessage(1), germanMessage(3)}),
                              kAnswerWaitMs);
    QCOMPARE(child<QLineEdit>(*window, "lineEditCounter")->text(), QStringLiteral("654321,987"));
    QCOMPARE(child<QComboBox>(*window, "comboBoxSignificance")->currentIndex(), 0);
    QCOMPARE(child<QComboBox>(*window, "comboBoxDirection")->currentIndex(), 1);
}

void TestWizard::everyCounterTypeProgramsDevice_data()
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
    QTest::addColumn<bool>("factor");
    QTest::addColumn<bool>("hint"); // the last digit is a graduation mark

    // The device counts 12345678 (eight digits at 1.11, 012345678 at 1.12)
    // with significance 3, so its reading has no comma.
    QTest::newRow("8/---/2") << "8" << "---" << "2" << 111 << "123456,78" << "876543,21" << "87654321" << 1 << 0
                             << false << false;
    QTest::newRow("8/---/1") << "8" << "---" << "1" << 111 << "1234567,8" << "8765432,1" << "87654321" << 2 << 0
                             << false << false;
    QTest::newRow("8/---/0") << "8" << "---" << "0" << 111 << "12345678" << "87654321" << "87654321" << 3 << 1
                             << false << false;
    QTest::newRow("8/---/x10") << "8" << "---" << "x10" << 111 << "12345678" << "87654321" << "87654321" << 4 << 1
                               << true << false;
    QTest::newRow("8/0.01/2") << "8" << "0.01" << "2" << 112 << "012345,678" << "876543,219" << "876543219" << 0
                              << 0 << false << true;
    QTest::newRow("8/0.1/2") << "8" << "0.1" << "2" << 111 << "123456,78" << "876543,21" << "87654321" << 1 << 0
                             << false << false;
    QTest::newRow("8/0.1/1") << "8" << "0.1" << "1" << 112 << "0123456,78" << "8765432,19" << "876543219" << 1 << 0
                             << false << true;
    QTest::newRow("8/1/1") << "8" << "1" << "1" << 111 << "1234567,8" << "8765432,1" << "87654321" << 2 << 0
                           << false << false;
    QTest::newRow("8/1/0") << "8" << "1" << "0" << 112 << "01234567,8" << "87654321,9" << "876543219" << 2 << 0
                           << false << true;
    QTest::newRow("8/10/0") << "8" << "10" << "0" << 111 << "12345678" << "87654321" << "87654321" << 3 << 1
                            << false << false;
    QTest::newRow("8/10/x10") << "8" << "10" << "x10" << 112 << "01234567,8" << "12345678,9" << "123456789" << 3
                              << 1 << true << true;
    QTest::newRow("8/100/x10") << "8" << "100" << "x10" << 111 << "12345678" << "87654321" << "87654321" << 4 << 1
                               << true << false;
    QTest::newRow("9/0.01/3") << "9" << "0.01" << "3" << 112 << "012345,678" << "876543,219" << "876543219" << 0
                              << 0 << false << false;
    QTest::newRow("9/0.1/2") << "9" << "0.1" << "2" << 112 << "0123456,78" << "8765432,19" << "876543219" << 1 << 0
                             << false << false;
    QTest::newRow("9/1/1") << "9" << "1" << "1" << 113 << "01234567,8" << "87654321,9" << "876543219" << 2 << 0
                           << false << false;
    QTest::newRow("9/10/0") << "9" << "10" << "0" << 112 << "012345678" << "876543219" << "876543219" << 3 << 1
                            << false << false;
    QTest::newRow("9/100/x10") << "9" << "100" << "x10" << 112 << "012345678" << "876543219" << "876543219" << 4
                               << 1 << true << false;
}

void TestWizard::everyCounterTypeProgramsDevice()
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
    QFETCH(bool, factor);
    QFETCH(bool, hint);

    QVERIFY(startDevice({QStringLiteral("--version"), QString::number(version), QStringLiteral("--direction"),
                         QStringLiteral("1")}));
    QVERIFY(connectFromInterfaceTab());
    QStringList answers{QStringLiteral("Ja"), QStringLiteral("OK")};
    if (hint)
        answers.prepend(QStringLiteral("OK"));
    BoxScript boxes(answers);
    QVERIFY(chooseCounterType(digits, ua, places));

    auto *direction = child<QComboBox>(*window, "comboBoxDirection2");
    auto *entryEdit = child<QLineEdit>(*window, "lineEditCounter2");
    if (ua == QLatin1String("---")) {
        // No Ua value: the direction is right and not offered.
        QTRY_VERIFY_WITH_TIMEOUT(entryEdit->isVisible(), kAnswerWaitMs);
        QCOMPARE(direction->currentIndex(), 1);
        QVERIFY(!direction->isEnabled());
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(direction->isVisible(), kAnswerWaitMs);
        QVERIFY(choose("comboBoxDirection2", german(80)));
    }
    QVERIFY(entryEdit->isVisible());
    QCOMPARE(entryEdit->text(), entry);
    QCOMPARE(entryEdit->maxLength(), int(entry.size()));
    QCOMPARE(child<QLabel>(*window, "labelFactor")->isVisible(), factor);

    entryEdit->setText(typed);
    sim->clearLog();
    child<QPushButton>(*window, "pushButtonProgram")->click();
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
    if (hint)
        QVERIFY(boxes.texts.first().contains(german(242)));
    QVERIFY(boxes.texts.last().contains(QStringLiteral("v%1").arg(version / 100.0, 0, 'f', 2)));
}

void TestWizard::parameterAnswerComesBeforeCounterRequest_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QStringList>("consoleAtConfirmation");

    // A quick user confirms at once; the answer to the telegram is slow to come.
    QTest::newRow("answer in pieces") << "pieces=SP" << QStringList({germanMessage(2)});
    QTest::newRow("no answer") << "silent=SP" << QStringList({germanMessage(70)});
}

void TestWizard::parameterAnswerComesBeforeCounterRequest()
{
    QFETCH(QString, fault);
    QFETCH(QStringList, consoleAtConfirmation);

    QVERIFY(startDevice());
    QVERIFY(connectFromInterfaceTab());
    QVERIFY(chooseCounterType(QStringLiteral("9"), QStringLiteral("10"), QStringLiteral("0")));
    auto *direction = child<QComboBox>(*window, "comboBoxDirection2");
    QTRY_VERIFY_WITH_TIMEOUT(direction->isVisible(), kAnswerWaitMs);
    QVERIFY(choose("comboBoxDirection2", german(80)));
    child<QLineEdit>(*window, "lineEditCounter2")->setText(QStringLiteral("000000042"));

    QVERIFY(sim->control("fault-once " + fault.toLatin1()));
    sim->clearLog();
    QStringList console;
    BoxScript boxes({QStringLiteral("Ja"), QStringLiteral("OK")}, 0, [&] {
        if (console.isEmpty())
            console = consoleMessages(*window);
    });
    child<QPushButton>(*window, "pushButtonProgram")->click();
    QTRY_COMPARE_WITH_TIMEOUT(boxes.answered(), 2, kTimeoutWaitMs + kAnswerWaitMs);
    QCOMPARE(console.mid(console.size() - 1), consoleAtConfirmation);
    QTRY_COMPARE_WITH_TIMEOUT(consoleMessages(*window), QStringList({germanMessage(4)}), kAnswerWaitMs);
    QCOMPARE(sim->received().size(), 2);
    QCOMPARE(sim->received().at(1), QStringLiteral("RX S_ZLW 000000042"));

    QFile log(appData->filePath(QStringLiteral("KLV TAVIK7 PC Software/Tavik7_Output_Logfile1.txt")));
    QVERIFY(log.open(QIODevice::ReadOnly));
    QVERIFY(!log.readAll().contains(germanMessage(55).toLatin1()));
}

void TestWizard::reminderWaitsForNoAnswer()
{
    // The counter answer trickles in; the reminder shows at its first bytes
    // and stays open longer than the request's time-out while the rest arrives.
    QVERIFY(startDevice({QStringLiteral("--fault"), QStringLiteral("pieces=S_ZLW")}));
    QVERIFY(connectFromInterfaceTab());
    QVERIFY(chooseCounterType(QStringLiteral("9"), QStringLiteral("10"), QStringLiteral("0")));
    QTRY_VERIFY_WITH_TIMEOUT(child<QComboBox>(*window, "comboBoxDirection2")->isVisible(), kAnswerWaitMs);
    QVERIFY(choose("comboBoxDirection2", german(80)));
    child<QLineEdit>(*window, "lineEditCounter2")->setText(QStringLiteral("123456789"));

    BoxScript boxes({QStringLiteral("Ja"), QStringLiteral("OK")}, 6000);
    child<QPushButton>(*window, "pushButtonProgram")->click();
    QTRY_COMPARE_WITH_TIMEOUT(boxes.answered(), 2, 20000);
    QVERIFY(boxes.texts.at(1).contains(QStringLiteral("v1.12")));
    QCOMPARE(consoleMessages(*window), QStringList({germanMessage(4)}));
    QFile log(appData->filePath(QStringLiteral("KLV TAVIK7 PC Software/Tavik7_Output_Logfile1.txt")));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray logged = log.readAll();
    QVERIFY(!logged.contains(germanMessage(70).toLatin1()));
    QVERIFY(!logged.contains(germanMessage(55).toLatin1()));
}

void TestWizard::wrongFirmwareDeclined()
{
    QVERIFY(startDevice({QStringLiteral("--version"), QStringLiteral("111")}));
    QVERIFY(connectFromInterfaceTab());
    auto *flashFile = child<QLineEdit>(*window, "lineEditSelectedFileFlashen");
    auto *symbol4 = child<QLabel>(*window, "labelSymbol4");
    {
        BoxScript boxes({QStringLiteral("Cancel")}, kSlowUserMs);
        QVERIFY(chooseCounterType(QStringLiteral("8"), QStringLiteral("0.01"), QStringLiteral("2")));
        QTRY_COMPARE_WITH_TIMEOUT(boxes.answered(), 1, kAnswerWaitMs + kSlowUserMs);
        QCOMPARE(boxes.texts.at(0), german(239));
        QCOMPARE(boxes.informativeTexts.at(0), german(241));
        QCOMPARE(boxes.buttonTexts.at(0).split(QLatin1Char('|')).size(), 2);
        QVERIFY(boxes.buttonTexts.at(0).contains(german(238)));
        QTRY_VERIFY(showsIcon(symbol4, kIconFailed));
    }
    QCOMPARE(child<QTabWidget>(*window, "tabWidget")->currentIndex(), 1);
    QCOMPARE(child<QLabel>(*window, "labelSoftwareData")->text(), QStringLiteral("1.11"));
    QVERIFY(!child<QComboBox>(*window, "comboBoxDirection2")->isVisible());
    QVERIFY(flashFile->text().isEmpty());
    // The counter read after the check still came through.
    QTRY_COMPARE(consoleMessages(*window), QStringList({germanMessage(1), germanMessage(3)}));

    // A V1.11 type on this device fits; the shared box holds no leftover button
    // when it is shown again for a V1.12 type.
    QVERIFY(choose("comboBoxDecimalPlaces", QString()));
    QVERIFY(choose("comboBoxUa", QStringLiteral("0.1")));
    QVERIFY(choose("comboBoxDecimalPlaces", QStringLiteral("2")));
    QTRY_VERIFY_WITH_TIMEOUT(child<QComboBox>(*window, "comboBoxDirection2")->isVisible(), kAnswerWaitMs);
    BoxScript boxes({QStringLiteral("Cancel")});
    QVERIFY(choose("comboBoxDecimalPlaces", QStringLiteral("1")));
    QTRY_COMPARE_WITH_TIMEOUT(boxes.answered(), 1, kAnswerWaitMs);
    QCOMPARE(boxes.buttonTexts.at(0).split(QLatin1Char('|')).size(), 2);
    QTRY_VERIFY(showsIcon(symbol4, kIconFailed));
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
    QVERIFY(startDevice({QStringLiteral("--fault"), fault}));
    QVERIFY(connectFromInterfaceTab());
    ModalAnswerer anyBox;
    QVERIFY(chooseCounterType(QStringLiteral("9"), QStringLiteral("1"), QStringLiteral("1")));
    auto *symbol4 = child<QLabel>(*window, "labelSymbol4");
    QVERIFY(showsIcon(symbol4, kIconGoNext));
    QTRY_VERIFY_WITH_TIMEOUT(showsIcon(symbol4, kIconFailed), kTimeoutWaitMs);
    QCOMPARE(consoleMessages(*window), QStringList({germanMessage(message)}));
    QVERIFY(child<QLabel>(*window, "labelSoftwareData")->text().isEmpty());
    QVERIFY(!child<QComboBox>(*window, "comboBoxDirection2")->isVisible());
    QCOMPARE(anyBox.answered(), 0);

    // Choosing again asks the device again.
    QVERIFY(sim->control("clear-faults"));
    sim->clearLog();
    QVERIFY(choose("comboBoxDecimalPlaces", QString()));
    QVERIFY(choose("comboBoxDecimalPlaces", QStringLiteral("1")));
    QTRY_VERIFY_WITH_TIMEOUT(child<QComboBox>(*window, "comboBoxDirection2")->isVisible(), kAnswerWaitMs);
    QCOMPARE(sim->received().value(0), QStringLiteral("RX LP"));
}

void TestWizard::closedPortAtStep4()
{
    QVERIFY(startDevice());
    QVERIFY(connectFromInterfaceTab());
    child<QPushButton>(*window, "pushButtonDisconnect")->click();
    QVERIFY(chooseCounterType(QStringLiteral("9"), QStringLiteral("1"), QStringLiteral("1")));
    QVERIFY(showsIcon(child<QLabel>(*window, "labelSymbol4"), kIconFailed));
    QVERIFY(!child<QLabel>(*window, "labelSoftwareData")->isVisible());
    QTest::qWait(200);
    QVERIFY(sim->received().isEmpty());
}

void TestWizard::earlierChoiceAbandonsCheck()
{
    // The user changes the Ua value while the device is still being read:
    // its answer must not move the wizard on.
    QVERIFY(startDevice({QStringLiteral("--fault"), QStringLiteral("pieces=LP")}));
    QVERIFY(connectFromInterfaceTab());
    QVERIFY(chooseCounterType(QStringLiteral("9"), QStringLiteral("1"), QStringLiteral("1")));
    QVERIFY(choose("comboBoxUa", QStringLiteral("10")));
    QVERIFY(sim->waitForReceived(2)); // LP answered, counter read
    QTRY_COMPARE_WITH_TIMEOUT(consoleMessages(*window), QStringList({germanMessage(1), germanMessage(3)}),
                              kAnswerWaitMs);
    QTest::qWait(100);
    QVERIFY(!child<QComboBox>(*window, "comboBoxDirection2")->isVisible());
    QVERIFY(child<QComboBox>(*window, "comboBoxDecimalPlaces")->isVisible());
    QCOMPARE(child<QComboBox>(*window, "comboBoxDecimalPlaces")->currentIndex(), 0);
}

void TestWizard::focusLandsInEntryAfterDirectionPopup()
{
    QVERIFY(startDevice());
    QVERIFY(connectFromInterfaceTab());
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QVERIFY(chooseCounterType(QStringLiteral("9"), QStringLiteral("10"), QStringLiteral("0")));
    auto *direction = child<QComboBox>(*window, "comboBoxDirection2");
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
    auto *entry = child<QLineEdit>(*window, "lineEditCounter2");
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

    QVERIFY(startDevice({QStringLiteral("--version"), QStringLiteral("111")}));
    QVERIFY(connectFromInterfaceTab());
    QStringList answers{german(238), QStringLiteral("OK")};
    if (!tool.isEmpty())
        answers.append(QStringLiteral("OK"));
    BoxScript boxes(answers, kSlowUserMs);
    QVERIFY(chooseCounterType(QStringLiteral("8"), QStringLiteral("0.01"), QStringLiteral("2")));

    QTRY_COMPARE_WITH_TIMEOUT(boxes.answered(), int(answers.size()), 4 * kSlowUserMs + kAnswerWaitMs);
    QVERIFY(boxes.unexpected.isEmpty());
    QCOMPARE(child<QLineEdit>(*window, "lineEditSelectedFileFlashen")->text(),
             QDir::toNativeSeparators(QDir::currentPath() + QStringLiteral("/AVRDude/tavik_v1_12.hex")));
    if (!tool.isEmpty())
        QCOMPARE(boxes.texts.last(), german(succeeds ? 245 : 246));

    // The port is taken back and the wizard shown again.
    QTRY_COMPARE_WITH_TIMEOUT(window->windowTitle(), QStringLiteral("TAVIK7 PC Software: ") + sim->portPath(),
                              kAnswerWaitMs);
    QCOMPARE(child<QTabWidget>(*window, "tabWidget")->currentIndex(), 1);
    auto *direction = child<QComboBox>(*window, "comboBoxDirection2");
    auto *version = child<QLabel>(*window, "labelSoftwareData");
    if (succeeds) {
        QVERIFY(direction->isVisible());
        QVERIFY(showsIcon(child<QLabel>(*window, "labelSymbol4"), kIconDone));
        QCOMPARE(version->text(), QStringLiteral("1.12"));
    } else {
        // The device still runs 1.11: the wizard must not program a 1.12 counter type.
        QVERIFY(!direction->isVisible());
        QVERIFY(showsIcon(child<QLabel>(*window, "labelSymbol4"), kIconFailed));
        QCOMPARE(version->text(), QStringLiteral("1.11"));
        QVERIFY(!child<QPushButton>(*window, "pushButtonProgram")->isVisible());
    }
}

void TestWizard::realFlashFromWizard()
{
    const QString avrdude = QStandardPaths::findExecutable(QStringLiteral("avrdude"));
    const QString image = QStringLiteral(TAVIK7_FIRMWARE_DIR "/tavik_v1_12.hex");
    if (avrdude.isEmpty() || !QFile::exists(image))
        QSKIP("needs avrdude and the firmware images");

    // The technician's working directory, with the images in its AVRDude folder.
    QTemporaryDir work;
    QVERIFY(work.isValid());
    QVERIFY(QDir(work.path()).mkdir(QStringLiteral("AVRDude")));
    QVERIFY(QFile::copy(image, work.filePath(QStringLiteral("AVRDude/tavik_v1_12.hex"))));
    QVERIFY(QDir::setCurrent(work.path()));

    QVERIFY(startDevice({QStringLiteral("--version"), QStringLiteral("111")}));
    QVERIFY(connectFromInterfaceTab());
    BoxScript flashBoxes({german(238), QStringLiteral("OK"), QStringLiteral("OK")}, kSlowUserMs);
    QVERIFY(chooseCounterType(QStringLiteral("8"), QStringLiteral("0.01"), QStringLiteral("2")));
    QTRY_COMPARE_WITH_TIMEOUT(flashBoxes.answered(), 3, 60000);
    QVERIFY(flashBoxes.unexpected.isEmpty());
    QVERIFY2(flashBoxes.texts.at(2) == german(245),
             qPrintable(child<QTextEdit>(*window, "textEditConsole")->toPlainText()));
    QVERIFY(child<QTextEdit>(*window, "textEditConsole")->toPlainText().contains(QStringLiteral("Thank you.")));

    // Back at step 5 with the firmware that fits.
    auto *direction = child<QComboBox>(*window, "comboBoxDirection2");
    QTRY_VERIFY_WITH_TIMEOUT(direction->isVisible(), kAnswerWaitMs);
    QCOMPARE(child<QTabWidget>(*window, "tabWidget")->currentIndex(), 1);
    QCOMPARE(child<QLabel>(*window, "labelSoftwareData")->text(), QStringLiteral("1.12"));

    BoxScript boxes({QStringLiteral("OK"), QStringLiteral("Ja"), QStringLiteral("OK")});
    QVERIFY(choose("comboBoxDirection2", german(80)));
    auto *entry = child<QLineEdit>(*window, "lineEditCounter2");
    QCOMPARE(entry->maxLength(), 10);
    entry->setText(QStringLiteral("654321,987"));
    sim->clearLog();
    child<QPushButton>(*window, "pushButtonProgram")->click();
    QTRY_COMPARE_WITH_TIMEOUT(boxes.answered(), 3, 2 * kAnswerWaitMs);
    QVERIFY(boxes.unexpected.isEmpty());
    QCOMPARE(sim->received().value(1), QStringLiteral("RX S_ZLW 654321987"));
    QTRY_COMPARE_WITH_TIMEOUT(consoleMessages(*window), QStringList({germanMessage(4)}), kAnswerWaitMs);

    // The device itself now says 1.12 and counts with three decimals.
    child<QTabWidget>(*window, "tabWidget")->setCurrentIndex(2);
    child<QPushButton>(*window, "pushButtonReadSettings")->click();
    QTRY_COMPARE_WITH_TIMEOUT(consoleMessages(*window), QStringList({germanMessage(1), germanMessage(3)}),
                              kAnswerWaitMs);
    QCOMPARE(tableModel(*window)->item(7, 1)->text(), QStringLiteral("1.12"));
    QCOMPARE(child<QComboBox>(*window, "comboBoxSignificance")->currentIndex(), 0);
    QCOMPARE(child<QLineEdit>(*window, "lineEditCounter")->text(), QStringLiteral("654321,987"));
}

QTEST_MAIN(TestWizard)
#include "tst_wizard.moc"
