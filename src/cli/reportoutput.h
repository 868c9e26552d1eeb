#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "parameterrecord.h"

namespace tavik7::cli {

// The name -o takes for standard output.
inline constexpr char kStandardOutputName[] = "-";

// Writes the inspection report to target, or for "-" into pdf for standard
// output (drawn into a private file first: the page is written by name).
[[nodiscard]] bool writeReportTo(const QString &target, const ParameterRecord &record, const QString &counterText,
                                 const QStringList &notes, QByteArray *pdf, QString *error);

} // namespace tavik7::cli
