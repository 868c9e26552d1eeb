#pragma once

#include "portjob.h"

namespace tavik7::cli {

// read: prints the device, and with -o saves it as the window's Save would.
class ReadJob : public PortJob
{
    Q_OBJECT

public:
    using PortJob::PortJob;

protected:
    void begin() override { readDevice(); }
    void deviceRead(const DeviceReading &reading) override;
};

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

private:
    void startWrite(const ParameterRecord &record);
    void onWritten(const DeviceResult &result);
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
