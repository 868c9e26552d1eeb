#pragma once

#include <QString>
#include <QtGlobal>

namespace tavik7 {

// 8 digits up to firmware 1.11, 9 digits from 1.12 on.
[[nodiscard]] int counterDigits(quint16 softwareVersion);

// True for the significance indices 0..2 (exponent -3..-1), whose counter text
// carries a decimal comma.
[[nodiscard]] bool significanceHasComma(qint8 significance);

// Allowed length of the counter entry: digits plus one for a comma.
[[nodiscard]] int counterLength(qint8 significance, quint16 softwareVersion);

// TextId of the counter hint beside the entry ("8 digits" or "9 digits").
[[nodiscard]] int counterHintTextId(quint16 softwareVersion);

// Removes every comma and, for a negative exponent, inserts one so that 3, 2
// or 1 digits follow it in a complete reading. A text too short for the
// position is left without a comma rather than padded.
[[nodiscard]] QString formatCounterText(const QString &text, qint8 significance, quint16 softwareVersion);

// A complete reading laid out for a firmware with another digit count:
// leading zeros are added, or dropped where they are zeros, so that it keeps
// its value, and the comma goes where the significance puts it. Empty when
// the reading does not fit (a leading digit other than 0 would be lost).
[[nodiscard]] QString relayCounterReading(const QString &text, qint8 significance, quint16 softwareVersion);

// The answer to "L_ZLW" as the counter entry shows it: the answer is cut to
// the entry's length for this significance and firmware, stripped of commas,
// laid out again and cut once more. Line ends and control bytes stay in the
// text (and leave digits empty). The one reading of a counter answer for
// every user.
struct CounterReading
{
    QString text;      // as the counter entry shows it, comma included
    QByteArray digits; // the same reading as "S_ZLW" would send it back
};
[[nodiscard]] CounterReading parseCounterAnswer(const QByteArray &answer, qint8 significance,
                                                quint16 softwareVersion);

// The counter text as the digits sent with "S_ZLW"; empty when it is empty or
// holds anything but digits and commas.
[[nodiscard]] QByteArray counterDigitsForDevice(const QString &text);

// TextIds of the multiplier labels beside the counter ("x" and "10" or "100");
// -1 where the label stays empty.
struct MultiplierTextIds
{
    int multi = -1;
    int factor = -1;
};
[[nodiscard]] MultiplierTextIds multiplierTextIds(qint8 significance);

// Firmware version in hundredths as the table shows it ("1.12"), and back.
[[nodiscard]] QString softwareVersionText(quint16 softwareVersion);
[[nodiscard]] quint16 parseSoftwareVersion(const QString &text);
// Firmware checksum as four lower-case hex digits, and back: 0 for a text
// that is not one to four hex digits (never the last four of a longer one).
[[nodiscard]] QString softwareCrcText(quint16 softwareCrc);
[[nodiscard]] quint16 parseSoftwareCrc(const QString &text);

} // namespace tavik7

namespace tavik7 {

// The counter entry is plausible when it is complete (at least counterLength
// characters) and holds digits only, with the comma exactly where the
// significance puts it. maxLength is the entry's maximum length.
[[nodiscard]] bool counterTextPlausible(const QString &text, int maxLength, int counterLength, qint8 significance);

} // namespace tavik7

namespace tavik7 {

// One key press in the wizard's counter entry, which is edited in overwrite
// mode: a digit replaces the character under the cursor, the cursor skips the
// decimal comma and wraps at maxLength in both directions. Any other key
// changes nothing.
struct CounterKeyEdit
{
    QString text;
    int cursor = 0;
};
[[nodiscard]] CounterKeyEdit applyCounterEntryKey(const QString &text, int cursor, int maxLength, int key);

} // namespace tavik7
