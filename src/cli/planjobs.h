#pragma once

#include "devicejobs.h"
#include "deviceplan.h"
#include "plansession.h"

namespace tavik7::cli {

// The plan's own words, in the language.
enum class PlanText {
    Unreadable,
    NotJson,
    NotAPlan,
    OtherVersion,
    UnknownKey,
    MissingMember,
    BadValue,
    Edited,
    Stale,
    EqualsDevice,
    ValuesEqualDevice,
    NamesNoWrittenField,
    CounterGoesAlong,
    PlanSaved,
    PlanUnsaved,
    JsonAndStandardOutput,
    NothingToWrite,
};
[[nodiscard]] QString planText(PlanText id, int language);

// What is wrong with a plan file, in the language, or empty when it is one
// apply can use. Asked before any port opens.
[[nodiscard]] QString planFileComplaint(const QString &path, int language);

// plan: reads the device and saves what write would change, for review.
class PlanJob : public PortJob
{
    Q_OBJECT

public:
    using PortJob::PortJob;

protected:
    void begin() override;
    void deviceRead(const DeviceReading &reading) override;

private:
    void printChanges(const DevicePlan &plan, bool toStandardOutput);
    [[nodiscard]] QString text(PlanText id) const;
};

// apply: write, with the plan's check of the device as the write sequence
// read it, and always the read-back.
class ApplyJob : public WriteJob
{
    Q_OBJECT

public:
    ApplyJob(const QString &port, const CliOptions &options, QObject *parent = nullptr);

protected:
    void begin() override;
    void deviceRead(const DeviceReading &reading) override;
    void ending() override;
    void requestFailed(const DeviceResult &result) override;
    std::optional<ParameterRecord> plan(const ParameterRecord &device) override;

private:
    [[nodiscard]] QString staleText(const PlanCheck &check) const;

    PlanReading m_reading;
    // The plan's check of the device, as the window's review makes it.
    PlanSession *m_check = nullptr;
    QString m_stale; // why the device is no longer the plan's
};

} // namespace tavik7::cli
