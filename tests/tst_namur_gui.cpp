// The NAMUR tab against the simulated device over a real serial line:
// listening, the log file across Start/Stop cycles, the 30-line flush and a
// line that goes away while listening.

#include <QtTest>

#include <QFileDialog>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTextEdit>

#include "rawline.h"
#include "windowtest.h"

namespace {

constexpr int kTelegramWaitMs = 10000;

// The simulator's two telegrams with its defaults: unit and serial number.
// The check byte of the second one is 0x0a, an LF.
const QString kTelegramA = QStringLiteral("[FS]012345678[US]m3[0x65][CR][LF]");
const QString kTelegramB = QStringLiteral("[FS]012345678[US]123456789[0xa][CR][LF]");
const QRegularExpression kLogLine(QStringLiteral(
    R"(^\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\.\d{3};;012345678;(m3\[0x65\]|123456789\[0xa\]);$)"));

QStringList paragraphs(QWidget &window)
{
    const QString text = child<QTextEdit>(window, "textEditConsoleNamur")->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

// The log's lines; every one must end with CR LF.
QStringList logLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    QStringList lines;
    for (const QByteArray &line : bytes.split('\n')) {
        if (!line.isEmpty())
            lines.append(line.endsWith('\r') ? QString::fromLatin1(line.chopped(1)) : QStringLiteral("no CR LF"));
    }
    return lines;
}

} // namespace

class TestNamurGui : public QObject, DeviceWindow
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

    void listenLogStopAndAppend();
    void thirtiethLineFlushesAndStopCompletes();
    void lostLineEndsListening();
    void unwritableLogStillShowsTelegrams();
    void badInputOnARawLine();

private:
    // Connects on the NAMUR tab; with logPath, logs there.
    void connectNamur(const QStringList &args, const QString &logPath = {});
    void startNamur();
    void stopNamur();
    [[nodiscard]] QString logPath(const QString &name) const { return appData->filePath(name); }
};

void TestNamurGui::connectNamur(const QStringList &args, const QString &logPath)
{
    QVERIFY(connectDevice(args, 4));
    if (logPath.isEmpty())
        return;
    w<QCheckBox>("checkBoxNamurLogging")->setChecked(true);
    w<QLineEdit>("lineEditNamurLogfile")->setText(logPath);
}

void TestNamurGui::startNamur()
{
    button("pushButtonStartNamur")->click();
    QVERIFY(sim->waitForLine(QStringLiteral("MODE namur-output 2400")));
}

void TestNamurGui::stopNamur()
{
    sim->clearLog();
    button("pushButtonStopNamur")->click();
    QVERIFY(sim->waitForLine(QStringLiteral("MODE parameter-interface 1200")));
}

void TestNamurGui::listenLogStopAndAppend()
{
    connectNamur({QStringLiteral("--transmit-mode"), QStringLiteral("0"), QStringLiteral("--telegram-b"),
                  QStringLiteral("2")});
    const QString today = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    const QString folder = appData->path() + QStringLiteral("/KLV TAVIK7 PC Software/");
    QFile earlier(folder + QStringLiteral("--Tavik7_") + today + QStringLiteral("_1.log"));
    QVERIFY(earlier.open(QIODevice::WriteOnly));
    earlier.close();

    // The dialog offers the next free number after the placeholder serial number.
    auto *logging = w<QCheckBox>("checkBoxNamurLogging");
    logging->setChecked(true);
    const QString chosen = logPath(QStringLiteral("session.log"));
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
    QCOMPARE(offered, folder + QStringLiteral("--Tavik7_") + today + QStringLiteral("_2.log"));
    QCOMPARE(w<QLineEdit>("lineEditNamurLogfile")->text(), chosen);

    // Left over from an earlier day: the first Start after choosing empties the file.
    QFile stale(chosen);
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.write("stale\r\n");
    stale.close();

    startNamur();
    QCOMPARE(consoleMessages(*window), QStringList{germanMessage(98)});
    // Nothing may talk to the device while it sends telegrams.
    for (const char *name : {"pushButtonReadSettings", "pushButtonDisconnect", "pushButtonFlashen"})
        QVERIFY2(!button(name)->isEnabled(), name);

    QVERIFY(sim->waitForSent(4, kTelegramWaitMs));
    QTRY_VERIFY_WITH_TIMEOUT(paragraphs(*window).size() >= 4, kTelegramWaitMs);
    stopNamur();

    const QStringList shown = paragraphs(*window);
    QCOMPARE(shown.mid(0, 4), QStringList({kTelegramA, kTelegramB, kTelegramA, kTelegramB}));
    const QStringList first = logLines(chosen);
    QCOMPARE(first.size(), shown.size());
    for (const QString &line : first)
        QVERIFY2(kLogLine.match(line).hasMatch(), qPrintable(line));
    QVERIFY(first.first().startsWith(QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy "))));

    // Back at the service settings (1200 baud, 8N1): the device answers again.
    QCOMPARE(consoleMessages(*window), QStringList{germanMessage(99)});
    auto *read = button("pushButtonReadSettings");
    sim->clearLog();
    read->click();
    QVERIFY(sim->waitForReceived(2));
    QTRY_VERIFY_WITH_TIMEOUT(read->isEnabled(), 5000);
    QCOMPARE(consoleMessages(*window).value(0), germanMessage(1));

    // A second session adds to the first one's lines.
    sim->clearLog();
    startNamur();
    QVERIFY(sim->waitForSent(2, kTelegramWaitMs));
    QTRY_VERIFY_WITH_TIMEOUT(!paragraphs(*window).isEmpty(), kTelegramWaitMs);
    stopNamur();
    const QStringList both = logLines(chosen);
    QCOMPARE(both.size(), first.size() + paragraphs(*window).size());
    QCOMPARE(both.mid(0, first.size()), first);
}

void TestNamurGui::thirtiethLineFlushesAndStopCompletes()
{
    const QString path = logPath(QStringLiteral("flush.log"));
    connectNamur({QStringLiteral("--namur-fast"), QStringLiteral("--namur-limit"), QStringLiteral("30")}, path);

    startNamur();
    QVERIFY(sim->waitForLine(QStringLiteral("INFO NAMUR fast output done: 30"), kTelegramWaitMs));
    QTRY_COMPARE_WITH_TIMEOUT(paragraphs(*window).size(), 30, kTelegramWaitMs);
    // Before the 30th line the file was closed and reopened: 29 lines are on the disk.
    QCOMPARE(logLines(path).size(), 29);
    stopNamur();
    const QStringList lines = logLines(path);
    QCOMPARE(lines.size(), 30);
    for (const QString &line : lines)
        QVERIFY2(kLogLine.match(line).hasMatch(), qPrintable(line));
}

void TestNamurGui::lostLineEndsListening()
{
    const QString path = logPath(QStringLiteral("lost.log"));
    connectNamur({QStringLiteral("--transmit-mode"), QStringLiteral("0")}, path);
    startNamur();
    QVERIFY(sim->waitForSent(3, kTelegramWaitMs));
    QTRY_VERIFY_WITH_TIMEOUT(paragraphs(*window).size() >= 3, kTelegramWaitMs);

    QVERIFY(sim->control("hangup"));
    auto *connectButton = button("pushButtonConnect");
    QTRY_VERIFY_WITH_TIMEOUT(connectButton->isEnabled(), 5000);
    // The log holds every telegram shown, and nothing listens any more.
    QCOMPARE(logLines(path).size(), paragraphs(*window).size());
    QVERIFY(!button("pushButtonStopNamur")->isEnabled());
}

void TestNamurGui::unwritableLogStillShowsTelegrams()
{
    connectNamur({QStringLiteral("--namur-fast"), QStringLiteral("--namur-limit"), QStringLiteral("70")},
                 logPath(QStringLiteral("missing/dir/x.log")));
    startNamur();
    QTRY_COMPARE_WITH_TIMEOUT(paragraphs(*window).size(), 70, kTelegramWaitMs);
    stopNamur();
    QVERIFY(noModalLeft());
    QCOMPARE(consoleMessages(*window), QStringList{germanMessage(99)});
}

void TestNamurGui::badInputOnARawLine()
{
    // The test is the device here: parity bits, noise and half telegrams.
    RawLine line;
    QVERIFY(line.isOpen());
    const auto send = [&](const QByteArray &bytes) { QVERIFY(line.send(bytes)); };
    window = openWindowOn(line.portPath());
    QVERIFY(connectWindow(*window, line.portPath()));
    const QString path = logPath(QStringLiteral("raw.log"));
    w<QCheckBox>("checkBoxNamurLogging")->setChecked(true);
    w<QLineEdit>("lineEditNamurLogfile")->setText(path);
    button("pushButtonStartNamur")->click();

    // A 7E1 telegram as a port at 8N1 hears it, its end a read later
    // together with a second (bare) telegram.
    QByteArray parity = QByteArrayLiteral("\x1c" "012345678" "\x1f" "m3" "\x65\r\n");
    for (char &c : parity) {
        if (qPopulationCount(quint8(c)) % 2)
            c = char(quint8(c) | 0x80);
    }
    send(parity.left(8));
    QTest::qWait(100);
    QVERIFY(paragraphs(*window).isEmpty());
    send(parity.mid(8) + "\r\n");
    QTRY_COMPARE_WITH_TIMEOUT(paragraphs(*window), QStringList({kTelegramA, QStringLiteral("[CR][LF]")}), 5000);

    // Minutes of noise: the oldest bytes go, and the log says so.
    send(QByteArray(100 * 1024, 'x'));
    send(QByteArrayLiteral("\x1c" "1" "\x1f" "m\x01\r\n"));
    QTRY_COMPARE_WITH_TIMEOUT(paragraphs(*window).size(), 3, 5000);
    QVERIFY(paragraphs(*window).last().endsWith(QLatin1String("x[FS]1[US]m[0x1][CR][LF]")));
    QVERIFY(paragraphs(*window).last().size() <= 64 * 1024);

    // Stop with half a telegram in: the log holds the complete ones only.
    send(QByteArrayLiteral("\x1c" "0123"));
    QTest::qWait(100);
    button("pushButtonStopNamur")->click();
    QStringList lines = logLines(path);
    const qsizetype drops = lines.removeIf(
        [](const QString &line) { return line.endsWith(QLatin1String(" bytes without CR LF dropped]")); });
    QVERIFY(drops >= 1);
    QCOMPARE(lines.size(), 3);
    QVERIFY(kLogLine.match(lines.at(0)).hasMatch());
    QCOMPARE(lines.at(1).mid(23), QStringLiteral(";;")); // the bare CR LF
    QVERIFY(lines.at(2).endsWith(QLatin1String("x;1;m[0x1];")));
    window.reset();
}

QTEST_MAIN(TestNamurGui)
#include "tst_namur_gui.moc"
