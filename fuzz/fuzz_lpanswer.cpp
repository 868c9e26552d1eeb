// The "LP" answer decoder, fed as the window feeds it: the receive buffer grows
// piece by piece and is decoded after every piece. Each call is checked
// against a model of the answer layout written from the byte table, with
// Qt's ISO 3309 checksum as the CRC oracle.

#include "fuzzinput.h"
#include "referencecrc.h"
#include "telegram.h"

#include <algorithm>
#include <cstring>
#include <memory>

using namespace tavik7;

namespace {

// The reading table of the significance field, row by row; '*' stands for
// any other second byte, a notice text of nullptr for no notice.
struct SignificanceRow
{
    char c1, c2;
    qint8 significance;
    quint8 leadingPlus;
    const char *notice;
};
const SignificanceRow kSignificanceRows[] = {
    {'+', '1', 4, 1, nullptr}, {'+', '2', 5, 1, nullptr}, {'+', '0', 3, 1, nullptr}, {'+', '*', 3, 0, nullptr},
    {'-', '1', 2, 0, nullptr}, {'-', '2', 1, 0, nullptr}, {'-', '*', 0, 0, nullptr}, {'0', '\0', 3, 0, nullptr},
    {'0', '1', 4, 0, "01"},    {'0', '2', 5, 0, "02"},    {'0', '0', 3, 0, "00"},    {'0', '*', 3, 0, ""},
    {'1', '*', 4, 0, nullptr}, {'2', '*', 5, 0, nullptr}};

const SignificanceRow *significanceRow(char c1, char c2)
{
    for (const SignificanceRow &row : kSignificanceRows) {
        if (row.c1 == c1 && (row.c2 == c2 || row.c2 == '*'))
            return &row;
    }
    return nullptr;
}

// A received text field: the width bytes at offset without their NUL bytes,
// NUL-padded; bytes beyond the answer count as NUL.
void checkTextField(const char *field, const QByteArray &answer, int offset, int width)
{
    QByteArray expected;
    for (char c : answer.mid(offset, width))
        expected += c ? QByteArray(1, c) : QByteArray();
    FUZZ_CHECK(QByteArray(field, width) == expected.leftJustified(width, '\0'));
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

    QByteArray covered = buffer.left(47);
    covered.append(QByteArray(47 - covered.size(), '\0'));
    const quint16 oracle = referenceCrc(covered);
    FUZZ_CHECK(answer.computedCrc == oracle);
    FUZZ_CHECK(answer.receivedCrc == fuzz::wordAt(buffer, 47));
    FUZZ_CHECK((answer.status == ParameterAnswerStatus::CrcOk) == (oracle == fuzz::wordAt(buffer, 47)));

    FUZZ_CHECK(after.softwareVersion == fuzz::wordAt(buffer, 5));
    FUZZ_CHECK(after.softwareCrc == fuzz::wordAt(buffer, 45));
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

    const SignificanceRow *row = significanceRow(char(byte(7)), char(byte(8)));
    FUZZ_CHECK(answer.significance.recognised == (row != nullptr));
    FUZZ_CHECK(after.significance == (row ? row->significance : before.significance));
    FUZZ_CHECK(after.leadingPlus == (row ? row->leadingPlus : before.leadingPlus));
    if (row) {
        FUZZ_CHECK(answer.significance.notice == (row->notice != nullptr));
        if (row->notice)
            FUZZ_CHECK(answer.significance.noticeText == QLatin1String(row->notice));
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const fuzz::PiecedInput input = fuzz::splitPiecedInput(data, size);

    // The window decodes into the record it holds, after every piece; any
    // earlier content must survive an incomplete buffer.
    ParameterRecord record = fuzz::patternRecord(0xA5);
    QByteArray receiveBuffer;
    for (const QByteArray &piece : input.pieces()) {
        receiveBuffer.append(piece);
        const ParameterRecord before = record;
        const ParameterAnswer answer = decodeExact(receiveBuffer, record);
        checkDecoded(receiveBuffer, answer, before, record);
    }
    return 0;
}
