#include "inspectionreport.h"

#include "parameterfields.h"
#include "texttable.h"

namespace tavik7 {

namespace {

constexpr int kCounterStatusLabel = 14;

// "German / English" of an enumerated value; empty for an index that no item
// stands for, rather than the text of a neighbouring list.
QString bilingualItem(const ParameterField &f, int index)
{
    if (index < 0 || index >= f.itemCount)
        return QString();
    const int id = f.firstItemTextId + index;
    return text(id, German) + QStringLiteral(" / ") + text(id, English);
}

QString reportValue(const ParameterRecord &r, int field)
{
    // The significance carries the leading plus, as the device's own text does.
    if (field == FieldSignificance)
        return QString::fromLatin1(significanceText(r.significance, r.leadingPlus).constData());
    const ParameterField &f = kParameterFields[field];
    if (f.kind == FieldKind::Combo)
        return bilingualItem(f, fieldNumber(r, field));
    return parameterValueText(r, field, German);
}

} // namespace

QList<InspectionReportRow> inspectionReportRows(const ParameterRecord &r, const QString &counterText)
{
    int fieldRows = 0;
    for (int field = 0; field < kParameterFieldCount; ++field)
        fieldRows = qMax(fieldRows, kParameterFields[field].reportRow + 1);
    QList<InspectionReportRow> rows(fieldRows + 1);
    for (int field = 0; field < kParameterFieldCount; ++field) {
        const int row = kParameterFields[field].reportRow;
        if (row >= 0)
            rows[row] = {bilingualFieldLabel(field), reportValue(r, field)};
    }
    QString counter = counterText;
    counter.remove(QLatin1Char(','));
    rows.last() = {bilingualLabel(kCounterStatusLabel), counter};
    return rows;
}

bool isReportFileName(const QString &name)
{
    return name.contains(QLatin1String(".pdf"));
}

} // namespace tavik7
