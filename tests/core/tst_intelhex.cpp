// The firmware image check: hand-made images, each with one fault, and the
// line the check must name.

#include <QtTest>

#include <QBuffer>

#include "fifo.h"
#include "intelhex.h"

using namespace tavik7;

namespace {

// A record with its checksum computed here, independently of the checker.
QByteArray record(int type, quint16 address, const QByteArray &data)
{
    QByteArray bytes;
    bytes.append(char(data.size()));
    bytes.append(char(address >> 8));
    bytes.append(char(address & 0xFF));
    bytes.append(char(type));
    bytes.append(data);
    int sum = 0;
    for (char b : bytes)
        sum += quint8(b);
    bytes.append(char((0x100 - (sum & 0xFF)) & 0xFF));
    return ':' + bytes.toHex().toUpper() + "\r\n";
}

QByteArray hex(const char *digits)
{
    return QByteArray::fromHex(digits);
}

const QByteArray kEnd(":00000001FF\r\n");

} // namespace

class TestIntelHex : public QObject
{
    Q_OBJECT

private slots:
    void images_data();
    void images();
    void shippedFirmware();
    void notARegularFile();
};

void TestIntelHex::images_data()
{
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("line");

    const QByteArray data = record(0, 0x0000, QByteArray(16, '\x55'));
    const QByteArray lastAppByte = record(0, 0x37FF, QByteArray(1, '\x01'));
    auto row = [](const char *name, const QByteArray &image, IntelHexFault fault, int line) {
        QTest::newRow(name) << image << int(fault) << line;
    };
    row("data and end", data + data + kEnd, IntelHexFault::None, 0);
    row("LF only, blank lines, start records", "\n" + record(3, 0, hex("00000000")) + data + kEnd + "\n",
        IntelHexFault::None, 0);
    row("last byte below the boot loader", lastAppByte + kEnd, IntelHexFault::None, 0);
    row("into the boot loader", data + record(0, 0x37FF, hex("0102")) + kEnd, IntelHexFault::OutsideFlash, 2);
    row("beyond via segment", record(2, 0, hex("1000")) + data + kEnd, IntelHexFault::OutsideFlash, 2);
    row("beyond via linear", record(4, 0, hex("0001")) + data + kEnd, IntelHexFault::OutsideFlash, 2);
    QByteArray flipped = data;
    flipped[10] = flipped[10] == '5' ? '4' : '5';
    row("checksum", data + flipped + kEnd, IntelHexFault::BadChecksum, 2);
    row("no colon", data + data.mid(1) + kEnd, IntelHexFault::NoStartCode, 2);
    row("not hex", data.left(9) + "G" + data.mid(10) + kEnd, IntelHexFault::NotHex, 1);
    row("odd digit count", data.left(9) + data.mid(10) + kEnd, IntelHexFault::NotHex, 1);
    row("cut short", data.left(21) + "\r\n" + kEnd, IntelHexFault::LengthMismatch, 1);
    row("unknown type", data + record(6, 0, "") + kEnd, IntelHexFault::UnknownType, 2);
    row("short linear address", record(4, 0, hex("00")) + kEnd, IntelHexFault::BadAddressRecord, 1);
    row("end with data", data + record(1, 0, hex("00")), IntelHexFault::BadAddressRecord, 2);
    row("no end", data + data, IntelHexFault::NoEndRecord, 3);
    row("empty file", QByteArray(), IntelHexFault::NoEndRecord, 1);
    row("end record alone", kEnd, IntelHexFault::NoData, 1);
    row("empty data record, then end", "\n" + record(0, 0x0100, "") + kEnd, IntelHexFault::NoData, 3);
    // 0xFFFF0000 + 0xFFF8 + 16 is 8 past 4 GiB: in 32 bits it would land at 8.
    row("wraps past 4 GiB", record(4, 0, hex("FFFF")) + record(0, 0xFFF8, QByteArray(16, '\x55')) + kEnd,
        IntelHexFault::OutsideFlash, 2);
    row("record after end", data + kEnd + data, IntelHexFault::AfterEnd, 3);
    row("overlong line", ':' + QByteArray(4000, '0') + "\n" + kEnd, IntelHexFault::LengthMismatch, 1);
}

void TestIntelHex::images()
{
    QFETCH(QByteArray, image);

    QBuffer buffer(&image);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    const IntelHexCheck check = checkIntelHex(buffer);
    QTEST(int(check.fault), "fault");
    QTEST(check.line, "line");
}

void TestIntelHex::shippedFirmware()
{
    for (const char *name : {"tavik_v1_11.hex", "tavik_v1_12.hex"})
        QVERIFY(checkIntelHexFile(QStringLiteral(TAVIK7_FIRMWARE_DIR "/") + QLatin1String(name)).ok());
    QCOMPARE(checkIntelHexFile(QStringLiteral("/nonexistent.hex")).fault, IntelHexFault::Unreadable);
}

void TestIntelHex::notARegularFile()
{
    // Refused before any open: a pipe without a writer would hold the check,
    // and a device would never end.
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("firmware.hex"));
    QVERIFY(makeFifo(fifo));
    IntelHexCheck check;
    QVERIFY(readsWithoutAWriter(fifo, [&] { check = checkIntelHexFile(fifo); }));
    QCOMPARE(check.fault, IntelHexFault::NotRegularFile);
    for (const QString &path : {QStringLiteral("/dev/zero"), dir.path()})
        QCOMPARE(checkIntelHexFile(path).fault, IntelHexFault::NotRegularFile);
}

QTEST_GUILESS_MAIN(TestIntelHex)
#include "tst_intelhex.moc"
