// The NAMUR splitter, renderer and log line. The stream is fed in pieces as
// the port delivers it, masked to 7 bits as the window does. Checked: every
// byte is accounted for (in a telegram, dropped at the limit, or pending), the
// pending bytes and the telegrams stay within the limit, the pieces give the
// telegrams of one piece, those are the stream cut after each CR LF, the
// tab's text names the line structure characters, and the log line holds no
// line end.
//
// Input: byte 0 chooses the pending limit (0: the program's), then the
// pieced layout of fuzzinput.h.

#include "fuzzinput.h"
#include "namur.h"

#include <limits>

using namespace tavik7;

namespace {

// The stream cut after every CR LF; the tail without one stays apart.
QList<QByteArray> cutAfterLineEnds(const QByteArray &stream, QByteArray &tail)
{
    QList<QByteArray> telegrams;
    qsizetype start = 0;
    // Byte by byte, not by searching: the splitter searches.
    for (qsizetype i = 1; i < stream.size(); ++i) {
        if (stream.at(i - 1) == '\r' && stream.at(i) == '\n') {
            telegrams.append(stream.mid(start, i + 1 - start));
            start = i + 1;
        }
    }
    tail = stream.mid(start);
    return telegrams;
}

// The tab's text for one telegram as the rules state it: the check byte
// before the final CR LF in hexadecimal, FS, US, CR and LF by name.
QString expectedRendering(const QByteArray &telegram)
{
    QString text;
    const qsizetype check = telegram.size() - 3;
    for (qsizetype i = 0; i < telegram.size(); ++i) {
        const quint8 c = quint8(telegram.at(i));
        const char *name = c == 0x1C ? "[FS]" : c == 0x1F ? "[US]" : c == '\r' ? "[CR]" : c == '\n' ? "[LF]" : nullptr;
        if (i == check)
            text += QStringLiteral("[0x%1]").arg(uint(c), 0, 16);
        else
            text += name ? QString::fromLatin1(name) : QString(QChar(c));
    }
    return text;
}

void checkTelegramText(const QByteArray &telegram)
{
    FUZZ_CHECK(renderNamurTelegram(telegram) == expectedRendering(telegram));

    // One telegram is one line of the log file, whatever bytes it carries.
    const QString stamp = namurTimeStamp(QDateTime(QDate(2026, 12, 7), QTime(1, 2, 3, 4)));
    const QString line = namurLogLine(stamp, telegram);
    FUZZ_CHECK(line.startsWith(stamp));
    FUZZ_CHECK(!line.contains(QLatin1Char('\r')) && !line.contains(QLatin1Char('\n')));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const qsizetype limit = data[0] == 0 ? kNamurPendingLimitBytes : qsizetype(data[0]) * 8;
    const fuzz::PiecedInput input = fuzz::splitPiecedInput(data + 1, size - 1);

    QByteArray stream; // what the window has read, masked
    QByteArray pending;
    QList<QByteArray> telegrams;
    qsizetype consumed = 0; // bytes of stream in telegrams or dropped
    bool dropped = false;
    for (QByteArray piece : input.pieces()) {
        maskToSevenBits(piece);
        stream += piece;
        pending += piece;

        const NamurTelegrams taken = takeNamurTelegrams(pending, limit);
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
            telegrams.append(t);
        }
        FUZZ_CHECK(taken.droppedBytes >= droppedBeforeTelegrams);
        consumed += taken.droppedBytes - droppedBeforeTelegrams;
        dropped = dropped || taken.droppedBytes > 0;
        FUZZ_CHECK(pending == stream.mid(consumed));
    }

    QByteArray tail;
    const QList<QByteArray> expected = cutAfterLineEnds(stream, tail);
    if (!dropped) {
        FUZZ_CHECK(telegrams == expected);
        FUZZ_CHECK(pending == tail);
    }
    QByteArray onePiece = stream;
    const NamurTelegrams all = takeNamurTelegrams(onePiece, std::numeric_limits<qsizetype>::max());
    FUZZ_CHECK(all.telegrams == expected && all.droppedBytes == 0 && onePiece == tail);

    for (const QByteArray &t : telegrams)
        checkTelegramText(t);
    return 0;
}
