#pragma once

#include "parameterrecord.h"

#include <QByteArray>
#include <QtGlobal>

#include <optional>

namespace tavik7 {

// The telegrams' body, where each field sits at its telegramOffset: the
// "LP" answer carries all of it after its length byte and four reserved
// bytes, the "SP" telegram its first kWriteBodySize bytes (no firmware
// checksum).
constexpr int kTelegramBodySize = 42;
constexpr int kWriteBodySize = 40;
constexpr int kParameterAnswerBodyOffset = 5;
constexpr int kWriteBodyOffset = 4;

// Bytes of the "LP" answer that are evaluated; a longer answer is allowed,
// a shorter one reads the missing bytes as 0.
constexpr int kParameterAnswerSize = kParameterAnswerBodyOffset + kTelegramBodySize + 2;
constexpr int kParameterAnswerCrcOffset = kParameterAnswerSize - 2;
// The "SP" telegram: "SP ", length byte, the body, CRC, CR LF.
constexpr int kWriteTelegramSize = kWriteBodyOffset + kWriteBodySize + 4;
constexpr quint8 kWriteTelegramLengthByte = kWriteBodySize + 1;

// Where the "SP" telegram's CRC sits and the bytes it covers: from the
// length byte on, all but the last two bytes of the body, which leaves
// telegramB and crcStartValue outside. The device checks exactly this.
struct TelegramSpan
{
    int offset;
    int size;
};
constexpr TelegramSpan kWriteCrcCovered{3, kWriteBodySize - 1};
constexpr int kWriteCrcOffset = kWriteBodyOffset + kWriteBodySize;

// The answer the device gives to a command it could not carry out.
inline constexpr char kDeviceErrorAnswer[] = "Fehler!";

enum class ParameterAnswerStatus {
    Incomplete, // fewer or more bytes than the length byte announces: wait
    CrcOk,
    CrcError,
};

struct ParameterAnswer
{
    bool deviceError = false; // "Fehler!" CR LF is in the buffer
    ParameterAnswerStatus status = ParameterAnswerStatus::Incomplete;
    quint16 receivedCrc = 0;
    quint16 computedCrc = 0;
    SignificanceReading significance; // valid once status is not Incomplete
};

// Decodes a complete "LP" answer into record. An incomplete buffer leaves the
// record untouched; a complete one is stored whatever its CRC, as the device
// sent it. Never reads past the end of buffer.
[[nodiscard]] ParameterAnswer decodeParameterAnswer(const QByteArray &buffer, ParameterRecord &record);

// The "SP" telegram. When a CRC byte would be CR or LF, the field that
// carries the write attempt (the software version) is raised by an attempt
// number until it is neither, because the device ends a command at the line end.
[[nodiscard]] QByteArray buildWriteTelegram(const ParameterRecord &record);

// What the device sends for "LP" (device side; used by the simulator and tests).
[[nodiscard]] QByteArray buildParameterAnswer(const ParameterRecord &record, quint32 reserved = 0);

struct WriteTelegram
{
    bool valid = false; // "SP ", length byte 41, matching CRC
    ParameterRecord record{};
};

// Parses an "SP" telegram as the device would (device side).
[[nodiscard]] WriteTelegram parseWriteTelegram(const QByteArray &telegram);

} // namespace tavik7

namespace tavik7 {

// How far the bytes received answer a line request. An answer is judged once
// its first CR LF has come, on the line before it; what follows that line
// end belongs to no answer (the next request discards it).
enum class LineAnswer {
    Incomplete,  // no line end yet
    Fits,
    DeviceError, // the line holds "Fehler!"
    Wrong,       // a line that is no answer to this request
};

// The answer's first line without its CR LF; nothing while no line end has come.
[[nodiscard]] std::optional<QByteArray> answerLine(const QByteArray &buffer);
// The answer to "L_ZLW": any line of printable text is the device's reading,
// blanks and all; how much of it the counter entry takes is
// parseCounterAnswer()'s to say.
[[nodiscard]] LineAnswer judgeCounterAnswer(const QByteArray &buffer);
// An answer that counts when its line contains wanted: "OK" after "SP", the
// digits sent with "S_ZLW" in the device's echo.
[[nodiscard]] LineAnswer judgeContainingAnswer(const QByteArray &buffer, const QByteArray &wanted);

} // namespace tavik7
