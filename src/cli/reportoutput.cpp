#include "reportoutput.h"

#include <QDate>
#include <QFile>
#include <QTemporaryDir>

#include "inspectionreportpdf.h"

namespace tavik7::cli {

bool writeReportTo(const QString &target, const ParameterRecord &record, const QString &counterText,
                   const QStringList &notes, QByteArray *pdf, QString *error)
{
    const QDate today = QDate::currentDate();
    if (target != QLatin1String(kStandardOutputName))
        return writeInspectionReportPdf(target, record, counterText, notes, today, error);
    const QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("report.pdf"));
    if (!folder.isValid() || !writeInspectionReportPdf(path, record, counterText, notes, today, error))
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    *pdf = file.readAll();
    return true;
}

} // namespace tavik7::cli
