// The parameter fields as the settings file, the table, the report and the
// comparison with the device see them, one row per field.

#include <QtTest>

#include <QSet>

#include "inspectionreport.h"
#include "recorddiff.h"
#include "samplerecord.h"
#include "settingsfile.h"
#include "telegram.h"
#include "texttable.h"

using namespace tavik7;

class TestParameterFields : public QObject
{
    Q_OBJECT

private slots:
    void tableIsWhole();
    void fields_data();
    void fields();
    void valuesNoItemStandsFor();
    void changeTexts_data();
    void changeTexts();
    void differenceTips_data();
    void differenceTips();
};

// The table's rows must place every field where no other one is, in the
// record and in the telegrams, and name it once: a field that overlaps
// another or shares its name corrupts it without a word.
void TestParameterFields::tableIsWhole()
{
    QList<bool> recordBytes(int(sizeof(ParameterRecord)), false);
    QList<bool> bodyBytes(kTelegramBodySize, false);
    QSet<QString> names;
    int recordSize = 0;
    int attemptCarriers = 0;
    for (int field = 0; field < kParameterFieldCount; ++field) {
        const ParameterField &f = kParameterFields[field];
        const QByteArray what = QByteArray(f.jsonKey);
        for (int i = f.offset; i < f.offset + fieldSize(field); ++i) {
            QVERIFY2(i < recordBytes.size() && !recordBytes.at(i), what);
            recordBytes[i] = true;
        }
        recordSize += fieldSize(field);
        if (f.telegramOffset >= 0) {
            const int end = f.telegramOffset + fieldTelegramSize(field);
            QVERIFY2(end <= (f.inWriteTelegram ? kWriteBodySize : kTelegramBodySize), what);
            for (int i = f.telegramOffset; i < end; ++i) {
                QVERIFY2(!bodyBytes.at(i), what);
                bodyBytes[i] = true;
            }
        }
        // The attempt changes what is sent: only a value the device keeps
        // as its own may carry it.
        if (f.carriesWriteAttempt) {
            ++attemptCarriers;
            QVERIFY2(f.inWriteTelegram && !f.editable && f.kind != FieldKind::Text, what);
        }
        for (const QString &name : {QString::fromLatin1(f.jsonKey), bilingualFieldLabel(field),
                                    QStringLiteral("sim:") + QLatin1String(f.simulatorKey)}) {
            QVERIFY2(!names.contains(name), qPrintable(name));
            names.insert(name);
        }
        QVERIFY2(!fieldLabel(field, German).isEmpty() && !fieldLabel(field, English).isEmpty(), what);
    }
    // Only the padding after the last member is left over.
    QVERIFY(int(sizeof(ParameterRecord)) - recordSize < int(alignof(ParameterRecord)));
    QCOMPARE(attemptCarriers, 1);
    QVERIFY(!names.contains(QStringLiteral("counter"))); // the JSON line's own key
}

void TestParameterFields::fields_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("value"); // of sampleRecord() in the settings file
    QTest::addColumn<QString>("german");   // shown in the table
    QTest::addColumn<QString>("english");
    QTest::addColumn<QString>("report");   // "-": no row of its own
    QTest::addColumn<QByteArray>("read");  // an odd value read from a file ...
    QTest::addColumn<QByteArray>("stored"); // ... and what the file then says
    QTest::addColumn<QString>("cell");     // a table cell's text (widget rows ignore it) ...
    QTest::addColumn<QByteArray>("taken"); // ... and what the file then says

    // Each row is named by the field's JSON key, in the fields' order.
    int rows = 0;
    const auto row = [&rows](const char *jsonKey, const QByteArray &key, const QByteArray &value, const char *german,
                             const char *english, const char *report, const QByteArray &read, const QByteArray &stored,
                             const char *cell, const QByteArray &taken) {
        QTest::newRow(jsonKey) << rows++ << key << value << QString::fromUtf8(german) << QString::fromUtf8(english)
                               << QString::fromUtf8(report) << read << stored << QString::fromUtf8(cell) << taken;
    };
    row("unit", "Einheit/Unit", "kWh", "kWh", "kWh", "kWh", QByteArray("a\0b", 3), "a", "abcd", "abc");
    row("significance", "Wertigkeit/Significance", "1", "-2", "-2", "-2", " 4 \r\n", "4", "3", "1");
    row("leadingPlus", "F\xFChrendes Plus/Leading plus", "0", "0", "0", "-", "2", "1", "1", "0");
    row("manufacturer", "Hersteller/Manufacturer", "ABC", "ABC", "ABC", "ABC", "AB\r\n", "AB", "xy", "xy");
    row("deviceType", "Ger\xE4tetyp/Device type", "TAV7", "TAV7", "TAV7", "TAV7", "A\rB", "A", "TAV7-12345", "TAV7-1");
    row("serialNumber", "Seriennummer/Serial number", "123456789", "123456789", "123456789", "123456789",
        "1234567890", "123456789", "SN-42", "SN-42");
    row("year", "Baujahr/Year of manufacture", "2024", "2024", "2024", "2024", {}, {}, "1999", "1999");
    row("softwareVersion", "Softwareversion/Software version", "1.13", "1.13", "1.13", "1.13", " 2.5 \r\n", "2.50",
        "1.5", "1.50");
    // A checksum of more than four digits is none, not its last four.
    row("softwareCrc", "Software CRC/Software CRC", "0a3f", "0a3f", "0a3f", "0a3f", "12345\r\n", "0000", " ABCD ",
        "abcd");
    row("baudRate", "Baudrate/Baud rate", "2", "2: 9600 Bps", "2: 9600 Bps", "2: 9600 Bps / 2: 9600 Bps", "-1", "-1",
        "0", "2");
    row("transmitMode", "Sendemodus/Transmit mode", "5", "5: 1x Power-Down", "5: 1x Power-Down",
        "5: 1x Power-Down / 5: 1x Power-Down", "x", "0", "0", "5");
    row("direction", "Richtung/Direction", "1", "1: links", "1: left", "1: links / 1: left", "7", "7", "0", "1");
    row("telegramB", "Telegramm B/Telegram B", "3", "3: Telegramm a+b", "3: Telegram a+b",
        "3: Telegramm a+b / 3: Telegram a+b", "+2", "2", "0", "3");
    row("crcStart", "CRC Startwert/CRC start value", "1", "1: 0x7F", "1: 0x7F", "1: 0x7F / 1: 0x7F",
        "0x7F", "0", "0", "1");
    QCOMPARE(rows, kParameterFieldCount); // a new field needs its row here
}

void TestParameterFields::fields()
{
    QFETCH(int, field);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, value);
    QFETCH(QString, report);
    QFETCH(QByteArray, read);
    QFETCH(QByteArray, stored);
    QFETCH(QString, cell);
    QFETCH(QByteArray, taken);

    const ParameterRecord sample = sampleRecord();
    QCOMPARE(settingsFileKey(field), key);
    QCOMPARE(QByteArray(kParameterFields[field].jsonKey), QByteArray(QTest::currentDataTag()));
    QCOMPARE(settingsFileValue(sample, field), value);
    QTEST(parameterValueText(sample, field, German), "german");
    QTEST(parameterValueText(sample, field, English), "english");

    const QList<InspectionReportRow> rows = inspectionReportRows(sample, QString());
    const int reportRow = kParameterFields[field].reportRow;
    QCOMPARE(reportRow < 0, report == QLatin1String("-"));
    if (reportRow >= 0) {
        QCOMPARE(rows.at(reportRow).label, QString::fromLatin1(key));
        QCOMPARE(rows.at(reportRow).value, report);
    }

    // Read back, the value is the sample's again; an odd one changes this
    // field alone, and the comparison with the device sees exactly that.
    ParameterRecord r;
    initParameterRecord(r);
    setFieldFromSettingsFileValue(r, field, value);
    QCOMPARE(settingsFileValue(r, field), value);
    r = sample;
    setFieldFromSettingsFileValue(r, field, read);
    QCOMPARE(settingsFileValue(r, field), stored);
    QCOMPARE(differingFields(r, sample), stored == value ? QList<int>() : QList<int>{field});

    r = sample;
    setFieldFromCellText(r, field, cell);
    QCOMPARE(settingsFileValue(r, field), taken);
    QCOMPARE(differingFields(r, sample), taken == value ? QList<int>() : QList<int>{field});
}

void TestParameterFields::valuesNoItemStandsFor()
{
    ParameterRecord device = sampleRecord();
    device.leadingPlus = 1;
    ParameterRecord file = device;
    // Bytes after the terminator are padding; any non-zero leading plus is a yes.
    file.deviceType[5] = 'x';
    file.leadingPlus = 7;
    QCOMPARE(differingFields(file, device), QList<int>());

    // Index -1 shows as "-1" like the item for exponent -1, yet it is not that item.
    ParameterRecord a = device, b = device;
    a.significance = -1;
    b.significance = 2;
    QCOMPARE(parameterValueText(a, FieldSignificance, German), parameterValueText(b, FieldSignificance, German));
    QCOMPARE(differingFields(a, b), QList<int>{FieldSignificance});

    // The report prints nothing for such an index rather than a neighbouring
    // list's text, the leading plus within the significance and the counter
    // without its comma.
    a.baudRate = 3;
    a.significance = 4;
    a.leadingPlus = 1;
    const QList<InspectionReportRow> rows = inspectionReportRows(a, QStringLiteral("12345,678"));
    int reportRows = 1; // the counter
    for (int field = 0; field < kParameterFieldCount; ++field)
        reportRows += kParameterFields[field].reportRow >= 0 ? 1 : 0;
    QCOMPARE(rows.size(), reportRows);
    QCOMPARE(parameterValueText(a, FieldBaudRate, English), QStringLiteral("3"));
    QCOMPARE(rows.at(kParameterFields[FieldBaudRate].reportRow).value, QString());
    QCOMPARE(rows.at(kParameterFields[FieldSignificance].reportRow).value, QStringLiteral("+1"));
    QCOMPARE(rows.last().label, bilingualLabel(14));
    QCOMPARE(rows.last().value, QStringLiteral("12345678"));

    // A field number from outside is no field.
    QVERIFY(parameterValueText(a, kParameterFieldCount, German).isEmpty() && settingsFileKey(-1).isEmpty());
}

void TestParameterFields::changeTexts_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("shown");
    auto row = [](const char *name, const char *key, const char *from, const char *to, int language,
                  const QString &shown) {
        QTest::newRow(name) << QString::fromLatin1(key) << QString::fromLatin1(from) << QString::fromLatin1(to)
                            << language << shown;
    };
    row("combo, German", "baudRate", "0", "2", tavik7::German, QStringLiteral("Baudrate: 0: 2400 Bps -> 2: 9600 Bps"));
    row("combo, English", "direction", "0", "1", tavik7::English, QStringLiteral("Direction: 0: right -> 1: left"));
    row("significance item", "significance", "0", "3", tavik7::English, QStringLiteral("Significance: -3 -> 0"));
    row("text", "unit", "m3", "kWh", tavik7::German, QStringLiteral("Einheit: m3 -> kWh"));
    row("version", "softwareVersion", "1.11", "1.12", tavik7::German, QStringLiteral("Softwareversion: 1.11 -> 1.12"));
    row("counter", "counter", "000000012", "000000000", tavik7::German, "Zählwerksstand: 000000012 -> 000000000");
    row("value not known", "unit", "", "kWh", tavik7::English, QStringLiteral("Unit:  -> kWh"));
    row("no such field", "colour", "red", "blue", tavik7::German, QStringLiteral("colour: red -> blue"));
}

void TestParameterFields::changeTexts()
{
    QFETCH(QString, key);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(int, language);
    QTEST(tavik7::fieldChangeText(key, from, to, language), "shown");
}

// The marks on the table's cells: what the device holds, for each field the
// table would change, in the table's order.
void TestParameterFields::differenceTips_data()
{
    QTest::addColumn<QString>("unit");
    QTest::addColumn<int>("direction");
    QTest::addColumn<int>("language");
    QTest::addColumn<QStringList>("tips"); // "field: tip"

    QTest::newRow("text, German") << "m3" << 1 << int(German)
                                  << QStringList{QString::number(FieldUnit) + ": Im Gerät: kWh"};
    QTest::newRow("two, English") << "m3" << 0 << int(English)
                                  << QStringList{QString::number(FieldUnit) + ": In the device: kWh",
                                                 QString::number(FieldDirection) + ": In the device: 1: left"};
}

void TestParameterFields::differenceTips()
{
    QFETCH(QString, unit);
    QFETCH(int, direction);
    QFETCH(int, language);
    ParameterRecord table = sampleRecord();
    setFieldText(table.unit, kUnitWidth, unit);
    table.direction = qint8(direction);
    QStringList tips;
    for (const auto &[field, tip] : tavik7::differenceTips(table, sampleRecord(), language))
        tips.append(QString::number(field) + QStringLiteral(": ") + tip);
    QTEST(tips, "tips");
}

QTEST_APPLESS_MAIN(TestParameterFields)
#include "tst_parameterfields.moc"
