#pragma once

#include <QList>

#include "parameterfields.h"

namespace tavik7 {

// The fields whose values differ between the two records, ascending. Text
// fields compare up to their terminator, so padding never counts; indices
// compare as numbers, so one that no item stands for never equals an item.
[[nodiscard]] QList<int> differingFields(const ParameterRecord &a, const ParameterRecord &b);

// Each field the table would change in the device, with the tip that says
// what the device holds.
[[nodiscard]] QList<std::pair<int, QString>> differenceTips(const ParameterRecord &table, const ParameterRecord &device,
                                                            int language);

} // namespace tavik7
