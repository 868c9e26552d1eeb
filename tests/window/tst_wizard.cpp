// The wizard as a technician walks it, against the simulated device: a
// device on old firmware is flashed from the wizard with the stand-in tool
// and then programmed; then a counter without Ua, which counts right.
// The flow's rules (among them that the counter waits for the parameters'
// answer) are in tst_wizardflow, each counter type's settings in
// tst_wizardtable; here what only the window shows.

#include <QtTest>

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include "telegram.h"
#include "windowtest.h"

namespace {

constexpr int kAnswerWaitMs = 5000;

constexpr char kIconGoNext[] = ":/Images/go-next-3.png";
constexpr char kIconDone[] = ":/Images/dialog-ok_2.png";

} // namespace

class TestWizard : public DeviceWindow
{
    Q_OBJECT

private slots:
    void flashThenProgramTwoCounterTypes();

private:
    bool choose(const char *comboName, const QString &text);
    bool chooseCounterType(const QString &digits, const QString &ua, const QString &places);
    bool showsIcon(const char *label, const char *path);
    // The red lines above and below span the digits after the comma, not the comma.
    bool framesDigitsAfterComma(int digits);
};

bool TestWizard::framesDigitsAfterComma(int digits)
{
    auto *entry = w<QLineEdit>("lineEditCounter2");
    const auto xAt = [&](int position) {
        entry->setCursorPosition(position);
        const QRect cursor = entry->inputMethodQuery(Qt::ImCursorRectangle).toRect();
        return entry->mapTo(window.get(), cursor.center()).x();
    };
    const int first = xAt(int(entry->text().size()) - digits);
    const int last = xAt(int(entry->text().size()));
    entry->setCursorPosition(0);
    for (const char *name : {"lineCounterFrame1", "lineCounterFrame2"}) {
        auto *line = w<QFrame>(name);
        const QPoint left = line->mapTo(window.get(), QPoint(0, 0));
        if (qAbs(left.x() - first) > 2 || qAbs(left.x() + line->width() - last) > 2) {
            qWarning() << name << left.x() << line->width() << "digits" << first << last;
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

bool TestWizard::showsIcon(const char *label, const char *path)
{
    return w<QLabel>(label)->pixmap().toImage() == QPixmap(QString::fromLatin1(path)).toImage();
}

void TestWizard::flashThenProgramTwoCounterTypes()
{
    qputenv("TAVIK7_AVRDUDE", TAVIK7_FAKEAVRDUDE_PATH);
    qputenv("FAKEAVRDUDE_OUTPUT", "avrdude done.  Thank you.\\n");
    qputenv("FAKEAVRDUDE_EXIT", "0");
    // The wizard takes its image from the tool's folder under the start folder, and checks it first.
    QTemporaryDir startFolder;
    const QString before = QDir::currentPath();
    QVERIFY(QDir(startFolder.path()).mkpath(QStringLiteral("AVRDude")) && QDir::setCurrent(startFolder.path()));
    const auto restore = qScopeGuard([&before] { QDir::setCurrent(before); });
    QVERIFY(QFile::copy(QStringLiteral(TAVIK7_FIRMWARE_DIR "/tavik_v1_12.hex"),
                        QStringLiteral("AVRDude/tavik_v1_12.hex")));
    QVERIFY(connectDevice({"--version", "111", "--counter", "12345678"}, 1));
    auto *direction = w<QComboBox>("comboBoxDirection2");
    auto *entry = w<QLineEdit>("lineEditCounter2");

    // V1.11 on a type that needs V1.12: flashed from the wizard.
    {
        ModalAnswerer flashBoxes(QStringList{germanText(238), "OK", "OK"});
        QVERIFY(chooseCounterType("8", "0.01", "2"));
        QVERIFY(showsIcon("labelSymbol3", kIconDone));
        QVERIFY(showsIcon("labelSymbol4", kIconGoNext));
        QTRY_COMPARE_WITH_TIMEOUT(flashBoxes.answered(), 3, 2 * kAnswerWaitMs);
        QVERIFY(flashBoxes.unexpected.isEmpty());
        QCOMPARE(flashBoxes.texts.at(0), germanText(239));
        // The shared box keeps no "Flashen" button for the adapter question after it.
        QCOMPARE(flashBoxes.buttonTexts.at(1).split(QLatin1Char('|')).size(), 2);
        QCOMPARE(flashBoxes.texts.at(2), germanText(245));
        QVERIFY(w<QLineEdit>("lineEditSelectedFileFlashen")->text().endsWith(QStringLiteral("tavik_v1_12.hex")));
    }
    QVERIFY(sim->control("set version=112")); // what the image would have done

    // Back in the wizard with the port taken back, taking the new firmware as read.
    QTRY_VERIFY_WITH_TIMEOUT(direction->isVisible(), kAnswerWaitMs);
    QCOMPARE(w<QTabWidget>("tabWidget")->currentIndex(), 1);
    QCOMPARE(window->windowTitle(), QStringLiteral("TAVIK7 PC Software: ") + sim->portPath());
    QVERIFY(showsIcon("labelSymbol4", kIconDone));
    QCOMPARE(w<QLabel>("labelSoftwareData")->text(), QStringLiteral("1.12"));

    // The last digit is a graduation mark, which the technician is told.
    {
        ModalAnswerer hint(QStringList{"OK"});
        QVERIFY(choose("comboBoxDirection2", germanText(81)));
        QCOMPARE(hint.answered(), 1);
        QVERIFY(hint.texts.at(0).contains(germanText(242)));
    }
    QCOMPARE(consoleMessages(*window), QStringList({germanMessage(110)}));
    QVERIFY(showsIcon("labelSymbol6", kIconGoNext));
    QCOMPARE(entry->maxLength(), 10);
    QCOMPARE(entry->text(), QStringLiteral("012345,678"));
    QTRY_COMPARE(window->focusWidget(), entry);
    QCOMPARE(entry->cursorPosition(), 0);
    QVERIFY(framesDigitsAfterComma(3));

    // Programming: the parameters as chosen, then the counter as entered.
    entry->setText(QStringLiteral("654321,987"));
    sim->clearLog();
    {
        ModalAnswerer boxes(QStringList{"Ja", "OK"});
        w<QPushButton>("pushButtonProgram")->click();
        QTRY_COMPARE_WITH_TIMEOUT(boxes.answered(), 2, 2 * kAnswerWaitMs);
        QVERIFY(boxes.unexpected.isEmpty());
        QCOMPARE(boxes.texts.at(0), germanMessage(102));
        QVERIFY2(boxes.texts.at(1).contains(QStringLiteral("v1.12")), qPrintable(boxes.texts.at(1)));
        QTRY_COMPARE_WITH_TIMEOUT(consoleMessages(*window), QStringList({germanMessage(4)}), kAnswerWaitMs);
        QVERIFY(showsIcon("labelSymbol6", kIconDone));
        const QStringList received = sim->received();
        QCOMPARE(received.at(1), QStringLiteral("RX S_ZLW 654321987"));
        const tavik7::WriteTelegram sent =
            tavik7::parseWriteTelegram(QByteArray::fromHex(received.at(0).section(QLatin1Char(' '), 2).toLatin1()));
        QVERIFY(sent.valid);
        QCOMPARE(int(sent.record.significance), 0);
        QCOMPARE(int(sent.record.direction), 1);
    }

    // Another device, whose significance text would raise the notice after a
    // read of the technician's: the wizard's read shows the version instead.
    QVERIFY(sim->control("set version=111") && sim->control("set counter=12345678")
            && sim->control("set significance-text=01") && sim->control("set direction=0"));
    ModalAnswerer boxes(QStringList{"Ja", "OK"});
    QVERIFY(chooseCounterType("8", "---", "2"));
    QTRY_COMPARE_WITH_TIMEOUT(w<QLabel>("labelSoftwareData")->text(), QStringLiteral("1.11"), kAnswerWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(entry->isVisible(), kAnswerWaitMs);
    QCOMPARE(boxes.answered(), 0);
    // No Ua value: the counter counts to the right, not to be chosen.
    QCOMPARE(direction->currentIndex(), 1);
    QVERIFY(!direction->isEnabled());

    // While programming runs the choices are refused visibly, then offered again.
    sim->clearLog();
    w<QPushButton>("pushButtonProgram")->click();
    QVERIFY(!w<QComboBox>("comboBoxUa")->isEnabled() && !entry->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(boxes.answered(), 2, 2 * kAnswerWaitMs);
    QVERIFY(boxes.unexpected.isEmpty());
    QTRY_VERIFY(w<QComboBox>("comboBoxUa")->isEnabled() && entry->isEnabled());
    QVERIFY(!direction->isEnabled());
    // What the row programs is the table's test; here that this row's counter went out.
    QCOMPARE(sim->received().at(1), QStringLiteral("RX S_ZLW 12345678"));
}

QTEST_MAIN(TestWizard)
#include "tst_wizard.moc"
