#pragma once

#include <QObject>
#include <QString>

#include <optional>

#include "deviceresult.h"
#include "parameterrecord.h"

namespace tavik7 {

// What a device holds as far as this program has seen it: read from it, or
// acknowledged by it. A value is known or not; nothing is guessed.
struct DeviceState
{
    std::optional<ParameterRecord> record;
    std::optional<CounterReading> counter;

    // The identity the device answered with; empty while none was read.
    [[nodiscard]] QString serialNumber() const;
    [[nodiscard]] QString manufacturer() const;
    [[nodiscard]] QString deviceType() const;
    [[nodiscard]] std::optional<quint16> softwareVersion() const;
    // The counter's digits as the device sends them, empty while unknown.
    [[nodiscard]] QString counterDigits() const;
};

// The one memory of the device on a port, beside its link: every other part
// asks here instead of keeping a copy of its own that could lag behind.
class DeviceMemory : public QObject
{
    Q_OBJECT

public:
    explicit DeviceMemory(QObject *parent = nullptr);

    [[nodiscard]] const DeviceState &state() const { return m_state; }
    [[nodiscard]] const std::optional<ParameterRecord> &record() const { return m_state.record; }
    [[nodiscard]] const std::optional<CounterReading> &counter() const { return m_state.counter; }
    // The port the memory speaks of; another port starts from nothing.
    [[nodiscard]] const QString &portName() const { return m_portName; }

    // What one request learnt: its read, or what the device acknowledged.
    void take(const DeviceResult &step);
    void forget(const QString &portName);

signals:
    void changed();

private:
    DeviceState m_state;
    QString m_portName;
};

} // namespace tavik7
