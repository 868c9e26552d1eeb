// Saving the parameter table to a settings file and loading it back.

#include <QDate>

#include "backupfile.h"
#include "filehooks.h"
#include "filenames.h"
#include "settingsfileio.h"
#include "tavik7_bediensoftware.h"

namespace {

constexpr QLatin1String kSettingsFilter("*.dat");

} // namespace

QString TAVIK7_Bediensoftware::deviceFileSuggestion() const
{
    return tavik7::deviceFileSuggestion(
        appDataFolder, tavik7::fieldText(sheet.record().serialNumber, tavik7::kSerialNumberWidth),
        QDate::currentDate());
}

void TAVIK7_Bediensoftware::onLoadSettingsClicked()
{
    loadSettingsFile(tavik7::askFileName(
        {tavik7::FileNameRequest::Open, this, textFor(tavik7::LoadSettingsCaption), appDataFolder, kSettingsFilter}));
}

void TAVIK7_Bediensoftware::loadSettingsFile(const QString &name,
                                             const std::optional<tavik7::ParameterRecord> &firmwareOf)
{
    // Into a copy: a file that stops half-way leaves the table as it was.
    tavik7::ParameterRecord record = sheet.record();
    const tavik7::MessageId result = tavik7::loadSettingsFileNamed(name, record);
    showMessage(result, false);
    if (result != tavik7::MessageId::SettingsLoaded)
        return;
    sheet.setRecord(firmwareOf ? tavik7::settingsFromBackup(record, *firmwareOf) : record);
    // Marked where it would change what the device was last seen to hold.
    sheet.compareWith(deviceLink->memory()->record());
    fillParameterTable();
    // The fill's checks run cell by cell while the table is half old, half
    // new; the buttons follow the complete table, including a combo that an
    // index from the file left empty.
    updatePlausibilityState();
    showWizardStep(1);
}

void TAVIK7_Bediensoftware::onSaveSettingsClicked()
{
    const QString name = tavik7::askFileName({tavik7::FileNameRequest::Save, this, textFor(tavik7::SaveSettingsCaption),
                                              deviceFileSuggestion(), kSettingsFilter});
    if (name.isEmpty())
        return;
    if (!tavik7::isSettingsFileName(name)) {
        showMessage(tavik7::MessageId::NoParameterFile, false);
        return;
    }
    showMessage(tavik7::saveSettingsFileNamed(name, sheet.record()), false);
}
