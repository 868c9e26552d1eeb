// Telegram codec and CRC against vectors computed independently of the codec.

#include <QtTest>

#include <cstring>

#include "crc16.h"
#include "telegram.h"
#include "referencecrc.h"
#include "parameterfields.h"
#include "samplerecord.h"

using namespace tavik7;

namespace {

void appendCrc(QByteArray &bytes, const QByteArray &covered)
{
    const quint16 crc = referenceCrc(covered);
    bytes.append(char(crc & 0xFF)).append(char(crc >> 8));
}

// The "SP" telegram of sampleRecord() written out by hand from the field layout:
// significance, unit, manufacturer, device type, serial number, year, five settings.
QByteArray handMadeWriteTelegram(quint16 version)
{
    QByteArray t("SP ");
    t.append(char(41)).append(char(version & 0xFF)).append(char(version >> 8));
    t.append(QByteArray::fromHex("2d3200 6b576800 41424300 54415637000000 31323334353637383900 3230323400 0205010301"));
    appendCrc(t, t.mid(3, 39));
    return t + "\r\n";
}

// Length, counter, version 1.12, then as above (a gap in the serial number), software CRC 0x0a3f.
QByteArray handMadeParameterAnswer()
{
    QByteArray a = QByteArray::fromHex("31 11223344 7000 2d3200 6b576800 58592600 54372d30310000 "
                                       "31320000333435000000 3139393900 0205010200 3f0a");
    appendCrc(a, a);
    return a;
}

} // namespace

class TestTelegram : public QObject
{
    Q_OBJECT

private slots:
    void crcMatchesReference_data();
    void crcMatchesReference();
    void writeTelegramLayout();
    void writeTelegramAvoidsLineEndsInCrc();
    void writeTelegramCarriesEachField();
    void parameterAnswerDecoding();
    void parameterAnswerFaults_data();
    void parameterAnswerFaults();
    void significanceTextBothWays_data();
    void significanceTextBothWays();
    void lineAnswers_data();
    void lineAnswers();
};

Q_DECLARE_METATYPE(tavik7::LineAnswer)

void TestTelegram::crcMatchesReference_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("check value") << QByteArray("123456789");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("all ones") << QByteArray(47, '\xFF');
    QTest::newRow("telegram") << handMadeWriteTelegram(112).mid(3, 39);
}

void TestTelegram::crcMatchesReference()
{
    QFETCH(QByteArray, data);
    QCOMPARE(crc16(data), referenceCrc(data));
    if (data == "123456789")
        QCOMPARE(crc16(data), quint16(0x6F91));
}

void TestTelegram::writeTelegramLayout()
{
    const QByteArray telegram = buildWriteTelegram(sampleRecord());
    QCOMPARE(telegram.size(), kWriteTelegramSize);
    // This record's CRC has no CR or LF, so attempt 0 goes out. The CRC
    // covers bytes 3 to 41, not the last two settings.
    QCOMPARE(telegram.toHex(' '), handMadeWriteTelegram(113).toHex(' '));
}

void TestTelegram::writeTelegramAvoidsLineEndsInCrc()
{
    // Search versions whose first CRC holds a CR or LF byte.
    int found = 0;
    for (quint16 version = 0; version < 2000 && found < 5; ++version) {
        ParameterRecord r = sampleRecord();
        r.softwareVersion = version;
        const QByteArray first = handMadeWriteTelegram(version);
        const char lo = first.at(44), hi = first.at(45);
        if (lo != '\r' && lo != '\n' && hi != '\r' && hi != '\n')
            continue;
        ++found;
        const QByteArray sent = buildWriteTelegram(r);
        const quint16 sentVersion = quint16(quint8(sent.at(4)) | quint8(sent.at(5)) << 8);
        QVERIFY2(sentVersion > version, qPrintable(QString::number(version)));
        QCOMPARE(sent, handMadeWriteTelegram(sentVersion));
        for (int i = 44; i < 46; ++i)
            QVERIFY(sent.at(i) != '\r' && sent.at(i) != '\n');
        QCOMPARE(r.softwareVersion, version); // the record itself is untouched
    }
    QVERIFY(found > 0);
}

// Each field the "SP" telegram carries comes back from it as it was, also
// when a later attempt went out: the attempt raises the one field that
// carries it and no other. What the telegram does not carry is not read from it.
void TestTelegram::writeTelegramCarriesEachField()
{
    ParameterRecord r = sampleRecord();
    WriteTelegram sent;
    for (r.softwareVersion = 0; r.softwareVersion < 2000; ++r.softwareVersion) {
        sent = parseWriteTelegram(buildWriteTelegram(r));
        QVERIFY(sent.valid);
        if (sent.record.softwareVersion != r.softwareVersion)
            break;
    }
    ParameterRecord cleared;
    clearParameterRecord(cleared);
    for (int field = 0; field < kParameterFieldCount; ++field) {
        const ParameterField &f = kParameterFields[field];
        const QByteArray got = settingsFileValue(sent.record, field);
        if (f.carriesWriteAttempt)
            QVERIFY2(fieldNumber(sent.record, field) > fieldNumber(r, field), f.jsonKey);
        else
            QVERIFY2(got == settingsFileValue(f.inWriteTelegram ? r : cleared, field), f.jsonKey);
    }
}

void TestTelegram::parameterAnswerDecoding()
{
    ParameterRecord r;
    initParameterRecord(r);
    const ParameterAnswer answer = decodeParameterAnswer(handMadeParameterAnswer(), r);
    QCOMPARE(answer.status, ParameterAnswerStatus::CrcOk);
    QVERIFY(!answer.deviceError);
    // Every field at its offset, and the gap in the serial number closed.
    const QByteArrayList expected{"kWh",  "1",    "0", "XY&", "T7-01", "12345", "1999",
                                  "1.12", "0a3f", "2", "5",   "1",     "2",     "0"};
    for (int field = 0; field < kParameterFieldCount; ++field)
        QCOMPARE(settingsFileValue(r, field), expected.at(field));
    QCOMPARE(QByteArray(r.serialNumber, kSerialNumberWidth), QByteArray("12345\0\0\0\0\0", 10));
}

void TestTelegram::parameterAnswerFaults_data()
{
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("deviceError");
    const QByteArray good = handMadeParameterAnswer();
    const int incomplete = int(ParameterAnswerStatus::Incomplete);
    const int crcError = int(ParameterAnswerStatus::CrcError);

    QTest::newRow("truncated") << good.left(30) << incomplete << false;
    QTest::newRow("overlong") << good + "x" << incomplete << false;
    QByteArray badCrc = good;
    badCrc[48] = char(badCrc.at(48) ^ 0x01);
    QTest::newRow("bad crc") << badCrc << crcError << false;
    QByteArray longAnnounced = good;
    longAnnounced.resize(200, '\0');
    longAnnounced[0] = char(200);
    QTest::newRow("length byte 200") << longAnnounced << incomplete << false;
    // A longer answer that announces its length is taken; the CRC covers the first 47 bytes.
    QByteArray longer = good.left(47);
    longer[0] = char(127);
    appendCrc(longer, longer);
    longer += QByteArray(78, 'x');
    QTest::newRow("length byte 127") << longer << int(ParameterAnswerStatus::CrcOk) << false;
    QTest::newRow("device error") << QByteArray("Fehler!\r\n") << incomplete << true;
    // A short but self-consistent answer: missing bytes read as 0, never past the end.
    QByteArray shortAnswer("\x05\0\0\0\0", 5);
    QTest::newRow("announced 5") << shortAnswer << crcError << false;
}

void TestTelegram::parameterAnswerFaults()
{
    QFETCH(QByteArray, buffer);
    QFETCH(int, status);
    ParameterRecord r;
    std::memset(&r, 0xA5, sizeof r);
    ParameterRecord before = r;
    const ParameterAnswer answer = decodeParameterAnswer(buffer, r);
    QCOMPARE(int(answer.status), status);
    QTEST(answer.deviceError, "deviceError");
    if (answer.status == ParameterAnswerStatus::Incomplete)
        QVERIFY(std::memcmp(&r, &before, sizeof r) == 0);
    else if (buffer.size() < kParameterAnswerSize) // what is missing reads as 0
        QVERIFY(r.yearOfManufacture[0] == '\0' && r.crcStartValue == 0 && r.softwareCrc == 0);
}

void TestTelegram::significanceTextBothWays_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<bool>("recognised");
    QTest::addColumn<int>("significance");
    QTest::addColumn<int>("leadingPlus");
    QTest::addColumn<QString>("notice"); // "-" for none

    QTest::newRow("+1") << QByteArray("+1") << true << 4 << 1 << "-";
    QTest::newRow("+2") << QByteArray("+2") << true << 5 << 1 << "-";
    QTest::newRow("+0") << QByteArray("+0") << true << 3 << 1 << "-";
    QTest::newRow("+x") << QByteArray("+x") << true << 3 << 0 << "-";
    QTest::newRow("-1") << QByteArray("-1") << true << 2 << 0 << "-";
    QTest::newRow("-2") << QByteArray("-2") << true << 1 << 0 << "-";
    QTest::newRow("-x") << QByteArray("-x") << true << 0 << 0 << "-";
    QTest::newRow("0 NUL") << QByteArray("0\0", 2) << true << 3 << 0 << "-";
    QTest::newRow("01") << QByteArray("01") << true << 4 << 0 << "01";
    QTest::newRow("02") << QByteArray("02") << true << 5 << 0 << "02";
    QTest::newRow("00") << QByteArray("00") << true << 3 << 0 << "00";
    QTest::newRow("07") << QByteArray("07") << true << 3 << 0 << "";
    QTest::newRow("1x") << QByteArray("1x") << true << 4 << 0 << "-";
    QTest::newRow("2x") << QByteArray("2x") << true << 5 << 0 << "-";
    QTest::newRow("comma") << QByteArray(",1") << false << 0 << 0 << "-";
}

void TestTelegram::significanceTextBothWays()
{
    QFETCH(QByteArray, field);
    QFETCH(bool, recognised);
    QFETCH(int, significance);
    QFETCH(int, leadingPlus);
    QFETCH(QString, notice);
    const SignificanceReading r = readSignificanceText(field.at(0), field.at(1));
    QCOMPARE(r.recognised, recognised);
    if (!recognised)
        return;
    QCOMPARE(int(r.significance), significance);
    QCOMPARE(int(r.leadingPlus), leadingPlus);
    QCOMPARE(r.notice, notice != QLatin1String("-"));
    if (r.notice)
        QCOMPARE(r.noticeText, notice);
    if (!r.notice) {
        // Every form the program writes reads back to the same values.
        const QByteArray written = significanceText(r.significance, r.leadingPlus);
        const SignificanceReading back = readSignificanceText(written.at(0), written.at(1));
        QCOMPARE(back.significance, r.significance);
        QCOMPARE(back.leadingPlus, r.significance >= 3 ? r.leadingPlus : quint8(0));
    }
}

void TestTelegram::lineAnswers_data()
{
    // wanted: what the line must contain; empty for the counter's answer,
    // where any line of text is the reading.
    QTest::addColumn<QByteArray>("wanted");
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<LineAnswer>("verdict");
    const QByteArray reading;
    QTest::newRow("reading") << reading << QByteArray("012345678\r\n") << LineAnswer::Fits;
    QTest::newRow("reading, trailing blank") << reading << QByteArray("012345678 \r\n") << LineAnswer::Fits;
    QTest::newRow("reading, CR still alone") << reading << QByteArray("012345678\r") << LineAnswer::Incomplete;
    QTest::newRow("reading, Fehler! after blanks") << reading << QByteArray("  Fehler!\r\n") << LineAnswer::DeviceError;
    // The tail of a parameter answer that came after its time-out.
    QTest::newRow("reading, binary") << reading << QByteArray("1\0\0\0\x70" "1234\r\n", 11) << LineAnswer::Wrong;
    QTest::newRow("reading, second line not looked at")
        << reading << QByteArray("012345678\r\n\0Fehler!\r\n", 21) << LineAnswer::Fits;
    const QByteArray ok("OK");
    QTest::newRow("OK") << ok << QByteArray("OK\r\n") << LineAnswer::Fits;
    QTest::newRow("OK after a blank") << ok << QByteArray(" OK\r\n") << LineAnswer::Fits;
    QTest::newRow("OK after noise") << ok << QByteArray("\0\x7f#OK\r\n", 7) << LineAnswer::Fits;
    QTest::newRow("OK without line end") << ok << QByteArray("OK") << LineAnswer::Incomplete;
    QTest::newRow("no OK") << ok << QByteArray("?\r\n") << LineAnswer::Wrong;
    QTest::newRow("OK on the second line") << ok << QByteArray("?\r\nOK\r\n") << LineAnswer::Wrong;
    QTest::newRow("Fehler!") << ok << QByteArray("Fehler!\r\n") << LineAnswer::DeviceError;
    const QByteArray digits("000000042");
    QTest::newRow("echo") << digits << QByteArray("000000042\r\n") << LineAnswer::Fits;
    QTest::newRow("echo with the command") << digits << QByteArray("S_ZLW 000000042\r\n") << LineAnswer::Fits;
    QTest::newRow("other digits") << digits << QByteArray("000000043\r\n") << LineAnswer::Wrong;
    QTest::newRow("digits beside Fehler!") << digits << QByteArray("Fehler! 000000042\r\n") << LineAnswer::DeviceError;
}

void TestTelegram::lineAnswers()
{
    QFETCH(QByteArray, wanted);
    QFETCH(QByteArray, buffer);
    QTEST(wanted.isEmpty() ? judgeCounterAnswer(buffer) : judgeContainingAnswer(buffer, wanted), "verdict");
}

QTEST_APPLESS_MAIN(TestTelegram)
#include "tst_telegram.moc"
