#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace tavik7 {

// CRC-16/MCRF4XX: reflected polynomial 0x8408, start 0xFFFF, no final XOR.
constexpr quint16 kCrc16Start = 0xFFFF;

[[nodiscard]] quint16 crc16Update(quint16 crc, quint8 byte);
[[nodiscard]] quint16 crc16(const char *data, quint16 count);
[[nodiscard]] quint16 crc16(const QByteArray &data);

} // namespace tavik7
