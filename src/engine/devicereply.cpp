#include "devicereply.h"

#include "devicelink.h"

namespace tavik7 {

DeviceReply::DeviceReply(Purpose purpose, DeviceLink *link)
    : DeviceJob(link)
    , m_purpose(purpose)
{
}

DeviceReply::Purpose DeviceReply::purposeOfButton(int sequenceMode)
{
    switch (sequenceMode) {
    case 2: return Purpose::Write;
    case 5: return Purpose::Report;
    default: return Purpose::Read;
    }
}

void DeviceReply::finish(const DeviceResult &result)
{
    if (m_finished)
        return;
    m_finished = true;
    m_result = result;
    emit requestEnded(this);
    emit sequenceEnded(result);
    emit finished(result);
    deleteLater();
}

} // namespace tavik7
