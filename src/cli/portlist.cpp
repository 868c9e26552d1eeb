#include "portlist.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSerialPortInfo>

namespace tavik7::cli {

QString portListText(bool json)
{
    // Until the window's port enumerator is available without widgets.
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    if (!json) {
        QString text;
        for (const QSerialPortInfo &info : ports)
            text += info.portName() + QLatin1Char('\n');
        return text;
    }
    QJsonArray array;
    for (const QSerialPortInfo &info : ports) {
        array.append(QJsonObject{{QStringLiteral("port"), info.portName()},
                                 {QStringLiteral("description"), info.description()},
                                 {QStringLiteral("manufacturer"), info.manufacturer()},
                                 {QStringLiteral("serialNumber"), info.serialNumber()}});
    }
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact)) + QLatin1Char('\n');
}

} // namespace tavik7::cli
