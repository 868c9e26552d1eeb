#include "reportsession.h"

#include "parametersheet.h"

namespace tavik7 {

ReportSession::ReportSession(DeviceLink *link, QObject *parent)
    : QObject(parent)
    , m_link(link)
{
}

bool ReportSession::start()
{
    DeviceReply *reply = m_link->read(DeviceReply::Purpose::Report);
    if (!reply)
        return false;
    connect(reply, &DeviceReply::stepFinished, this, &ReportSession::stepFinished);
    connect(reply, &DeviceReply::finished, this, [this, reply](const DeviceResult &result) {
        ReportEnd end;
        end.read = result;
        if (result.ok() && result.record && result.counter) {
            ParameterSheet sheet;
            sheet.setRecord(*result.record);
            sheet.setCounterText(result.counter->text);
            end.implausibleFields = sheet.implausibleFieldIds();
            end.counterPlausible = sheet.counterPlausible();
        }
        emit requestEnded(reply);
        emit finished(end);
        deleteLater();
    });
    return true;
}

} // namespace tavik7
