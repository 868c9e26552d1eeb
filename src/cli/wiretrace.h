#pragma once

#include <QFile>
#include <QObject>
#include <QString>

#include "devicelink.h"

namespace tavik7::cli {

// --trace FILE with several ports: one file per port, the port's name put
// before the extension ("wire.txt" and /dev/ttyUSB0 give "wire-ttyUSB0.txt"),
// so that each device's exchange reads in order without the others' lines
// between. One port keeps FILE as given.
[[nodiscard]] QString traceFileFor(const QString &file, const QString &port, int portCount);

// A field engineer's record of one port: every chunk on the wire as a line
// "TIME PORT > HEX" (sent) or "TIME PORT < HEX" (received), the time in UTC
// with milliseconds. Buffered: written out when the port closes, on flush()
// and when the trace ends.
class WireTrace : public QObject
{
    Q_OBJECT

public:
    WireTrace(DeviceLink *link, const QString &path, const QString &port, QObject *parent = nullptr);
    ~WireTrace() override;

    // Creates or empties the file; false when it cannot be written.
    [[nodiscard]] bool open();
    // Writes out what is pending; false once any write failed (a full disk):
    // the file lacks bytes from then on, and the lines are not kept.
    bool flush();
    [[nodiscard]] const QString &path() const { return m_path; }
    // Why the file could not take its lines; empty while it could.
    [[nodiscard]] const QString &error() const { return m_error; }

private:
    void take(DeviceLink::Wire direction, const QByteArray &bytes);

    static constexpr qsizetype kFlushBytes = 64 * 1024;

    QString m_path;
    QFile m_file;
    QByteArray m_port;
    QByteArray m_pending; // lines not yet in the file
    QString m_error;
};

} // namespace tavik7::cli
