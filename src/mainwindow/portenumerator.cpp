#include "portenumerator.h"

#include <QFileInfo>
#include <QSerialPortInfo>

#include "platform.h"

PortEnumerator::PortEnumerator(QObject *parent)
    : QObject(parent)
{
    pollTimer.setInterval(kPollIntervalMs);
    connect(&pollTimer, &QTimer::timeout, this, &PortEnumerator::poll);
}

QStringList PortEnumerator::currentNames()
{
    QStringList names;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &port : ports)
        names.append(port.portName());
    const QStringList extra = tavik7::platform::extraPortPaths();
    for (const QString &path : extra) {
#ifndef Q_OS_WIN
        // A pseudo-terminal vanishes when its simulator ends, like an unplugged adapter.
        if (!QFileInfo::exists(path))
            continue;
#endif
        if (!names.contains(path))
            names.append(path);
    }
    return names;
}

QList<PortInfo> PortEnumerator::getPorts()
{
    QList<PortInfo> ports;
    const QStringList names = currentNames();
    for (const QString &name : names)
        ports.append(PortInfo{name});
    return ports;
}

void PortEnumerator::setUpNotifications()
{
    knownNames = currentNames();
    pollTimer.start();
}

void PortEnumerator::poll()
{
    const QStringList names = currentNames();
    const QStringList previous = knownNames;
    knownNames = names;
    for (const QString &name : previous) {
        if (!names.contains(name))
            emit deviceRemoved(PortInfo{name});
    }
    for (const QString &name : names) {
        if (!previous.contains(name))
            emit deviceDiscovered(PortInfo{name});
    }
}
