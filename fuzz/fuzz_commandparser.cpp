// The simulator's request parser. Checked: the pieces give the requests of
// one piece (unless the pending limit threw input away), the pending bytes
// never exceed the limit once the parser has taken what it can, every request
// is classified as its bytes say, and a well-formed "SP" telegram that follows
// junk ending at a request boundary is found whole and parses back to its
// record.
//
// Input: byte 0 chooses the mode (odd: junk then an "SP" telegram built from
// the last 40 bytes), then the pieced layout of fuzzinput.h.

#include "commandparser.h"
#include "fuzzinput.h"
#include "telegram.h"

#include <cstring>

using devsim::Command;
using devsim::CommandParser;
using devsim::Request;

namespace {

struct Parsed
{
    QList<Request> requests;
    qsizetype dropped = 0;
};

bool sameRequest(const Request &a, const Request &b)
{
    return a.known == b.known && a.command == b.command && a.raw == b.raw && a.argument == b.argument;
}

void drain(CommandParser &parser, Parsed &parsed)
{
    while (const std::optional<Request> request = parser.next())
        parsed.requests.append(*request);
    FUZZ_CHECK(parser.pendingSize() <= CommandParser::kMaxPending);
    parsed.dropped += parser.takeDropped();
}

Parsed parse(const QList<QByteArray> &pieces)
{
    CommandParser parser;
    Parsed parsed;
    for (const QByteArray &piece : pieces) {
        parser.feed(piece);
        drain(parser, parsed);
    }
    return parsed;
}

void checkClassified(const Request &r)
{
    if (r.raw.startsWith("SP ")) {
        FUZZ_CHECK(r.known && r.command == Command::WriteParameters);
        return;
    }
    FUZZ_CHECK(!r.raw.contains('\r') && !r.raw.contains('\n'));
    if (r.raw == "LP") {
        FUZZ_CHECK(r.known && r.command == Command::ReadParameters);
    } else if (r.raw == "L_ZLW") {
        FUZZ_CHECK(r.known && r.command == Command::ReadCounter);
    } else if (r.raw == "S_ZLW" || r.raw.startsWith("S_ZLW ")) {
        FUZZ_CHECK(r.known && r.command == Command::WriteCounter && r.argument == r.raw.mid(6));
    } else {
        FUZZ_CHECK(!r.known);
    }
}

// A record from 40 bytes, its text fields NUL-padded as the table writes them.
tavik7::ParameterRecord recordFrom(const QByteArray &bytes)
{
    using namespace tavik7;
    ParameterRecord r;
    clearParameterRecord(r);
    const auto text = [&bytes](char *field, int width, int offset) {
        setFieldText(field, width, QString::fromLatin1(bytes.mid(offset, width - 1)).section(QChar(0), 0, 0));
    };
    text(r.unit, kUnitWidth, 0);
    text(r.manufacturer, kManufacturerWidth, 3);
    text(r.deviceType, kDeviceTypeWidth, 6);
    text(r.serialNumber, kSerialNumberWidth, 12);
    text(r.yearOfManufacture, kYearWidth, 21);
    r.significance = qint8(quint8(bytes.at(25)) % 6);
    r.leadingPlus = quint8(bytes.at(26)) & 1;
    r.softwareVersion = quint16(quint8(bytes.at(27)) | quint8(bytes.at(28)) << 8);
    r.baudRate = qint8(bytes.at(29));
    r.transmitMode = qint8(bytes.at(30));
    r.direction = qint8(bytes.at(31));
    r.telegramB = qint8(bytes.at(32));
    r.crcStartValue = qint8(bytes.at(33));
    return r;
}

void checkTelegramAfterJunk(const fuzz::PiecedInput &input)
{
    constexpr int kRecordBytes = 40;
    if (input.stream.size() < kRecordBytes)
        return;
    const QByteArray junk = input.stream.left(input.stream.size() - kRecordBytes) + "\r\n";
    const tavik7::ParameterRecord record = recordFrom(input.stream.right(kRecordBytes));
    const QByteArray telegram = tavik7::buildWriteTelegram(record);

    // Only junk that ends at a request boundary leaves the parser ready for a
    // new request: a truncated "SP" telegram in it rightly swallows what follows.
    CommandParser junkOnly;
    Parsed junkParsed;
    junkOnly.feed(junk);
    drain(junkOnly, junkParsed);
    if (junkOnly.hasPending())
        return;

    fuzz::PiecedInput combined = input;
    combined.stream = junk + telegram;
    const Parsed parsed = parse(combined.pieces());
    if (parsed.dropped > 0)
        return;
    FUZZ_CHECK(!parsed.requests.isEmpty());
    const Request &last = parsed.requests.last();
    FUZZ_CHECK(last.known && last.command == Command::WriteParameters && last.raw == telegram);
    const tavik7::WriteTelegram written = tavik7::parseWriteTelegram(last.raw);
    FUZZ_CHECK(written.valid);
    tavik7::ParameterRecord expected = record;
    expected.softwareVersion = written.record.softwareVersion; // may be raised against line ends
    if (expected.significance < 3)
        expected.leadingPlus = 0;
    FUZZ_CHECK(fuzz::sameRecord(written.record, expected));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const fuzz::PiecedInput input = fuzz::splitPiecedInput(data + 1, size - 1);
    if (data[0] & 1) {
        checkTelegramAfterJunk(input);
        return 0;
    }

    const Parsed pieces = parse(input.pieces());
    const Parsed whole = parse({input.stream});
    for (const Request &r : pieces.requests)
        checkClassified(r);
    if (pieces.dropped == 0 && whole.dropped == 0) {
        FUZZ_CHECK(pieces.requests.size() == whole.requests.size());
        for (qsizetype i = 0; i < pieces.requests.size(); ++i)
            FUZZ_CHECK(sameRequest(pieces.requests.at(i), whole.requests.at(i)));
    }
    return 0;
}
