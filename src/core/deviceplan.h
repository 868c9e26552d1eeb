#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include "parameterrecord.h"

namespace tavik7 {

// A write reviewed before it is made: what the device held when it was read,
// and each field that is to change. Values are the strings of "read --json"
// (the settings file's), keys its field keys.
struct PlannedChange
{
    int field = -1;
    QString oldValue;
    QString newValue;
};

struct DevicePlan
{
    QString toolVersion;
    QString port;
    QStringList values;   // every field as read, by field number
    QString counter;      // the counter's digits as read
    QList<PlannedChange> changes;
    bool counterGoesAlong = false; // the direction turns: the reading is written back
    QString hash;         // SHA-256 of the content, hex

    [[nodiscard]] QString value(int field) const { return values.value(field); }
};

inline constexpr char kPlanFormatName[] = "tavik7-plan";
inline constexpr int kPlanFormatVersion = 1;

// The plan that turns device into target (as write would send it: the
// firmware's version and CRC are never a change), hashed.
[[nodiscard]] DevicePlan makeDevicePlan(const ParameterRecord &device, const QString &counter,
                                        const ParameterRecord &target, const QString &port,
                                        const QString &toolVersion);

// Why a plan holds no change. asked: what the file and the values given ask
// for, before the fields a write keeps (the firmware's version and CRC, those
// the user keeps) are set back to the device's.
enum class PlanEmptiness {
    HasChanges,
    EqualsDevice,       // asked for what the device holds
    NamesNoWrittenField, // differs from the device only in fields a write keeps
};
[[nodiscard]] PlanEmptiness planEmptiness(const DevicePlan &plan, const ParameterRecord &device,
                                          const ParameterRecord &asked);

// The plan as its file holds it: indented JSON, members in a fixed order.
[[nodiscard]] QByteArray devicePlanBytes(const DevicePlan &plan);

// A plan file read strictly. Nothing of a refused file is used.
struct PlanReading
{
    enum class Fault {
        None,
        NotJson,       // where: "line N"
        NotAPlan,      // no "format" naming a plan
        OtherVersion,  // where: the version found
        UnknownKey,    // where: the member ("changes[0].old2", "fields.colour")
        MissingMember, // where: the member
        BadValue,      // where: the member whose value is of the wrong type or no value its field takes
        Edited,        // the content does not match its hash
    };
    Fault fault = Fault::NotJson;
    QString where;
    DevicePlan plan;

    [[nodiscard]] bool ok() const { return fault == Fault::None; }
};
[[nodiscard]] PlanReading readDevicePlan(const QByteArray &bytes);

// A plan against the device as read again just before the write: stale when
// its serial number, manufacturer or device type differ, or when a field the
// plan changes no longer holds the plan's old value. Else the record to
// write: the device's own with exactly the plan's changes.
struct PlanCheck
{
    int staleField = -1;  // the first field found stale; -1: the plan holds
    QString valueNow;     // what that field holds now
    ParameterRecord record{};

    [[nodiscard]] bool stale() const { return staleField >= 0; }
};
[[nodiscard]] PlanCheck checkPlanAgainst(const DevicePlan &plan, const ParameterRecord &device);

// A plan as the window's table words it: each change with its label, old
// and new value, then that the counter goes along when it does.
[[nodiscard]] QStringList planChangeLines(const DevicePlan &plan, int language);
// The stale field found by check: its label, the plan's value and the device's now.
[[nodiscard]] QString staleChangeText(const DevicePlan &plan, const PlanCheck &check, int language);

// The fields whose value differ between two records, the firmware's version
// and CRC left out: what a write can change.
[[nodiscard]] QList<int> writableChanges(const ParameterRecord &before, const ParameterRecord &after);

} // namespace tavik7
