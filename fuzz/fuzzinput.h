#pragma once

// Helpers shared by the fuzz targets. A failed check aborts with a readable
// reason, so that a mismatch is a crash libFuzzer records like any other.

#include "parameterfields.h"

#include <QByteArray>
#include <QList>

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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
        if (std::all_of(lengths.begin(), lengths.end(), [](int l) { return l == 0; }))
            return {stream};
        QList<QByteArray> out;
        for (qsizetype at = 0, i = 0; at < stream.size(); at += out.last().size(), i = (i + 1) % lengths.size())
            out.append(stream.mid(at, lengths.at(i)));
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

// The little-endian word at i; bytes beyond the end count as 0.
inline quint16 wordAt(const QByteArray &bytes, qsizetype i)
{
    const auto byte = [&bytes](qsizetype at) { return at < bytes.size() ? quint8(bytes.at(at)) : quint8(0); };
    return quint16(byte(i) + 256 * byte(i + 1));
}

// minLength to maxLength characters, each drawn from alphabet.
inline QString drawText(FuzzedDataProvider &fdp, const QString &alphabet, int minLength, int maxLength)
{
    QString text;
    for (int length = fdp.ConsumeIntegralInRange(minLength, maxLength); length > 0; --length)
        text += alphabet.at(fdp.ConsumeIntegralInRange<qsizetype>(0, alphabet.size() - 1));
    return text;
}

// Field by field: the struct has padding, so memcmp would compare bytes
// nobody writes.
inline bool sameRecord(const tavik7::ParameterRecord &a, const tavik7::ParameterRecord &b)
{
    using namespace tavik7;
    for (int field = 0; field < kParameterFieldCount; ++field) {
        const ParameterField &f = kParameterFields[field];
        const bool same = f.kind == FieldKind::Text
            ? std::memcmp(textFieldData(a, field), textFieldData(b, field), size_t(f.width)) == 0
            : fieldNumber(a, field) == fieldNumber(b, field);
        if (!same)
            return false;
    }
    return true;
}

// Every byte of the record set to pattern: a field that a reader leaves alone
// keeps it, one it writes (almost) never ends up holding it by chance.
inline tavik7::ParameterRecord patternRecord(unsigned char pattern)
{
    tavik7::ParameterRecord r;
    std::memset(&r, pattern, sizeof r);
    return r;
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
