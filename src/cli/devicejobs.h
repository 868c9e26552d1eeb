#pragma once

#include "portjob.h"

namespace tavik7::cli {

// write: the settings file's parameters into the device, the device's own
// software version and CRC kept, nothing sent unless the result is plausible.
class WriteJob : public PortJob
{
    Q_OBJECT

public:
    using PortJob::PortJob;

protected:
    void begin() override;
    void deviceRead(const DeviceReading &reading) override;
    void requestFailed(const DeviceResult &result) override;
    // What to write over the device's record as the write sequence read it;
    // nothing when refused.
    virtual std::optional<ParameterRecord> plan(const ParameterRecord &device);
    // record when plausible, remembered as what the write carries.
    std::optional<ParameterRecord> plausibleWrite(const ParameterRecord &device, const ParameterRecord &record);

private:
    void startWrite();
    void onWritten(const DeviceResult &result);
    void verify(const DeviceReading &reading);

    enum class Progress { Writing, Verifying } m_progress = Progress::Writing;
    ParameterRecord m_written{}; // what the telegram carried
    ParameterRecord m_before{};  // the device before it, for --json's "changed"
    QString m_refusal;           // why the plan refused the device's record
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
};

} // namespace tavik7::cli
