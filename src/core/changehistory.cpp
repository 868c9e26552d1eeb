#include "changehistory.h"

#include <QDateTime>
#include <QFile>

#include "recorddiff.h"
#include "regularfile.h"
#include "texttable.h"

namespace tavik7 {

namespace {

constexpr int kCounterLabel = 14;

} // namespace

QList<FieldChange> parameterChanges(const ParameterRecord &before, const ParameterRecord &after, int language)
{
    QList<FieldChange> changes;
    for (int field : differingFields(before, after)) {
        changes.append({bilingualFieldLabel(field), parameterValueText(before, field, language),
                        parameterValueText(after, field, language)});
    }
    return changes;
}

QList<FieldChange> parameterValues(const ParameterRecord &after, int language)
{
    QList<FieldChange> values;
    for (int field = 0; field < kParameterFieldCount; ++field)
        values.append({bilingualFieldLabel(field), QString(), parameterValueText(after, field, language)});
    return values;
}

FieldChange counterChange(const QString &oldText, const QString &newText)
{
    return {bilingualLabel(kCounterLabel), oldText, newText};
}

QByteArray csvField(const QString &text)
{
    QByteArray field = text.toUtf8();
    if (field.contains(',') || field.contains('"') || field.contains('\r') || field.contains('\n'))
        field = '"' + field.replace('"', "\"\"") + '"';
    return field;
}

QByteArray csvRow(const QStringList &fields)
{
    QByteArrayList cells;
    for (const QString &field : fields)
        cells.append(csvField(field));
    return cells.join(',') + "\r\n";
}

QByteArray changeHistoryHeader()
{
    return QByteArrayLiteral("Datum und Zeit/Date and time,Port,Seriennummer/Serial number,Feld/Field,"
                             "Alter Wert/Old value,Neuer Wert/New value\r\n");
}

QByteArray changeHistoryRecord(const QDateTime &when, const QString &port, const QString &serialNumber,
                               const QList<FieldChange> &changes)
{
    QByteArray record = csvField(when.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))) + ',' + csvField(port) + ','
        + csvField(serialNumber);
    for (const FieldChange &change : changes)
        record += ',' + csvField(change.name) + ',' + csvField(change.oldValue) + ',' + csvField(change.newValue);
    return record + "\r\n";
}

bool appendChangeHistory(const QString &path, const QByteArray &record)
{
    QFile file;
    if (!platform::openRegularFile(file, path, true))
        return false;
    const qint64 sizeBefore = file.size();
    // Header and first record in the same write: a second instance appending
    // at the same moment cannot slip in between them.
    const QByteArray bytes = sizeBefore == 0 ? changeHistoryHeader() + record : record;
    if (file.write(bytes) == bytes.size())
        return true;
    file.resize(sizeBefore);
    return false;
}

} // namespace tavik7
