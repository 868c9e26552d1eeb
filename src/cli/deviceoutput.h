#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include "parameterrecord.h"

namespace tavik7::cli {

// One device as a script sees it: every value the text a settings file holds
// for it, the counter the digits the device sent.
[[nodiscard]] QByteArray deviceJsonLine(const QString &port, const ParameterRecord &record, const QString &counter);
[[nodiscard]] QByteArray devicePlainLines(const QString &port, const ParameterRecord &record,
                                          const QString &counter);

// "field: device -> file" for each of differingFields().
[[nodiscard]] QByteArray differenceLines(const ParameterRecord &device, const ParameterRecord &file);

// A field's value exactly as the settings file writes it.
[[nodiscard]] QString fileValueText(const ParameterRecord &record, int field);
// Text for a terminal: control bytes as \xNN, so a device's garbage cannot
// move the cursor or ring the bell.
[[nodiscard]] QString escapedText(const QString &text);
// The value for a message: escaped, in quotes when it has blanks or is empty.
[[nodiscard]] QString shownValue(const ParameterRecord &record, int field);

// The fields whose values differ, those the device keeps as its own
// (software version and CRC) left out.
[[nodiscard]] QList<int> differingFields(const ParameterRecord &device, const ParameterRecord &file);

// The one line a failed port gets with --json: exactly port, error, exit and
// message, and for "differs" the fields as [{"key","device","file"}...].
[[nodiscard]] QByteArray failureJsonLine(const QString &port, const QString &error, int exitCode,
                                         const QString &message, const ParameterRecord *device = nullptr,
                                         const ParameterRecord *file = nullptr);
// The same for a write that failed after its telegram went out, with what
// the device may hold: "sent", and the counter reading left to set again.
[[nodiscard]] QByteArray failureJsonLine(const QString &port, const QString &error, int exitCode,
                                         const QString &message, const QList<QPair<QString, QString>> &facts);

// write's line: port, changed (the keys written with another value) and
// verified ("yes" when the device was read back and held them).
[[nodiscard]] QByteArray writeJsonLine(const QString &port, const QList<int> &changed, bool verified);

// Each JSON line of bytes with "book":"missed" (or "waiting") and the book's reason word
// added, so that a script that needs the record can check it; other bytes
// (a PDF on stdout) as they are.
// kept: the event waits in the outbox ("book":"waiting") rather than being lost.
[[nodiscard]] QByteArray withBookMissed(const QByteArray &bytes, const QString &reason, bool kept = false);

// The field whose script name is key, or -1.
[[nodiscard]] int fieldByKey(const QString &key);

// The script names of parameter fields (numbered as the table's rows), comma-separated.
[[nodiscard]] QString fieldNames(const QList<int> &fields);

// A JSON object whose members keep their order (QJsonObject sorts them).
[[nodiscard]] QByteArray jsonObject(const QList<QPair<QString, QString>> &members);

} // namespace tavik7::cli
