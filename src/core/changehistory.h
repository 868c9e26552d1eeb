#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include "parameterrecord.h"

class QDateTime;

namespace tavik7 {

// The history of what was written to devices, in the per-user folder: one CSV
// line per acknowledged write (RFC 4180, UTF-8, CR LF), after a header line.
inline constexpr char kChangeHistoryFileName[] = "Tavik7_Change_History.csv";

struct FieldChange
{
    QString name;
    QString oldValue;
    QString newValue;
};

// The fields of after that differ from before, named by their bilingual
// labels, with their values as the table shows them in the given language.
[[nodiscard]] QList<FieldChange> parameterChanges(const ParameterRecord &before, const ParameterRecord &after,
                                                  int language);
// Every field of after with no old value: a write with nothing read before it.
[[nodiscard]] QList<FieldChange> parameterValues(const ParameterRecord &after, int language);
// The counter status as the entry showed it before and after its write.
[[nodiscard]] FieldChange counterChange(const QString &oldText, const QString &newText);

// One CSV field: quoted (with inner quotes doubled) when it holds a comma, a
// quote or a line break; UTF-8.
[[nodiscard]] QByteArray csvField(const QString &text);
// One line of such fields, with its CR LF.
[[nodiscard]] QByteArray csvRow(const QStringList &fields);

// The header line, with its CR LF.
[[nodiscard]] QByteArray changeHistoryHeader();

// One record with its CR LF: date and time, port, serial number, then name,
// old value and new value of each change.
[[nodiscard]] QByteArray changeHistoryRecord(const QDateTime &when, const QString &port, const QString &serialNumber,
                                             const QList<FieldChange> &changes);

// Appends record to the history at path in one write, with the header first
// when the file is empty. Never follows a link and writes only into a regular
// file; a record that does not fit is taken back whole. False when the record
// is not in the file.
[[nodiscard]] bool appendChangeHistory(const QString &path, const QByteArray &record);

} // namespace tavik7
