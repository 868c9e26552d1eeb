#pragma once

#include <QByteArray>
#include <QString>

#include "parameterrecord.h"

// One plausible device record the tests share, every field set.
inline tavik7::ParameterRecord sampleRecord()
{
    using namespace tavik7;
    ParameterRecord r;
    initParameterRecord(r);
    setFieldText(r.unit, kUnitWidth, QStringLiteral("kWh"));
    r.significance = 1;
    r.leadingPlus = 0;
    setFieldText(r.manufacturer, kManufacturerWidth, QStringLiteral("ABC"));
    setFieldText(r.deviceType, kDeviceTypeWidth, QStringLiteral("TAV7"));
    setFieldText(r.serialNumber, kSerialNumberWidth, QStringLiteral("123456789"));
    setFieldText(r.yearOfManufacture, kYearWidth, QStringLiteral("2024"));
    r.softwareVersion = 113;
    r.softwareCrc = 0x0A3F;
    r.baudRate = 2;
    r.transmitMode = 5;
    r.direction = 1;
    r.telegramB = 3;
    r.crcStartValue = 1;
    return r;
}

// The settings file of sampleRecord(), written out by hand: Latin-1 keys, CR LF everywhere.
inline const QByteArray kSampleFile("[Tavik-Parameter]\r\n"
                                    "Einheit/Unit=kWh\r\n"
                                    "Wertigkeit/Significance=1\r\n"
                                    "F\xFChrendes Plus/Leading plus=0\r\n"
                                    "Hersteller/Manufacturer=ABC\r\n"
                                    "Ger\xE4tetyp/Device type=TAV7\r\n"
                                    "Seriennummer/Serial number=123456789\r\n"
                                    "Baujahr/Year of manufacture=2024\r\n"
                                    "Softwareversion/Software version=1.13\r\n"
                                    "Software CRC/Software CRC=0a3f\r\n"
                                    "Baudrate/Baud rate=2\r\n"
                                    "Sendemodus/Transmit mode=5\r\n"
                                    "Richtung/Direction=1\r\n"
                                    "Telegramm B/Telegram B=3\r\n"
                                    "CRC Startwert/CRC start value=1\r\n");
