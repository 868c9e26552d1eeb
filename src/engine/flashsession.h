#pragma once

#include <optional>

#include "devicejob.h"
#include "devicelink.h"
#include "flashrun.h"

namespace tavik7 {

// How a backup-then-flash session ended.
struct FlashEnd
{
    // The read for the backup, when one was made; a failed one ends the
    // session with nothing flashed.
    std::optional<DeviceResult> read;
    // The run's verdict; None when no run started.
    FlashRun::Verdict verdict = FlashRun::Verdict::None;
};

// A firmware flash with the backup it needs: the device read when asked (its
// parameters are lost with the erase otherwise), the caller's go-ahead once
// the adapter is switched, then the flash run with the backup of the device
// as the link's memory holds it. The session deletes itself after finished().
class FlashSession : public DeviceJob
{
    Q_OBJECT

public:
    FlashSession(DeviceLink *link, FlashRun *run, QObject *parent = nullptr);

    // readFirst: the device is read, readyToFlash() follows its answer, and
    // proceed() starts the run. Otherwise the run starts at once. False when
    // nothing could be started.
    bool start(const FlashRun::Request &request, bool readFirst);
    void proceed();

signals:
    // The device answered; the caller has the adapter switched, then proceed().
    void readyToFlash();
    void finished(const tavik7::FlashEnd &end);

private:
    bool flash();
    void end();

    DeviceLink *m_link;
    FlashRun *m_run;
    FlashRun::Request m_request;
    FlashEnd m_end;
    enum class Step { Idle, Reading, Waiting, Flashing, Done } m_step = Step::Idle;
};

} // namespace tavik7

Q_DECLARE_METATYPE(tavik7::FlashEnd)
