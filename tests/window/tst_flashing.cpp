// The Flashen tab as a technician walks it, against the simulated device with
// a stand-in tool: a corrupt image, a flash whose backup is offered after the
// next read, a tool that fails. The run's own rules, real avrdude among them,
// are the flash run's test.

#include <QtTest>

#include <QLineEdit>
#include <QTextEdit>

#include "fifo.h"
#include "windowtest.h"

namespace {

constexpr int kRunWaitMs = 15000;
// Each box stands a moment before its click; the line is quiet behind every
// one of them, so a longer stand would add nothing but time.
constexpr int kHoldBoxMs = 300;
constexpr int kTabFlashen = 5;

} // namespace

class TestFlashing : public DeviceWindow
{
    Q_OBJECT

private slots:
    void corruptImageThenFlashThenFailure();

private:
    void flash(const QByteArray &toolOutput, int exitCode, const QString &tool = TAVIK7_FAKEAVRDUDE_PATH,
               QString image = {});
    [[nodiscard]] bool portRetaken();
    [[nodiscard]] bool flashIdle();
};

// Starts a flash of image, by default a valid one for the stand-in tool.
void TestFlashing::flash(const QByteArray &toolOutput, int exitCode, const QString &tool, QString image)
{
    qputenv("TAVIK7_AVRDUDE", QFile::encodeName(tool));
    qputenv("FAKEAVRDUDE_OUTPUT", toolOutput);
    qputenv("FAKEAVRDUDE_EXIT", QByteArray::number(exitCode));
    if (image.isEmpty()) {
        image = appData->filePath(QStringLiteral("fw.hex"));
        QVERIFY(writeFile(image, ":0100000000FF\r\n:00000001FF\r\n"));
    }
    w<QLineEdit>("lineEditSelectedFileFlashen")->setText(image);
    button("pushButtonFlashen")->click();
}

bool TestFlashing::portRetaken()
{
    return QTest::qWaitFor(
        [this] {
            return button("pushButtonDisconnect")->isEnabled()
                && window->windowTitle() == QStringLiteral("TAVIK7 PC Software: ") + sim->portPath();
        },
        kRunWaitMs);
}

bool TestFlashing::flashIdle()
{
    return button("pushButtonSelectFlashen")->isEnabled() && button("pushButtonFlashen")->isEnabled()
        && !button("pushButtonFlashenCancel")->isEnabled();
}

void TestFlashing::corruptImageThenFlashThenFailure()
{
    // How answers trickle in is the device link's test.
    QVERIFY(connectDevice({QStringLiteral("--version"), QStringLiteral("111"), QStringLiteral("--quick-answers")},
                          kTabFlashen));
    sim->clearLog();
    const QString image = appData->filePath(QStringLiteral("corrupt.hex"));
    QVERIFY(writeFile(image, ":0100000000FE\r\n:00000001FF\r\n"));
    {
        ModalAnswerer answerer(QMessageBox::Ok);
        flash({}, 0, TAVIK7_FAKEAVRDUDE_PATH, image);
        // Refused before the adapter question: no box, no backup, nothing on the
        // wire; the console says where the image is wrong, in the log too, and
        // again in the language switched to.
        const QString shown = QDir::toNativeSeparators(image);
        QCOMPARE(consoleMessages(*window),
                 germanMessages({63}) << QStringLiteral("Firmware-Datei %1, Zeile 1: Prüfsumme falsch. "
                                                       "Nichts an das Gerät gesendet.").arg(shown));
        QVERIFY(log().contains(QStringLiteral("Zeile 1: Pr")));
        switchLanguage("actionEnglish");
        QCOMPARE(consoleMessages(*window).value(1),
                 QStringLiteral("Firmware file %1, line 1: bad checksum. Nothing was sent to the device.").arg(shown));
        QCOMPARE(answerer.answered(), 0);
        QVERIFY(sim->received().isEmpty() && QDir(folder()).entryList({QStringLiteral("Backup_*")}).isEmpty());
        QVERIFY(flashIdle() && button("pushButtonDisconnect")->isEnabled());

        // A pipe under the image's name is refused before anything opens it.
        const QString fifo = appData->filePath(QStringLiteral("pipe.hex"));
        QVERIFY(makeFifo(fifo));
        QVERIFY(readsWithoutAWriter(fifo, [&] { flash({}, 0, TAVIK7_FAKEAVRDUDE_PATH, fifo); }));
        QCOMPARE(consoleMessages(*window).value(1),
                 QStringLiteral("Firmware file %1: not a regular file. Nothing was sent to the device.")
                     .arg(QDir::toNativeSeparators(fifo)));
        QCOMPARE(answerer.answered(), 0);
        QVERIFY(sim->received().isEmpty());
    }
    switchLanguage("actionGerman");

    // A flash: the backup waits for the device to be read again.
    QVERIFY(readSettings());
    w<QTabWidget>("tabWidget")->setCurrentIndex(kTabFlashen);
    {
        ModalAnswerer answerer(QStringList{"OK", "OK", "Ja"}, kHoldBoxMs);
        flash("avrdude: 300 bytes of flash verified\\n\\navrdude done.  Thank you.\\n", 0);
        QTRY_COMPARE_WITH_TIMEOUT(answerer.answered(), 2, kRunWaitMs);
        QCOMPARE(answerer.texts, (QStringList{germanText(243), germanText(245)}));
        QCOMPARE(answerer.informativeTexts.at(1), germanText(244));
        QVERIFY(portRetaken());
        QVERIFY(flashIdle());
        QVERIFY(w<QTextEdit>("textEditConsole")->toPlainText().contains(QStringLiteral("Thank you.")));
        // A manual flash returns to the parameters; the backup waits for the device to be read.
        QCOMPARE(w<QTabWidget>("tabWidget")->currentIndex(), 2);
        QCOMPARE(answerer.answered(), 2);
        qsizetype at = 0;
        for (int id : {8, 101, 10, 7}) {
            at = log().indexOf(germanMessage(id), at);
            QVERIFY2(at >= 0, qPrintable(QStringLiteral("message %1 missing or out of order").arg(id)));
    }
    const QStringList backups = QDir(folder()).entryList({QStringLiteral("Backup_123456789_*.dat")});
    QCOMPARE(backups.size(), 1);
    QVERIFY(log().contains(QDir::toNativeSeparators(folder() + backups.first())));

    // The new firmware came up with its settings lost.
    QVERIFY(sim->control("set version=112"));
    QVERIFY(sim->control("set unit=kg"));
    button("pushButtonReadSettings")->click();
    QTRY_COMPARE_WITH_TIMEOUT(answerer.answered(), 3, kRunWaitMs);
    QCOMPARE(answerer.texts.at(2),
             QStringLiteral("Die vor dem Flashen gesicherten Parameter jetzt in die Tabelle laden?"));
    QCOMPARE(answerer.informativeTexts.at(2), QDir::toNativeSeparators(folder() + backups.first()));
    // The settings come back; the firmware stays the one just read.
    QTRY_VERIFY_WITH_TIMEOUT(consoleMessages(*window).contains(germanMessage(5)), kRunWaitMs);
    QStandardItemModel *table = tableModel(*window);
    QCOMPARE(table->item(tavik7::FieldUnit, 1)->text(), QStringLiteral("m3"));
    QCOMPARE(table->item(tavik7::FieldSoftwareVersion, 1)->text(), QStringLiteral("1.12"));
    }

    // A tool that fails: the reopen is added below the verdict; the technician stays on the tab.
    w<QTabWidget>("tabWidget")->setCurrentIndex(kTabFlashen);
    ModalAnswerer answerer(QMessageBox::Ok);
    flash({}, 0, "/nonexistent/avrdude");
    QVERIFY(portRetaken());
    QVERIFY(flashIdle());
    QCOMPARE(answerer.texts, QStringList{germanText(243)});
    const QString console = w<QTextEdit>("textEditOutput")->toPlainText();
    const qsizetype verdictAt = console.indexOf(germanMessage(65));
    QVERIFY2(verdictAt >= 0 && console.indexOf(germanMessage(7), verdictAt) > verdictAt, qPrintable(console));
    QCOMPARE(w<QTabWidget>("tabWidget")->currentIndex(), kTabFlashen);
}

QTEST_MAIN(TestFlashing)
#include "tst_flashing.moc"
