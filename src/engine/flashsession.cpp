#include "flashsession.h"

namespace tavik7 {

FlashSession::FlashSession(DeviceLink *link, FlashRun *run, QObject *parent)
    : DeviceJob(parent)
    , m_link(link)
    , m_run(run)
{
}

bool FlashSession::start(const FlashRun::Request &request, bool readFirst)
{
    if (m_step != Step::Idle)
        return false;
    m_request = request;
    if (!readFirst)
        return started(flash());
    DeviceReply *reply = m_link->read(DeviceReply::Purpose::Backup);
    if (!reply)
        return started(false);
    m_step = Step::Reading;
    connect(reply, &DeviceJob::requestEnded, this, &DeviceJob::requestEnded);
    connect(reply, &DeviceReply::finished, this, [this](const DeviceResult &result) {
        m_end.read = result;
        if (!result.ok()) {
            end();
            return;
        }
        m_step = Step::Waiting;
        emit readyToFlash();
    });
    return started(true);
}

void FlashSession::proceed()
{
    if (m_step == Step::Waiting)
        flash();
}

bool FlashSession::flash()
{
    m_request.takeDevice(m_link->memory()->state());
    m_step = Step::Flashing;
    // A tool that cannot start ends the run before start() returns.
    connect(m_run, &FlashRun::finished, this, [this](FlashRun::Verdict verdict) {
        m_end.verdict = verdict;
        end();
    });
    if (m_run->start(m_request))
        return true;
    if (m_step == Step::Flashing)
        end();
    return m_end.verdict != FlashRun::Verdict::None;
}

void FlashSession::end()
{
    if (m_step == Step::Done)
        return;
    m_step = Step::Done;
    disconnect(m_run, nullptr, this, nullptr);
    emit finished(m_end);
    deleteLater();
}

} // namespace tavik7
