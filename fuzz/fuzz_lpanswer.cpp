// The "LP" answer decoder, fed as the window feeds it: the receive buffer grows
// piece by piece and is decoded after every piece. Each call is checked
// against a model of the answer layout written from the byte table, with
// Qt's ISO 3309 checksum as the CRC oracle.

#include "fuzzinput.h"
#include "fuzzrecord.h"
#include "referencecrc.h"
#include "telegram.h"

#include <algorithm>
#include <cstring>
#include <memory>

using namespace tavik7;

namespace {

struct ExpectedSignificance
{
    bool recognised = true;
    qint8 significance = 3;
    quint8 leadingPlus = 0;
    bool notice = false;
    const char *noticeText = "";
};

// The reading table of the significance field, row by row.
ExpectedSignificance expectedSignificance(char c1, char c2)
{
    ExpectedSignificance e;
    if (c1 == '+') {
        if (c2 == '1')
            e = {true, 4, 1};
        else if (c2 == '2')
            e = {true, 5, 1};
        else if (c2 == '0')
            e = {true, 3, 1};
        else
            e = {true, 3, 0};
    } else if (c1 == '-') {
        e = {true, qint8(c2 == '1' ? 2 : c2 == '2' ? 1 : 0), 0};
    } else if (c1 == '0') {
        if (c2 == '\0')
            e = {true, 3, 0};
        else if (c2 == '1')
            e = {true, 4, 0, true, "01"};
        else if (c2 == '2')
            e = {true, 5, 0, true, "02"};
        else if (c2 == '0')
            e = {true, 3, 0, true, "00"};
        else
            e = {true, 3, 0, true, ""};
    } else if (c1 == '1') {
        e = {true, 4, 0};
    } else if (c1 == '2') {
        e = {true, 5, 0};
    } else {
        e.recognised = false;
    }
    return e;
}

// A received text field: the width bytes at offset without their NUL bytes,
// NUL-padded; bytes beyond the answer count as NUL.
void checkTextField(const char *field, const QByteArray &answer, int offset, int width)
{
    char expected[16] = {};
    int out = 0;
    for (int i = offset; i < offset + width; ++i) {
        const char c = i < answer.size() ? answer.at(i) : '\0';
        if (c != '\0')
            expected[out++] = c;
    }
    FUZZ_CHECK(std::memcmp(field, expected, size_t(width)) == 0);
}

void checkDecoded(const QByteArray &buffer, const ParameterAnswer &answer, const ParameterRecord &before,
                  const ParameterRecord &after)
{
    static const QByteArray kError("Fehler!\r\n");
    const bool errorInBuffer = std::search(buffer.begin(), buffer.end(), kError.begin(), kError.end()) != buffer.end();
    FUZZ_CHECK(answer.deviceError == errorInBuffer);

    // The first byte announces the length as a signed byte: 128 and more never match.
    const int announced = buffer.isEmpty() ? -1 : int(qint8(buffer.at(0)));
    if (buffer.size() != announced) {
        FUZZ_CHECK(answer.status == ParameterAnswerStatus::Incomplete);
        FUZZ_CHECK(fuzz::sameRecord(before, after));
        return;
    }
    FUZZ_CHECK(answer.status != ParameterAnswerStatus::Incomplete);

    const auto byte = [&buffer](int i) { return i < buffer.size() ? quint8(buffer.at(i)) : quint8(0); };
    const auto word = [&byte](int i) { return quint16(byte(i) + 256 * byte(i + 1)); };

    QByteArray covered = buffer.left(47);
    covered.append(QByteArray(47 - covered.size(), '\0'));
    const quint16 oracle = referenceCrc(covered);
    FUZZ_CHECK(answer.computedCrc == oracle);
    FUZZ_CHECK(answer.receivedCrc == word(47));
    FUZZ_CHECK((answer.status == ParameterAnswerStatus::CrcOk) == (oracle == word(47)));

    FUZZ_CHECK(after.softwareVersion == word(5));
    FUZZ_CHECK(after.softwareCrc == word(45));
    FUZZ_CHECK(after.baudRate == qint8(byte(40)));
    FUZZ_CHECK(after.transmitMode == qint8(byte(41)));
    FUZZ_CHECK(after.direction == qint8(byte(42)));
    FUZZ_CHECK(after.telegramB == qint8(byte(43)));
    FUZZ_CHECK(after.crcStartValue == qint8(byte(44)));
    checkTextField(after.unit, buffer, 10, kUnitWidth);
    checkTextField(after.manufacturer, buffer, 14, kManufacturerWidth);
    checkTextField(after.deviceType, buffer, 18, kDeviceTypeWidth);
    checkTextField(after.serialNumber, buffer, 25, kSerialNumberWidth);
    checkTextField(after.yearOfManufacture, buffer, 35, kYearWidth);

    const ExpectedSignificance s = expectedSignificance(char(byte(7)), char(byte(8)));
    FUZZ_CHECK(answer.significance.recognised == s.recognised);
    if (s.recognised) {
        FUZZ_CHECK(after.significance == s.significance);
        FUZZ_CHECK(after.leadingPlus == s.leadingPlus);
        FUZZ_CHECK(answer.significance.notice == s.notice);
        if (s.notice)
            FUZZ_CHECK(answer.significance.noticeText == QLatin1String(s.noticeText));
    } else {
        FUZZ_CHECK(after.significance == before.significance);
        FUZZ_CHECK(after.leadingPlus == before.leadingPlus);
    }
}

// The buffer in a heap block of exactly its size, so that AddressSanitizer
// reports any read past its end (a QByteArray keeps a terminator and often
// spare capacity behind its bytes).
ParameterAnswer decodeExact(const QByteArray &buffer, ParameterRecord &record)
{
    const std::unique_ptr<char[]> block(new char[size_t(buffer.size())]);
    std::memcpy(block.get(), buffer.constData(), size_t(buffer.size()));
    return decodeParameterAnswer(QByteArray::fromRawData(block.get(), buffer.size()), record);
}

bool sameAnswer(const ParameterAnswer &a, const ParameterAnswer &b)
{
    return a.deviceError == b.deviceError && a.status == b.status && a.receivedCrc == b.receivedCrc
        && a.computedCrc == b.computedCrc && a.significance.recognised == b.significance.recognised
        && a.significance.significance == b.significance.significance
        && a.significance.leadingPlus == b.significance.leadingPlus && a.significance.notice == b.significance.notice
        && a.significance.noticeText == b.significance.noticeText;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const fuzz::PiecedInput input = fuzz::splitPiecedInput(data, size);

    // The window decodes into the record it holds; any earlier content must
    // survive an incomplete buffer.
    const ParameterRecord initial = fuzz::patternRecord(0xA5);
    ParameterRecord record = initial;
    QByteArray receiveBuffer;
    ParameterAnswer last;
    bool decoded = false;
    for (const QByteArray &piece : input.pieces()) {
        receiveBuffer.append(piece);
        const ParameterRecord before = record;
        last = decodeExact(receiveBuffer, record);
        decoded = true;
        checkDecoded(receiveBuffer, last, before, record);

        // The grown buffer itself, as the window passes it, decodes alike.
        ParameterRecord again = before;
        FUZZ_CHECK(sameAnswer(decodeParameterAnswer(receiveBuffer, again), last));
        FUZZ_CHECK(fuzz::sameRecord(again, record));
    }
    if (!decoded)
        return 0;

    // The whole answer at once gives what the last piece gave. Only one length
    // matches the length byte, so at most one call of the sequence changed the
    // record, and the record matches a single decode of the whole buffer
    // whenever that one completes.
    ParameterRecord whole = initial;
    const ParameterAnswer wholeAnswer = decodeExact(input.stream, whole);
    FUZZ_CHECK(sameAnswer(wholeAnswer, last));
    if (wholeAnswer.status != ParameterAnswerStatus::Incomplete)
        FUZZ_CHECK(fuzz::sameRecord(whole, record));
    return 0;
}
