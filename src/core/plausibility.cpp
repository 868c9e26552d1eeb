#include "plausibility.h"

#include "parameterfields.h"
#include "texttable.h"

namespace tavik7 {

namespace {

constexpr int kFirstPlausibleYear = 1950;
constexpr int kLastPlausibleYear = 2049;

bool isAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

bool isAsciiLetter(QChar c)
{
    return (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || (c >= QLatin1Char('a') && c <= QLatin1Char('z'));
}

} // namespace

int plausibilityFlagOfRow(int row)
{
    if (row < 0 || row >= kParameterFieldCount)
        return -1;
    return kParameterFields[row].plausibilityFlag;
}

bool unitPlausible(const QString &text)
{
    if (text.isEmpty() || text.size() > 3)
        return false;
    for (const QChar c : text) {
        if (!isAsciiDigit(c) && !isAsciiLetter(c))
            return false;
    }
    return true;
}

bool manufacturerPlausible(const QString &text)
{
    for (const QChar c : text) {
        if (!isAsciiLetter(c) && c != QLatin1Char('_') && c != QLatin1Char('&'))
            return false;
    }
    return true;
}

bool printableAsciiPlausible(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7E)
            return false;
    }
    return true;
}

bool yearOfManufacturePlausible(const QString &text)
{
    // A text that is no number counts as year 0.
    const int year = text.toInt();
    return year >= kFirstPlausibleYear && year <= kLastPlausibleYear;
}

bool softwareVersionPlausible(const QString &text)
{
    if (text.size() != 4)
        return false;
    const auto digitOrPoint = [](QChar c) { return isAsciiDigit(c) || c == QLatin1Char('.'); };
    return isAsciiDigit(text.at(0)) && digitOrPoint(text.at(1)) && digitOrPoint(text.at(2)) && isAsciiDigit(text.at(3));
}

CellVerdict checkParameterCell(int row, const QString &text)
{
    CellVerdict verdict;
    const int maxLength = parameterCellMaxLength(row);
    verdict.text = maxLength >= 0 ? text.left(maxLength) : text;
    verdict.flag = plausibilityFlagOfRow(row);
    const auto rule = row >= 0 && row < kParameterFieldCount ? kParameterFields[row].rule : nullptr;
    verdict.plausible = rule ? rule(verdict.text) : true;
    return verdict;
}

} // namespace tavik7
