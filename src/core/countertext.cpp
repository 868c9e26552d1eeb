#include "countertext.h"

#include "parameterrecord.h"

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
    bool ok = false;
    const uint value = text.toUInt(&ok, 16);
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
