// The strict settings-file reading of the command line: each row spoils the
// sample file in one place and names the line and key that must be refused.

#include <QtTest>

#include <cstring>

#include "parameterfields.h"
#include "samplerecord.h"
#include "settingsfilestrict.h"

using namespace tavik7;

class TestSettingsFileStrict : public QObject
{
    Q_OBJECT

private slots:
    void refusals_data();
    void refusals();
};

void TestSettingsFileStrict::refusals_data()
{
    QTest::addColumn<QByteArray>("from");
    QTest::addColumn<QByteArray>("to");
    QTest::addColumn<int>("line"); // 0: accepted
    QTest::addColumn<QString>("key");

    auto row = [](const char *name, const QByteArray &from, const QByteArray &to, int line, const char *key) {
        QTest::newRow(name) << from << to << line << QString::fromUtf8(key);
    };
    row("sample as it is", "", "", 0, "");
    row("longest texts", "=ABC\r", "=ABC\r", 0, "");
    row("serial at its width", "=123456789\r", "=ABCDEFGHI\r", 0, "");
    row("crc in capitals", "=0a3f\r", "=A3F\r", 0, "");
    row("significance in words", "Significance=1\r", "Significance=three\r", 3, "Wertigkeit/Significance");
    row("comment after the value", "Direction=1\r", "Direction=1 # left\r", 13, "Richtung/Direction");
    row("blank before the value", "Direction=1\r", "Direction= 1\r", 13, "Richtung/Direction");
    row("sign", "Baud rate=2\r", "Baud rate=-2\r", 11, "Baudrate/Baud rate");
    row("index beyond its items", "Baud rate=2\r", "Baud rate=3\r", 11, "Baudrate/Baud rate");
    row("empty index", "Telegram B=3\r", "Telegram B=\r", 14, "Telegramm B/Telegram B");
    row("leading plus 2", "Leading plus=0\r", "Leading plus=2\r", 4, "F\u00fchrendes Plus/Leading plus");
    row("version without hundredths", "=1.13\r", "=1.1\r", 9, "Softwareversion/Software version");
    row("crc of five digits", "=0a3f\r", "=00a3f\r", 10, "Software CRC/Software CRC");
    row("serial too long", "=123456789\r", "=1234567890\r", 7, "Seriennummer/Serial number");
    row("key misspelt", "Einheit/Unit", "Einheit/Units", 2, "Einheit/Unit");
    row("lines swapped", "Hersteller/Manufacturer=ABC\r\nGer\xE4tetyp/Device type=TAV7",
        "Ger\xE4tetyp/Device type=TAV7\r\nHersteller/Manufacturer=ABC", 5, "Hersteller/Manufacturer");
    row("LF without CR", "Year of manufacture=2024\r\n", "Year of manufacture=2024\n", 8,
        "Baujahr/Year of manufacture");
    row("header", "[Tavik-Parameter]", "[Tavik-Parameters]", 1, "");
    row("cut after the key", "CRC start value=1\r\n", "CRC start value=", 15, "CRC Startwert/CRC start value");
    row("last line without line end", "CRC start value=1\r\n", "CRC start value=1\r", 15,
        "CRC Startwert/CRC start value");
    row("file ends early", "Richtung/Direction=1\r\n", "", 13, "Richtung/Direction");
    const QByteArray lastLine = kSampleFile.mid(kSampleFile.lastIndexOf("\r\n", kSampleFile.size() - 3) + 2);
    row("line after the last", lastLine, lastLine + "more\r\n", kParameterFieldCount + 2, "");
}

void TestSettingsFileStrict::refusals()
{
    QFETCH(QByteArray, from);
    QFETCH(QByteArray, to);
    QFETCH(int, line);

    QByteArray file = kSampleFile;
    if (!from.isEmpty()) {
        const qsizetype at = file.indexOf(from);
        QVERIFY(at >= 0);
        if (from == QByteArray("Richtung/Direction=1\r\n"))
            file.truncate(at);
        else
            file.replace(at, from.size(), to);
    }
    const StrictSettingsReading reading = readSettingsFileStrict(file);
    QCOMPARE(reading.ok, line == 0);
    QCOMPARE(reading.line, line);
    QTEST(reading.key, "key");
    if (line != 0)
        return;
    // Read back as written, whatever spelling the file used.
    ParameterRecord expected = sampleRecord();
    if (to.contains("ABCDEFGHI"))
        setFieldText(expected.serialNumber, kSerialNumberWidth, QStringLiteral("ABCDEFGHI"));
    for (int field = 0; field < kParameterFieldCount; ++field)
        QCOMPARE(settingsFileValue(reading.record, field), settingsFileValue(expected, field));
}

QTEST_GUILESS_MAIN(TestSettingsFileStrict)
#include "tst_settingsfilestrict.moc"
