// Help beyond the specified messages: why a port did not open.

#include <QtTest>

#include <QComboBox>
#include <QPushButton>
#include <QTemporaryDir>

#include "modaldialogs.h"
#include "tavik7_bediensoftware.h"
#include "texttable.h"
#include "windowaccess.h"

class TestFieldSafety : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void vanishedPortSaysWhy();

private:
    QScopedPointer<QTemporaryDir> appData;
};

void TestFieldSafety::initTestCase()
{
    registerTavik7Resources();
    appData.reset(new QTemporaryDir);
    QVERIFY(appData->isValid());
    qputenv("APPDATA", QFile::encodeName(appData->path()));
    qputenv("TAVIK7_EXTRA_PORTS", QByteArray());
}

void TestFieldSafety::vanishedPortSaysWhy()
{
    TAVIK7_Bediensoftware window;
    window.show();
    // Listed a moment ago, gone by the time Connect is pressed.
    auto *devices = child<QComboBox>(window, "comboBoxDevice");
    devices->addItem(QStringLiteral("/dev/pts/no-such-port"));
    devices->setCurrentIndex(devices->count() - 1);
    child<QPushButton>(window, "pushButtonConnect")->click();

    const QStringList messages = consoleMessages(window);
    QCOMPARE(messages.size(), 2);
    QCOMPARE(messages.at(0), tavik7::messageText(61, tavik7::German));
    QVERIFY2(messages.at(1).contains(QStringLiteral("abgezogen")), qPrintable(messages.at(1)));
    QVERIFY(child<QPushButton>(window, "pushButtonConnect")->isEnabled());
}

QTEST_MAIN(TestFieldSafety)
#include "tst_fieldsafety.moc"
