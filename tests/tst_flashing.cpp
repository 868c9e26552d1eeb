// The Flashen tab against the simulated device: a stand-in tool that succeeds,
// fails, is missing or hangs, and real avrdude writing firmware into the
// simulator's boot loader. In every case the port must be taken back.

#include <QtTest>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextEdit>

#include <memory>

#include <csignal>

#include "devsim.h"
#include "filehooks.h"
#include "modaldialogs.h"
#include "windowtest.h"

namespace {

constexpr int kRunWaitMs = 15000;
// avrdude at 9600 baud needs a few seconds for the small images; a loaded
// machine may need many more.
constexpr int kRealFlashWaitMs = 60000;
constexpr int kHoldBoxMs = 1500;

const char *const kToolVariables[] = {"TAVIK7_AVRDUDE", "FAKEAVRDUDE_OUTPUT", "FAKEAVRDUDE_EXIT",
                                      "FAKEAVRDUDE_HANG", "FAKEAVRDUDE_ARGS_FILE"};

} // namespace

class TestFlashing : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void fileChoice();
    void flashNeedsAFileAndTheAdapter();
    void successfulRunRetakesPort();
    void failedRunsAreFailures_data();
    void failedRunsAreFailures();
    void missingToolGivesThePortBack();
    void hangingToolIsCancelled();
    void closingDuringRunEndsTheTool();
    void realAvrdudeFlashesTheSimulator();

private:
    void connectDevice(const QStringList &simArgs = {});
    void useFakeTool(const QByteArray &output, int exitCode);
    QString firmwareFile(const QString &name);
    [[nodiscard]] QString log() const { return QString::fromLatin1(outputLog(appData->path())); }
    [[nodiscard]] bool portRetaken();
    [[nodiscard]] bool flashIdle();
    QPushButton *button(const char *name) { return child<QPushButton>(*window, name); }

    QScopedPointer<QTemporaryDir> appData;
    QScopedPointer<QTemporaryDir> work;
    std::unique_ptr<DevSim> sim;
    std::unique_ptr<TAVIK7_Bediensoftware> window;
};

void TestFlashing::initTestCase()
{
    registerTavik7Resources();
    appData.reset(new QTemporaryDir);
    QVERIFY(appData->isValid());
    qputenv("APPDATA", QFile::encodeName(appData->path()));
}

void TestFlashing::init()
{
    work.reset(new QTemporaryDir);
    QVERIFY(work->isValid());
    sim = std::make_unique<DevSim>();
}

void TestFlashing::cleanup()
{
    window.reset();
    sim.reset();
    tavik7::fileNameHook = nullptr;
    for (const char *name : kToolVariables)
        qunsetenv(name);
    QFile::remove(appData->path() + QStringLiteral("/KLV TAVIK7 PC Software/Tavik7_Output_Logfile1.txt"));
    QVERIFY(noModalLeft());
}

void TestFlashing::connectDevice(const QStringList &simArgs)
{
    QVERIFY2(sim->start(simArgs), qPrintable(sim->errorString()));
    window = openWindowOn(sim->portPath());
    QVERIFY(connectWindow(*window, sim->portPath()));
    child<QTabWidget>(*window, "tabWidget")->setCurrentIndex(5);
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
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(":00000001FF\r\n");
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
        qWarning() << window->windowTitle() << child<QTextEdit>(*window, "textEditOutput")->toPlainText();
    return retaken;
}

bool TestFlashing::flashIdle()
{
    return button("pushButtonSelectFlashen")->isEnabled() && button("pushButtonFlashen")->isEnabled()
        && !button("pushButtonFlashenCancel")->isEnabled();
}

void TestFlashing::fileChoice()
{
    connectDevice();
    auto *selected = child<QLineEdit>(*window, "lineEditSelectedFileFlashen");
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
    connectDevice();
    useFakeTool("avrdude done.  Thank you.\n", 0);
    auto *selected = child<QLineEdit>(*window, "lineEditSelectedFileFlashen");

    for (const QString &path : {QString(), QStringLiteral("/fw/TAVIK.HEX")}) {
        selected->setText(path);
        ModalAnswerer answerer(QMessageBox::Ok);
        button("pushButtonFlashen")->click();
        QCOMPARE(answerer.answered(), 0);
        QVERIFY(child<QTextEdit>(*window, "textEditOutput")->toPlainText().contains(germanMessage(63)));
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

void TestFlashing::successfulRunRetakesPort()
{
    connectDevice();
    // avrdude writes everything to standard error.
    useFakeTool("avrdude: 300 bytes of flash verified\n\navrdude done.  Thank you.\n", 0);
    // Blanks and quotes in the path must reach the tool as they are.
    const QString path = firmwareFile(QStringLiteral("new fw/\"v1.12\" tavik.hex"));
    child<QLineEdit>(*window, "lineEditSelectedFileFlashen")->setText(path);

    ModalAnswerer answerer(QMessageBox::Ok, kHoldBoxMs);
    button("pushButtonFlashen")->click();
    QTRY_COMPARE_WITH_TIMEOUT(answerer.answered(), 2, kRunWaitMs);
    QCOMPARE(answerer.texts.at(1), germanText(245));
    QCOMPARE(answerer.informativeTexts.at(1), germanText(244));
    QVERIFY(portRetaken());
    QVERIFY(flashIdle());

    const QStringList args = QString::fromLocal8Bit(readFile(work->filePath(QStringLiteral("args.txt"))))
                                 .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(args.mid(0, 8), (QStringList{"-u", "-p", "m168", "-b", "9600", "-c", "avr109", "-v"}));
    QCOMPARE(args.value(9), sim->portPath());
    QCOMPARE(args.value(11), QStringLiteral("flash:w:") + path + QStringLiteral(":i"));

    QVERIFY(child<QTextEdit>(*window, "textEditConsole")->toPlainText().contains(QStringLiteral("Thank you.")));

    // The port was released before the tool ran and taken back after the box.
    const QString log = this->log();
    const qsizetype closed = log.indexOf(germanMessage(8));
    const qsizetype instructions = log.indexOf(germanMessage(101), closed);
    const qsizetype succeeded = log.indexOf(germanMessage(10), instructions);
    const qsizetype reopened = log.indexOf(germanMessage(7), succeeded);
    QVERIFY(closed >= 0 && instructions > closed && succeeded > instructions && reopened > succeeded);
    // A manual flash returns to the parameter tab.
    QCOMPARE(child<QTabWidget>(*window, "tabWidget")->currentIndex(), 2);
}

void TestFlashing::failedRunsAreFailures_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("thanked but failed")
        << QByteArray("avrdude error: unable to open programmer\\n\\navrdude done.  Thank you.\\n") << 1;
    QTest::newRow("no thanks") << QByteArray("something else entirely\\n") << 0;
}

void TestFlashing::failedRunsAreFailures()
{
    QFETCH(QByteArray, output);
    QFETCH(int, exitCode);
    connectDevice();
    useFakeTool(output, exitCode);
    child<QLineEdit>(*window, "lineEditSelectedFileFlashen")->setText(firmwareFile(QStringLiteral("fw.hex")));

    ModalAnswerer answerer(QMessageBox::Ok, kHoldBoxMs);
    button("pushButtonFlashen")->click();
    QTRY_COMPARE_WITH_TIMEOUT(answerer.answered(), 2, kRunWaitMs);
    QCOMPARE(answerer.texts.at(1), germanText(246));
    QVERIFY(answerer.informativeTexts.at(1).isEmpty());
    QVERIFY(portRetaken());
    QVERIFY(flashIdle());
    const QString log = this->log();
    QVERIFY(log.contains(germanMessage(66)));
    QVERIFY(!log.contains(germanMessage(10)));
    QVERIFY(child<QTextEdit>(*window, "textEditConsole")->toPlainText().contains(QStringLiteral("Thank you."))
            == output.contains("Thank you."));
}

void TestFlashing::missingToolGivesThePortBack()
{
    connectDevice();
    qputenv("TAVIK7_AVRDUDE", QFile::encodeName(work->filePath(QStringLiteral("AVRDude/avrdude"))));
    child<QLineEdit>(*window, "lineEditSelectedFileFlashen")->setText(firmwareFile(QStringLiteral("fw.hex")));

    ModalAnswerer answerer(QMessageBox::Ok);
    button("pushButtonFlashen")->click();
    QVERIFY(portRetaken());
    QVERIFY(flashIdle());
    QVERIFY(child<QTextEdit>(*window, "textEditConsole")->isEnabled());
    QCOMPARE(answerer.answered(), 1); // only the adapter question, no result box

    const QString log = this->log();
    const qsizetype error = log.indexOf(germanMessage(67));
    QVERIFY(error >= 0);
    QVERIFY(log.indexOf(germanMessage(65), error) > error);
    QVERIFY(!log.contains(germanMessage(66)));
}

void TestFlashing::hangingToolIsCancelled()
{
    connectDevice();
    useFakeTool("Reading | ####\\n", 0);
    qputenv("FAKEAVRDUDE_HANG", "1");
    child<QLineEdit>(*window, "lineEditSelectedFileFlashen")->setText(firmwareFile(QStringLiteral("fw.hex")));
    auto *console = child<QTextEdit>(*window, "textEditConsole");

    ModalAnswerer answerer(QMessageBox::Ok, kHoldBoxMs);
    button("pushButtonFlashen")->click();
    QTRY_VERIFY_WITH_TIMEOUT(console->toPlainText().contains(QStringLiteral("Reading | ####")), kRunWaitMs);
    QVERIFY(!console->isEnabled());
    QVERIFY(!button("pushButtonSelectFlashen")->isEnabled());
    QVERIFY(!button("pushButtonFlashen")->isEnabled());
    QVERIFY(!button("pushButtonDisconnect")->isEnabled());

    // Connecting by hand meanwhile must not take Cancel away.
    child<QTabWidget>(*window, "tabWidget")->setCurrentIndex(0);
    button("pushButtonConnect")->click();
    QVERIFY(button("pushButtonDisconnect")->isEnabled());
    QVERIFY(button("pushButtonFlashenCancel")->isEnabled());
    button("pushButtonDisconnect")->click();
    QVERIFY(button("pushButtonFlashenCancel")->isEnabled());

    button("pushButtonFlashenCancel")->click();
    QTRY_COMPARE_WITH_TIMEOUT(answerer.answered(), 2, kRunWaitMs);
    QCOMPARE(answerer.texts.at(1), germanText(246));
    QVERIFY(portRetaken());
    QVERIFY(flashIdle());
    const QString log = this->log();
    const qsizetype error = log.lastIndexOf(germanMessage(67));
    QVERIFY(error >= 0);
    QVERIFY(log.indexOf(germanMessage(66), error) > error);
}

void TestFlashing::closingDuringRunEndsTheTool()
{
    connectDevice();
    useFakeTool("Writing | ##\\n", 0);
    qputenv("FAKEAVRDUDE_HANG", "1");
    child<QLineEdit>(*window, "lineEditSelectedFileFlashen")->setText(firmwareFile(QStringLiteral("fw.hex")));
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

void TestFlashing::realAvrdudeFlashesTheSimulator()
{
    const QString avrdude = QStandardPaths::findExecutable(QStringLiteral("avrdude"));
    if (avrdude.isEmpty())
        QSKIP("avrdude is not installed");
    const QString state = work->filePath(QStringLiteral("device.txt"));
    connectDevice({QStringLiteral("--version"), QStringLiteral("111"), QStringLiteral("--state"), state});
    qputenv("TAVIK7_AVRDUDE", QFile::encodeName(avrdude));
    // As the wizard starts it: the file put in place, then the slot called.
    child<QLineEdit>(*window, "lineEditSelectedFileFlashen")
        ->setText(QStringLiteral(TAVIK7_FIRMWARE_DIR "/tavik_v1_12.hex"));

    ModalAnswerer answerer(QMessageBox::Ok, kHoldBoxMs);
    window->onFlashenClicked();
    QTRY_COMPARE_WITH_TIMEOUT(answerer.answered(), 2, kRealFlashWaitMs);
    const QString console = child<QTextEdit>(*window, "textEditConsole")->toPlainText();
    QVERIFY2(answerer.texts.at(1) == germanText(245), qPrintable(console));
    QVERIFY(console.contains(QStringLiteral("300 bytes of flash verified")));
    QVERIFY(portRetaken());

    // The device now runs firmware 1.12, and keeps it.
    child<QTabWidget>(*window, "tabWidget")->setCurrentIndex(2);
    button("pushButtonReadSettings")->click();
    QTRY_COMPARE_WITH_TIMEOUT(tableModel(*window)->item(TAVIK7_Bediensoftware::RowSoftwareVersion, 1)->text(),
                              QStringLiteral("1.12"), kRunWaitMs);
    QVERIFY(QString::fromLatin1(readFile(state)).contains(QStringLiteral("version=112")));
}

QTEST_MAIN(TestFlashing)
#include "tst_flashing.moc"
