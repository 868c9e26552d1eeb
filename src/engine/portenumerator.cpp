#include "portenumerator.h"

#include <QFileInfo>
#include <QSerialPortInfo>

#include "platform.h"

PortEnumerator::PortEnumerator(QObject *parent)
    : QObject(parent)
{
    connect(&notifier, &tavik7::platform::PortChangeNotifier::portsMayHaveChanged, this, &PortEnumerator::scan);
}

QStringList PortEnumerator::systemNames()
{
    QStringList names;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &port : ports)
        names.append(port.portName());
    return names;
}

QStringList PortEnumerator::existingExtraPaths()
{
    QStringList paths;
    const QStringList extra = tavik7::platform::extraPortPaths();
    for (const QString &path : extra) {
        if (!tavik7::platform::extraPortPresent(path))
            continue;
        if (!paths.contains(path))
            paths.append(path);
    }
    return paths;
}

static QList<PortInfo> toPorts(const QStringList &system, const QStringList &extra)
{
    QList<PortInfo> ports;
    for (const QString &name : system)
        ports.append(PortInfo{name});
    for (const QString &path : extra) {
        if (!system.contains(path))
            ports.append(PortInfo{path});
    }
    return ports;
}

QList<PortInfo> PortEnumerator::getPorts()
{
    return toPorts(systemNames(), existingExtraPaths());
}

QList<PortDescription> PortEnumerator::describePorts()
{
    QList<PortDescription> ports;
    QStringList systemPorts;
    const QList<QSerialPortInfo> available = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &port : available) {
        systemPorts.append(port.portName());
        ports.append({port.portName(), port.systemLocation(), port.description(), port.manufacturer(),
                      port.serialNumber()});
    }
    const QStringList extra = existingExtraPaths();
    for (const QString &path : extra) {
        if (!systemPorts.contains(path))
            ports.append({path, tavik7::platform::portSystemLocation(path), {}, {}, {}});
    }
    return ports;
}

QList<PortInfo> PortEnumerator::ports() const
{
    return scanned ? toPorts(knownSystemNames, knownExtraPaths) : getPorts();
}

QStringList PortEnumerator::portNames() const
{
    QStringList names;
    for (const PortInfo &port : ports()) {
        if (!port.portName.isEmpty())
            names.append(port.portName);
    }
    return names;
}

int PortEnumerator::keptChoice(const QStringList &listed, const QString &picked)
{
    const int kept = picked.isEmpty() ? -1 : int(listed.indexOf(picked));
    return kept >= 0 ? kept : (listed.isEmpty() ? -1 : 0);
}

void PortEnumerator::setUpNotifications()
{
    // The system's ports take the GUI thread 10 ms and more to list: the
    // caller runs the first scan once it can spare the time (the window, once
    // its first frame is on screen), and they are announced like ports plugged
    // in. The extra ports cost nothing and are there from the start.
    knownExtraPaths = existingExtraPaths();
    scanned = true;

    QStringList extraFolders;
    for (const QString &path : tavik7::platform::extraPortPaths())
        extraFolders.append(QFileInfo(path).absolutePath());
    notifier.start(extraFolders);

    if (notifier.isWatching()) {
        pollTimer.setInterval(kExtraPortCheckMs);
        connect(&pollTimer, &QTimer::timeout, this, &PortEnumerator::checkExtraPorts);
    } else {
        pollTimer.setInterval(kFallbackScanMs);
        connect(&pollTimer, &QTimer::timeout, this, &PortEnumerator::scan);
    }
    pollTimer.start();
}

void PortEnumerator::checkExtraPorts()
{
    if (existingExtraPaths() != knownExtraPaths)
        scan();
}

void PortEnumerator::scan()
{
    const QList<PortInfo> previous = ports();
    knownSystemNames = systemNames();
    knownExtraPaths = existingExtraPaths();
    const QList<PortInfo> current = ports();

    const auto contains = [](const QList<PortInfo> &list, const QString &name) {
        return std::any_of(list.begin(), list.end(), [&](const PortInfo &p) { return p.portName == name; });
    };
    for (const PortInfo &port : previous) {
        if (!contains(current, port.portName))
            emit deviceRemoved(port);
    }
    for (const PortInfo &port : current) {
        if (!contains(previous, port.portName))
            emit deviceDiscovered(port);
    }
}
