#include "recorddiff.h"

#include "countertext.h"
#include "texttable.h"

namespace tavik7 {

namespace {

enum Field {
    FieldUnit,
    FieldSignificance,
    FieldLeadingPlus,
    FieldManufacturer,
    FieldDeviceType,
    FieldSerialNumber,
    FieldYear,
    FieldSoftwareVersion,
    FieldSoftwareCrc,
    FieldBaudRate,
    FieldTransmitMode,
    FieldDirection,
    FieldTelegramB,
    FieldCrcStartValue,
};

// The items of the table's combo box cells: first TextId and count.
struct ComboItems
{
    int firstTextId;
    int count;
};

QString comboText(qint8 index, ComboItems items, int language)
{
    if (index < 0 || index >= items.count)
        return QString::number(index);
    return text(items.firstTextId + index, language);
}

// One comparable value per field; what the table would show apart from the language.
QString fieldKey(const ParameterRecord &r, int field)
{
    switch (field) {
    case FieldUnit: return fieldText(r.unit, kUnitWidth);
    case FieldSignificance: return QString::number(r.significance);
    case FieldLeadingPlus: return QString::number(r.leadingPlus != 0 ? 1 : 0);
    case FieldManufacturer: return fieldText(r.manufacturer, kManufacturerWidth);
    case FieldDeviceType: return fieldText(r.deviceType, kDeviceTypeWidth);
    case FieldSerialNumber: return fieldText(r.serialNumber, kSerialNumberWidth);
    case FieldYear: return fieldText(r.yearOfManufacture, kYearWidth);
    case FieldSoftwareVersion: return softwareVersionText(r.softwareVersion);
    case FieldSoftwareCrc: return softwareCrcText(r.softwareCrc);
    case FieldBaudRate: return QString::number(r.baudRate);
    case FieldTransmitMode: return QString::number(r.transmitMode);
    case FieldDirection: return QString::number(r.direction);
    case FieldTelegramB: return QString::number(r.telegramB);
    case FieldCrcStartValue: return QString::number(r.crcStartValue);
    default: return QString();
    }
}

} // namespace

QString parameterValueText(const ParameterRecord &r, int field, int language)
{
    switch (field) {
    case FieldSignificance: return comboText(r.significance, {97, 6}, language);
    case FieldBaudRate: return comboText(r.baudRate, {103, 3}, language);
    case FieldTransmitMode: return comboText(r.transmitMode, {106, 6}, language);
    case FieldDirection: return comboText(r.direction, {112, 2}, language);
    case FieldTelegramB: return comboText(r.telegramB, {114, 4}, language);
    case FieldCrcStartValue: return comboText(r.crcStartValue, {118, 2}, language);
    default: return fieldKey(r, field);
    }
}

QList<int> differingFields(const ParameterRecord &a, const ParameterRecord &b)
{
    QList<int> fields;
    for (int field = 0; field < kParameterFieldCount; ++field) {
        if (fieldKey(a, field) != fieldKey(b, field))
            fields.append(field);
    }
    return fields;
}

} // namespace tavik7
