#pragma once

#include <QList>
#include <QString>

#include "parameterrecord.h"

namespace tavik7 {

// The checks of the parameter table's text cells. Rows are the table's rows;
// flags index the window's eight plausibility flags (7 is the counter entry's).
constexpr int kPlausibilityFlagCount = 8;
constexpr int kCounterPlausibilityFlag = 7;

// Characters a cell of this table row keeps: the record field's width without
// its terminator (4 for the version and the CRC); -1 where nothing is cut.
[[nodiscard]] int parameterCellMaxLength(int row);

// Flag of the row's rule, -1 for rows without a check.
[[nodiscard]] int plausibilityFlagOfRow(int row);

// The row rules, each on an already cut text.
[[nodiscard]] bool unitPlausible(const QString &text);
[[nodiscard]] bool manufacturerPlausible(const QString &text);
// Device type and serial number: printable ASCII, blank included.
[[nodiscard]] bool printableAsciiPlausible(const QString &text);
[[nodiscard]] bool yearOfManufacturePlausible(const QString &text);
[[nodiscard]] bool softwareVersionPlausible(const QString &text);

// One edited cell: its text cut to the row's width, the flag its rule decides
// (-1 when the row has none) and whether the rule passed.
struct CellVerdict
{
    QString text;
    int flag = -1;
    bool plausible = true;
};
[[nodiscard]] CellVerdict checkParameterCell(int row, const QString &text);

} // namespace tavik7
