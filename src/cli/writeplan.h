#pragma once

#include <QString>
#include <QStringList>

#include "commandline.h"
#include "parameterrecord.h"

namespace tavik7::cli {

// A --set argument checked by the settings file's strict rules: empty when
// it is "KEY=VALUE" with a value that field takes, else the complaint.
[[nodiscard]] QString checkSetArgument(const QString &argument, int language);

// What write sends to one device: the settings file's values (read strictly
// before any port was opened) or, without a file, the device's own; the
// --set values over them; the fields --keep names and the firmware's version
// and CRC as the device holds them. One template thus serves many devices.
[[nodiscard]] ParameterRecord plannedWriteRecord(const ParameterRecord &device, const CliOptions &options);
// The same before --keep and the firmware's fields: what the file and --set ask for.
[[nodiscard]] ParameterRecord askedWriteRecord(const ParameterRecord &device, const CliOptions &options);

} // namespace tavik7::cli
