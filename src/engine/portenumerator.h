#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include "portchangenotifier.h"

// One serial port as the list offers it: the name the user picks and the
// port object opens.
struct PortInfo
{
    QString portName;
};

// One serial port with what the system knows of the device behind it, for a
// listing such as "ports --json". An extra port has only its name and path.
struct PortDescription
{
    QString portName;
    QString systemLocation;
    QString description;
    QString manufacturer;
    QString serialNumber;
};

// Lists the serial ports and reports ports that appear or disappear. The
// system's ports are scanned again only when the platform says they may have
// changed (or every few seconds where it cannot tell); the extra ports, a
// handful of paths, are checked every second.
class PortEnumerator : public QObject
{
    Q_OBJECT

public:
    explicit PortEnumerator(QObject *parent = nullptr);

    // The system's ports, then the extra ports named in TAVIK7_EXTRA_PORTS that
    // currently exist (a simulated device is offered this way).
    [[nodiscard]] static QList<PortInfo> getPorts();
    // The same ports in the same order, each with its description,
    // manufacturer and serial number.
    [[nodiscard]] static QList<PortDescription> describePorts();

    // Starts watching for ports that come and go. Until scan() runs, only the
    // extra ports are listed.
    void setUpNotifications();
    // Lists the ports now and reports those that came or went since the last
    // scan; the first scan reports every system port with deviceDiscovered.
    void scan();

    // The ports as of the last scan (or a fresh scan before the first one).
    [[nodiscard]] QList<PortInfo> ports() const;
    // Their names, for a list to pick from.
    [[nodiscard]] QStringList portNames() const;
    // Which of the listed names stays picked after the list was made anew:
    // the one picked before while it is still listed, else the first; -1 for
    // an empty list. Another adapter coming or going must not change the
    // pick, or a write meant for one device would go to another.
    [[nodiscard]] static int keptChoice(const QStringList &listed, const QString &picked);

signals:
    void deviceDiscovered(const PortInfo &info);
    void deviceRemoved(const PortInfo &info);

private:
    static constexpr int kExtraPortCheckMs = 1000;
    static constexpr int kFallbackScanMs = 5000;

    void checkExtraPorts();
    [[nodiscard]] static QStringList systemNames();
    [[nodiscard]] static QStringList existingExtraPaths();

    QTimer pollTimer;
    tavik7::platform::PortChangeNotifier notifier;
    QStringList knownSystemNames;
    QStringList knownExtraPaths;
    bool scanned = false;
};

Q_DECLARE_METATYPE(PortInfo)
