#include "recorddiff.h"

#include "texttable.h"

namespace tavik7 {

namespace {

// What the table would show apart from the language. A combo index compares
// as its number: the bare text of index -1 would equal the item "-1".
QString comparable(const ParameterRecord &r, int field)
{
    if (kParameterFields[field].kind == FieldKind::Combo)
        return QString::number(fieldNumber(r, field));
    return parameterValueText(r, field, German);
}

} // namespace

QList<int> differingFields(const ParameterRecord &a, const ParameterRecord &b)
{
    QList<int> fields;
    for (int field = 0; field < kParameterFieldCount; ++field) {
        if (comparable(a, field) != comparable(b, field))
            fields.append(field);
    }
    return fields;
}

QList<std::pair<int, QString>> differenceTips(const ParameterRecord &table, const ParameterRecord &device,
                                             int language)
{
    const QString tip = language == German ? QStringLiteral("Im Gerät: %1") : QStringLiteral("In the device: %1");
    QList<std::pair<int, QString>> tips;
    for (int field : differingFields(table, device))
        tips.append({field, tip.arg(parameterValueText(device, field, language))});
    return tips;
}

} // namespace tavik7
