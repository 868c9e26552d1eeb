#pragma once

#include <QByteArray>
#include <QList>

#include "parameterfields.h"

class QIODevice;

namespace tavik7 {

// A settings file is Latin-1 text with CR LF line ends: this header line, then
// one "key=value" line per parameter in a fixed order. The keys are bilingual
// and do not follow the interface language.
inline constexpr char kSettingsFileHeader[] = "[Tavik-Parameter]\r\n";
constexpr int kSettingsFileParameterCount = kParameterFieldCount;

// Key of parameter line i (0 = unit .. 13 = CRC start value) as the file holds it.
[[nodiscard]] QByteArray settingsFileKey(int i);

// The 15 lines of the file for record, each with its CR LF.
[[nodiscard]] QList<QByteArray> settingsFileLines(const ParameterRecord &record);

enum class SettingsFileStatus {
    Loaded,       // end of file reached; a file that ends early counts as loaded
    HeaderFaulty, // the record is unchanged
    Incomplete,   // a line lacked its key; the lines before it are stored
};

struct SettingsFileReading
{
    SettingsFileStatus status = SettingsFileStatus::Loaded;
    int valuesStored = 0; // parameter lines stored into the record
};

// Reads a settings file from device into record, line by line, storing each
// value as soon as its line has shown its key. Index values are stored
// without a range check. Memory stays bounded whatever the file holds.
[[nodiscard]] SettingsFileReading readSettingsFile(QIODevice &device, ParameterRecord &record);

} // namespace tavik7
