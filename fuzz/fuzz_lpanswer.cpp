// The "LP" answer decoder, fed as the window feeds it: the receive buffer grows
// piece by piece and is decoded after every piece. Each call is checked for
// when it takes an answer and when it leaves the record alone, with Qt's
// ISO 3309 checksum as the CRC oracle; it must never read past the buffer.

#include "fuzzinput.h"
#include "referencecrc.h"
#include "telegram.h"

#include <algorithm>
#include <cstring>
#include <memory>

using namespace tavik7;

namespace {

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

    QByteArray covered = buffer.left(47);
    covered.append(QByteArray(47 - covered.size(), '\0'));
    const quint16 oracle = referenceCrc(covered);
    FUZZ_CHECK(answer.computedCrc == oracle);
    FUZZ_CHECK(answer.receivedCrc == fuzz::wordAt(buffer, 47));
    FUZZ_CHECK((answer.status == ParameterAnswerStatus::CrcOk) == (oracle == fuzz::wordAt(buffer, 47)));

    // The significance bytes as their own reader takes them; one it does not
    // know leaves the record's significance alone.
    const auto byte = [&buffer](int i) { return i < buffer.size() ? buffer.at(i) : '\0'; };
    const SignificanceReading reading = readSignificanceText(byte(7), byte(8));
    FUZZ_CHECK(answer.significance.recognised == reading.recognised);
    FUZZ_CHECK(after.significance == (reading.recognised ? reading.significance : before.significance));
    FUZZ_CHECK(after.leadingPlus == (reading.recognised ? reading.leadingPlus : before.leadingPlus));
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
