#include "crc16.h"

namespace tavik7 {

quint16 crc16Update(quint16 crc, quint8 byte)
{
    quint8 d = byte ^ quint8(crc & 0xFF);
    d = quint8(d ^ (d << 4));
    return quint16((((quint16(d) << 8) | (crc >> 8)) ^ quint8(d >> 4) ^ (quint16(d) << 3)) & 0xFFFF);
}

quint16 crc16(const char *data, quint16 count)
{
    quint16 crc = kCrc16Start;
    for (quint16 i = 0; i < count; ++i)
        crc = crc16Update(crc, quint8(data[i]));
    return crc;
}

quint16 crc16(const QByteArray &data)
{
    return crc16(data.constData(), quint16(data.size()));
}

} // namespace tavik7
