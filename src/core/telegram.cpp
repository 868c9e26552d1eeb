#include "telegram.h"

#include "crc16.h"

#include <cstring>
#include <optional>

namespace tavik7 {

namespace {

quint8 byteAt(const QByteArray &buffer, int index)
{
    return index < buffer.size() ? quint8(buffer.at(index)) : 0;
}

quint16 wordAt(const QByteArray &buffer, int index)
{
    return quint16(byteAt(buffer, index) | (byteAt(buffer, index + 1) << 8));
}

void appendWord(QByteArray &out, quint16 value)
{
    out.append(char(value & 0xFF));
    out.append(char(value >> 8));
}

void appendField(QByteArray &out, const char *field, int width)
{
    out.append(field, width);
}

// Bytes 3..43 of the "SP" telegram for one attempt.
QByteArray writeTelegramBody(const ParameterRecord &record, quint16 version)
{
    QByteArray body;
    body.reserve(kWriteTelegramLengthByte);
    body.append(char(kWriteTelegramLengthByte));
    appendWord(body, version);
    body.append(significanceText(record.significance, record.leadingPlus));
    appendField(body, record.unit, kUnitWidth);
    appendField(body, record.manufacturer, kManufacturerWidth);
    appendField(body, record.deviceType, kDeviceTypeWidth);
    appendField(body, record.serialNumber, kSerialNumberWidth);
    appendField(body, record.yearOfManufacture, kYearWidth);
    body.append(char(record.baudRate));
    body.append(char(record.transmitMode));
    body.append(char(record.direction));
    body.append(char(record.telegramB));
    body.append(char(record.crcStartValue));
    return body;
}

// The device's CRC covers the length byte and the 38 bytes after it, which
// leaves telegramB and crcStartValue outside; the device relies on exactly this.
quint16 writeTelegramCrc(const QByteArray &body)
{
    return crc16(body.constData(), quint16(quint8(body.at(0)) - 2));
}

bool isLineEnd(quint8 byte)
{
    return byte == '\r' || byte == '\n';
}

} // namespace

ParameterAnswer decodeParameterAnswer(const QByteArray &buffer, ParameterRecord &record)
{
    ParameterAnswer answer;
    answer.deviceError = buffer.contains("Fehler!\r\n");

    // The length byte is signed: 128 and more never match and the request times out.
    const qint8 announced = buffer.isEmpty() ? 0 : qint8(buffer.at(0));
    if (buffer.isEmpty() || buffer.size() != announced)
        return answer;

    record.softwareVersion = wordAt(buffer, 5);
    answer.significance = readSignificanceText(char(byteAt(buffer, 7)), char(byteAt(buffer, 8)));
    if (answer.significance.recognised) {
        record.significance = answer.significance.significance;
        record.leadingPlus = answer.significance.leadingPlus;
    }
    copyTextField(record.unit, buffer, kUnitWidth, 10);
    copyTextField(record.manufacturer, buffer, kManufacturerWidth, 14);
    copyTextField(record.deviceType, buffer, kDeviceTypeWidth, 18);
    copyTextField(record.serialNumber, buffer, kSerialNumberWidth, 25);
    copyTextField(record.yearOfManufacture, buffer, kYearWidth, 35);
    record.baudRate = qint8(byteAt(buffer, 40));
    record.transmitMode = qint8(byteAt(buffer, 41));
    record.direction = qint8(byteAt(buffer, 42));
    record.telegramB = qint8(byteAt(buffer, 43));
    record.crcStartValue = qint8(byteAt(buffer, 44));
    record.softwareCrc = wordAt(buffer, 45);

    QByteArray covered = buffer.left(kParameterAnswerCrcOffset);
    covered.resize(kParameterAnswerCrcOffset, '\0');
    answer.computedCrc = crc16(covered);
    answer.receivedCrc = wordAt(buffer, kParameterAnswerCrcOffset);
    answer.status = answer.computedCrc == answer.receivedCrc ? ParameterAnswerStatus::CrcOk
                                                             : ParameterAnswerStatus::CrcError;
    return answer;
}

QByteArray buildWriteTelegram(const ParameterRecord &record)
{
    QByteArray body;
    quint16 crc = 0;
    // The attempt counter is 8-bit: after 256 tries the last telegram goes out as it is.
    for (int attempt = 0; attempt < 256; ++attempt) {
        body = writeTelegramBody(record, quint16(record.softwareVersion + attempt));
        crc = writeTelegramCrc(body);
        if (!isLineEnd(crc & 0xFF) && !isLineEnd(crc >> 8))
            break;
    }
    QByteArray telegram("SP ");
    telegram.append(body);
    appendWord(telegram, crc);
    telegram.append("\r\n");
    return telegram;
}

QByteArray buildParameterAnswer(const ParameterRecord &record, quint32 reserved)
{
    QByteArray answer;
    answer.reserve(kParameterAnswerSize);
    answer.append(char(kParameterAnswerSize));
    appendWord(answer, quint16(reserved & 0xFFFF));
    appendWord(answer, quint16(reserved >> 16));
    appendWord(answer, record.softwareVersion);
    answer.append(significanceText(record.significance, record.leadingPlus));
    appendField(answer, record.unit, kUnitWidth);
    appendField(answer, record.manufacturer, kManufacturerWidth);
    appendField(answer, record.deviceType, kDeviceTypeWidth);
    appendField(answer, record.serialNumber, kSerialNumberWidth);
    appendField(answer, record.yearOfManufacture, kYearWidth);
    answer.append(char(record.baudRate));
    answer.append(char(record.transmitMode));
    answer.append(char(record.direction));
    answer.append(char(record.telegramB));
    answer.append(char(record.crcStartValue));
    appendWord(answer, record.softwareCrc);
    appendWord(answer, crc16(answer));
    return answer;
}

WriteTelegram parseWriteTelegram(const QByteArray &telegram)
{
    WriteTelegram result;
    if (telegram.size() < kWriteTelegramSize - 2 || !telegram.startsWith("SP ")
        || quint8(telegram.at(3)) != kWriteTelegramLengthByte)
        return result;
    const QByteArray body = telegram.mid(3, kWriteTelegramLengthByte);
    if (writeTelegramCrc(body) != wordAt(telegram, 44))
        return result;

    ParameterRecord &r = result.record;
    clearParameterRecord(r);
    r.softwareVersion = wordAt(telegram, 4);
    const SignificanceReading s = readSignificanceText(telegram.at(6), telegram.at(7));
    r.significance = s.significance;
    r.leadingPlus = s.leadingPlus;
    copyTextField(r.unit, telegram, kUnitWidth, 9);
    copyTextField(r.manufacturer, telegram, kManufacturerWidth, 13);
    copyTextField(r.deviceType, telegram, kDeviceTypeWidth, 17);
    copyTextField(r.serialNumber, telegram, kSerialNumberWidth, 24);
    copyTextField(r.yearOfManufacture, telegram, kYearWidth, 34);
    r.baudRate = qint8(telegram.at(39));
    r.transmitMode = qint8(telegram.at(40));
    r.direction = qint8(telegram.at(41));
    r.telegramB = qint8(telegram.at(42));
    r.crcStartValue = qint8(telegram.at(43));
    result.valid = true;
    return result;
}

} // namespace tavik7

namespace tavik7 {

namespace {

constexpr char kLineEnd[] = "\r\n";

// A device error, or the beginning of one still to be completed.
std::optional<LineAnswer> judgeDeviceError(const QByteArray &buffer)
{
    const QByteArray error = QByteArray(kDeviceErrorAnswer) + kLineEnd;
    if (buffer.startsWith(error))
        return LineAnswer::DeviceError;
    if (error.startsWith(buffer))
        return LineAnswer::Incomplete;
    return std::nullopt;
}

} // namespace

LineAnswer judgeCounterAnswer(const QByteArray &buffer)
{
    if (const std::optional<LineAnswer> error = judgeDeviceError(buffer))
        return *error;
    const qsizetype end = buffer.indexOf(kLineEnd);
    const QByteArray reading = end < 0 ? buffer : buffer.left(end);
    // A CR still waiting for its LF is the only other byte allowed so far.
    const qsizetype digitsEnd = end < 0 && reading.endsWith('\r') ? reading.size() - 1 : reading.size();
    for (qsizetype i = 0; i < digitsEnd; ++i) {
        const char c = reading.at(i);
        if ((c < '0' || c > '9') && c != ',')
            return LineAnswer::Wrong;
    }
    if (end < 0)
        return LineAnswer::Incomplete;
    // What follows the line end belongs to no answer; the next request discards it.
    return end > 0 ? LineAnswer::Fits : LineAnswer::Wrong;
}

LineAnswer judgeExactAnswer(const QByteArray &buffer, const QByteArray &expected)
{
    if (buffer.startsWith(expected))
        return LineAnswer::Fits;
    if (expected.startsWith(buffer))
        return LineAnswer::Incomplete;
    return judgeDeviceError(buffer).value_or(LineAnswer::Wrong);
}

} // namespace tavik7
