#include "settingsfile.h"

#include <QIODevice>

#include <cstring>

#include "countertext.h"
#include "texttable.h"

namespace tavik7 {

namespace {

// Keys and values sit at the start of their line, so only this much of a line
// is kept; the rest of an overlong line is read and dropped.
constexpr qint64 kKeptLineBytes = 64 * 1024;

enum Line {
    LineUnit,
    LineSignificance,
    LineLeadingPlus,
    LineManufacturer,
    LineDeviceType,
    LineSerialNumber,
    LineYear,
    LineSoftwareVersion,
    LineSoftwareCrc,
    LineBaudRate,
    LineTransmitMode,
    LineDirection,
    LineTelegramB,
    LineCrcStartValue,
};

// A line end inside a value (a device may hold one in a text field) would
// end its line early and make the file unloadable: it is saved as a blank.
QByteArray textValue(const char *field, int width)
{
    QByteArray value(field, int(qstrnlen(field, uint(width - 1))));
    value.replace('\r', ' ').replace('\n', ' ');
    return value;
}

void storeText(char *field, int width, const QByteArray &value)
{
    int length = 0;
    while (length < value.size() && length < width - 1) {
        const char c = value.at(length);
        if (c == '\r' || c == '\n' || c == '\0')
            break;
        ++length;
    }
    std::memset(field, 0, size_t(width));
    std::memcpy(field, value.constData(), size_t(length));
}

// A decimal integer between white space; 0 when it is none.
int decimalValue(const QByteArray &value)
{
    bool ok = false;
    const int number = value.trimmed().toInt(&ok);
    return ok ? number : 0;
}

qint8 indexValue(const QByteArray &value)
{
    // Stored as the file says, even outside the combo's items: the table and
    // the plausibility check decide what becomes of it.
    return qint8(decimalValue(value));
}

void storeValue(int line, const QByteArray &value, ParameterRecord &r)
{
    switch (line) {
    case LineUnit: storeText(r.unit, kUnitWidth, value); break;
    case LineSignificance: r.significance = indexValue(value); break;
    case LineLeadingPlus: r.leadingPlus = decimalValue(value) != 0 ? 1 : 0; break;
    case LineManufacturer: storeText(r.manufacturer, kManufacturerWidth, value); break;
    case LineDeviceType: storeText(r.deviceType, kDeviceTypeWidth, value); break;
    case LineSerialNumber: storeText(r.serialNumber, kSerialNumberWidth, value); break;
    case LineYear: storeText(r.yearOfManufacture, kYearWidth, value); break;
    case LineSoftwareVersion:
        r.softwareVersion = parseSoftwareVersion(QString::fromLatin1(value.trimmed()));
        break;
    case LineSoftwareCrc: {
        bool ok = false;
        const quint16 crc = value.trimmed().toUShort(&ok, 16);
        r.softwareCrc = ok ? crc : 0;
        break;
    }
    case LineBaudRate: r.baudRate = indexValue(value); break;
    case LineTransmitMode: r.transmitMode = indexValue(value); break;
    case LineDirection: r.direction = indexValue(value); break;
    case LineTelegramB: r.telegramB = indexValue(value); break;
    case LineCrcStartValue: r.crcStartValue = indexValue(value); break;
    default: break;
    }
}

// Reads the rest of an overlong line, so the next read starts on the next line.
void skipRestOfLine(QIODevice &device)
{
    for (;;) {
        const QByteArray chunk = device.readLine(kKeptLineBytes);
        if (chunk.isEmpty() || chunk.endsWith('\n'))
            return;
    }
}

} // namespace

QByteArray settingsFileKey(int i)
{
    return bilingualLabel(i).toLatin1();
}

QList<QByteArray> settingsFileLines(const ParameterRecord &r)
{
    const QByteArray values[kSettingsFileParameterCount] = {
        textValue(r.unit, kUnitWidth),
        QByteArray::number(r.significance),
        r.leadingPlus ? QByteArray("1") : QByteArray("0"),
        textValue(r.manufacturer, kManufacturerWidth),
        textValue(r.deviceType, kDeviceTypeWidth),
        textValue(r.serialNumber, kSerialNumberWidth),
        textValue(r.yearOfManufacture, kYearWidth),
        softwareVersionText(r.softwareVersion).toLatin1(),
        softwareCrcText(r.softwareCrc).toLatin1(),
        QByteArray::number(r.baudRate),
        QByteArray::number(r.transmitMode),
        QByteArray::number(r.direction),
        QByteArray::number(r.telegramB),
        QByteArray::number(r.crcStartValue),
    };
    QList<QByteArray> lines;
    lines.reserve(1 + kSettingsFileParameterCount);
    lines.append(QByteArray(kSettingsFileHeader));
    for (int i = 0; i < kSettingsFileParameterCount; ++i)
        lines.append(settingsFileKey(i) + '=' + values[i] + "\r\n");
    return lines;
}

SettingsFileReading readSettingsFile(QIODevice &device, ParameterRecord &record)
{
    SettingsFileReading reading;
    const QByteArray header(kSettingsFileHeader);

    // No more than the header's length is needed to tell a settings file from
    // anything else, however long its first line.
    // (readLine's limit counts a terminating NUL.)
    const QByteArray first = device.readLine(header.size() + 1);
    if (first.isEmpty())
        return reading;
    if (first != header) {
        reading.status = SettingsFileStatus::HeaderFaulty;
        return reading;
    }

    for (int i = 0;; ++i) {
        const QByteArray line = device.readLine(kKeptLineBytes);
        if (line.isEmpty())
            return reading;
        // A line after the last parameter has no key to show.
        if (i >= kSettingsFileParameterCount || !line.contains(settingsFileKey(i))) {
            reading.status = SettingsFileStatus::Incomplete;
            return reading;
        }
        if (!line.endsWith('\n'))
            skipRestOfLine(device);
        const int equals = line.indexOf('=');
        storeValue(i, equals < 0 ? line : line.mid(equals + 1), record);
        reading.valuesStored = i + 1;
    }
}

} // namespace tavik7
