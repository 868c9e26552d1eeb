// The counter text: formatting of complete readings (always plausible),
// relaying a reading to another digit count (same value or refused), and the
// wizard entry's overwrite keys (cursor and length stay in bounds).

#include "countertext.h"
#include "fuzzinput.h"

using namespace tavik7;

namespace {

// Digits are common, commas twice as likely as other characters, digits
// outside ASCII among those.
const QString kCounterChars = QStringLiteral("0123456789,,0123456789 a.-\u0663\uff11\u00b2");

QString withoutLeadingZeros(QString digits)
{
    digits.remove(QLatin1Char(','));
    while (digits.startsWith(QLatin1Char('0')))
        digits.remove(0, 1);
    return digits;
}

void checkFormatAndRelay(FuzzedDataProvider &fdp)
{
    const qint8 significance = fdp.ConsumeIntegral<qint8>();
    const quint16 version = fdp.ConsumeIntegral<quint16>();
    const int digitCount = counterDigits(version);
    const QString digits = fuzz::drawText(fdp, "0123456789", digitCount, digitCount);

    // Stray commas anywhere: formatting removes them all first.
    QString entry = digits;
    const int commas = fdp.ConsumeIntegralInRange(0, 3);
    for (int i = 0; i < commas; ++i)
        entry.insert(fdp.ConsumeIntegralInRange(0, int(entry.size())), QLatin1Char(','));

    const int length = counterLength(significance, version);
    const QString formatted = formatCounterText(entry, significance, version);
    FUZZ_CHECK(formatted.size() == length);
    FUZZ_CHECK(QString(formatted).remove(QLatin1Char(',')) == digits);
    FUZZ_CHECK(counterTextPlausible(formatted, length, length, significance));
    FUZZ_CHECK(counterDigitsForDevice(formatted) == digits.toLatin1());

    // The same reading for a device with another firmware and significance:
    // the same digits with leading zeros added or dropped, or nothing when a
    // digit other than 0 would be lost.
    const qint8 newSignificance = fdp.ConsumeIntegral<qint8>();
    const quint16 newVersion = fdp.ConsumeIntegral<quint16>();
    const QString relaid = relayCounterReading(formatted, newSignificance, newVersion);
    const QString value = withoutLeadingZeros(formatted);
    if (value.size() > counterDigits(newVersion)) {
        FUZZ_CHECK(relaid.isEmpty());
    } else {
        const int newLength = counterLength(newSignificance, newVersion);
        FUZZ_CHECK(relaid.size() == newLength);
        FUZZ_CHECK(counterTextPlausible(relaid, newLength, newLength, newSignificance));
        FUZZ_CHECK(withoutLeadingZeros(relaid) == value);
    }
}

void checkEntryKeys(FuzzedDataProvider &fdp)
{
    static const int kKeys[] = {Qt::Key_0, Qt::Key_1, Qt::Key_5, Qt::Key_9, Qt::Key_Left, Qt::Key_Right,
                                Qt::Key_Backspace, Qt::Key_Delete, Qt::Key_A, Qt::Key_Home, Qt::Key_Comma};
    const int maxLength = fdp.ConsumeIntegralInRange(1, 12);
    QString text = fdp.ConsumeBool() ? fuzz::drawText(fdp, kCounterChars, 0, 14)
                                     : formatCounterText(fuzz::drawText(fdp, "0123456789", 9, 9), fdp.ConsumeIntegralInRange<qint8>(0, 5),
                                                         112);
    int cursor = fdp.ConsumeIntegralInRange(0, maxLength - 1);
    const qsizetype longest = qMax<qsizetype>(text.size(), maxLength);
    while (fdp.remaining_bytes() > 0) {
        const int key = kKeys[fdp.ConsumeIntegralInRange<size_t>(0, std::size(kKeys) - 1)];
        const CounterKeyEdit edit = applyCounterEntryKey(text, cursor, maxLength, key);
        FUZZ_CHECK(edit.cursor >= 0 && edit.cursor < maxLength);
        FUZZ_CHECK(edit.text.size() <= longest);
        FUZZ_CHECK(edit.text.count(QLatin1Char(',')) <= text.count(QLatin1Char(',')));
        const bool digit = key >= Qt::Key_0 && key <= Qt::Key_9;
        if (!digit) {
            FUZZ_CHECK(edit.text == text);
            // The entry's cursor never stands beyond its text; one drawn
            // there comes back to the end of the text.
            if (key != Qt::Key_Left && key != Qt::Key_Right)
                FUZZ_CHECK(edit.cursor == qMin<qsizetype>(cursor, text.size()));
        } else if (cursor < text.size()) {
            // Overwrite: the digit replaces the character under the cursor,
            // nothing else moves; a drawn text longer than the entry is cut.
            QString overwritten = text;
            overwritten[cursor] = QChar(ushort(key));
            FUZZ_CHECK(edit.text == overwritten.left(maxLength));
        }
        text = edit.text;
        cursor = edit.cursor;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    FuzzedDataProvider fdp(data + 1, size - 1);
    if (data[0] & 1)
        checkFormatAndRelay(fdp);
    else
        checkEntryKeys(fdp);
    return 0;
}
