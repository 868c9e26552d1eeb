// The NAMUR tab as a technician walks it, against the simulated device over a
// real serial line: choose the log file, Start, watch the telegrams, Stop; and
// a line that goes away while listening. The listening itself and the log
// file's rules are tested on the listener alone.

#include <QtTest>

#include <QFileDialog>
#include <QLineEdit>
#include <QTextEdit>

#include "windowtest.h"

namespace {

constexpr int kTelegramWaitMs = 10000;

// The simulator's two telegrams with its defaults: unit and serial number.
const QString kTelegramA = QStringLiteral("[FS]012345678[US]m3[0x65][CR][LF]");
const QString kTelegramB = QStringLiteral("[FS]012345678[US]123456789[0xa][CR][LF]");

QStringList paragraphs(QWidget &window)
{
    const QString text = child<QTextEdit>(window, "textEditConsoleNamur")->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

} // namespace

class TestNamurGui : public DeviceWindow
{
    Q_OBJECT

private slots:
    void chooseLogStartWatchStopAndLoseTheLine();
};

void TestNamurGui::chooseLogStartWatchStopAndLoseTheLine()
{
    QVERIFY(connectDevice({"--namur-fast", "--namur-limit", "4", "--telegram-b", "2"}, 4));
    const QString today = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    QVERIFY(writeFile(folder() + QStringLiteral("--Tavik7_") + today + QStringLiteral("_1.log"), {}));

    // The dialog offers the next free number after the placeholder serial number.
    w<QCheckBox>("checkBoxNamurLogging")->setChecked(true);
    const QString chosen = appData->filePath(QStringLiteral("session.log"));
    QString offered;
    QTimer answer;
    connect(&answer, &QTimer::timeout, this, [&] {
        if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
            offered = dialog->selectedFiles().value(0);
            // selectFile() leaves a focused name field alone: type the name instead.
            auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            QVERIFY(name);
            name->setText(chosen);
            QMetaObject::invokeMethod(dialog, "accept");
        }
    });
    answer.start(50);
    button("pushButtonSelectNamurLogfile")->click();
    answer.stop();
    QCOMPARE(offered, folder() + QStringLiteral("--Tavik7_") + today + QStringLiteral("_2.log"));
    QCOMPARE(w<QLineEdit>("lineEditNamurLogfile")->text(), chosen);
    // Left over from an earlier day: the first Start after choosing empties the file.
    QVERIFY(writeFile(chosen, "stale\r\n"));

    button("pushButtonStartNamur")->click();
    QVERIFY(sim->waitForLine(QStringLiteral("MODE namur-output 2400")));
    QCOMPARE(consoleMessages(*window), QStringList{germanMessage(98)});
    // Nothing may talk to the device while it sends telegrams, whatever the
    // technician meanwhile edits or chooses in the wizard.
    QVERIFY(editCell(*window, tavik7::FieldUnit, QStringLiteral("kWh")));
    for (const char *combo : {"comboBoxNumberOfDigits", "comboBoxUa", "comboBoxDecimalPlaces"})
        w<QComboBox>(combo)->setCurrentIndex(w<QComboBox>(combo)->findText(combo[8] == 'N' ? "9" : "1"));
    for (const char *name : {"pushButtonReadSettings", "pushButtonWriteSettings", "pushButtonSetCounter",
                             "pushButtonProgram", "pushButtonDisconnect", "pushButtonConnect", "pushButtonFlashen",
                             "pushButtonStartNamur", "pushButtonSelectNamurLogfile"})
        QVERIFY2(!button(name)->isEnabled(), name);
    QVERIFY(button("pushButtonStopNamur")->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(paragraphs(*window).size(), 4, kTelegramWaitMs);
    QVERIFY(sim->received().isEmpty());

    sim->clearLog();
    button("pushButtonStopNamur")->click();
    QVERIFY(sim->waitForLine(QStringLiteral("MODE parameter-interface 1200")));
    QCOMPARE(paragraphs(*window), QStringList({kTelegramA, kTelegramB, kTelegramA, kTelegramB}));
    // Four lines, the stale one gone.
    QCOMPARE(readFile(chosen).count("\r\n"), 4);
    QCOMPARE(consoleMessages(*window), QStringList{germanMessage(99)});
    for (const char *name : {"pushButtonReadSettings", "pushButtonDisconnect", "pushButtonStartNamur"})
        QVERIFY2(button(name)->isEnabled(), name);
    QVERIFY(!button("pushButtonStopNamur")->isEnabled());

    // The line goes away while listening: listening ends, the console stays readable.
    sim->clearLog();
    button("pushButtonStartNamur")->click();
    QVERIFY(sim->waitForLine(QStringLiteral("INFO NAMUR fast output done"), kTelegramWaitMs));
    QVERIFY(button("pushButtonStopNamur")->isEnabled());
    QVERIFY(sim->control("hangup"));
    QTRY_VERIFY_WITH_TIMEOUT(button("pushButtonConnect")->isEnabled(), 5000);
    QVERIFY(!button("pushButtonStopNamur")->isEnabled());
    QVERIFY(w<QTextEdit>("textEditConsoleNamur")->isEnabled());
}

QTEST_MAIN(TestNamurGui)
#include "tst_namur_gui.moc"
