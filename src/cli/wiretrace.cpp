#include "wiretrace.h"

#include <QDateTime>
#include <QFileInfo>

#include "regularfile.h"

namespace tavik7::cli {

QString traceFileFor(const QString &file, const QString &port, int portCount)
{
    if (portCount <= 1)
        return file;
    // /dev/ttyUSB0 and ttyUSB0 name one port; /dev/pts/3 keeps its folder
    // so that it cannot be taken for a port named "3".
    QString name = port;
    if (name.startsWith(QLatin1String("/dev/")))
        name = name.mid(5);
    name.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QLatin1Char('\\'), QLatin1Char('_'));
    // The extension is the file name's own (a dot in a folder's name is
    // none); a name that only starts with a dot has none either.
    const QFileInfo info(file);
    const QString suffix = info.suffix();
    if (suffix.isEmpty() || info.completeBaseName().isEmpty())
        return file + QLatin1Char('-') + name;
    return file.left(file.size() - suffix.size() - 1) + QLatin1Char('-') + name + QLatin1Char('.') + suffix;
}

WireTrace::WireTrace(DeviceLink *link, const QString &path, const QString &port, QObject *parent)
    : QObject(parent)
    , m_path(path)
    , m_port(port.toUtf8())
{
    connect(link, &DeviceLink::wireBytes, this, &WireTrace::take);
    connect(link, &DeviceLink::closed, this, &WireTrace::flush);
}

WireTrace::~WireTrace()
{
    flush();
}

bool WireTrace::open()
{
    // Opened as the NAMUR log is: no link followed, a FIFO refused.
    return platform::openRegularFile(m_file, m_path, false) && m_file.resize(0);
}

bool WireTrace::flush()
{
    if (m_file.isOpen() && !m_pending.isEmpty() && m_error.isEmpty()
        && m_file.write(m_pending) != m_pending.size())
        m_error = m_file.errorString();
    m_pending.clear();
    return m_error.isEmpty();
}

void WireTrace::take(DeviceLink::Wire direction, const QByteArray &bytes)
{
    if (!m_file.isOpen() || !m_error.isEmpty())
        return;
    m_pending += QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toLatin1();
    m_pending += ' ';
    m_pending += m_port;
    m_pending += direction == DeviceLink::Wire::Sent ? " > " : " < ";
    m_pending += bytes.toHex(' ');
    m_pending += '\n';
    // The file is written unbuffered: a write per chunk would cost a system
    // call per telegram, on a line that may carry NAMUR telegrams for hours.
    if (m_pending.size() >= kFlushBytes)
        flush();
}

} // namespace tavik7::cli
