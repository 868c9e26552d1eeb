#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "parameterrecord.h"
#include "regularfile.h"

namespace tavik7::cli {

using platform::kStandardOutputName;

// Writes the inspection report to target, or for "-" into pdf for standard
// output (drawn into a private file first: the page is written by name).
[[nodiscard]] bool writeReportTo(const QString &target, const ParameterRecord &record, const QString &counterText,
                                 const QStringList &notes, QByteArray *pdf, QString *error);

} // namespace tavik7::cli
