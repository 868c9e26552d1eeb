#pragma once

// Helpers shared by the fuzz targets: the "pieces" input layout, and a check
// that aborts with a readable reason, so that a mismatch is a crash libFuzzer
// records like any other.

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if __has_include(<fuzzer/FuzzedDataProvider.h>)
#include <fuzzer/FuzzedDataProvider.h>
#define TAVIK7_FUZZ_DRAW
#endif

namespace fuzz {

// Input layout of the targets that feed a byte stream in pieces, as a serial
// port delivers it: byte 0 holds the number n of piece lengths (modulo 32),
// the next n bytes the lengths, and the rest is the stream. The lengths are
// used in turn until the stream is used up; with none (or only zeros) the
// stream comes in one piece. A zero length is an empty read.
struct PiecedInput
{
    QByteArray stream;
    QList<int> lengths;

    [[nodiscard]] QList<QByteArray> pieces() const
    {
        QList<QByteArray> out;
        int sum = 0;
        for (int l : lengths)
            sum += l;
        if (sum == 0) {
            out.append(stream);
            return out;
        }
        qsizetype at = 0;
        for (int i = 0; at < stream.size(); i = (i + 1) % int(lengths.size())) {
            const qsizetype take = qMin<qsizetype>(lengths.at(i), stream.size() - at);
            out.append(stream.mid(at, take));
            at += take;
        }
        return out;
    }
};

inline PiecedInput splitPiecedInput(const uint8_t *data, size_t size)
{
    PiecedInput input;
    if (size == 0)
        return input;
    const size_t n = qMin<size_t>(data[0] % 32, size - 1);
    for (size_t i = 0; i < n; ++i)
        input.lengths.append(data[1 + i]);
    input.stream = QByteArray(reinterpret_cast<const char *>(data + 1 + n), qsizetype(size - 1 - n));
    return input;
}

#ifdef TAVIK7_FUZZ_DRAW
// minLength to maxLength characters, each drawn from alphabet.
inline QString drawText(FuzzedDataProvider &fdp, const char *alphabet, int minLength, int maxLength)
{
    const int last = int(std::strlen(alphabet)) - 1;
    QString text;
    for (int length = fdp.ConsumeIntegralInRange(minLength, maxLength); length > 0; --length)
        text += QLatin1Char(alphabet[fdp.ConsumeIntegralInRange(0, last)]);
    return text;
}
#endif

// The bytes of a pieced input with the stream in one piece.
inline QByteArray onePieceInput(const QByteArray &stream)
{
    return QByteArray(1, '\0') + stream;
}

[[noreturn]] inline void fail(const char *file, int line, const char *what)
{
    std::fprintf(stderr, "%s:%d: expectation failed: %s\n", file, line, what);
    std::abort();
}

} // namespace fuzz

#define FUZZ_CHECK(condition)                                                                                        \
    do {                                                                                                             \
        if (!(condition))                                                                                            \
            ::fuzz::fail(__FILE__, __LINE__, #condition);                                                            \
    } while (false)
