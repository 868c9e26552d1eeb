// The real window against the simulated device over a real serial line:
// connecting, reading, writing, set counter, faults, time-outs and an
// unplugged adapter. Writing with a changed direction, and the empty counter,
// are in tst_parameters, behind an open box.

#include <QtTest>

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextEdit>

#include <memory>

#include "devsim.h"
#include "modaldialogs.h"
#include "referencecrc.h"
#include "windowtest.h"

namespace {

constexpr int kAnswerWaitMs = 5000;

QString cell(QWidget &w, int row)
{
    return tableModel(w)->item(row, 1)->text();
}

} // namespace

class TestDeviceLink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void connectListsPortAndOpensIt();
    void plainReadFillsTableAndCounter();
    void writeWithUnchangedDirection();
    void setCounterAsksFirst();
    void faultyAnswers_data();
    void faultyAnswers();
    void parameterReadTimesOut();
    void counterReadTimesOut();
    void unpluggedPortIsReleased();

private:
    void connectDevice(const QStringList &args = {});
    bool waitIdle();
    void readSettings();

    QScopedPointer<QTemporaryDir> appData;
    std::unique_ptr<DevSim> sim;
    std::unique_ptr<TAVIK7_Bediensoftware> window;
};

void TestDeviceLink::initTestCase()
{
    registerTavik7Resources();
    appData.reset(new QTemporaryDir);
    QVERIFY(appData->isValid());
    qputenv("APPDATA", QFile::encodeName(appData->path()));
}

void TestDeviceLink::init()
{
    sim = std::make_unique<DevSim>();
}

void TestDeviceLink::cleanup()
{
    window.reset();
    sim.reset();
    QVERIFY(noModalLeft());
}

void TestDeviceLink::connectDevice(const QStringList &args)
{
    QVERIFY2(sim->start(args), qPrintable(sim->errorString()));
    if (!window)
        window = openWindowOn(sim->portPath());
    QVERIFY(connectWindow(*window, sim->portPath()));
    child<QTabWidget>(*window, "tabWidget")->setCurrentIndex(2);
}

// A request has ended when the read button is usable again.
bool TestDeviceLink::waitIdle()
{
    return QTest::qWaitFor([this] { return child<QPushButton>(*window, "pushButtonWriteSettings")->isEnabled(); },
                           kAnswerWaitMs);
}

void TestDeviceLink::readSettings()
{
    child<QPushButton>(*window, "pushButtonReadSettings")->click();
    QVERIFY(sim->waitForReceived(2));
    QVERIFY(waitIdle());
    QTRY_COMPARE(consoleMessages(*window), germanMessages({1, 3}));
}

void TestDeviceLink::connectListsPortAndOpensIt()
{
    QVERIFY(sim->start());
    window = openWindowOn(sim->portPath());
    auto *tabs = child<QTabWidget>(*window, "tabWidget");
    QCOMPARE(tabs->currentIndex(), 0);
    QVERIFY(connectWindow(*window, sim->portPath()));
    QCOMPARE(consoleMessages(*window), germanMessages({7}));
    QVERIFY(child<QPushButton>(*window, "pushButtonReadSettings")->isEnabled());

    // From the Interface tab Connect leads into the wizard; from elsewhere to the parameters.
    child<QPushButton>(*window, "pushButtonDisconnect")->click();
    QCOMPARE(window->windowTitle(), QStringLiteral("TAVIK7 PC Software: nicht verbunden"));
    QCOMPARE(consoleMessages(*window), germanMessages({8}));
    QVERIFY(!child<QPushButton>(*window, "pushButtonReadSettings")->isEnabled());
    tabs->setCurrentIndex(0);
    child<QPushButton>(*window, "pushButtonConnect")->click();
    QCOMPARE(tabs->currentIndex(), 1);
    child<QPushButton>(*window, "pushButtonDisconnect")->click();
    tabs->setCurrentIndex(3);
    child<QPushButton>(*window, "pushButtonConnect")->click();
    QCOMPARE(tabs->currentIndex(), 2);
}

void TestDeviceLink::plainReadFillsTableAndCounter()
{
    connectDevice({"--unit", "kWh", "--significance", "1", "--counter", "123456789"});
    readSettings();
    QCOMPARE(commands(sim->received()), QStringList({"LP", "L_ZLW"}));

    QCOMPARE(cell(*window, 0), QStringLiteral("kWh"));
    QCOMPARE(cell(*window, 7), QStringLiteral("1.12"));
    QCOMPARE(child<QComboBox>(*window, "comboBoxSignificance")->currentText(), QStringLiteral("-2"));
    // Nine digits from firmware 1.12 on, two of them after the comma for exponent -2.
    QCOMPARE(child<QLineEdit>(*window, "lineEditCounter")->text(), QStringLiteral("1234567,89"));
    QVERIFY(child<QPushButton>(*window, "pushButtonSetCounter")->isEnabled());

    QVERIFY(outputLog(appData->path()).contains(germanMessage(3).toLatin1() + "\r\n"));
}

void TestDeviceLink::writeWithUnchangedDirection()
{
    connectDevice();
    readSettings();
    sim->clearLog();

    tableModel(*window)->item(0, 1)->setText(QStringLiteral("kg"));
    child<QComboBox>(*window, "comboBoxTelegramB")->setCurrentIndex(2);
    ModalAnswerer answerer(QMessageBox::No);
    child<QPushButton>(*window, "pushButtonWriteSettings")->click();
    QVERIFY(sim->waitForReceived(2));
    QVERIFY(waitIdle());
    QTRY_COMPARE(consoleMessages(*window), germanMessages({1, 2}));
    QCOMPARE(commands(sim->received()), QStringList({"LP", "SP"}));
    QCOMPARE(answerer.answered(), 0);

    // The telegram, byte for byte, from the table's values and an independent CRC.
    QByteArray expected("SP ");
    expected.append(char(41)).append(char(112)).append(char(0));
    expected.append("0\0\0", 3).append("kg\0\0", 4).append("ABC\0", 4).append("TAV7\0\0\0", 7);
    expected.append("123456789\0", 10).append("2024\0", 5);
    expected.append(char(0)).append(char(2)).append(char(0)).append(char(2)).append(char(0));
    const quint16 crc = referenceCrc(expected.mid(3, 39));
    expected.append(char(crc & 0xFF)).append(char(crc >> 8)).append("\r\n");
    const QString sent = sim->received().at(1).section(QLatin1Char(' '), 2);
    QCOMPARE(sent, QString::fromLatin1(expected.toHex()));

    // The device took it: a new read brings the written unit back.
    tableModel(*window)->item(0, 1)->setText(QStringLiteral("xx"));
    sim->clearLog();
    readSettings();
    QCOMPARE(cell(*window, 0), QStringLiteral("kg"));
    QCOMPARE(child<QComboBox>(*window, "comboBoxTelegramB")->currentIndex(), 2);
}

void TestDeviceLink::setCounterAsksFirst()
{
    connectDevice();
    readSettings();
    sim->clearLog();
    auto *counter = child<QLineEdit>(*window, "lineEditCounter");
    auto *setCounter = child<QPushButton>(*window, "pushButtonSetCounter");
    counter->setText(QStringLiteral("000000042"));

    {
        ModalAnswerer answerer(QMessageBox::No);
        setCounter->click();
        QCOMPARE(answerer.answered(), 1);
        QCOMPARE(answerer.texts.at(0), QString::fromUtf8("Zählwerksstand wirklich setzen?"));
    }
    QVERIFY(setCounter->isEnabled());

    // Had No sent anything, it would arrive before this one.
    counter->setText(QStringLiteral("000000043"));
    ModalAnswerer answerer(QMessageBox::Yes);
    setCounter->click();
    QVERIFY(sim->waitForReceived(1));
    QCOMPARE(sim->received(), QStringList({"RX S_ZLW 000000043"}));
    QVERIFY(waitIdle());
    QTRY_COMPARE(consoleMessages(*window), germanMessages({4}));
}

void TestDeviceLink::faultyAnswers_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("messages");

    QTest::newRow("LP bad CRC") << "badcrc=LP" << "pushButtonReadSettings" << germanMessages({52});
    QTest::newRow("LP Fehler") << "error=LP" << "pushButtonReadSettings" << germanMessages({51});
    QTest::newRow("LP in pieces") << "pieces=LP" << "pushButtonReadSettings" << germanMessages({1, 3});
    QTest::newRow("LP byte by byte") << "bytewise" << "pushButtonReadSettings" << germanMessages({1, 3});
    QTest::newRow("L_ZLW Fehler") << "error=L_ZLW" << "pushButtonReadSettings" << germanMessages({54});
    QTest::newRow("SP Fehler") << "error=SP" << "pushButtonWriteSettings" << germanMessages({53});
    QTest::newRow("SP in pieces") << "pieces=SP" << "pushButtonWriteSettings" << germanMessages({1, 2});
}

void TestDeviceLink::faultyAnswers()
{
    QFETCH(QString, fault);
    QFETCH(QString, button);
    QFETCH(QStringList, messages);
    connectDevice();
    if (button != QLatin1String("pushButtonReadSettings"))
        readSettings();
    QVERIFY(sim->control("fault " + fault.toLatin1()));

    window->findChild<QPushButton *>(button)->click();
    QTRY_COMPARE_WITH_TIMEOUT(consoleMessages(*window), messages, kAnswerWaitMs);
    QVERIFY(waitIdle());
}

void TestDeviceLink::parameterReadTimesOut()
{
    connectDevice({QStringLiteral("--fault"), QStringLiteral("silent=LP")});
    child<QPushButton>(*window, "pushButtonReadSettings")->click();
    QVERIFY(!child<QPushButton>(*window, "pushButtonReadSettings")->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(consoleMessages(*window), germanMessages({70}), 7000);
    QVERIFY(child<QPushButton>(*window, "pushButtonReadSettings")->isEnabled());
}

void TestDeviceLink::counterReadTimesOut()
{
    connectDevice({QStringLiteral("--fault"), QStringLiteral("silent=L_ZLW")});
    child<QPushButton>(*window, "pushButtonReadSettings")->click();
    QTRY_COMPARE_WITH_TIMEOUT(consoleMessages(*window), germanMessages({70}), 3000);
    QCOMPARE(cell(*window, 7), QStringLiteral("1.12")); // the parameters did arrive
    QVERIFY(waitIdle());

    // In the report sequence the same time-out says that no report was made.
    child<QPushButton>(*window, "pushButtonCreatePdf")->click();
    QTRY_COMPARE_WITH_TIMEOUT(consoleMessages(*window), germanMessages({71}), 3000);
}

void TestDeviceLink::unpluggedPortIsReleased()
{
    connectDevice({QStringLiteral("--fault"), QStringLiteral("hangup=LP")});
    const QString firstPort = sim->portPath();
    auto *devices = child<QComboBox>(*window, "comboBoxDevice");

    // The adapter goes away in the middle of a request.
    child<QPushButton>(*window, "pushButtonReadSettings")->click();
    QVERIFY(sim->waitForFinished());
    QTRY_COMPARE_WITH_TIMEOUT(window->windowTitle(), QStringLiteral("TAVIK7 PC Software: nicht verbunden"), 2000);
    QTRY_VERIFY_WITH_TIMEOUT(devices->findText(firstPort) < 0, 2000);
    QVERIFY(child<QPushButton>(*window, "pushButtonConnect")->isEnabled());
    QVERIFY(devices->isEnabled());
    // The request still ends by its time-out.
    QTRY_COMPARE_WITH_TIMEOUT(consoleMessages(*window), germanMessages({70}), 7000);

    // A new adapter appears in the list and can be opened.
    sim = std::make_unique<DevSim>();
    QVERIFY(sim->start());
    qputenv("TAVIK7_EXTRA_PORTS", QFile::encodeName(sim->portPath()));
    QTRY_VERIFY_WITH_TIMEOUT(devices->findText(sim->portPath()) >= 0, 2000);
    QVERIFY(connectWindow(*window, sim->portPath()));
    child<QTabWidget>(*window, "tabWidget")->setCurrentIndex(2);
    readSettings();
}

QTEST_MAIN(TestDeviceLink)
#include "tst_devicelink.moc"
