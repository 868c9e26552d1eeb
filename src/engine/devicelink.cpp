#include "devicelink.h"

#include <QTimer>

namespace tavik7 {

DeviceLink::DeviceLink(QObject *parent)
    : QObject(parent)
    , m_serialPort(new QSerialPort(this))
    , m_requestTimer(new QTimer(this))
{
}

DeviceLink::~DeviceLink() = default;
void DeviceLink::setTimeouts(const Timeouts &timeouts) { m_timeouts = timeouts; }
DeviceLink::Timeouts DeviceLink::timeouts() const { return m_timeouts; }
bool DeviceLink::open(const PortSettings &) { return false; }
void DeviceLink::close() {}
bool DeviceLink::isOpen() const { return false; }
DeviceLink::PortState DeviceLink::portState() const { return m_portState; }
QString DeviceLink::portName() const { return m_portName; }
QSerialPort *DeviceLink::lendPort() { return nullptr; }
void DeviceLink::takePortBack() {}
bool DeviceLink::readSettings(SequenceMode) { return false; }
bool DeviceLink::startWriteSequence(const ParameterRecord &, const QString &) { return false; }
bool DeviceLink::writeParameters(const ParameterRecord &) { return false; }
bool DeviceLink::readCounter() { return false; }
bool DeviceLink::writeCounter(const QByteArray &) { return false; }
void DeviceLink::onReadyRead() {}
void DeviceLink::onTimeout() {}
void DeviceLink::onError(QSerialPort::SerialPortError) {}
bool DeviceLink::sendRequest(RequestKind, const QByteArray &, int) { return false; }
void DeviceLink::endRequest() {}

} // namespace tavik7
