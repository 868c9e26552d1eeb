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

// "field: device -> file" for each field whose value differs, software version
// and CRC left out (a write keeps the device's).
[[nodiscard]] QByteArray differenceLines(const ParameterRecord &device, const ParameterRecord &file);

// The script names of parameter fields (numbered as the table's rows), comma-separated.
[[nodiscard]] QString fieldNames(const QList<int> &fields);

// A JSON object whose members keep their order (QJsonObject sorts them).
[[nodiscard]] QByteArray jsonObject(const QList<QPair<QString, QString>> &members);

} // namespace tavik7::cli
