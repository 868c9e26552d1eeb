#include "plansession.h"

namespace tavik7 {

PlanEndNote planEndNote(const PlanEnd &end, DeviceLink::PortState port, int language)
{
    switch (end.status) {
    case PlanEnd::Status::NoChange:
        return {MessageId::NotePlanNoChange};
    case PlanEnd::Status::Stale:
        return {{MessageId::NotePlanStale, {staleChangeText(end.plan, end.check, language)}}};
    case PlanEnd::Status::NotSent:
        if (port == DeviceLink::PortState::Closed)
            return {MessageId::NoData, false};
        return {};
    case PlanEnd::Status::NotRead:
    case PlanEnd::Status::Declined:
    case PlanEnd::Status::Ended:
        return {};
    }
    return {};
}

PlanSession::PlanSession(DeviceLink *link, QObject *parent)
    : DeviceJob(parent)
    , m_link(link)
{
}

bool PlanSession::review(const ParameterRecord &target, const QString &toolVersion)
{
    m_target = target;
    DeviceReply *read = m_link->read(DeviceReply::Purpose::Read);
    if (!read)
        return started(false);
    // Shown and booked as any read; planned() is queued behind that.
    forward(read);
    connect(read, &DeviceJob::sequenceEnded, this, &DeviceJob::sequenceEnded);
    connect(read, &DeviceReply::finished, this,
            [this, toolVersion](const DeviceResult &result) { onRead(result, toolVersion); });
    return started(true);
}

void PlanSession::onRead(const DeviceResult &result, const QString &toolVersion)
{
    if (!result.ok() || !result.record || !result.counter) {
        end(PlanEnd::Status::NotRead);
        return;
    }
    m_end.plan = makeDevicePlan(*result.record, QString::fromLatin1(result.counter->digits), m_target,
                                m_link->portName(), toolVersion);
    // Not from inside the port's slot: no answer is read while a box is open.
    QMetaObject::invokeMethod(
        this,
        [this] {
            emit planned(m_end.plan);
            if (m_end.plan.changes.isEmpty())
                end(PlanEnd::Status::NoChange);
        },
        Qt::QueuedConnection);
}

void PlanSession::answer(bool write)
{
    if (!write) {
        end(PlanEnd::Status::Declined);
        return;
    }
    auto *session = new WriteSession(m_link, this);
    // The write's own end is shown first, then why the plan refused it.
    connect(session, &DeviceJob::stepFinished, this, &DeviceJob::stepFinished);
    connect(session, &DeviceJob::requestEnded, this, &DeviceJob::requestEnded);
    connect(session, &DeviceJob::sequenceEnded, this, &DeviceJob::sequenceEnded);
    connect(session, &WriteSession::finished, this, [this](const WriteEnd &written) {
        m_end.write = written;
        end(written.status == WriteEnd::Status::Refused && m_end.check.stale() ? PlanEnd::Status::Stale
                                                                                : PlanEnd::Status::Ended);
    });
    // The plan's check runs on the record the write session's own LP brought.
    if (!session->start([this](const ParameterRecord &device) { return checkedRecord(device); }, false))
        end(PlanEnd::Status::NotSent);
}

std::optional<ParameterRecord> PlanSession::checkedRecord(const ParameterRecord &device)
{
    m_end.check = checkPlanAgainst(m_end.plan, device);
    return m_end.check.stale() ? std::nullopt : std::optional(m_end.check.record);
}

void PlanSession::end(PlanEnd::Status status)
{
    m_end.status = status;
    emit finished(m_end);
    deleteLater();
}

} // namespace tavik7
