#include "deviceplan.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include "messagecatalogue.h"
#include "parameterfields.h"
#include "recorddiff.h"
#include "settingsfilestrict.h"

namespace tavik7 {

namespace {

constexpr int kIdentityFields[] = {FieldSerialNumber, FieldManufacturer, FieldDeviceType};

QString key(int field)
{
    return QLatin1String(kParameterFields[field].jsonKey);
}

int fieldOfKey(const QString &name)
{
    for (int field = 0; field < kParameterFieldCount; ++field) {
        if (name == key(field))
            return field;
    }
    return -1;
}

QString valueOf(const ParameterRecord &record, int field)
{
    return QString::fromLatin1(settingsFileValue(record, field));
}

// A value a write can store: Latin-1, as the device keeps it, and one the
// strict settings-file reading takes.
bool storeValue(ParameterRecord &record, int field, const QString &value)
{
    const QByteArray bytes = value.toLatin1();
    return QString::fromLatin1(bytes) == value && setFieldFromStrictValue(record, field, bytes);
}

QJsonObject contentOf(const DevicePlan &plan)
{
    QJsonObject device;
    for (int field : kIdentityFields)
        device.insert(key(field), plan.value(field));
    device.insert(key(FieldSoftwareVersion), plan.value(FieldSoftwareVersion));
    QJsonObject fields;
    for (int field = 0; field < kParameterFieldCount; ++field)
        fields.insert(key(field), plan.value(field));
    QJsonArray changes;
    for (const PlannedChange &change : plan.changes) {
        changes.append(QJsonObject{{QStringLiteral("key"), key(change.field)},
                                   {QStringLiteral("old"), change.oldValue},
                                   {QStringLiteral("new"), change.newValue}});
    }
    return {{QStringLiteral("format"), QLatin1String(kPlanFormatName)},
            {QStringLiteral("version"), kPlanFormatVersion},
            {QStringLiteral("tool"), plan.toolVersion},
            {QStringLiteral("port"), plan.port},
            {QStringLiteral("device"), device},
            {QStringLiteral("fields"), fields},
            {QStringLiteral("counter"), plan.counter},
            {QStringLiteral("changes"), changes},
            {QStringLiteral("counterGoesAlong"), plan.counterGoesAlong}};
}

// The hash is taken over the content without its "sha256" member, written as
// compact JSON (QJsonDocument::Compact, UTF-8). QJsonObject keeps members
// sorted by key, so the file's own order, indentation and line ends do not
// count; every value does.
QString hashOf(const QJsonObject &content)
{
    const QByteArray canonical = QJsonDocument(content).toJson(QJsonDocument::Compact);
    return QString::fromLatin1(QCryptographicHash::hash(canonical, QCryptographicHash::Sha256).toHex());
}

PlanReading fault(PlanReading::Fault kind, const QString &where = {})
{
    PlanReading reading;
    reading.fault = kind;
    reading.where = where;
    return reading;
}

// Exactly the members names, each of the given JSON type: the first member
// unknown, then the first one missing or of another type.
PlanReading checkMembers(const QJsonObject &object, const QList<QPair<QString, QJsonValue::Type>> &members,
                         const QString &prefix)
{
    QSet<QString> known;
    for (const auto &member : members)
        known.insert(member.first);
    for (const QString &name : object.keys()) {
        if (!known.contains(name))
            return fault(PlanReading::Fault::UnknownKey, prefix + name);
    }
    for (const auto &[name, type] : members) {
        if (!object.contains(name))
            return fault(PlanReading::Fault::MissingMember, prefix + name);
        if (object.value(name).type() != type)
            return fault(PlanReading::Fault::BadValue, prefix + name);
    }
    return fault(PlanReading::Fault::None);
}

QList<QPair<QString, QJsonValue::Type>> stringMembers(const QStringList &names)
{
    QList<QPair<QString, QJsonValue::Type>> members;
    for (const QString &name : names)
        members.append({name, QJsonValue::String});
    return members;
}

PlanReading readChanges(const QJsonArray &changes, DevicePlan &plan)
{
    const auto members = stringMembers({QStringLiteral("key"), QStringLiteral("old"), QStringLiteral("new")});
    QSet<int> seen;
    for (qsizetype i = 0; i < changes.size(); ++i) {
        const QString prefix = QStringLiteral("changes[%1].").arg(i);
        if (!changes.at(i).isObject())
            return fault(PlanReading::Fault::BadValue, prefix.chopped(1));
        const QJsonObject change = changes.at(i).toObject();
        if (PlanReading checked = checkMembers(change, members, prefix); !checked.ok())
            return checked;
        const int field = fieldOfKey(change.value(QLatin1String("key")).toString());
        if (field < 0 || field == FieldSoftwareVersion || field == FieldSoftwareCrc || seen.contains(field))
            return fault(PlanReading::Fault::BadValue, prefix + QLatin1String("key"));
        seen.insert(field);
        PlannedChange planned{field, change.value(QLatin1String("old")).toString(),
                              change.value(QLatin1String("new")).toString()};
        ParameterRecord scratch;
        initParameterRecord(scratch);
        if (planned.oldValue != plan.value(field))
            return fault(PlanReading::Fault::BadValue, prefix + QLatin1String("old"));
        if (!storeValue(scratch, field, planned.newValue))
            return fault(PlanReading::Fault::BadValue, prefix + QLatin1String("new"));
        plan.changes.append(planned);
    }
    return fault(PlanReading::Fault::None);
}

} // namespace

QList<int> writableChanges(const ParameterRecord &before, const ParameterRecord &after)
{
    QList<int> fields = differingFields(before, after);
    fields.removeOne(FieldSoftwareVersion);
    fields.removeOne(FieldSoftwareCrc);
    return fields;
}

DevicePlan makeDevicePlan(const ParameterRecord &device, const QString &counter, const ParameterRecord &target,
                          const QString &port, const QString &toolVersion)
{
    DevicePlan plan;
    plan.toolVersion = toolVersion;
    plan.port = port;
    for (int field = 0; field < kParameterFieldCount; ++field)
        plan.values.append(valueOf(device, field));
    plan.counter = counter;
    for (int field : writableChanges(device, target))
        plan.changes.append({field, valueOf(device, field), valueOf(target, field)});
    plan.counterGoesAlong = device.direction != target.direction;
    plan.hash = hashOf(contentOf(plan));
    return plan;
}

PlanEmptiness planEmptiness(const DevicePlan &plan, const ParameterRecord &device, const ParameterRecord &asked)
{
    if (!plan.changes.isEmpty())
        return PlanEmptiness::HasChanges;
    return differingFields(device, asked).isEmpty() ? PlanEmptiness::EqualsDevice
                                                    : PlanEmptiness::NamesNoWrittenField;
}

QByteArray devicePlanBytes(const DevicePlan &plan)
{
    // Read by people as much as by programs: the members in the order a
    // reviewer wants them, not sorted as QJsonObject writes them.
    QJsonObject content = contentOf(plan);
    content.insert(QStringLiteral("sha256"), plan.hash);
    QByteArrayList members;
    for (const char *name : {"format", "version", "tool", "port", "device", "fields", "counter", "changes",
                             "counterGoesAlong", "sha256"}) {
        // Inside an array a value comes out indented one level, as a member's is.
        const QByteArray array = QJsonDocument(QJsonArray{content.value(QLatin1String(name))}).toJson();
        QByteArray value = array.mid(2, array.size() - 5).trimmed();
        if (value.simplified() == "[ ]")
            value = "[]";
        members.append(QByteArray("    \"") + name + "\": " + value);
    }
    return "{\n" + members.join(",\n") + "\n}\n";
}

PlanReading readDevicePlan(const QByteArray &bytes)
{
    using Fault = PlanReading::Fault;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        return fault(Fault::NotJson, QStringLiteral("line %1").arg(bytes.left(error.offset).count('\n') + 1));
    QJsonObject object = document.object();
    if (object.value(QLatin1String("format")).toString() != QLatin1String(kPlanFormatName))
        return fault(Fault::NotAPlan);
    const QJsonValue version = object.value(QLatin1String("version"));
    if (version.toDouble(-1) != kPlanFormatVersion)
        return fault(Fault::OtherVersion, version.isDouble() ? QString::number(version.toDouble()) : version.toVariant().toString());
    QStringList identity;
    for (int field : kIdentityFields)
        identity.append(key(field));
    identity.append(key(FieldSoftwareVersion));
    QStringList fieldKeys;
    for (int field = 0; field < kParameterFieldCount; ++field)
        fieldKeys.append(key(field));
    auto members = stringMembers({QStringLiteral("format"), QStringLiteral("tool"), QStringLiteral("port"),
                                  QStringLiteral("counter"), QStringLiteral("sha256")});
    members += {{QStringLiteral("version"), QJsonValue::Double}, {QStringLiteral("device"), QJsonValue::Object},
                {QStringLiteral("fields"), QJsonValue::Object}, {QStringLiteral("changes"), QJsonValue::Array},
                {QStringLiteral("counterGoesAlong"), QJsonValue::Bool}};
    for (const PlanReading &checked :
         {checkMembers(object, members, QString()),
          checkMembers(object.value(QLatin1String("device")).toObject(), stringMembers(identity), QStringLiteral("device.")),
          checkMembers(object.value(QLatin1String("fields")).toObject(), stringMembers(fieldKeys), QStringLiteral("fields."))}) {
        if (!checked.ok())
            return checked;
    }
    const QString hash = object.take(QLatin1String("sha256")).toString();
    if (hash != hashOf(object))
        return fault(Fault::Edited);
    PlanReading reading = fault(Fault::None);
    DevicePlan &plan = reading.plan;
    plan.toolVersion = object.value(QLatin1String("tool")).toString();
    plan.port = object.value(QLatin1String("port")).toString();
    const QJsonObject fields = object.value(QLatin1String("fields")).toObject();
    for (const QString &name : fieldKeys)
        plan.values.append(fields.value(name).toString());
    plan.counter = object.value(QLatin1String("counter")).toString();
    plan.counterGoesAlong = object.value(QLatin1String("counterGoesAlong")).toBool();
    plan.hash = hash;
    if (PlanReading changes = readChanges(object.value(QLatin1String("changes")).toArray(), plan); !changes.ok())
        return changes;
    return reading;
}

PlanCheck checkPlanAgainst(const DevicePlan &plan, const ParameterRecord &device)
{
    PlanCheck check;
    check.record = device;
    QList<QPair<int, QString>> expected;
    for (int field : kIdentityFields)
        expected.append({field, plan.value(field)});
    for (const PlannedChange &change : plan.changes)
        expected.append({change.field, change.oldValue});
    for (const auto &[field, value] : expected) {
        if (valueOf(device, field) != value) {
            check.staleField = field;
            check.valueNow = valueOf(device, field);
            return check;
        }
    }
    for (const PlannedChange &change : plan.changes) {
        // Checked when the plan was read.
        [[maybe_unused]] const bool stored = storeValue(check.record, change.field, change.newValue);
    }
    return check;
}

QStringList planChangeLines(const DevicePlan &plan, int language)
{
    QStringList lines;
    for (const PlannedChange &change : plan.changes)
        lines.append(fieldChangeText(QLatin1String(kParameterFields[change.field].jsonKey), change.oldValue,
                                     change.newValue, language));
    if (plan.counterGoesAlong)
        lines.append(catalogueText(MessageId::NotePlanCounterGoesAlong, language));
    return lines;
}

QString staleChangeText(const DevicePlan &plan, const PlanCheck &check, int language)
{
    return fieldChangeText(QLatin1String(kParameterFields[check.staleField].jsonKey), plan.value(check.staleField),
                           check.valueNow, language);
}

} // namespace tavik7
