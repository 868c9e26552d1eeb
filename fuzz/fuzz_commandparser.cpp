// The simulator's request parser. Checked: the pieces give the requests of
// one piece (unless the pending limit threw input away), the pending bytes
// never exceed the limit once the parser has taken what it can, every request
// is classified as its bytes say, and a well-formed "SP" telegram that follows
// junk ending at a request boundary is found whole.
//
// Input: byte 0 chooses the mode (odd: junk then an "SP" telegram built from
// the last bytes as a record), then the pieced layout of fuzzinput.h.

#include "commandparser.h"
#include "fuzzinput.h"
#include "telegram.h"

#include <algorithm>
#include <cstring>

using devsim::Command;
using devsim::CommandParser;
using devsim::Request;

namespace {

struct Parsed
{
    QList<Request> requests;
    qsizetype dropped = 0;
    bool pending = false;
};

bool sameRequest(const Request &a, const Request &b)
{
    return a.known == b.known && a.command == b.command && a.raw == b.raw && a.argument == b.argument;
}

Parsed parse(const QList<QByteArray> &pieces)
{
    CommandParser parser;
    Parsed parsed;
    for (const QByteArray &piece : pieces) {
        parser.feed(piece);
        while (const std::optional<Request> request = parser.next())
            parsed.requests.append(*request);
        FUZZ_CHECK(parser.pendingSize() <= CommandParser::kMaxPending);
        parsed.dropped += parser.takeDropped();
    }
    parsed.pending = parser.hasPending();
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

void checkTelegramAfterJunk(const fuzz::PiecedInput &input)
{
    // Any record the bytes make: texts without terminators and line ends
    // inside the telegram are the harder case for the parser.
    tavik7::ParameterRecord record;
    if (input.stream.size() < qsizetype(sizeof record))
        return;
    const QByteArray junk = input.stream.left(input.stream.size() - qsizetype(sizeof record)) + "\r\n";
    std::memcpy(&record, input.stream.right(sizeof record).constData(), sizeof record);
    record.significance = qint8(quint8(record.significance) % 6);
    const QByteArray telegram = tavik7::buildWriteTelegram(record);

    // Only junk that ends at a request boundary leaves the parser ready for a
    // new request: a truncated "SP" telegram in it rightly swallows what follows.
    if (parse({junk}).pending)
        return;

    fuzz::PiecedInput combined = input;
    combined.stream = junk + telegram;
    const Parsed parsed = parse(combined.pieces());
    if (parsed.dropped == 0) {
        FUZZ_CHECK(!parsed.requests.isEmpty());
        const Request &last = parsed.requests.last();
        FUZZ_CHECK(last.known && last.command == Command::WriteParameters && last.raw == telegram);
    }
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
        FUZZ_CHECK(std::equal(pieces.requests.begin(), pieces.requests.end(), whole.requests.begin(),
                              whole.requests.end(), sameRequest));
    }
    return 0;
}
