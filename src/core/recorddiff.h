#pragma once

#include <QList>
#include <QString>

#include "parameterrecord.h"

namespace tavik7 {

// Parameter fields in the order of the table's rows and the settings file's
// lines: 0 = unit .. 13 = CRC start value.
constexpr int kParameterFieldCount = 14;

// Field i of record as the table shows it: the text of a text field, the item
// text of a combo box field in the given language (the bare index when no item
// stands for it), "1" or "0" for the leading plus.
[[nodiscard]] QString parameterValueText(const ParameterRecord &record, int field, int language);

// The fields whose values differ between the two records, ascending. Text
// fields compare up to their terminator, so padding never counts.
[[nodiscard]] QList<int> differingFields(const ParameterRecord &a, const ParameterRecord &b);

} // namespace tavik7
