#include "backupfile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include "filenames.h"
#include "parameterfields.h"
#include "regularfile.h"
#include "settingsfile.h"
#include "texttable.h"

namespace tavik7 {

namespace {

// Far more than two instances flashing in one second could ever need; the
// bound only keeps a folder that refuses every name from looping.
constexpr int kMaxNameAttempts = 100;

enum class Claim { Taken, Claimed, Refused };

// QSaveFile commits by renaming over its target, and a rename replaces
// whatever is there: checking for a free name and then saving would let two
// instances flashing in the same second both pass the check and the later
// commit destroy the earlier backup. So the name is claimed first by creating
// the file exclusively (O_EXCL, which only one creator can win), and the
// content then replaces that empty placeholder, still in one atomic rename.
Claim claim(const QString &path)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return Claim::Claimed;
    return QFile::exists(path) ? Claim::Taken : Claim::Refused;
}

bool saveLines(const QString &path, const QList<QByteArray> &lines)
{
    return platform::saveWholeFile(path, lines.join());
}

// Claims the data file and, if needed, the counter file of the first free
// name; the result names them, with status Written once both are held.
BackupResult claimNames(const QString &folder, const QString &serialNumber, const QDateTime &when,
                        bool withCounter)
{
    BackupResult names;
    for (int attempt = 1; attempt <= kMaxNameAttempts; ++attempt) {
        const QString base = folder + backupBaseName(serialNumber, when, attempt);
        names.dataFile = base + QLatin1String(kBackupDataSuffix);
        names.counterFile = withCounter ? base + QLatin1String(kBackupCounterSuffix) : QString();
        const Claim data = claim(names.dataFile);
        if (data == Claim::Refused)
            return names;
        if (data == Claim::Taken)
            continue;
        const Claim counter = withCounter ? claim(names.counterFile) : Claim::Claimed;
        if (counter == Claim::Claimed) {
            names.status = BackupResult::Written;
            return names;
        }
        QFile::remove(names.dataFile);
        if (counter == Claim::Refused)
            return names;
    }
    return names;
}

} // namespace

QString backupBaseName(const QString &serialNumber, const QDateTime &when, int attempt)
{
    QString base = QStringLiteral("Backup_") + fileNamePart(serialNumber) + QLatin1Char('_')
        + when.toString(QStringLiteral("yyyy-MM-dd_hh-mm-ss"));
    if (attempt > 1)
        base += QLatin1Char('_') + QString::number(attempt);
    return base;
}

BackupResult writeBackup(const QString &folder, const ParameterRecord &record,
                         const std::optional<QString> &counterText, const QDateTime &when)
{
    BackupResult result = claimNames(folder, fieldText(record.serialNumber, kSerialNumberWidth), when,
                                     counterText.has_value());
    result.counterText = counterText.value_or(QString());
    if (result.status != BackupResult::Written)
        return result;

    const bool dataSaved = saveLines(result.dataFile, settingsFileLines(record));
    const bool counterSaved =
        !counterText || (dataSaved && saveLines(result.counterFile, {counterText->toLatin1() + "\r\n"}));
    if (dataSaved && counterSaved)
        return result;
    // Only the empty placeholders go; a data file already complete stays.
    if (!dataSaved)
        QFile::remove(result.dataFile);
    if (counterText)
        QFile::remove(result.counterFile);
    result.status = BackupResult::Failed;
    return result;
}

ConsoleEntry backupNote(const BackupResult &result)
{
    const QString data = QDir::toNativeSeparators(result.dataFile);
    if (result.status != BackupResult::Written)
        return {MessageId::NoteBackupFailed, {data}};
    if (result.counterFile.isEmpty())
        return {MessageId::NoteBackupSaved, {data}};
    return {MessageId::NoteBackupSavedWithCounter,
            {data, result.counterText, QDir::toNativeSeparators(result.counterFile)}};
}

ParameterRecord settingsFromBackup(const ParameterRecord &backup, const ParameterRecord &device)
{
    ParameterRecord settings = backup;
    for (int field = 0; field < kParameterFieldCount; ++field) {
        if (!kParameterFields[field].editable)
            copyField(settings, device, field);
    }
    return settings;
}

} // namespace tavik7
