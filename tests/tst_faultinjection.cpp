// Faults on the line that no simulated device produces: the test drives the
// far end of a pseudo-terminal itself.

#include <QtTest>

#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>

#include "modaldialogs.h"
#include "rawline.h"
#include "tavik7_bediensoftware.h"
#include "windowaccess.h"

namespace {

qint64 residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

} // namespace

class TestFaultInjection : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void noiseWhileIdleIsNotHoarded();

private:
    QScopedPointer<QTemporaryDir> appData;
};

void TestFaultInjection::initTestCase()
{
    registerTavik7Resources();
    appData.reset(new QTemporaryDir);
    QVERIFY(appData->isValid());
    qputenv("APPDATA", QFile::encodeName(appData->path()));
}

void TestFaultInjection::noiseWhileIdleIsNotHoarded()
{
    RawLine line;
    QVERIFY(line.isOpen());
    qputenv("TAVIK7_EXTRA_PORTS", QFile::encodeName(line.portPath()));
    TAVIK7_Bediensoftware window;
    window.show();
    auto *devices = child<QComboBox>(window, "comboBoxDevice");
    devices->setCurrentIndex(devices->findText(line.portPath()));
    child<QPushButton>(window, "pushButtonConnect")->click();
    QVERIFY(child<QPushButton>(window, "pushButtonDisconnect")->isEnabled());

    // 16 MB of noise with no request outstanding and NAMUR off.
    const qint64 before = residentKiB();
    const QByteArray chunk(1024 * 1024, '\x55');
    for (int i = 0; i < 16; ++i)
        QVERIFY(line.send(chunk));
    QTest::qWait(200); // the last bytes reach the program
    const qint64 grownKiB = residentKiB() - before;
    QVERIFY2(grownKiB < 8 * 1024, qPrintable(QStringLiteral("grew by %1 KiB").arg(grownKiB)));
}

QTEST_MAIN(TestFaultInjection)
#include "tst_faultinjection.moc"
