#include "writesession.h"

#include "recorddiff.h"

namespace tavik7 {

WriteSession::WriteSession(DeviceLink *link, QObject *parent)
    : DeviceJob(parent)
    , m_link(link)
{
}

bool WriteSession::start(const DeviceLink::WritePlan &plan, bool readBack)
{
    m_readBack = readBack;
    DeviceReply *reply = m_link->write(plan, DeviceReply::Purpose::Write);
    if (!reply)
        return started(false);
    forward(reply);
    connect(reply, &DeviceReply::finished, this, [this, reply] { onWritten(reply); });
    return started(true);
}

bool WriteSession::start(const ParameterRecord &record, bool readBack)
{
    return start([record](const ParameterRecord &) { return record; }, readBack);
}

void WriteSession::onWritten(const DeviceReply *reply)
{
    const DeviceResult &result = reply->result();
    m_end.write = result;
    if (result.written) {
        const ParameterRecord before = result.record ? *result.record : reply->before().record.value_or(ParameterRecord{});
        m_end.changed = differingFields(before, *result.written);
    }
    emit written(m_end);
    if (!result.ok()) {
        end(result.status == DeviceResult::Status::Refused ? WriteEnd::Status::Refused : WriteEnd::Status::Failed);
        return;
    }
    if (!m_readBack) {
        end(WriteEnd::Status::Written);
        return;
    }
    DeviceReply *check = m_link->read(DeviceReply::Purpose::Verify);
    if (!check) {
        // The port went while the write ended: the read-back cannot be made.
        DeviceResult closed;
        closed.status = DeviceResult::Status::Closed;
        m_end.readBack = closed;
        end(WriteEnd::Status::Failed);
        return;
    }
    connect(check, &DeviceJob::requestEnded, this, &DeviceJob::requestEnded);
    connect(check, &DeviceReply::finished, this, [this, check] { onReadBack(check); });
}

void WriteSession::onReadBack(const DeviceReply *reply)
{
    const DeviceResult &result = reply->result();
    m_end.readBack = result;
    if (!result.ok() || !result.record) {
        end(WriteEnd::Status::Failed);
        return;
    }
    m_end.differing = differingFields(*result.record, *m_end.write.written);
    end(m_end.differing.isEmpty() ? WriteEnd::Status::Written : WriteEnd::Status::ReadBackDiffers);
}

void WriteSession::end(WriteEnd::Status status)
{
    m_end.status = status;
    emit sequenceEnded(m_end.write);
    emit finished(m_end);
    deleteLater();
}

} // namespace tavik7
