#include "parametersheet.h"

#include "countertext.h"
#include "recorddiff.h"
#include "texttable.h"

namespace tavik7 {

namespace {

bool isCellField(int field)
{
    return field >= 0 && field < kParameterFieldCount && kParameterFields[field].kind != FieldKind::Combo
        && kParameterFields[field].kind != FieldKind::Check;
}

int rowOfFlag(int flag)
{
    for (int row = 0; row < kParameterFieldCount; ++row) {
        if (plausibilityFlagOfRow(row) == flag)
            return row;
    }
    return -1;
}

} // namespace

ParameterSheet::ParameterSheet()
{
    initParameterRecord(m_record);
    showRecordInCells();
    // A zero reading until the device's arrives: moved to a device with
    // another digit count it stays complete rather than becoming a fault.
    m_counterText = QString(counterLength(), QLatin1Char('0'));
}

void ParameterSheet::setRecord(const ParameterRecord &record)
{
    const int oldLength = counterLength();
    const bool complete = counterComplete();
    m_record = record;
    showRecordInCells();
    relayCounter(oldLength, complete);
    judgeCells();
    lockService();
}

void ParameterSheet::showRecordInCells()
{
    for (int field = 0; field < kParameterFieldCount; ++field)
        m_cellTexts[field] = isCellField(field) ? parameterValueText(m_record, field, English) : QString();
}

bool ParameterSheet::counterComplete() const
{
    return counterTextPlausible(m_counterText, counterLength(), counterLength(), m_record.significance);
}

void ParameterSheet::relayCounter(int oldLength, bool complete)
{
    // A complete reading moved to a device with another digit count keeps
    // its value with a leading zero more or less; cut or left short it would
    // count as a counter fault that the device's next answer takes back.
    QString counter = m_counterText;
    bool relaid = false;
    if (counterLength() != oldLength && complete) {
        const QString reading = relayCounterReading(counter, m_record.significance, m_record.softwareVersion);
        relaid = !reading.isEmpty();
        if (relaid)
            counter = reading;
    }
    m_counterText = counter.left(counterLength());
    // Judged only when laid out anew: an entry nobody filled yet is no fault.
    const bool judged = m_judged[kCounterPlausibilityFlag];
    setFieldNumber(FieldSignificance, m_record.significance);
    m_judged[kCounterPlausibilityFlag] = judged || relaid;
}

QString ParameterSheet::cellText(int field) const
{
    if (isCellField(field))
        return m_cellTexts[field];
    return QString::number(fieldNumber(m_record, field));
}

QString ParameterSheet::setCellText(int field, const QString &text)
{
    if (!isCellField(field))
        return text;
    const CellVerdict verdict = checkParameterCell(field, text);
    const int oldLength = counterLength();
    const bool complete = counterComplete();
    m_cellTexts[field] = verdict.text;
    setFieldFromCellText(m_record, field, verdict.text);
    if (verdict.flag >= 0)
        m_judged[verdict.flag] = true;
    // The counter follows the firmware the table shows.
    if (counterLength() != oldLength)
        relayCounter(oldLength, complete);
    return verdict.text;
}

void ParameterSheet::setFieldNumber(int field, int number)
{
    if (field < 0 || field >= kParameterFieldCount || isCellField(field))
        return;
    tavik7::setFieldNumber(m_record, field, number);
    if (field != FieldSignificance)
        return;
    // Cut to the new length once the comma has moved: a reading that loses
    // its comma keeps all its digits.
    m_counterText =
        formatCounterText(m_counterText, m_record.significance, m_record.softwareVersion).left(counterLength());
    m_judged[kCounterPlausibilityFlag] = true;
}

int ParameterSheet::counterLength() const
{
    return tavik7::counterLength(m_record.significance, m_record.softwareVersion);
}

void ParameterSheet::setCounterText(const QString &text)
{
    m_counterText = text.left(counterLength());
    m_judged[kCounterPlausibilityFlag] = true;
}

void ParameterSheet::setCounterAnswer(const QByteArray &answer)
{
    setCounterText(parseCounterAnswer(answer, m_record.significance, m_record.softwareVersion).text);
}

bool ParameterSheet::flag(int flag) const
{
    if (flag < 0 || flag >= kPlausibilityFlagCount || !m_judged[flag])
        return false;
    if (flag == kCounterPlausibilityFlag)
        return !counterTextPlausible(m_counterText, counterLength(), counterLength(), m_record.significance);
    const int row = rowOfFlag(flag);
    return row >= 0 && !checkParameterCell(row, m_cellTexts[row]).plausible;
}

bool ParameterSheet::cellImplausible(int field) const
{
    return flag(plausibilityFlagOfRow(field));
}

bool ParameterSheet::comboHoldsItem(int field) const
{
    const ParameterField &f = kParameterFields[field];
    if (f.kind != FieldKind::Combo)
        return true;
    const int index = fieldNumber(m_record, field);
    return index >= 0 && index < f.itemCount;
}

bool ParameterSheet::tablePlausible() const
{
    for (int field = 0; field < kParameterFieldCount; ++field) {
        if (cellImplausible(field) || !comboHoldsItem(field))
            return false;
    }
    return true;
}

QList<int> ParameterSheet::implausibleFieldIds() const
{
    QList<int> fields;
    for (int field = 0; field < kParameterFieldCount; ++field) {
        if (cellImplausible(field) || !comboHoldsItem(field))
            fields.append(field);
    }
    return fields;
}

QList<ImplausibleField> ParameterSheet::implausibleFields() const
{
    QList<ImplausibleField> fields;
    for (int field : implausibleFieldIds()) {
        const QString reason = comboHoldsItem(field)
            ? QString::fromLatin1(kParameterFields[field].ruleReason)
            : QStringLiteral("no item for index %1").arg(fieldNumber(m_record, field));
        fields.append({QLatin1String(kParameterFields[field].jsonKey), reason});
    }
    if (!counterPlausible()) {
        fields.append({QStringLiteral("counter"),
                       QStringLiteral("not %1 digits with the comma in its place").arg(counterDigits(m_record.softwareVersion))});
    }
    return fields;
}

void ParameterSheet::deviceChanged(const std::optional<ParameterRecord> &device)
{
    if (m_device)
        m_device = device;
}

SheetView ParameterSheet::view(int language) const
{
    constexpr int kLabelHeaderTextId = 73;
    constexpr int kValueHeaderTextId = 74;
    SheetView shown;
    shown.headers = QStringList{text(kLabelHeaderTextId, language), text(kValueHeaderTextId, language)};
    for (int field = 0; field < kParameterFieldCount; ++field) {
        const ParameterField &f = kParameterFields[field];
        SheetRow &row = shown.rows[field];
        row.label = fieldLabel(field, language);
        row.text = cellText(field);
        for (int item = 0; item < f.itemCount; ++item)
            row.items.append(text(f.firstItemTextId + item, language));
        row.number = fieldNumber(m_record, field);
        row.editable = f.editable && (!f.serviceLocked || m_serviceUnlocked);
        row.implausible = cellImplausible(field);
    }
    // Against what a write would send: an edit back to the device's value drops its mark.
    if (m_device) {
        for (const auto &[field, tip] : differenceTips(m_record, *m_device, language))
            shown.rows[field].deviceTip = tip;
    }
    return shown;
}

void ParameterSheet::judgeCells()
{
    for (int flag = 0; flag < kPlausibilityFlagCount; ++flag)
        m_judged[flag] = m_judged[flag] || flag != kCounterPlausibilityFlag;
}

} // namespace tavik7
