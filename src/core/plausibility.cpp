#include "plausibility.h"

#include <algorithm>

#include "countertext.h"

namespace tavik7 {

namespace {

// Table rows with a text cell.
constexpr int kRowUnit = 0;
constexpr int kRowManufacturer = 3;
constexpr int kRowDeviceType = 4;
constexpr int kRowSerialNumber = 5;
constexpr int kRowYear = 6;
constexpr int kRowSoftwareVersion = 7;
constexpr int kRowSoftwareCrc = 8;

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

int parameterCellMaxLength(int row)
{
    switch (row) {
    case kRowUnit:
    case kRowManufacturer: return 3;
    case kRowDeviceType: return 6;
    case kRowSerialNumber: return 9;
    case kRowYear:
    case kRowSoftwareVersion:
    case kRowSoftwareCrc: return 4;
    default: return -1;
    }
}

int plausibilityFlagOfRow(int row)
{
    switch (row) {
    case kRowUnit: return 0;
    case kRowManufacturer: return 2;
    case kRowDeviceType: return 3;
    case kRowSerialNumber: return 4;
    case kRowYear: return 5;
    case kRowSoftwareVersion: return 6;
    default: return -1;
    }
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
    switch (row) {
    case kRowUnit: verdict.plausible = unitPlausible(verdict.text); break;
    case kRowManufacturer: verdict.plausible = manufacturerPlausible(verdict.text); break;
    case kRowDeviceType:
    case kRowSerialNumber: verdict.plausible = printableAsciiPlausible(verdict.text); break;
    case kRowYear: verdict.plausible = yearOfManufacturePlausible(verdict.text); break;
    case kRowSoftwareVersion: verdict.plausible = softwareVersionPlausible(verdict.text); break;
    default: verdict.plausible = true; break;
    }
    return verdict;
}

namespace {

// Items of the combo box cells: significance, baud rate, transmit mode,
// direction, telegram b, CRC start value.
struct ComboRange
{
    int row;
    qint8 ParameterRecord::*field;
    int itemCount;
};
constexpr ComboRange kComboRanges[] = {
    {1, &ParameterRecord::significance, 6}, {9, &ParameterRecord::baudRate, 3},
    {10, &ParameterRecord::transmitMode, 6}, {11, &ParameterRecord::direction, 2},
    {12, &ParameterRecord::telegramB, 4},   {13, &ParameterRecord::crcStartValue, 2},
};

} // namespace

QList<int> implausibleParameterFields(const ParameterRecord &r)
{
    const struct
    {
        int row;
        QString text;
    } cells[] = {
        {kRowUnit, fieldText(r.unit, kUnitWidth)},
        {kRowManufacturer, fieldText(r.manufacturer, kManufacturerWidth)},
        {kRowDeviceType, fieldText(r.deviceType, kDeviceTypeWidth)},
        {kRowSerialNumber, fieldText(r.serialNumber, kSerialNumberWidth)},
        {kRowYear, fieldText(r.yearOfManufacture, kYearWidth)},
        {kRowSoftwareVersion, softwareVersionText(r.softwareVersion)},
    };
    QList<int> rows;
    for (const auto &cell : cells) {
        if (!checkParameterCell(cell.row, cell.text).plausible)
            rows.append(cell.row);
    }
    for (const ComboRange &combo : kComboRanges) {
        const qint8 index = r.*combo.field;
        if (index < 0 || index >= combo.itemCount)
            rows.append(combo.row);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

} // namespace tavik7
