#include "devicememory.h"

namespace tavik7 {

QString DeviceState::serialNumber() const
{
    return record ? fieldText(record->serialNumber, kSerialNumberWidth) : QString();
}

QString DeviceState::manufacturer() const
{
    return record ? fieldText(record->manufacturer, kManufacturerWidth) : QString();
}

QString DeviceState::deviceType() const
{
    return record ? fieldText(record->deviceType, kDeviceTypeWidth) : QString();
}

std::optional<quint16> DeviceState::softwareVersion() const
{
    return record ? std::optional<quint16>(record->softwareVersion) : std::nullopt;
}

QString DeviceState::counterDigits() const
{
    return counter ? QString::fromLatin1(counter->digits) : QString();
}

DeviceMemory::DeviceMemory(QObject *parent)
    : QObject(parent)
{
}

void DeviceMemory::take(const DeviceResult &step)
{
    if (!step.ok())
        return;
    // A write acknowledged is what the device holds now, as much as a read.
    if (step.written)
        m_state.record = step.written;
    else if (step.record)
        m_state.record = step.record;
    if (step.counterWritten)
        m_state.counter = step.counterWritten;
    else if (step.counter)
        m_state.counter = step.counter;
    else if (!step.record && !step.written)
        return;
    emit changed();
}

void DeviceMemory::forget(const QString &portName)
{
    if (portName == m_portName)
        return;
    m_portName = portName;
    if (!m_state.record && !m_state.counter)
        return;
    m_state = DeviceState{};
    emit changed();
}

} // namespace tavik7
