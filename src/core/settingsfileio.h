#pragma once

#include <QString>

#include "messageid.h"
#include "parameterrecord.h"

namespace tavik7 {

// A settings file chosen by name, as the Settings tab and the command-line
// program load and save it. Each returns the message that tells the outcome.

// SettingsLoaded, or NoParameterFile (no ".dat" in the name, not a plain
// file, unreadable: record unchanged), SettingsHeaderFaulty (record
// unchanged) or SettingsIncomplete (the lines before the faulty one stored).
[[nodiscard]] MessageId loadSettingsFileNamed(const QString &name, ParameterRecord &record);

// SettingsSaved, or NoParameterFile (no ".dat" in the name) or
// SettingsSaveError (the previous file, if any, is left as it was).
[[nodiscard]] MessageId saveSettingsFileNamed(const QString &name, const ParameterRecord &record);

// Any name that holds it counts, as the file dialogs' filter never insisted on it.
[[nodiscard]] bool isSettingsFileName(const QString &name);

} // namespace tavik7
