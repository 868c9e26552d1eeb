// The NAMUR splitter. The stream is fed in pieces as the port delivers it,
// masked to 7 bits as the listener does. Checked: every byte is accounted for
// (in a telegram, dropped at the limit, or pending), nothing is dropped while
// it fits, the pending bytes and the telegrams stay within the limit, and each
// telegram is the stream up to its next CR LF, shortened only by bytes
// reported as dropped. Rendering and log lines are pinned by the core test's
// vectors.
//
// Input: byte 0 chooses the pending limit (0: the program's), then the
// pieced layout of fuzzinput.h.

#include "fuzzinput.h"
#include "namur.h"

using namespace tavik7;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const qsizetype limit = data[0] == 0 ? kNamurPendingLimitBytes : qsizetype(data[0]) * 8;
    const fuzz::PiecedInput input = fuzz::splitPiecedInput(data + 1, size - 1);

    QByteArray stream; // what the port delivered, masked
    QByteArray pending;
    qsizetype consumed = 0; // bytes of stream in telegrams or dropped
    for (QByteArray piece : input.pieces()) {
        maskToSevenBits(piece);
        stream += piece;
        pending += piece;

        const qsizetype before = pending.size();
        const NamurTelegrams taken = takeNamurTelegrams(pending, limit);
        // Nothing is dropped while everything fits.
        FUZZ_CHECK(taken.droppedBytes == 0 || before > limit);
        FUZZ_CHECK(pending.size() <= limit && !pending.contains("\r\n"));
        // Each telegram ends at the next CR LF of the stream; an overlong one
        // may have lost its oldest bytes, and so may the tail.
        qsizetype droppedBeforeTelegrams = 0;
        for (const QByteArray &t : taken.telegrams) {
            const qsizetype end = stream.indexOf("\r\n", consumed) + 2;
            FUZZ_CHECK(end >= 2 && t.size() <= end - consumed);
            FUZZ_CHECK(t == stream.mid(end - t.size(), t.size()));
            FUZZ_CHECK(t.endsWith("\r\n") && t.indexOf("\r\n") == t.size() - 2);
            FUZZ_CHECK(t.size() <= qMax<qsizetype>(limit, 2));
            droppedBeforeTelegrams += end - t.size() - consumed;
            consumed = end;
        }
        FUZZ_CHECK(taken.droppedBytes >= droppedBeforeTelegrams);
        consumed += taken.droppedBytes - droppedBeforeTelegrams;
        FUZZ_CHECK(pending == stream.mid(consumed));
    }
    return 0;
}
