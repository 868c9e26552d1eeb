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
#include "readfile.h"
#include "tavik7_bediensoftware.h"
#include "texttable.h"
#include "windowaccess.h"

namespace {

constexpr int kRunWaitMs = 15000;
// avrdude at 9600 baud needs a few seconds for the small images; a loaded
// machine may need many more.
constexpr int kRealFlashWaitMs = 60000;
constexpr int kHoldBoxMs = 1500;

const char *const kToolVariables[] = {"TAVIK7_AVRDUDE", "FAKEAVRDUDE_OUTPUT", "FAKEAVRDUDE_EXIT",
                                      "FAKEAVRDUDE_HANG", "FAKEAVRDUDE_ARGS_FILE"};

QString message(int id)
{
    return tavik7::messageText(id, tavik7::German);
}

QString text(int id)
{
    return tavik7::text(id, tavik7::German);
}

// Answers message boxes like ModalAnswerer, but also the window's shared box
// when it is shown again straight after being closed, with no pause in
// between in which a poll could see it gone: the flash result box follows
// the tool's end at once, and the adapter question may follow another box.
class BoxAnswerer : public QObject
{
public:
    explicit BoxAnswerer(QMessageBox::StandardButton answer, int holdMs = 0)
        : answer(answer), holdMs(holdMs)
    {
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, this, [this] { poll(); });
        timer.start();
    }

    QStringList texts;
    QStringList informativeTexts;
    [[nodiscard]] int answered() const { return int(texts.size()); }

private:
    void poll()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) {
            seenBox = nullptr;
            return;
        }
        if (box != seenBox) {
            seenBox = box;
            seen.start();
        }
        if (seen.elapsed() < holdMs)
            return;
        texts.append(box->text());
        informativeTexts.append(box->informativeText());
        QAbstractButton *button = box->button(answer);
        if (!button)
            button = box->buttons().value(0);
        // Closing the box hides it; if it shows up again, that is a new question.
        seenBox = nullptr;
        if (button)
            button->click();
    }

    QMessageBox::StandardButton answer;
    int holdMs;
    QTimer timer;
    QElapsedTimer seen;
    QPointer<QMessageBox> seenBox;
};

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
    QString outputLog() const;
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
    QFile::remove(outputLog());
    QVERIFY(noModalLeft());
}

void TestFlashing::connectDevice(const QStringList &simArgs)
{
    QVERIFY2(sim->start(simArgs), qPrintable(sim->errorString()));
    qputenv("TAVIK7_EXTRA_PORTS", QFile::encodeName(sim->portPath()));
    window = std::make_unique<TAVIK7_Bediensoftware>();
    window->show();
    auto *devices = child<QComboBox>(*window, "comboBoxDevice");
    devices->setCurrentIndex(devices->findText(sim->portPath()));
    button("pushButtonConnect")->click();
    QVERIFY(button("pushButtonDisconnect")->isEnabled());
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

QString TestFlashing::outputLog() const
{
    return appData->path() + QStringLiteral("/KLV TAVIK7 PC Software/Tavik7_Output_Logfile1.txt");
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
    QCOMPARE(consoleMessages(*window).first(), message(101).section(QLatin1Char('\n'), 0, 0));

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
        BoxAnswerer answerer(QMessageBox::Ok);
        button("pushButtonFlashen")->click();
        QCOMPARE(answerer.answered(), 0);
        QVERIFY(child<QTextEdit>(*window, "textEditOutput")->toPlainText().contains(message(63)));
    }

    // Cancel in the adapter box: the port stays, no tool runs.
    selected->setText(firmwareFile(QStringLiteral("fw.hex")));
    {
        BoxAnswerer answerer(QMessageBox::Cancel, kHoldBoxMs);
        button("pushButtonFlashen")->click();
        QCOMPARE(answerer.answered(), 1);
        QCOMPARE(answerer.texts.first(), text(243));
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

    BoxAnswerer answerer(QMessageBox::Ok, kHoldBoxMs);
    button("pushButtonFlashen")->click();
    QTRY_COMPARE_WITH_TIMEOUT(answerer.answered(), 2, kRunWaitMs);
    QCOMPARE(answerer.texts.at(1), text(245));
    QCOMPARE(answerer.informativeTexts.at(1), text(244));
    QVERIFY(portRetaken());
    QVERIFY(flashIdle());

    const QStringList args = QString::fromLocal8Bit(readFile(work->filePath(QStringLiteral("args.txt"))))
                                 .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(args.mid(0, 8), (QStringList{"-u", "-p", "m168", "-b", "9600", "-c", "avr109", "-v"}));
    QCOMPARE(args.value(9), sim->portPath());
    QCOMPARE(args.value(11), QStringLiteral("flash:w:") + path + QStringLiteral(":i"));

    const QString console = child<QTextEdit>(*window, "textEditConsole")->toPlainText();
    QVERIFY(console.startsWith(QStringLiteral("\"") + QDir::toNativeSeparators(TAVIK7_FAKEAVRDUDE_PATH)
                               + QStringLiteral("\" -u -p m168 -b 9600 -c avr109 -v -P ") + sim->portPath()
                               + QStringLiteral(" -U flash:w:\"") + path + QStringLiteral("\":i\n")));
    QVERIFY(console.contains(QStringLiteral("avrdude done.  Thank you.")));

    // The port was released before the tool ran and taken back after the box.
    const QString log = QString::fromLatin1(readFile(outputLog()));
    const qsizetype closed = log.indexOf(message(8));
    const qsizetype instructions = log.indexOf(message(101), closed);
    const qsizetype succeeded = log.indexOf(message(10), instructions);
    const qsizetype reopened = log.indexOf(message(7), succeeded);
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

    BoxAnswerer answerer(QMessageBox::Ok, kHoldBoxMs);
    button("pushButtonFlashen")->click();
    QTRY_COMPARE_WITH_TIMEOUT(answerer.answered(), 2, kRunWaitMs);
    QCOMPARE(answerer.texts.at(1), text(246));
    QVERIFY(answerer.informativeTexts.at(1).isEmpty());
    QVERIFY(portRetaken());
    QVERIFY(flashIdle());
    const QString log = QString::fromLatin1(readFile(outputLog()));
    QVERIFY(log.contains(message(66)));
    QVERIFY(!log.contains(message(10)));
    QVERIFY(child<QTextEdit>(*window, "textEditConsole")->toPlainText().contains(QStringLiteral("Thank you."))
            == output.contains("Thank you."));
}

void TestFlashing::missingToolGivesThePortBack()
{
    connectDevice();
    qputenv("TAVIK7_AVRDUDE", QFile::encodeName(work->filePath(QStringLiteral("AVRDude/avrdude"))));
    child<QLineEdit>(*window, "lineEditSelectedFileFlashen")->setText(firmwareFile(QStringLiteral("fw.hex")));

    BoxAnswerer answerer(QMessageBox::Ok);
    button("pushButtonFlashen")->click();
    QVERIFY(portRetaken());
    QVERIFY(flashIdle());
    QVERIFY(child<QTextEdit>(*window, "textEditConsole")->isEnabled());
    QCOMPARE(answerer.answered(), 1); // only the adapter question, no result box

    const QString log = QString::fromLatin1(readFile(outputLog()));
    const qsizetype error = log.indexOf(message(67));
    QVERIFY(error >= 0);
    QVERIFY(log.indexOf(message(65), error) > error);
    QVERIFY(!log.contains(message(66)));
}

void TestFlashing::hangingToolIsCancelled()
{
    connectDevice();
    useFakeTool("Reading | ####\\n", 0);
    qputenv("FAKEAVRDUDE_HANG", "1");
    child<QLineEdit>(*window, "lineEditSelectedFileFlashen")->setText(firmwareFile(QStringLiteral("fw.hex")));
    auto *console = child<QTextEdit>(*window, "textEditConsole");

    BoxAnswerer answerer(QMessageBox::Ok, kHoldBoxMs);
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
    QCOMPARE(answerer.texts.at(1), text(246));
    QVERIFY(portRetaken());
    QVERIFY(flashIdle());
    const QString log = QString::fromLatin1(readFile(outputLog()));
    const qsizetype error = log.lastIndexOf(message(67));
    QVERIFY(error >= 0);
    QVERIFY(log.indexOf(message(66), error) > error);
}

void TestFlashing::closingDuringRunEndsTheTool()
{
    connectDevice();
    useFakeTool("Writing | ##\\n", 0);
    qputenv("FAKEAVRDUDE_HANG", "1");
    child<QLineEdit>(*window, "lineEditSelectedFileFlashen")->setText(firmwareFile(QStringLiteral("fw.hex")));
    BoxAnswerer answerer(QMessageBox::Ok);
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

    BoxAnswerer answerer(QMessageBox::Ok, kHoldBoxMs);
    window->onFlashenClicked();
    QTRY_COMPARE_WITH_TIMEOUT(answerer.answered(), 2, kRealFlashWaitMs);
    const QString console = child<QTextEdit>(*window, "textEditConsole")->toPlainText();
    QVERIFY2(answerer.texts.at(1) == text(245), qPrintable(console));
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
