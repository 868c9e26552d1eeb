#include "historyimport.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QHash>

#include "changehistory.h"
#include "parameterfields.h"
#include "texttable.h"

namespace tavik7::book {

namespace {

constexpr int kCounterLabel = 14;

// RFC 4180: a quoted field may hold commas, doubled quotes and line breaks.
// Each record comes with its raw bytes for the import key.
struct CsvRecord
{
    QStringList fields;
    QByteArray raw;
};

QList<CsvRecord> splitCsv(const QByteArray &data)
{
    QList<CsvRecord> records;
    CsvRecord current;
    QByteArray field;
    bool quoted = false;
    qsizetype start = 0;
    for (qsizetype i = 0; i < data.size(); ++i) {
        const char c = data.at(i);
        if (quoted) {
            if (c == '"' && i + 1 < data.size() && data.at(i + 1) == '"')
                field += data.at(++i);
            else if (c == '"')
                quoted = false;
            else
                field += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            current.fields.append(QString::fromUtf8(field));
            field.clear();
        } else if (c == '\n') {
            if (field.endsWith('\r'))
                field.chop(1);
            current.fields.append(QString::fromUtf8(field));
            current.raw = data.mid(start, i + 1 - start);
            records.append(current);
            current = {};
            field.clear();
            start = i + 1;
        } else {
            field += c;
        }
    }
    if (!field.isEmpty() || !current.fields.isEmpty()) {
        current.fields.append(QString::fromUtf8(field));
        current.raw = data.mid(start);
        records.append(current);
    }
    return records;
}

int fieldOfLabel(const QString &label)
{
    for (int field = 0; field < kParameterFieldCount; ++field) {
        if (bilingualFieldLabel(field) == label)
            return field;
    }
    return -1;
}

// The history holds a combo box's item text in the language of its day.
QString settingsValue(int field, const QString &value)
{
    if (field < 0 || kParameterFields[field].kind != FieldKind::Combo)
        return value;
    for (int item = 0; item < kParameterFields[field].itemCount; ++item) {
        const int id = kParameterFields[field].firstItemTextId + item;
        if (value == text(id, German) || value == text(id, English))
            return QString::number(item);
    }
    return value;
}

BookChange importedChange(const QString &name, const QString &oldValue, const QString &newValue)
{
    if (name == bilingualLabel(kCounterLabel))
        return {QStringLiteral("counter"), oldValue, newValue};
    const int field = fieldOfLabel(name);
    if (field < 0)
        return {name, oldValue, newValue};
    return {QLatin1String(kParameterFields[field].jsonKey), settingsValue(field, oldValue),
            settingsValue(field, newValue)};
}

BookEvent importEvent(const QStringList &fields)
{
    BookEvent event;
    event.action = BookAction::Import;
    // Written in local time, to the second.
    const QDateTime when = QDateTime::fromString(fields.at(0), QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    event.timeMs = when.isValid() ? when.toMSecsSinceEpoch() : 0;
    event.port = fields.at(1);
    if (!fields.at(2).isEmpty())
        event.serialNumber = fields.at(2);
    for (int i = 3; i + 2 < fields.size(); i += 3)
        event.changes.append(importedChange(fields.at(i), fields.at(i + 1), fields.at(i + 2)));
    return event;
}

} // namespace

QList<ImportedRecord> parseChangeHistory(const QByteArray &data)
{
    QList<ImportedRecord> imported;
    QHash<QByteArray, int> seen;
    const QByteArray header = changeHistoryHeader().trimmed();
    for (const CsvRecord &record : splitCsv(data)) {
        if (record.fields.size() < 3 || record.raw.trimmed() == header)
            continue;
        const QByteArray lineHash = QCryptographicHash::hash(record.raw.trimmed(), QCryptographicHash::Sha256);
        const int occurrence = seen[lineHash]++;
        const QByteArray key = lineHash + QByteArray::number(occurrence);
        imported.append({key, importEvent(record.fields)});
    }
    return imported;
}

} // namespace tavik7::book
