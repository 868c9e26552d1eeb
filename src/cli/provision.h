#pragma once

#include <memory>
#include <optional>

#include "commandline.h"
#include "devicebook.h"
#include "jobclaims.h"
#include "portjob.h"
#include "provisionjob.h"
#include "writesession.h"

namespace tavik7 {
class FlashRun;
}

namespace tavik7::cli {

// provision: a job file's rows onto the devices on the ports, each row once.
[[nodiscard]] int runProvision(const CliOptions &options);

// What every port of one run shares: the job, read and checked before any
// port opened, and the claims in the book.
struct ProvisionRun
{
    ProvisionJob job;
    std::optional<quint16> firmwareVersion; // --firmware: the image's version
    book::DeviceBook book;                  // the claims' connection, apart from the keepers' events
    std::unique_ptr<book::JobClaims> claims;
};

// One port: read the device, choose its row by what it reports, claim the
// row, flash when asked, write the row, set its counter, read back and
// compare, report; one line per device.
class ProvisionPortJob : public PortJob
{
    Q_OBJECT

public:
    ProvisionPortJob(const QString &port, const CliOptions &options, ProvisionRun *run, QObject *parent = nullptr);
    void interrupt() override;

protected:
    void begin() override;
    void deviceRead(const DeviceReading &reading) override;
    void requestFailed(const DeviceResult &result) override;
    void ending() override;

private:
    enum class Step { Choosing, Flashing, Rereading, Writing, Counting, ReadingBack, Done };

    void choose(const DeviceReading &reading);
    bool claim();
    void proceed(const DeviceReading &reading);
    void flash();
    void write();
    std::optional<ParameterRecord> plan(const ParameterRecord &device);
    bool markWritten();
    void onWriteEnd(const WriteEnd &end);
    void setCounter();
    void compare(const DeviceReading &reading);
    bool writeReport(const DeviceReading &reading, QString *error);
    // Settles the claim, prints the device's line and ends the job.
    void end(int exitCode, const QString &result, QString message = QString());
    [[nodiscard]] QString text(int id) const;
    [[nodiscard]] QString counterEntry(const ParameterRecord &device) const;

    ProvisionRun *m_run;
    Step m_step = Step::Choosing;
    const ProvisionRow *m_row = nullptr;
    QString m_deviceSerial;    // as the device reported it when its row was chosen
    QString m_stateBefore;     // the row's state before this claim
    bool m_claimed = false;    // this job holds the row's claim, unsettled
    bool m_written = false;    // the row's telegram may have reached the device
    bool m_markedNow = false;
    bool m_markBeforeTelegram = false; // the counter is read first: marked after it  // ... since this run's write, which may yet say it did not
    bool m_refusedByDevice = false; // this run's telegram answered with a refusal: nothing taken
    QString m_refusal;         // why the write's plan refused the device
    QString m_refusalWord;
    int m_refusalExit = 0;
    FlashRun *m_flashRun = nullptr;
};

} // namespace tavik7::cli
