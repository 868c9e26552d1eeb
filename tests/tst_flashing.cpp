// The Flashen tab against the simulated device with a stand-in tool that
// succeeds, fails, is missing or hangs. In every case the port must be taken
// back. Real avrdude flashes the simulator in tst_wizard.

#include <QtTest>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTextEdit>

#include <csignal>

#include "filehooks.h"
#include "windowtest.h"

namespace {

constexpr int kRunWaitMs = 15000;
constexpr int kHoldBoxMs = 1500;

const char *const kToolVariables[] = {"TAVIK7_AVRDUDE", "FAKEAVRDUDE_OUTPUT", "FAKEAVRDUDE_EXIT",
                                      "FAKEAVRDUDE_HANG", "FAKEAVRDUDE_ARGS_FILE"};

} // namespace

class TestFlashing : public QObject, DeviceWindow
{
    Q_OBJECT

private slots:
    void initTestCase() { registerTavik7Resources(); }
    void init();
    void cleanup();

    void fileChoice();
    void flashNeedsAFileAndTheAdapter();
    void toolRuns_data();
    void toolRuns();
    void closingDuringRunEndsTheTool();

private:
    void useFakeTool(const QByteArray &output, int exitCode);
    QString firmwareFile(const QString &name);
    [[nodiscard]] bool portRetaken();
    [[nodiscard]] bool flashIdle();

    QScopedPointer<QTemporaryDir> work;
};

void TestFlashing::init()
{
    freshBench();
    work.reset(new QTemporaryDir);
    QVERIFY(work->isValid());
    QVERIFY(connectDevice({}, 5));
}

void TestFlashing::cleanup()
{
    closeBench();
    tavik7::fileNameHook = nullptr;
    for (const char *name : kToolVariables)
        qunsetenv(name);
    QVERIFY(noModalLeft());
}

void TestFlashing::useFakeTool(const QByteArray &output, int exitCode)
{
    qputenv("TAVIK7_AVRDUDE", TAVIK7_FAKEAVRDUDE_PATH);
    qputenv("FAKEAVRDUDE_OUTPUT", output);
    qputenv("FAKEAVRDUDE_EXIT", QByteArray::number(exitCode));
    qputenv("FAKEAVRDUDE_ARGS_FILE", QFile::encodeName(work->filePath(QStringLiteral("args.txt"))));
}

QString TestFlashing::firmwareFile(const QString &name)
{
    const QString path = work->filePath(name);
    QDir().mkpath(QFileInfo(path).path());
    writeFile(path, ":00000001FF\r\n");
    return path;
}

bool TestFlashing::portRetaken()
{
    const bool retaken = QTest::qWaitFor(
        [this] {
            return button("pushButtonDisconnect")->isEnabled()
                && window->windowTitle() == QStringLiteral("TAVIK7 PC Software: ") + sim->portPath();
        },
        kRunWaitMs);
    if (!retaken)
        qWarning() << window->windowTitle() << w<QTextEdit>("textEditOutput")->toPlainText();
    return retaken;
}

bool TestFlashing::flashIdle()
{
    return button("pushButtonSelectFlashen")->isEnabled() && button("pushButtonFlashen")->isEnabled()
        && !button("pushButtonFlashenCancel")->isEnabled();
}

void TestFlashing::fileChoice()
{
    auto *selected = w<QLineEdit>("lineEditSelectedFileFlashen");
    QString offered;
    tavik7::FileNameRequest asked;
    tavik7::fileNameHook = [&](const tavik7::FileNameRequest &request) {
        asked = request;
        return offered;
    };

    offered = QStringLiteral("/fw/tavik.hex.d/image.bin"); // ".hex" anywhere counts
    button("pushButtonSelectFlashen")->click();
    QCOMPARE(selected->text(), offered);
    QCOMPARE(asked.filter, QStringLiteral("*.hex"));
    QCOMPARE(asked.startName, QDir::currentPath() + QStringLiteral("/AVRDude/"));
    QCOMPARE(consoleMessages(*window).first(), germanMessage(101).section(QLatin1Char('\n'), 0, 0));

    // Upper case and a cancelled dialog leave the choice as it was.
    for (const QString &other : {QStringLiteral("/fw/TAVIK.HEX"), QString()}) {
        offered = other;
        button("pushButtonSelectFlashen")->click();
        QCOMPARE(selected->text(), QStringLiteral("/fw/tavik.hex.d/image.bin"));
    }
}

void TestFlashing::flashNeedsAFileAndTheAdapter()
{
    useFakeTool("avrdude done.  Thank you.\n", 0);
    auto *selected = w<QLineEdit>("lineEditSelectedFileFlashen");

    for (const QString &path : {QString(), QStringLiteral("/fw/TAVIK.HEX")}) {
        selected->setText(path);
        ModalAnswerer answerer(QMessageBox::Ok);
        button("pushButtonFlashen")->click();
        QCOMPARE(answerer.answered(), 0);
        QVERIFY(w<QTextEdit>("textEditOutput")->toPlainText().contains(germanMessage(63)));
    }

    // Cancel in the adapter box: the port stays, no tool runs.
    selected->setText(firmwareFile(QStringLiteral("fw.hex")));
    {
        ModalAnswerer answerer(QMessageBox::Cancel, kHoldBoxMs);
        button("pushButtonFlashen")->click();
        QCOMPARE(answerer.answered(), 1);
        QCOMPARE(answerer.texts.first(), germanText(243));
    }
    QVERIFY(button("pushButtonDisconnect")->isEnabled());
    QVERIFY(flashIdle());
    QVERIFY(!QFile::exists(work->filePath(QStringLiteral("args.txt"))));
}

void TestFlashing::toolRuns_data()
{
    QTest::addColumn<QByteArray>("output"); // "\n" as the stand-in takes it; empty: no tool there
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("hang");   // runs until Cancel
    QTest::addColumn<int>("result");  // text of the result box; 0: no box
    QTest::addColumn<QList<int>>("logged"); // in this order
    QTest::addColumn<int>("notLogged");

    // avrdude writes everything to standard error. The port is released
    // before the tool runs and taken back after the result box.
    QTest::newRow("flashed") << QByteArray("avrdude: 300 bytes of flash verified\\n\\navrdude done.  Thank you.\\n")
                             << 0 << false << 245 << QList<int>{8, 101, 10, 7} << 66;
    // avrdude 7.1 says thank you also after "unable to open programmer".
    QTest::newRow("thanked but failed")
        << QByteArray("avrdude error: unable to open programmer\\n\\navrdude done.  Thank you.\\n") << 1 << false
        << 246 << QList<int>{8, 66, 7} << 10;
    QTest::newRow("no thanks") << QByteArray("something else entirely\\n") << 0 << false << 246 << QList<int>{66}
                               << 10;
    QTest::newRow("missing") << QByteArray() << 0 << false << 0 << QList<int>{8, 67, 65, 7} << 66;
    QTest::newRow("hanging, cancelled") << QByteArray("Reading | ####\\n") << 0 << true << 246
                                        << QList<int>{67, 66, 7} << 10;
}

void TestFlashing::toolRuns()
{
    QFETCH(QByteArray, output);
    QFETCH(int, exitCode);
    QFETCH(bool, hang);
    QFETCH(int, result);
    QFETCH(QList<int>, logged);
    QFETCH(int, notLogged);

    if (output.isEmpty())
        qputenv("TAVIK7_AVRDUDE", QFile::encodeName(work->filePath(QStringLiteral("AVRDude/avrdude"))));
    else
        useFakeTool(output, exitCode);
    if (hang)
        qputenv("FAKEAVRDUDE_HANG", "1");
    // Blanks and quotes in the path must reach the tool as they are.
    const QString path = firmwareFile(QStringLiteral("new fw/\"v1.12\" tavik.hex"));
    w<QLineEdit>("lineEditSelectedFileFlashen")->setText(path);
    auto *console = w<QTextEdit>("textEditConsole");
    const QString firstLine = QString::fromLatin1(output.left(output.indexOf("\\n")));

    ModalAnswerer answerer(QMessageBox::Ok, kHoldBoxMs);
    button("pushButtonFlashen")->click();
    if (hang) {
        QTRY_VERIFY_WITH_TIMEOUT(console->toPlainText().contains(firstLine), kRunWaitMs);
        QVERIFY(!console->isEnabled());
        for (const char *name : {"pushButtonSelectFlashen", "pushButtonFlashen", "pushButtonDisconnect"})
            QVERIFY2(!button(name)->isEnabled(), name);
        // Connecting by hand meanwhile must not take Cancel away.
        w<QTabWidget>("tabWidget")->setCurrentIndex(0);
        button("pushButtonConnect")->click();
        QVERIFY(button("pushButtonDisconnect")->isEnabled());
        QVERIFY(button("pushButtonFlashenCancel")->isEnabled());
        button("pushButtonDisconnect")->click();
        QVERIFY(button("pushButtonFlashenCancel")->isEnabled());
        button("pushButtonFlashenCancel")->click();
    }
    if (result) {
        QTRY_COMPARE_WITH_TIMEOUT(answerer.answered(), 2, kRunWaitMs);
        QCOMPARE(answerer.texts.at(1), germanText(result));
        QCOMPARE(answerer.informativeTexts.at(1), result == 245 ? germanText(244) : QString());
    }
    QVERIFY(portRetaken());
    QVERIFY(flashIdle());
    QVERIFY(console->isEnabled());
    QVERIFY(console->toPlainText().contains(firstLine));
    if (!result)
        QCOMPARE(answerer.answered(), 1); // only the adapter question

    const QString log = this->log();
    qsizetype at = 0;
    for (int id : logged) {
        at = log.indexOf(germanMessage(id), at);
        QVERIFY2(at >= 0, qPrintable(QStringLiteral("message %1 missing or out of order").arg(id)));
    }
    QVERIFY(!log.contains(germanMessage(notLogged)));

    if (!output.isEmpty()) {
        const QStringList args = QString::fromLocal8Bit(readFile(work->filePath(QStringLiteral("args.txt"))))
                                     .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(args.mid(0, 8), (QStringList{"-u", "-p", "m168", "-b", "9600", "-c", "avr109", "-v"}));
        QCOMPARE(args.value(9), sim->portPath());
        QCOMPARE(args.value(11), QStringLiteral("flash:w:") + path + QStringLiteral(":i"));
    }
    // A manual flash returns to the parameter tab.
    if (!hang)
        QCOMPARE(w<QTabWidget>("tabWidget")->currentIndex(), 2);
}

void TestFlashing::closingDuringRunEndsTheTool()
{
    useFakeTool("Writing | ##\\n", 0);
    qputenv("FAKEAVRDUDE_HANG", "1");
    w<QLineEdit>("lineEditSelectedFileFlashen")->setText(firmwareFile(QStringLiteral("fw.hex")));
    ModalAnswerer answerer(QMessageBox::Ok);
    button("pushButtonFlashen")->click();
    QTRY_VERIFY_WITH_TIMEOUT(button("pushButtonFlashenCancel")->isEnabled(), kRunWaitMs);
    auto *process = window->findChild<QProcess *>();
    QVERIFY(process && process->state() == QProcess::Running);
    const qint64 pid = process->processId();
    window.reset();
    QCOMPARE(answerer.answered(), 1);
    QVERIFY(::kill(pid_t(pid), 0) != 0);
}

QTEST_MAIN(TestFlashing)
#include "tst_flashing.moc"
