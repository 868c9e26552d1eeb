#pragma once

#include <QByteArray>
#include <QByteArrayView>

// CRC-16/MCRF4XX from Qt's ISO 3309 checksum, independent of the program's own.
inline quint16 referenceCrc(const QByteArray &data)
{
    return qChecksum(QByteArrayView(data), Qt::ChecksumIso3309) ^ 0xFFFF;
}
