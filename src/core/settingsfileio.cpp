#include "settingsfileio.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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
    // Written aside and put in place only when complete: a failed save leaves
    // the previous file as it was. Unbuffered, because QSaveFile commits even
    // when flushing its buffer fails (a full disk); each line's write reports
    // its own failure instead.
    QSaveFile file(name);
    bool written = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    const QList<QByteArray> lines = settingsFileLines(record);
    for (const QByteArray &line : lines) {
        if (!written)
            break;
        written = file.write(line) == line.size();
    }
    if (!written || !file.commit()) {
        file.cancelWriting();
        return MessageId::SettingsSaveError;
    }
    return MessageId::SettingsSaved;
}

} // namespace tavik7
