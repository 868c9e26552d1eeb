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
    void begin() override { readDevice(); }
    void deviceRead(const DeviceReading &reading) override;
    void ending() override;

private:
    void startWrite(const ParameterRecord &record, const DeviceReading &reading);
    void onParametersWritten(const ParameterRecord &record);
    void onCounterWritten(bool echoed);
    void onIdle();

    // What the write sequence found in the device and what it acknowledged.
    struct WriteRecord
    {
        ParameterRecord before{};
        QList<FieldChange> changes;
        enum {
            Unacknowledged,
            ParametersWritten,
            CounterDue, // the counter's write-back after a changed direction
            CounterWritten,
            CounterFailed,
        } progress = Unacknowledged;
    } m_write;
};

// set-counter: the digits checked as the window's counter entry checks them.
class CounterJob : public PortJob
{
    Q_OBJECT

public:
    using PortJob::PortJob;

protected:
    void begin() override { readDevice(); }
    void deviceRead(const DeviceReading &reading) override;

private:
    void onCounterWritten(bool echoed);

    DeviceReading m_before;
    QString m_entry;
};

} // namespace tavik7::cli
