// The parameter sheet's verdicts: which cells are red, whether the record may
// be written or printed, and how the counter reading follows the
// significance and the firmware's digit count; which cells open and which are marked.

#include <QtTest>

#include "parametersheet.h"
#include "samplerecord.h"

using namespace tavik7;

class TestParameterSheet : public QObject
{
    Q_OBJECT

private slots:
    void placeholderIsNotJudged();
    void editedCell_data();
    void editedCell();
    void recordFromDevice_data();
    void recordFromDevice();
    void counterFollowsTheRecord_data();
    void counterFollowsTheRecord();
    void lockAndMarksFollowTheDevice();
};

void TestParameterSheet::placeholderIsNotJudged()
{
    // "-" in every text cell fails its rule, but nothing was read yet: the
    // window never said so and never held back a write for it.
    ParameterSheet sheet;
    QVERIFY(sheet.fitToWrite());
    QVERIFY(sheet.implausibleFields().isEmpty());
    // One edit judges that cell alone.
    sheet.setCellText(FieldUnit, QStringLiteral("m3"));
    QVERIFY(sheet.fitToWrite());
    sheet.setCellText(FieldManufacturer, QStringLiteral("A-B"));
    QCOMPARE(sheet.implausibleFieldIds(), QList<int>{FieldManufacturer});
}

void TestParameterSheet::editedCell_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");
    QTest::addColumn<int>("flag"); // -1: the sheet stays fit to write

    QTest::newRow("unit cut to three") << int(FieldUnit) << "kWh3" << "kWh" << -1;
    QTest::newRow("serial number with umlaut") << int(FieldSerialNumber) << "12\u00e4" << "12\u00e4" << 4;
    QTest::newRow("year 1900") << int(FieldYear) << "1900" << "1900" << 5;
    // The record makes 0 of it; the cell keeps what was typed, in red.
    QTest::newRow("version not a number") << int(FieldSoftwareVersion) << "1.x2" << "1.x2" << 6;
}

void TestParameterSheet::editedCell()
{
    QFETCH(int, field);
    QFETCH(QString, typed);
    QFETCH(QString, kept);
    QFETCH(int, flag);

    ParameterSheet sheet;
    sheet.setRecord(sampleRecord());
    sheet.setCounterText(QStringLiteral("1234567,89"));
    QVERIFY(sheet.fitToWrite());
    QCOMPARE(sheet.setCellText(field, typed), kept);
    QCOMPARE(sheet.cellText(field), kept);
    QCOMPARE(sheet.cellImplausible(field), flag >= 0);
    QCOMPARE(sheet.fitToWrite(), flag < 0);
    QCOMPARE(sheet.fitToPrint(), flag < 0);
    for (int f = 0; f < kPlausibilityFlagCount; ++f)
        QCOMPARE(sheet.flag(f), f == flag);
}

void TestParameterSheet::recordFromDevice_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QByteArray>("value");  // as a settings file gives it
    QTest::addColumn<QString>("complaint"); // key and reason; empty: fit to write

    QTest::newRow("sample") << int(FieldUnit) << QByteArray("kWh") << QString();
    QTest::newRow("year 1900") << int(FieldYear) << QByteArray("1900") << "year: not a year from 1950 to 2049";
    QTest::newRow("empty unit") << int(FieldUnit) << QByteArray() << "unit: not 1 to 3 letters or digits";
    QTest::newRow("baud rate from a file") << int(FieldBaudRate) << QByteArray("7") << "baudRate: no item for index 7";
}

void TestParameterSheet::recordFromDevice()
{
    QFETCH(int, field);
    QFETCH(QByteArray, value);
    QFETCH(QString, complaint);

    ParameterRecord record = sampleRecord();
    setFieldFromSettingsFileValue(record, field, value);
    ParameterSheet sheet;
    sheet.setRecord(record);
    sheet.setCounterAnswer("123456789\r\n");
    QCOMPARE(sheet.counterText(), QStringLiteral("1234567,89"));
    QCOMPARE(sheet.fitToWrite(), complaint.isEmpty());
    QStringList complaints;
    for (const ImplausibleField &f : sheet.implausibleFields())
        complaints.append(f.key + QStringLiteral(": ") + f.reason);
    QCOMPARE(complaints.join(QLatin1Char('\n')), complaint);
}

void TestParameterSheet::counterFollowsTheRecord_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("significance");
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("after");
    QTest::addColumn<bool>("plausible");

    // The sample: significance 1 (two digits after the comma), nine digits.
    QTest::newRow("comma moves") << "1234567,89" << 0 << 113 << "123456,789" << true;
    QTest::newRow("comma goes") << "1234567,89" << 3 << 113 << "123456789" << true;
    QTest::newRow("eight digits: leading zero dropped") << "0234567,89" << 1 << 111 << "234567,89" << true;
    QTest::newRow("eight digits: a digit that counts") << "1234567,89" << 1 << 111 << "123456,78" << true;
    QTest::newRow("short stays short") << "12345" << 1 << 111 << "12345" << false;
    QTest::newRow("letters stay, cut") << "ABCDEFG,HI" << 3 << 111 << "ABCDEFG" << false;
}

void TestParameterSheet::counterFollowsTheRecord()
{
    QFETCH(QString, before);
    QFETCH(int, significance);
    QFETCH(int, version);
    QFETCH(bool, plausible);

    ParameterSheet sheet;
    sheet.setRecord(sampleRecord());
    sheet.setCounterText(before);
    ParameterRecord record = sampleRecord();
    record.significance = qint8(significance);
    record.softwareVersion = quint16(version);
    sheet.setRecord(record);
    QTEST(sheet.counterText(), "after");
    QCOMPARE(sheet.counterPlausible(), plausible);
    QCOMPARE(sheet.implausibleFields().size(), plausible ? 0 : 1);
}

void TestParameterSheet::lockAndMarksFollowTheDevice()
{
    // The service key's cells close again with the key or a record shown anew.
    ParameterSheet sheet;
    const auto row = [&sheet](int field) { return sheet.view(English).rows.at(field); };
    sheet.toggleServiceLock();
    QVERIFY(row(FieldYear).editable && row(FieldSerialNumber).editable && !row(FieldSoftwareVersion).editable);
    sheet.toggleServiceLock();
    QVERIFY(!row(FieldYear).editable && row(FieldUnit).editable);
    sheet.toggleServiceLock();
    ParameterRecord file = sampleRecord();
    setFieldFromSettingsFileValue(file, FieldUnit, "m3");
    sheet.setRecord(file);
    QVERIFY(!row(FieldSerialNumber).editable);
    // Marks only once compared, then against each device record read and each edit.
    sheet.deviceChanged(sampleRecord());
    QCOMPARE(row(FieldUnit).deviceTip, QString());
    sheet.compareWith(sampleRecord());
    QCOMPARE(row(FieldUnit).deviceTip, QStringLiteral("In the device: kWh"));
    sheet.deviceChanged(file);
    QCOMPARE(row(FieldUnit).deviceTip, QString());
    sheet.setCellText(FieldUnit, QStringLiteral("kWh"));
    QCOMPARE(row(FieldUnit).deviceTip, QStringLiteral("In the device: m3"));
}

QTEST_APPLESS_MAIN(TestParameterSheet)
#include "tst_parametersheet.moc"
