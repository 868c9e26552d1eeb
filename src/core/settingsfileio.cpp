#include "settingsfileio.h"

#include <QFile>
#include <QFileInfo>

#include "regularfile.h"
#include "settingsfile.h"

namespace tavik7 {

bool isSettingsFileName(const QString &name)
{
    return name.contains(QLatin1String(".dat"));
}

MessageId loadSettingsFileNamed(const QString &name, ParameterRecord &record)
{
    if (name.isEmpty() || !isSettingsFileName(name))
        return MessageId::NoParameterFile;
    // Only a plain file: a pipe or a device with that name would block or
    // never end.
    QFile file(name);
    if (!QFileInfo(name).isFile() || !file.open(QIODevice::ReadOnly))
        return MessageId::NoParameterFile;
    const SettingsFileReading reading = readSettingsFile(file, record);
    switch (reading.status) {
    case SettingsFileStatus::HeaderFaulty: return MessageId::SettingsHeaderFaulty;
    case SettingsFileStatus::Incomplete: return MessageId::SettingsIncomplete;
    case SettingsFileStatus::Loaded: break;
    }
    return MessageId::SettingsLoaded;
}

MessageId saveSettingsFileNamed(const QString &name, const ParameterRecord &record)
{
    if (!isSettingsFileName(name))
        return MessageId::NoParameterFile;
    // A failed save leaves the previous file as it was, and a name that is
    // not a regular file (a FIFO, /dev/null) is not replaced by one.
    return platform::saveWholeFile(name, settingsFileLines(record).join()) ? MessageId::SettingsSaved
                                                                             : MessageId::SettingsSaveError;
}

} // namespace tavik7
