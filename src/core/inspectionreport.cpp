#include "inspectionreport.h"

#include "countertext.h"
#include "texttable.h"

namespace tavik7 {

namespace {

constexpr int kLeadingPlusLabel = 2;
constexpr int kCounterStatusLabel = 14;

// "German / English" of an enumerated value; empty for an index that no item
// stands for, rather than the text of a neighbouring list.
QString bilingualItem(int firstTextId, int itemCount, qint8 index)
{
    if (index < 0 || index >= itemCount)
        return QString();
    const int id = firstTextId + index;
    return text(id, German) + QStringLiteral(" / ") + text(id, English);
}

} // namespace

QList<InspectionReportRow> inspectionReportRows(const ParameterRecord &r, const QString &counterText)
{
    QStringList labels;
    for (int k = 0; k <= kCounterStatusLabel; ++k) {
        if (k != kLeadingPlusLabel)
            labels.append(bilingualLabel(k));
    }
    QString counter = counterText;
    counter.remove(QLatin1Char(','));
    const QString values[kInspectionReportRowCount] = {
        fieldText(r.unit, kUnitWidth),
        QString::fromLatin1(significanceText(r.significance, r.leadingPlus).constData()),
        fieldText(r.manufacturer, kManufacturerWidth),
        fieldText(r.deviceType, kDeviceTypeWidth),
        fieldText(r.serialNumber, kSerialNumberWidth),
        fieldText(r.yearOfManufacture, kYearWidth),
        softwareVersionText(r.softwareVersion),
        softwareCrcText(r.softwareCrc),
        bilingualItem(103, 3, r.baudRate),
        bilingualItem(106, 6, r.transmitMode),
        bilingualItem(112, 2, r.direction),
        bilingualItem(114, 4, r.telegramB),
        bilingualItem(118, 2, r.crcStartValue),
        counter,
    };
    QList<InspectionReportRow> rows;
    for (int k = 0; k < kInspectionReportRowCount; ++k)
        rows.append({labels.at(k), values[k]});
    return rows;
}

} // namespace tavik7
