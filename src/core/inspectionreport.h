#pragma once

#include <QList>
#include <QString>

#include "parameterrecord.h"

namespace tavik7 {

// One printed row of the inspection report: a bilingual label and its value.
struct InspectionReportRow
{
    QString label;
    QString value;
};

// The report's rows, one per field with a report row and the counter last,
// bilingual whatever the interface language: the leading plus is shown
// within the significance rather than as a row of its own, enumerated values
// carry their German and English item texts, and the counter is printed
// without its decimal comma.
[[nodiscard]] QList<InspectionReportRow> inspectionReportRows(const ParameterRecord &record, const QString &counterText);

// A name the report is written under: any that holds ".pdf", as the file
// dialog's filter never insisted on it.
[[nodiscard]] bool isReportFileName(const QString &name);

} // namespace tavik7
