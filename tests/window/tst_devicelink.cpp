// The technician's walk through the device buttons, the real window against
// the simulated device: connect, read, write with a changed direction, set
// the counter. The requests, their order and their faults are the device
// link's tests, the history's records the recorder's, and that the device
// keeps what it was sent the simulator's.

#include <QtTest>

#include <QLineEdit>
#include <QStatusBar>

#include "changehistory.h"
#include "messagecatalogue.h"
#include "telegram.h"
#include "windowtest.h"

class TestDeviceLink : public DeviceWindow
{
    Q_OBJECT

private slots:
    void connectReadWriteSetCounter();
    void disconnectWhileAnAnswerIsAwaited();
    void closeWhileTheCounterGoesBack();
};

void TestDeviceLink::connectReadWriteSetCounter()
{
    // From the Interface tab Connect leads into the wizard; from elsewhere to the parameters.
    QVERIFY(connectDevice({"--unit", "kWh", "--significance", "1", "--counter", "123456789"}, 1));
    QCOMPARE(consoleMessages(*window), germanMessages({7}));
    button("pushButtonDisconnect")->click();
    QCOMPARE(window->windowTitle(), QStringLiteral("TAVIK7 PC Software: nicht verbunden"));
    QCOMPARE(consoleMessages(*window), germanMessages({8}));
    QVERIFY(!button("pushButtonReadSettings")->isEnabled());
    w<QTabWidget>("tabWidget")->setCurrentIndex(3);
    QVERIFY(connectWindow(*window, sim->portPath()));
    QCOMPARE(w<QTabWidget>("tabWidget")->currentIndex(), 2);

    QVERIFY(readSettings());
    QCOMPARE(tableModel(*window)->item(TAVIK7_Bediensoftware::RowUnit, 1)->text(), QStringLiteral("kWh"));
    QCOMPARE(w<QComboBox>("comboBoxSignificance")->currentText(), QStringLiteral("-2"));
    // Nine digits from firmware 1.12 on, two of them after the comma for exponent -2.
    auto *counter = w<QLineEdit>("lineEditCounter");
    QCOMPARE(counter->text(), QStringLiteral("1234567,89"));

    // A changed direction: the device's reading is read and goes back after
    // the telegram, without a question. The history cannot be written: the
    // device is written all the same, and the console says so once.
    QVERIFY(QDir().mkdir(folder() + QLatin1String(tavik7::kChangeHistoryFileName)));
    QVERIFY(editCell(*window, TAVIK7_Bediensoftware::RowUnit, QStringLiteral("kg")));
    w<QComboBox>("comboBoxTelegramB")->setCurrentIndex(2);
    w<QComboBox>("comboBoxDirection")->setCurrentIndex(1);
    sim->clearLog();
    {
        ModalAnswerer none(QMessageBox::No);
        button("pushButtonWriteSettings")->click();
        QTRY_COMPARE(consoleMessages(*window).mid(0, 5), germanMessages({1, 13, 3, 2, 4}));
        QCOMPARE(none.answered(), 0);
    }
    const tavik7::WriteTelegram sent =
        tavik7::parseWriteTelegram(QByteArray::fromHex(sim->received().at(2).section(QLatin1Char(' '), 2).toLatin1()));
    QVERIFY(sent.valid);
    QCOMPARE(tavik7::fieldText(sent.record.unit, tavik7::kUnitWidth), QStringLiteral("kg"));
    QCOMPARE(sent.record.significance, qint8(1));
    QCOMPARE(sent.record.direction, qint8(1));
    QCOMPARE(sent.record.telegramB, qint8(2));
    QCOMPARE(sim->received().at(3), QStringLiteral("RX S_ZLW 123456789"));

    // Set counter asks first; No sends nothing.
    counter->setText(QStringLiteral("0000000,42"));
    {
        ModalAnswerer no(QMessageBox::No);
        button("pushButtonSetCounter")->click();
        QCOMPARE(no.texts, QStringList{QString::fromUtf8("Zählwerksstand wirklich setzen?")});
    }
    QVERIFY(button("pushButtonSetCounter")->isEnabled());
    counter->setText(QStringLiteral("0000000,43"));
    sim->clearLog();
    ModalAnswerer yes(QMessageBox::Yes);
    button("pushButtonSetCounter")->click();
    QTRY_COMPARE(consoleMessages(*window), germanMessages({4}));
    QCOMPARE(sim->received(), QStringList({"RX S_ZLW 000000043"}));
    QCOMPARE(log().count(QStringLiteral("Änderungshistorie")), 1);
}

void TestDeviceLink::disconnectWhileAnAnswerIsAwaited()
{
    // The port is closed, and the read it cut short did not complete: both are said.
    QVERIFY(connectDevice());
    QVERIFY(sim->control("fault silent=LP"));
    button("pushButtonReadSettings")->click();
    QVERIFY(sim->waitForReceived(1));
    button("pushButtonDisconnect")->click();
    QCOMPARE(consoleMessages(*window), germanMessages({8, 70}));

    // Cut after the device took a new direction: the reading it had is
    // named, to be set again.
    QVERIFY(sim->control("clear-faults"));
    QVERIFY(connectWindow(*window, sim->portPath()));
    QVERIFY(readSettings());
    w<QComboBox>("comboBoxDirection")->setCurrentIndex(1);
    QVERIFY(sim->control("fault silent=S_ZLW"));
    button("pushButtonWriteSettings")->click();
    QVERIFY(sim->waitForLine(QStringLiteral("RX S_ZLW")));
    button("pushButtonDisconnect")->click();
    const QString note = tavik7::renderMessage(tavik7::MessageId::NoteCounterNotWrittenBack,
                                               {w<QLineEdit>("lineEditCounter")->text()}, tavik7::German);
    QCOMPARE(consoleMessages(*window), germanMessages({8, 70}) << note);
}

void TestDeviceLink::closeWhileTheCounterGoesBack()
{
    // The device took a new direction; the window stays until its reading
    // is back, then closes by itself.
    QVERIFY(connectDevice());
    QVERIFY(readSettings());
    w<QComboBox>("comboBoxDirection")->setCurrentIndex(1);
    QVERIFY(sim->control("fault late=S_ZLW"));
    button("pushButtonWriteSettings")->click();
    QVERIFY(sim->waitForLine(QStringLiteral("RX S_ZLW")));
    QVERIFY(!window->close());
    QVERIFY(window->isVisible());
    QCOMPARE(window->statusBar()->currentMessage(),
             tavik7::catalogueText(tavik7::MessageId::NoteClosingAfterWrite, tavik7::German));
    QTRY_VERIFY(!window->isVisible());
    QCOMPARE(sim->commands().count(QStringLiteral("S_ZLW")), 1);
    QCOMPARE(consoleMessages(*window).mid(0, 5), germanMessages({1, 13, 3, 2, 4}));

    // A device that never answers: the window goes after the time-out, the
    // reading left unwritten in the log.
    window->show();
    QVERIFY(connectWindow(*window, sim->portPath()));
    QVERIFY(readSettings());
    shortenTimeouts(2500, 500);
    w<QComboBox>("comboBoxDirection")->setCurrentIndex(0);
    QVERIFY(sim->control("fault silent=S_ZLW"));
    button("pushButtonWriteSettings")->click();
    QVERIFY(sim->waitForLine(QStringLiteral("RX S_ZLW")));
    QVERIFY(!window->close());
    QTRY_VERIFY(!window->isVisible());
    QVERIFY(log().contains(tavik7::renderMessage(tavik7::MessageId::NoteCounterNotWrittenBack,
                                                 {w<QLineEdit>("lineEditCounter")->text()}, tavik7::German)));
}

QTEST_MAIN(TestDeviceLink)
#include "tst_devicelink.moc"
