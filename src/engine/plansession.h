#pragma once

#include <optional>

#include "console.h"
#include "deviceplan.h"
#include "writesession.h"

namespace tavik7 {

// How a write reviewed before it was made ended.
struct PlanEnd
{
    enum class Status {
        NotRead,  // the device's read failed; its own end says why
        NoChange, // the plan changes nothing: nothing was asked or sent
        Declined, // the technician kept the device as it is
        NotSent,  // the link took no write
        Stale,    // the device changed since it was planned: nothing written
        Ended,    // the write ran; write says how it ended
    };
    Status status = Status::NotRead;
    DevicePlan plan;
    PlanCheck check; // the plan against the device as the write read it
    std::optional<WriteEnd> write;
};

// What a reviewed write's end adds to the console, below the read's and the
// write's own lines or, for a write the closed port kept back, in place of
// them; MessageId::None where those already said all.
struct PlanEndNote
{
    ConsoleEntry entry;
    bool append = true;
};
[[nodiscard]] PlanEndNote planEndNote(const PlanEnd &end, DeviceLink::PortState port, int language);

// A write made from a plan: the write sequence's own read is checked
// against the plan, a device that is no longer the plan's is refused with
// nothing written, and otherwise exactly the plan's changes are written.
// review() makes the plan first from a read and asks before the write; the
// read and the write are the session's requests.
class PlanSession : public DeviceJob
{
    Q_OBJECT

public:
    explicit PlanSession(DeviceLink *link, QObject *parent = nullptr);

    // Reads the device and plans target over it; planned() follows the read.
    // False, with nothing sent, while the link takes no request.
    bool review(const ParameterRecord &target, const QString &toolVersion);
    // After planned(): whether the plan is to be written.
    void answer(bool write);

    void setPlan(const DevicePlan &plan) { m_end.plan = plan; }
    [[nodiscard]] const DevicePlan &plan() const { return m_end.plan; }
    [[nodiscard]] const PlanCheck &check() const { return m_end.check; }
    // The plan checked against device: the record to write, or none when stale.
    std::optional<ParameterRecord> checkedRecord(const ParameterRecord &device);

signals:
    // Out of the port's slot, so that a question box may wait for the answer.
    void planned(const tavik7::DevicePlan &plan);
    void finished(const tavik7::PlanEnd &end);

private:
    void onRead(const DeviceResult &result, const QString &toolVersion);
    void end(PlanEnd::Status status);

    DeviceLink *m_link;
    ParameterRecord m_target{};
    PlanEnd m_end;
};

} // namespace tavik7

Q_DECLARE_METATYPE(tavik7::PlanEnd)
