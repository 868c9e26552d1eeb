#include "countertext.h"

#include "parameterrecord.h"

#include <qnamespace.h>

#include <cmath>

namespace tavik7 {

int counterDigits(quint16 softwareVersion)
{
    return softwareVersion >= kNineDigitSoftwareVersion ? 9 : 8;
}

bool significanceHasComma(qint8 significance)
{
    return significance >= 0 && significance <= 2;
}

int counterLength(qint8 significance, quint16 softwareVersion)
{
    return counterDigits(softwareVersion) + (significanceHasComma(significance) ? 1 : 0);
}

int counterHintTextId(quint16 softwareVersion)
{
    return softwareVersion >= kNineDigitSoftwareVersion ? 13 : 12;
}

QString formatCounterText(const QString &text, qint8 significance, quint16 softwareVersion)
{
    QString digits = text;
    digits.remove(QLatin1Char(','));
    if (significanceHasComma(significance)) {
        const int position = counterDigits(softwareVersion) - 3 + significance;
        if (position <= digits.size())
            digits.insert(position, QLatin1Char(','));
    }
    return digits;
}

QString relayCounterReading(const QString &text, qint8 significance, quint16 softwareVersion)
{
    QString digits = text;
    digits.remove(QLatin1Char(','));
    const int wanted = counterDigits(softwareVersion);
    while (digits.size() > wanted && digits.startsWith(QLatin1Char('0')))
        digits.remove(0, 1);
    if (digits.size() > wanted)
        return {};
    digits.prepend(QString(wanted - digits.size(), QLatin1Char('0')));
    return formatCounterText(digits, significance, softwareVersion);
}

CounterReading parseCounterAnswer(const QByteArray &answer, qint8 significance, quint16 softwareVersion)
{
    // Cut to the entry's length before and after the comma goes in: the comma
    // then pushes the last character out, as the entry always did. Line ends
    // and control bytes are kept; the plausibility check refuses them.
    const int length = counterLength(significance, softwareVersion);
    QString text = QString::fromLatin1(answer.left(length));
    text.remove(QLatin1Char(','));
    CounterReading reading;
    reading.text = formatCounterText(text, significance, softwareVersion).left(length);
    reading.digits = counterDigitsForDevice(reading.text);
    return reading;
}

QByteArray counterDigitsForDevice(const QString &text)
{
    QString digits = text;
    digits.remove(QLatin1Char(','));
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return {};
    }
    return digits.toLatin1();
}

MultiplierTextIds multiplierTextIds(qint8 significance)
{
    switch (significance) {
    case 4: return {16, 20};
    case 5: return {16, 21};
    default: return {};
    }
}

QString softwareVersionText(quint16 softwareVersion)
{
    return QString::number(softwareVersion / 100.0, 'f', 2);
}

quint16 parseSoftwareVersion(const QString &text)
{
    const double value = text.toDouble() * 100.0;
    return quint16(qint64(std::lround(value)) & 0xFFFF);
}

QString softwareCrcText(quint16 softwareCrc)
{
    return QStringLiteral("%1").arg(softwareCrc, 4, 16, QLatin1Char('0'));
}

quint16 parseSoftwareCrc(const QString &text)
{
    // Cutting a longer number to 16 bits would show a checksum the firmware
    // never had.
    constexpr int kMaxCrcDigits = 4;
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed.size() > kMaxCrcDigits)
        return 0;
    bool ok = false;
    const uint value = trimmed.toUInt(&ok, 16);
    return ok ? quint16(value) : 0;
}

} // namespace tavik7

namespace tavik7 {

bool counterTextPlausible(const QString &text, int maxLength, int counterLength, qint8 significance)
{
    if (text.size() < counterLength)
        return false;
    const int n = qMin(int(text.size()), maxLength);
    const int commaPosition = significanceHasComma(significance) ? n - 4 + significance : -1;
    for (int i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        const bool ok = i == commaPosition ? c == QLatin1Char(',') : (c >= QLatin1Char('0') && c <= QLatin1Char('9'));
        if (!ok)
            return false;
    }
    return true;
}

} // namespace tavik7

namespace tavik7 {

namespace {

bool commaAt(const QString &text, int position)
{
    return position >= 0 && position < text.size() && text.at(position) == QLatin1Char(',');
}

} // namespace

CounterKeyEdit applyCounterEntryKey(const QString &text, int cursor, int maxLength, int key)
{
    CounterKeyEdit edit{text, cursor};
    int p = qBound(0, cursor, int(text.size()));
    if (key >= Qt::Key_0 && key <= Qt::Key_9) {
        const QChar digit = QChar(ushort(key));
        if (p < edit.text.size())
            edit.text[p] = digit;
        else
            edit.text.append(digit);
        // The entry itself never holds more than its maximum length.
        edit.text.truncate(maxLength);
        ++p;
        if (commaAt(edit.text, p))
            ++p;
        if (p >= maxLength)
            p = 0;
    } else if (key == Qt::Key_Right) {
        ++p;
        if (commaAt(edit.text, p))
            ++p;
        if (p >= maxLength)
            p = 0;
    } else if (key == Qt::Key_Left) {
        --p;
        if (p < 0)
            p = maxLength - 1;
        if (commaAt(edit.text, p))
            --p;
        p = qMax(p, 0);
    }
    edit.cursor = p;
    return edit;
}

} // namespace tavik7
