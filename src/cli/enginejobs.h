#pragma once

#include "flashrun.h"
#include "flashsession.h"
#include "namurlimits.h"
#include "namurlistener.h"
#include "portjob.h"

namespace tavik7::cli {

// flash: the window's flash run, after a read for the backup when the device
// answers; the verdict is avrdude's exit code and its closing line.
class FlashJob : public PortJob
{
    Q_OBJECT

public:
    FlashJob(const QString &port, const CliOptions &options, QObject *parent = nullptr);
    void interrupt() override;

protected:
    void begin() override;
    void deviceRead(const DeviceReading &reading) override;
    void requestFailed(const DeviceResult &result) override;

private:
    void startFlash();
    void onFinished(FlashRun::Verdict verdict);

    FlashRun *m_run;
    FlashSession *m_session = nullptr;
};

// namur: the NAMUR tab's listening on the port, each log line also on stdout.
class NamurJob : public PortJob
{
    Q_OBJECT

public:
    NamurJob(const QString &port, const CliOptions &options, QObject *parent = nullptr);
    void interrupt() override;
    // How long a counted run waits for a device that fell silent.
    void setSilenceMs(int ms) { m_limits->setSilenceMs(ms); }

protected:
    void begin() override;
    void deviceRead(const DeviceReading &reading) override;
    void requestFailed(const DeviceResult &result) override;

private:
    void listen(const QString &serialNumber);
    void onLine(const QString &line, NamurListener::LineKind kind);
    void onLinesLost(const QStringList &lines);
    void onStopped();
    void onLimit(NamurLimits::Reason reason);

    NamurListener *m_listener;
    NamurLimits *m_limits;
    QString m_logPath;
    // Some lines did not reach the log: the run fails at its end.
    bool m_logLost = false;
};

} // namespace tavik7::cli
