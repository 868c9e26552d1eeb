#pragma once

#include "portjob.h"

namespace tavik7::cli {

// The fields of a reading the window would mark red, each as "key=value":
// the parameter sheet's verdict, the window's own.
[[nodiscard]] QStringList implausibleFieldTexts(const DeviceReading &reading);
// The same for a record alone, as a write would send it.
[[nodiscard]] QStringList implausibleRecordTexts(const ParameterRecord &record);

// read with its checks: the whole device or one --field, a note on stderr
// for every implausible field, and with --check the run fails on them.
class CheckedReadJob : public PortJob
{
    Q_OBJECT

public:
    using PortJob::PortJob;

protected:
    void begin() override { readDevice(); }
    void deviceRead(const DeviceReading &reading) override;

private:
    void printReading(const DeviceReading &reading);
};

// check: the device against a settings file; only the reads are sent.
class CheckJob : public PortJob
{
    Q_OBJECT

public:
    using PortJob::PortJob;

protected:
    void begin() override { readDevice(); }
    void deviceRead(const DeviceReading &reading) override;
};

} // namespace tavik7::cli
