#include "portlist.h"

#include "deviceoutput.h"
#include "portenumerator.h"

namespace tavik7::cli {

QString portListText(bool json)
{
    // The window's list: the system's ports, then those of TAVIK7_EXTRA_PORTS.
    const QList<PortDescription> ports = PortEnumerator::describePorts();
    if (!json) {
        QString text;
        for (const PortDescription &port : ports)
            text += port.portName + QLatin1Char('\n');
        return text;
    }
    QByteArray array = "[";
    for (const PortDescription &port : ports) {
        if (array.size() > 1)
            array += ',';
        array += jsonObject({{QStringLiteral("port"), port.portName},
                             {QStringLiteral("description"), port.description},
                             {QStringLiteral("manufacturer"), port.manufacturer},
                             {QStringLiteral("serialNumber"), port.serialNumber}});
    }
    return QString::fromUtf8(array + "]\n");
}

} // namespace tavik7::cli
