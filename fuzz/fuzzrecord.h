#pragma once

// Field-by-field comparison of parameter records (the struct has padding, so
// memcmp would compare bytes nobody writes).

#include "parameterrecord.h"

#include <cstring>

namespace fuzz {

inline bool sameRecord(const tavik7::ParameterRecord &a, const tavik7::ParameterRecord &b)
{
    using namespace tavik7;
    return std::memcmp(a.unit, b.unit, kUnitWidth) == 0 && a.significance == b.significance
        && a.leadingPlus == b.leadingPlus && std::memcmp(a.manufacturer, b.manufacturer, kManufacturerWidth) == 0
        && std::memcmp(a.deviceType, b.deviceType, kDeviceTypeWidth) == 0
        && std::memcmp(a.serialNumber, b.serialNumber, kSerialNumberWidth) == 0
        && std::memcmp(a.yearOfManufacture, b.yearOfManufacture, kYearWidth) == 0
        && a.softwareVersion == b.softwareVersion && a.softwareCrc == b.softwareCrc && a.baudRate == b.baudRate
        && a.transmitMode == b.transmitMode && a.direction == b.direction && a.telegramB == b.telegramB
        && a.crcStartValue == b.crcStartValue;
}

// Every byte of the record set to pattern: a field that a reader leaves alone
// keeps it, one it writes (almost) never ends up holding it by chance.
inline tavik7::ParameterRecord patternRecord(unsigned char pattern)
{
    tavik7::ParameterRecord r;
    std::memset(&r, pattern, sizeof r);
    return r;
}

} // namespace fuzz
