#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

// One serial port as the list offers it: the name the user picks and the
// port object opens.
struct PortInfo
{
    QString portName;
};

// Lists the serial ports and reports ports that appear or disappear. The
// system has no portable hot-plug notice, so the list is polled about once a
// second and compared with the previous one.
class PortEnumerator : public QObject
{
    Q_OBJECT

public:
    explicit PortEnumerator(QObject *parent = nullptr);

    // The system's ports, then the extra ports named in TAVIK7_EXTRA_PORTS that
    // currently exist (a simulated device is offered this way).
    [[nodiscard]] static QList<PortInfo> getPorts();

    // Starts watching for ports that come and go.
    void setUpNotifications();

signals:
    void deviceDiscovered(const PortInfo &info);
    void deviceRemoved(const PortInfo &info);

private:
    static constexpr int kPollIntervalMs = 1000;

    void poll();
    [[nodiscard]] static QStringList currentNames();

    QTimer pollTimer;
    QStringList knownNames;
};

Q_DECLARE_METATYPE(PortInfo)
