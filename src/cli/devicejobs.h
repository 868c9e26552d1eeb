#pragma once

#include "portjob.h"
#include "writesession.h"

namespace tavik7::cli {

// write: the settings file's parameters into the device, the device's own
// software version and CRC kept, nothing sent unless the result is plausible.
class WriteJob : public PortJob
{
    Q_OBJECT

public:
    using PortJob::PortJob;
    void interrupt() override;

protected:
    void begin() override;
    void deviceRead(const DeviceReading &reading) override;
    void requestFailed(const DeviceResult &result) override;
    [[nodiscard]] QString interruptedText() const override;
    // What to write over the device's record as the write sequence read it;
    // nothing when refused.
    virtual std::optional<ParameterRecord> plan(const ParameterRecord &device);
    // record when plausible, remembered as what the write carries.
    std::optional<ParameterRecord> plausibleWrite(const ParameterRecord &record);

private:
    void startWrite();
    void onWritten(const WriteEnd &end);
    void onEnd(const WriteEnd &end);
    void verify(const WriteEnd &end);

    QString m_refusal; // why the plan refused the device's record
    // The write as the device acknowledged it, once it has; its read-back may follow.
    std::optional<WriteEnd> m_written;
};

// set-counter: the digits checked as the window's counter entry checks them.
class CounterJob : public PortJob
{
    Q_OBJECT

public:
    using PortJob::PortJob;

protected:
    void begin() override;
    void deviceRead(const DeviceReading &reading) override;

private:
    void onCounterWritten(const DeviceResult &result);
};

// report: the window's Print: its read, its verdict on the values, its page.
class ReportJob : public PortJob
{
    Q_OBJECT

public:
    using PortJob::PortJob;

protected:
    void begin() override;
    void deviceRead(const DeviceReading &reading) override;

private:
    bool m_plausible = false; // the report session's verdict on the reading
};

} // namespace tavik7::cli
