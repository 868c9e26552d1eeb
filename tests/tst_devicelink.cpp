// The real window against the simulated device over a real serial line:
// connecting, reading, writing, set counter and the write and report
// sequences' faults. Writing with a changed direction, and the empty counter,
// are in tst_parameters, behind an open box; faults of the read sequence, time-outs
// and a line that goes away in tst_faultinjection.

#include <QtTest>

#include <QLineEdit>

#include "referencecrc.h"
#include "windowtest.h"

namespace {

constexpr int kAnswerWaitMs = 5000;

QString cell(QWidget &w, int row)
{
    return tableModel(w)->item(row, 1)->text();
}

} // namespace

class TestDeviceLink : public QObject, DeviceWindow
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

    void connectListsPortAndOpensIt();
    void plainReadFillsTableAndCounter();
    void writeWithUnchangedDirection();
    void setCounterAsksFirst();
    void faultyAnswers_data();
    void faultyAnswers();

private:
    // A request has ended when Write settings is usable again.
    bool waitIdle()
    {
        return QTest::qWaitFor([this] { return button("pushButtonWriteSettings")->isEnabled(); }, kAnswerWaitMs);
    }
};

void TestDeviceLink::connectListsPortAndOpensIt()
{
    // From the Interface tab Connect leads into the wizard; from elsewhere to the parameters.
    QVERIFY(connectDevice({}, 1));
    QCOMPARE(consoleMessages(*window), germanMessages({7}));
    QVERIFY(button("pushButtonReadSettings")->isEnabled());

    button("pushButtonDisconnect")->click();
    QCOMPARE(window->windowTitle(), QStringLiteral("TAVIK7 PC Software: nicht verbunden"));
    QCOMPARE(consoleMessages(*window), germanMessages({8}));
    QVERIFY(!button("pushButtonReadSettings")->isEnabled());
    auto *tabs = w<QTabWidget>("tabWidget");
    tabs->setCurrentIndex(3);
    button("pushButtonConnect")->click();
    QCOMPARE(tabs->currentIndex(), 2);
}

void TestDeviceLink::plainReadFillsTableAndCounter()
{
    QVERIFY(connectDevice({"--unit", "kWh", "--significance", "1", "--counter", "123456789"}));
    QVERIFY(readSettings());
    QCOMPARE(commands(sim->received()), QStringList({"LP", "L_ZLW"}));

    QCOMPARE(cell(*window, 0), QStringLiteral("kWh"));
    QCOMPARE(cell(*window, 7), QStringLiteral("1.12"));
    QCOMPARE(w<QComboBox>("comboBoxSignificance")->currentText(), QStringLiteral("-2"));
    // Nine digits from firmware 1.12 on, two of them after the comma for exponent -2.
    QCOMPARE(w<QLineEdit>("lineEditCounter")->text(), QStringLiteral("1234567,89"));
    QVERIFY(button("pushButtonSetCounter")->isEnabled());

    QVERIFY(outputLog(appData->path()).contains(germanMessage(3).toLatin1() + "\r\n"));
}

void TestDeviceLink::writeWithUnchangedDirection()
{
    QVERIFY(connectDevice());
    QVERIFY(readSettings());
    sim->clearLog();

    tableModel(*window)->item(0, 1)->setText(QStringLiteral("kg"));
    w<QComboBox>("comboBoxTelegramB")->setCurrentIndex(2);
    ModalAnswerer answerer(QMessageBox::No);
    button("pushButtonWriteSettings")->click();
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
    QVERIFY(readSettings());
    QCOMPARE(cell(*window, 0), QStringLiteral("kg"));
    QCOMPARE(w<QComboBox>("comboBoxTelegramB")->currentIndex(), 2);
}

void TestDeviceLink::setCounterAsksFirst()
{
    QVERIFY(connectDevice());
    QVERIFY(readSettings());
    sim->clearLog();
    auto *counter = w<QLineEdit>("lineEditCounter");
    auto *setCounter = button("pushButtonSetCounter");
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

    QTest::newRow("SP Fehler") << "error=SP" << "pushButtonWriteSettings" << germanMessages({53});
    QTest::newRow("SP in pieces") << "pieces=SP" << "pushButtonWriteSettings" << germanMessages({1, 2});
    // In the report sequence the counter's time-out says that no report was made.
    QTest::newRow("report, L_ZLW silent") << "silent=L_ZLW" << "pushButtonCreatePdf" << germanMessages({71});
}

void TestDeviceLink::faultyAnswers()
{
    QFETCH(QString, fault);
    QFETCH(QString, button);
    QFETCH(QStringList, messages);
    QVERIFY(connectDevice());
    QVERIFY(readSettings());
    QVERIFY(sim->control("fault " + fault.toLatin1()));

    window->findChild<QPushButton *>(button)->click();
    QTRY_COMPARE_WITH_TIMEOUT(consoleMessages(*window), messages, kAnswerWaitMs);
    QVERIFY(waitIdle());
}

QTEST_MAIN(TestDeviceLink)
#include "tst_devicelink.moc"
