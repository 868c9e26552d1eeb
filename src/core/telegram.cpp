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

enum class Telegram { Answer, Write };

bool carriedBy(Telegram telegram, const ParameterField &f)
{
    return f.telegramOffset >= 0 && (telegram == Telegram::Answer || f.inWriteTelegram);
}

// Every field the telegram carries at its place in the body, which out
// already holds; numbers little-endian. The field that carries the write
// attempt is raised by it.
void putFields(QByteArray &out, Telegram telegram, const ParameterRecord &record, int attempt)
{
    const int bodyOffset = telegram == Telegram::Write ? kWriteBodyOffset : kParameterAnswerBodyOffset;
    for (int field = 0; field < kParameterFieldCount; ++field) {
        const ParameterField &f = kParameterFields[field];
        if (!carriedBy(telegram, f))
            continue;
        Q_ASSERT(bodyOffset + f.telegramOffset + fieldTelegramSize(field) <= out.size());
        char *at = out.data() + bodyOffset + f.telegramOffset;
        if (field == FieldSignificance) {
            const QByteArray text = significanceText(record.significance, record.leadingPlus);
            std::memcpy(at, text.constData(), size_t(text.size()));
        } else if (f.kind == FieldKind::Text) {
            std::memcpy(at, textFieldData(record, field), size_t(f.width));
        } else {
            const int number = fieldNumber(record, field) + (f.carriesWriteAttempt ? attempt : 0);
            for (int i = 0; i < fieldSize(field); ++i)
                at[i] = char(number >> (8 * i));
        }
    }
}

// The fields the telegram carries into record; the significance, which may
// go unrecognised, is left to the caller. Bytes beyond the buffer read as 0.
void takeFields(const QByteArray &buffer, Telegram telegram, ParameterRecord &record)
{
    const int bodyOffset = telegram == Telegram::Write ? kWriteBodyOffset : kParameterAnswerBodyOffset;
    for (int field = 0; field < kParameterFieldCount; ++field) {
        const ParameterField &f = kParameterFields[field];
        if (!carriedBy(telegram, f) || field == FieldSignificance)
            continue;
        const int at = bodyOffset + f.telegramOffset;
        if (f.kind == FieldKind::Text) {
            copyTextField(textFieldData(record, field), buffer, f.width, at);
            continue;
        }
        int number = 0;
        for (int i = 0; i < fieldSize(field); ++i)
            number |= byteAt(buffer, at + i) << (8 * i);
        setFieldNumber(record, field, number);
    }
}

quint16 writeTelegramCrc(const QByteArray &telegram)
{
    return crc16(telegram.mid(kWriteCrcCovered.offset, kWriteCrcCovered.size));
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

    takeFields(buffer, Telegram::Answer, record);
    const int significanceAt = kParameterAnswerBodyOffset + kParameterFields[FieldSignificance].telegramOffset;
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
    QByteArray telegram(kWriteCrcOffset, '\0');
    std::memcpy(telegram.data(), "SP ", 3);
    telegram[3] = char(kWriteTelegramLengthByte);
    quint16 crc = 0;
    // The attempt counter is 8-bit: after 256 tries the last telegram goes out as it is.
    for (int attempt = 0; attempt < 256; ++attempt) {
        putFields(telegram, Telegram::Write, record, attempt);
        crc = writeTelegramCrc(telegram);
        if (!isLineEnd(crc & 0xFF) && !isLineEnd(crc >> 8))
            break;
    }
    appendWord(telegram, crc);
    telegram.append("\r\n");
    return telegram;
}

QByteArray buildParameterAnswer(const ParameterRecord &record, quint32 reserved)
{
    QByteArray answer(kParameterAnswerCrcOffset, '\0');
    answer[0] = char(kParameterAnswerSize);
    for (int i = 0; i < 4; ++i)
        answer[1 + i] = char(reserved >> (8 * i));
    putFields(answer, Telegram::Answer, record, 0);
    appendWord(answer, crc16(answer));
    return answer;
}

WriteTelegram parseWriteTelegram(const QByteArray &telegram)
{
    WriteTelegram result;
    if (telegram.size() < kWriteCrcOffset + 2 || !telegram.startsWith("SP ")
        || quint8(telegram.at(3)) != kWriteTelegramLengthByte)
        return result;
    if (writeTelegramCrc(telegram) != wordAt(telegram, kWriteCrcOffset))
        return result;

    ParameterRecord &r = result.record;
    clearParameterRecord(r);
    takeFields(telegram, Telegram::Write, r);
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
