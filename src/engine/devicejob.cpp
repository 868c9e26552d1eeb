#include "devicejob.h"

#include "devicereply.h"

namespace tavik7 {

void DeviceJob::forward(const DeviceReply *reply)
{
    connect(reply, &DeviceJob::stepFinished, this, &DeviceJob::stepFinished);
    connect(reply, &DeviceJob::requestEnded, this, &DeviceJob::requestEnded);
}

} // namespace tavik7
