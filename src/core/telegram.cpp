#include "telegram.h"

#include "crc16.h"
#include "parameterfields.h"

#include <algorithm>
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

// Where the body starts: after "SP " and the length byte, and after the
// answer's length byte and its four reserved bytes.
constexpr int kWriteBodyOffset = 4;
constexpr int kAnswerBodyOffset = 5;

void putWord(char *at, quint16 value)
{
    at[0] = char(value & 0xFF);
    at[1] = char(value >> 8);
}

// Every field at its place in a telegram's body, which out already holds.
// The "SP" body ends before the firmware checksum.
void putFields(QByteArray &out, int bodyOffset, const ParameterRecord &record, quint16 version)
{
    for (int field = 0; field < kParameterFieldCount; ++field) {
        const ParameterField &f = kParameterFields[field];
        if (f.telegramOffset < 0 || bodyOffset + f.telegramOffset >= out.size())
            continue;
        char *at = out.data() + bodyOffset + f.telegramOffset;
        if (field == FieldSignificance) {
            const QByteArray text = significanceText(record.significance, record.leadingPlus);
            std::memcpy(at, text.constData(), size_t(text.size()));
            continue;
        }
        switch (f.kind) {
        case FieldKind::Text: std::memcpy(at, textFieldData(record, field), size_t(f.width)); break;
        case FieldKind::Combo: *at = char(fieldNumber(record, field)); break;
        case FieldKind::Version: putWord(at, version); break;
        case FieldKind::Crc: putWord(at, quint16(fieldNumber(record, field))); break;
        case FieldKind::Check: break;
        }
    }
}

// The fields of a telegram's body into record; the significance, which
// may go unrecognised, is left to the caller. Bytes beyond the buffer read as 0.
void takeFields(const QByteArray &buffer, int bodyOffset, ParameterRecord &record, bool withCrc)
{
    for (int field = 0; field < kParameterFieldCount; ++field) {
        const ParameterField &f = kParameterFields[field];
        if (f.telegramOffset < 0 || field == FieldSignificance || (f.kind == FieldKind::Crc && !withCrc))
            continue;
        const int at = bodyOffset + f.telegramOffset;
        switch (f.kind) {
        case FieldKind::Text: copyTextField(textFieldData(record, field), buffer, f.width, at); break;
        case FieldKind::Combo: setFieldNumber(record, field, qint8(byteAt(buffer, at))); break;
        case FieldKind::Version:
        case FieldKind::Crc: setFieldNumber(record, field, wordAt(buffer, at)); break;
        case FieldKind::Check: break;
        }
    }
}

// Bytes 3..43 of the "SP" telegram for one attempt.
QByteArray writeTelegramBody(const ParameterRecord &record, quint16 version)
{
    QByteArray body(1 + kTelegramBodySize, '\0');
    body[0] = char(kWriteTelegramLengthByte);
    putFields(body, 1, record, version);
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

    takeFields(buffer, kAnswerBodyOffset, record, true);
    const int significanceAt = kAnswerBodyOffset + kParameterFields[FieldSignificance].telegramOffset;
    answer.significance = readSignificanceText(char(byteAt(buffer, significanceAt)), char(byteAt(buffer, significanceAt + 1)));
    if (answer.significance.recognised) {
        record.significance = answer.significance.significance;
        record.leadingPlus = answer.significance.leadingPlus;
    }

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
    QByteArray answer(kParameterAnswerCrcOffset, '\0');
    answer[0] = char(kParameterAnswerSize);
    putWord(answer.data() + 1, quint16(reserved & 0xFFFF));
    putWord(answer.data() + 3, quint16(reserved >> 16));
    putFields(answer, kAnswerBodyOffset, record, record.softwareVersion);
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
    takeFields(telegram, kWriteBodyOffset, r, false);
    const int significanceAt = kWriteBodyOffset + kParameterFields[FieldSignificance].telegramOffset;
    const SignificanceReading s = readSignificanceText(telegram.at(significanceAt), telegram.at(significanceAt + 1));
    r.significance = s.significance;
    r.leadingPlus = s.leadingPlus;
    result.valid = true;
    return result;
}

} // namespace tavik7

namespace tavik7 {

namespace {

constexpr char kLineEnd[] = "\r\n";

// A line of printable ASCII: what a reading can be. A parameter answer's
// binary tail, trickling in after the request it belonged to, is not.
bool isText(const QByteArray &line)
{
    return std::all_of(line.cbegin(), line.cend(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

} // namespace

std::optional<QByteArray> answerLine(const QByteArray &buffer)
{
    const qsizetype end = buffer.indexOf(kLineEnd);
    if (end < 0)
        return std::nullopt;
    return buffer.left(end);
}

LineAnswer judgeCounterAnswer(const QByteArray &buffer)
{
    const std::optional<QByteArray> line = answerLine(buffer);
    if (!line)
        return LineAnswer::Incomplete;
    if (line->contains(kDeviceErrorAnswer))
        return LineAnswer::DeviceError;
    return isText(*line) ? LineAnswer::Fits : LineAnswer::Wrong;
}

LineAnswer judgeContainingAnswer(const QByteArray &buffer, const QByteArray &wanted)
{
    const std::optional<QByteArray> line = answerLine(buffer);
    if (!line)
        return LineAnswer::Incomplete;
    // A device that says it failed has not carried the command out, whatever
    // else the line holds.
    if (line->contains(kDeviceErrorAnswer))
        return LineAnswer::DeviceError;
    return !wanted.isEmpty() && line->contains(wanted) ? LineAnswer::Fits : LineAnswer::Wrong;
}

} // namespace tavik7
