#include "reportsession.h"

#include "parametersheet.h"

namespace tavik7 {

ReportSession::ReportSession(DeviceLink *link, QObject *parent)
    : DeviceJob(parent)
    , m_link(link)
{
}

bool ReportSession::start()
{
    DeviceReply *reply = m_link->read(DeviceReply::Purpose::Report);
    if (!reply)
        return started(false);
    forward(reply);
    connect(reply, &DeviceReply::finished, this, [this](const DeviceResult &result) {
        ReportEnd end;
        end.read = result;
        if (result.ok() && result.record && result.counter) {
            ParameterSheet sheet;
            sheet.setRecord(*result.record);
            sheet.setCounterText(result.counter->text);
            end.implausibleFields = sheet.implausibleFieldIds();
            end.counterPlausible = sheet.counterPlausible();
        }
        emit sequenceEnded(result);
        emit finished(end);
        deleteLater();
    });
    return started(true);
}

} // namespace tavik7
