// Plans made, read back strictly and checked against the device as it is
// when they are applied: every way a plan file can be spoiled is refused
// with its own fault and the member that is wrong.

#include <QtTest>

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "deviceplan.h"
#include "parameterfields.h"
#include "samplerecord.h"
#include "texttable.h"

using namespace tavik7;
using Fault = PlanReading::Fault;

Q_DECLARE_METATYPE(tavik7::PlanReading::Fault)
Q_DECLARE_METATYPE(tavik7::PlanEmptiness)
Q_DECLARE_METATYPE(tavik7::ParameterRecord)

namespace {

// The sample device, to get unit "m3" and to count the other way.
ParameterRecord sampleTarget()
{
    ParameterRecord target = sampleRecord();
    setFieldText(target.unit, kUnitWidth, QStringLiteral("m3"));
    target.direction = 0;
    return target;
}

DevicePlan samplePlan()
{
    return makeDevicePlan(sampleRecord(), "012345678", sampleTarget(), "ttyUSB0", "4.12");
}

// The member at a dotted path ("changes.0.old") set to value, or removed
// when value is undefined.
QJsonValue edited(const QJsonValue &at, QStringList path, const QJsonValue &value)
{
    const QString step = path.takeFirst();
    if (at.isArray()) {
        QJsonArray array = at.toArray();
        array[step.toInt()] = path.isEmpty() ? value : edited(array.at(step.toInt()), path, value);
        return array;
    }
    QJsonObject object = at.toObject();
    if (path.isEmpty() && value.isUndefined())
        object.remove(step);
    else
        object.insert(step, path.isEmpty() ? value : edited(object.value(step), path, value));
    return object;
}

// The hash as the manual describes it: SHA-256 of the compact JSON of every
// other member, keys sorted.
QByteArray rehashed(QJsonObject plan)
{
    plan.remove(QStringLiteral("sha256"));
    const QByteArray content = QJsonDocument(plan).toJson(QJsonDocument::Compact);
    plan.insert("sha256", QString::fromLatin1(QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex()));
    return QJsonDocument(plan).toJson();
}

} // namespace

class TestDevicePlan : public QObject
{
    Q_OBJECT

private slots:
    void made();
    void reading_data();
    void reading();
    void emptiness_data();
    void emptiness();
    void staleCheck_data();
    void staleCheck();
    void changeLines_data();
    void changeLines();
};

void TestDevicePlan::made()
{
    const PlanReading reading = readDevicePlan(devicePlanBytes(samplePlan()));
    QVERIFY(reading.ok());
    const DevicePlan &plan = reading.plan;
    QCOMPARE(plan.hash, samplePlan().hash);
    QCOMPARE(plan.changes.size(), 2);
    QCOMPARE(plan.changes.at(0).field, int(FieldUnit));
    QCOMPARE(plan.changes.at(0).oldValue, QStringLiteral("kWh"));
    QCOMPARE(plan.changes.at(0).newValue, QStringLiteral("m3"));
    QCOMPARE(plan.changes.at(1).field, int(FieldDirection));
    QVERIFY(plan.counterGoesAlong);
    QCOMPARE(plan.value(FieldSoftwareCrc), QStringLiteral("0a3f"));
    QCOMPARE(plan.counter, QStringLiteral("012345678"));
    // A file cut short is no JSON, named by the line where it broke off.
    const PlanReading cut = readDevicePlan(devicePlanBytes(samplePlan()).left(60));
    QCOMPARE(cut.fault, Fault::NotJson);
    QCOMPARE(cut.where, QStringLiteral("line 4"));
    // The firmware's fields are never a change, whatever the target holds.
    ParameterRecord otherFirmware = sampleRecord();
    otherFirmware.softwareVersion = 112;
    otherFirmware.softwareCrc = 0x1234;
    const DevicePlan same = makeDevicePlan(sampleRecord(), {}, otherFirmware, {}, {});
    QVERIFY(same.changes.isEmpty());
    QVERIFY(!same.counterGoesAlong);
}

void TestDevicePlan::reading_data()
{
    QTest::addColumn<QString>("remove"); // a member's path, or empty
    QTest::addColumn<QString>("set");    // a member's path, or empty
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<bool>("rehash");    // as someone who knows the format would
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QString>("where");

    auto row = [](const char *name, const char *remove, const char *set, const QJsonValue &value, bool rehash,
                  Fault fault, const char *where) {
        QTest::newRow(name) << QString::fromLatin1(remove) << QString::fromLatin1(set) << value << rehash << fault
                            << QString::fromLatin1(where);
    };
    const QJsonValue none(QJsonValue::Undefined);
    row("as made", "", "", none, false, Fault::None, "");
    row("laid out anew", "", "", none, true, Fault::None, "");
    row("another format", "", "format", "tavik7-settings", true, Fault::NotAPlan, "");
    row("another version", "", "version", 2, true, Fault::OtherVersion, "2");
    row("version as text", "", "version", "1", true, Fault::OtherVersion, "1");
    row("unknown member", "", "colour", "red", true, Fault::UnknownKey, "colour");
    row("unknown field", "", "fields.colour", "red", true, Fault::UnknownKey, "fields.colour");
    row("unknown identity", "", "device.owner", "me", true, Fault::UnknownKey, "device.owner");
    row("misspelt change key", "changes.0.old", "changes.0.olt", "kWh", true, Fault::UnknownKey, "changes[0].olt");
    row("missing member", "counterGoesAlong", "", none, true, Fault::MissingMember, "counterGoesAlong");
    row("missing field", "fields.year", "", none, true, Fault::MissingMember, "fields.year");
    row("missing hash", "sha256", "", none, false, Fault::MissingMember, "sha256");
    row("flag as text", "", "counterGoesAlong", "yes", true, Fault::BadValue, "counterGoesAlong");
    row("change of no field", "", "changes.0.key", "colour", true, Fault::BadValue, "changes[0].key");
    row("change of the firmware", "", "changes.0.key", "softwareCrc", true, Fault::BadValue, "changes[0].key");
    row("new value no field takes", "", "changes.1.new", "7", true, Fault::BadValue, "changes[1].new");
    row("old value not as read", "", "changes.0.old", "l", true, Fault::BadValue, "changes[0].old");
    row("new value edited", "", "changes.0.new", "l", false, Fault::Edited, "");
    row("field as read edited", "", "fields.year", "1999", false, Fault::Edited, "");
    row("hash edited", "", "sha256", QString(64, QLatin1Char('0')), false, Fault::Edited, "");
}

void TestDevicePlan::reading()
{
    QFETCH(QString, remove);
    QFETCH(QString, set);
    QFETCH(QJsonValue, value);
    QFETCH(bool, rehash);

    const QByteArray made = devicePlanBytes(samplePlan());
    QJsonValue plan = QJsonDocument::fromJson(made).object();
    if (!remove.isEmpty())
        plan = edited(plan, remove.split(QLatin1Char('.')), QJsonValue::Undefined);
    if (!set.isEmpty())
        plan = edited(plan, set.split(QLatin1Char('.')), value);
    const QByteArray bytes = rehash ? rehashed(plan.toObject()) : QJsonDocument(plan.toObject()).toJson();
    const PlanReading reading = readDevicePlan(bytes);
    QTEST(reading.fault, "fault");
    QTEST(reading.where, "where");
}

void TestDevicePlan::emptiness_data()
{
    QTest::addColumn<ParameterRecord>("asked"); // what the file or --set ask for
    QTest::addColumn<ParameterRecord>("target"); // the same as a write sends it
    QTest::addColumn<PlanEmptiness>("emptiness");

    const ParameterRecord device = sampleRecord();
    ParameterRecord newer = device;
    newer.softwareVersion = 114;
    ParameterRecord otherSerial = device;
    setFieldText(otherSerial.serialNumber, kSerialNumberWidth, QStringLiteral("999"));
    QTest::newRow("file equal to the device") << device << device << PlanEmptiness::EqualsDevice;
    QTest::newRow("file of other firmware") << newer << device << PlanEmptiness::NamesNoWrittenField;
    QTest::newRow("field differing is kept") << otherSerial << device << PlanEmptiness::NamesNoWrittenField;
    QTest::newRow("a change") << otherSerial << otherSerial << PlanEmptiness::HasChanges;
}

void TestDevicePlan::emptiness()
{
    QFETCH(ParameterRecord, asked);
    QFETCH(ParameterRecord, target);
    const DevicePlan plan = makeDevicePlan(sampleRecord(), {}, target, {}, {});
    QTEST(planEmptiness(plan, sampleRecord(), asked), "emptiness");
}

void TestDevicePlan::staleCheck_data()
{
    QTest::addColumn<int>("field"); // changed on the device since the plan; -1: none
    QTest::addColumn<QString>("now");
    QTest::addColumn<int>("stale"); // the field named; -1: the plan holds

    QTest::newRow("unchanged") << -1 << QString() << -1;
    QTest::newRow("other field changed meanwhile") << int(FieldYear) << QStringLiteral("2030") << -1;
    QTest::newRow("another serial number") << int(FieldSerialNumber) << "987654321" << int(FieldSerialNumber);
    QTest::newRow("another manufacturer") << int(FieldManufacturer) << "XYZ" << int(FieldManufacturer);
    QTest::newRow("another device type") << int(FieldDeviceType) << "TAV8" << int(FieldDeviceType);
    QTest::newRow("changed field changed") << int(FieldUnit) << QStringLiteral("l") << int(FieldUnit);
    QTest::newRow("changed field already new") << int(FieldUnit) << QStringLiteral("m3") << int(FieldUnit);
}

void TestDevicePlan::staleCheck()
{
    QFETCH(int, field);
    QFETCH(QString, now);
    QFETCH(int, stale);

    ParameterRecord device = sampleRecord();
    if (field >= 0)
        setFieldFromSettingsFileValue(device, field, now.toLatin1());
    const PlanCheck check = checkPlanAgainst(samplePlan(), device);
    QCOMPARE(check.staleField, stale);
    if (stale >= 0) {
        QCOMPARE(check.valueNow, now);
        return;
    }
    // The device's own record with exactly the plan's changes.
    ParameterRecord expected = device;
    setFieldText(expected.unit, kUnitWidth, QStringLiteral("m3"));
    expected.direction = 0;
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(&check.record), sizeof check.record),
             QByteArray(reinterpret_cast<const char *>(&expected), sizeof expected));
}

// The review box's lines: each change as the table words its values, then
// the counter's note when a new direction takes it along.
void TestDevicePlan::changeLines_data()
{
    QTest::addColumn<ParameterRecord>("target");
    QTest::addColumn<int>("language");
    QTest::addColumn<QStringList>("lines");

    ParameterRecord unitOnly = sampleRecord();
    setFieldText(unitOnly.unit, kUnitWidth, QStringLiteral("t"));
    QTest::newRow("unit, English") << unitOnly << int(English) << QStringList{"Unit: kWh -> t"};
    QTest::newRow("turned, German")
        << sampleTarget() << int(German)
        << QStringList{"Einheit: kWh -> m3", "Richtung: 1: links -> 0: rechts",
                       "Der Zählerstand geht mit: die Zählrichtung ändert sich, er wird nach den Parametern "
                       "zurückgeschrieben."};
    QTest::newRow("nothing") << sampleRecord() << int(English) << QStringList();
}

void TestDevicePlan::changeLines()
{
    QFETCH(ParameterRecord, target);
    QFETCH(int, language);
    const DevicePlan plan = makeDevicePlan(sampleRecord(), QStringLiteral("012345678"), target, {}, {});
    QTEST(planChangeLines(plan, language), "lines");
}

QTEST_GUILESS_MAIN(TestDevicePlan)
#include "tst_deviceplan.moc"
