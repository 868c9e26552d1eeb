// Saving the parameter table to a settings file and loading it back.

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "backupfile.h"
#include "filehooks.h"
#include "filenames.h"
#include "settingsfile.h"
#include "tavik7_bediensoftware.h"

namespace {

constexpr qint8 kMsgLoaded = 5;
constexpr qint8 kMsgSaved = 6;
constexpr qint8 kMsgHeaderFaulty = 56;
constexpr qint8 kMsgIncomplete = 57;
constexpr qint8 kMsgSaveError = 58;
constexpr qint8 kMsgNoParameterFile = 64;

constexpr int kLoadCaptionTextId = 120;
constexpr int kSaveCaptionTextId = 121;

constexpr QLatin1String kSettingsFilter("*.dat");
// Any name that holds it, as the file dialog's filter does not insist on it.
constexpr QLatin1String kSettingsExtension(".dat");

} // namespace

QString TAVIK7_Bediensoftware::deviceFileSuggestion() const
{
    return tavik7::deviceFileSuggestion(
        appDataFolder, tavik7::fieldText(parameterRecord.serialNumber, tavik7::kSerialNumberWidth),
        QDate::currentDate());
}

void TAVIK7_Bediensoftware::onLoadSettingsClicked()
{
    loadSettingsFile(tavik7::askFileName(
        {tavik7::FileNameRequest::Open, this, textFor(kLoadCaptionTextId), appDataFolder, kSettingsFilter}));
}

void TAVIK7_Bediensoftware::loadSettingsFile(const QString &name,
                                             const std::optional<tavik7::ParameterRecord> &firmwareOf)
{
    if (name.isEmpty() || !name.contains(kSettingsExtension)) {
        showMessage(kMsgNoParameterFile, false);
        return;
    }

    // Only a plain file: a pipe or a device with that name would block the
    // window or never end.
    QFile file(name);
    if (!QFileInfo(name).isFile() || !file.open(QIODevice::ReadOnly)) {
        showMessage(kMsgNoParameterFile, false);
        return;
    }
    const tavik7::SettingsFileReading reading = tavik7::readSettingsFile(file, parameterRecord);
    file.close();

    switch (reading.status) {
    case tavik7::SettingsFileStatus::HeaderFaulty:
        showMessage(kMsgHeaderFaulty, false);
        return;
    case tavik7::SettingsFileStatus::Incomplete:
        showMessage(kMsgIncomplete, false);
        return;
    case tavik7::SettingsFileStatus::Loaded:
        break;
    }
    if (firmwareOf)
        parameterRecord = tavik7::settingsFromBackup(parameterRecord, *firmwareOf);
    showMessage(kMsgLoaded, false);
    fillParameterTable();
    // The fill's checks run cell by cell while the table is half old, half
    // new; the buttons follow the complete table, including a combo that an
    // index from the file left empty.
    updatePlausibilityState();
    showWizardStep(1);
    markDifferencesFromDevice();
}

void TAVIK7_Bediensoftware::onSaveSettingsClicked()
{
    const QString name = tavik7::askFileName({tavik7::FileNameRequest::Save, this, textFor(kSaveCaptionTextId),
                                              deviceFileSuggestion(), kSettingsFilter});
    if (name.isEmpty())
        return;
    if (!name.contains(kSettingsExtension)) {
        showMessage(kMsgNoParameterFile, false);
        return;
    }
    readParameterTable();

    // Written aside and put in place only when complete: a failed save leaves
    // the previous file as it was. Unbuffered, because QSaveFile commits even
    // when flushing its buffer fails (a full disk), each line's write reports
    // its own failure instead.
    QSaveFile file(name);
    bool written = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    const QList<QByteArray> lines = tavik7::settingsFileLines(parameterRecord);
    for (const QByteArray &line : lines) {
        if (!written)
            break;
        written = file.write(line) == line.size();
    }
    if (!written || !file.commit()) {
        file.cancelWriting();
        showMessage(kMsgSaveError, false);
        return;
    }
    showMessage(kMsgSaved, false);
}
