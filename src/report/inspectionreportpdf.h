#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

#include "messageid.h"
#include "parameterrecord.h"

class QPainter;

namespace tavik7 {

// Paints the bilingual report: the record's rows, the counter text as the
// counter entry shows it (its comma is left out), up to five note lines and
// the date. width is the printable width in device pixels.
void paintInspectionReport(QPainter &painter, int width, const ParameterRecord &record, const QString &counterText,
                           const QStringList &notes, const QDate &date);

// Why name cannot take a report, as the console says it: none was chosen, or
// it lacks ".pdf" (case-sensitive). MessageId::None when it can.
[[nodiscard]] MessageId reportNameFault(const QString &name);

// Writes the report as a one-page PDF. The file at path is replaced only by a
// complete report: on any failure it keeps what it held, the result is false
// and error (if given) says why.
[[nodiscard]] bool writeInspectionReportPdf(const QString &path, const ParameterRecord &record,
                                            const QString &counterText, const QStringList &notes, const QDate &date,
                                            QString *error = nullptr);

} // namespace tavik7
