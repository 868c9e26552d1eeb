#pragma once

#include <QString>

#include <optional>

#include "console.h"
#include "parameterrecord.h"

class QDateTime;

namespace tavik7 {

// The device's parameters saved before its firmware is replaced, so that a
// flash gone wrong costs no settings. The .dat file holds the same bytes as a
// saved settings file, so the Load button takes it back. The counter cannot
// follow in that file (the loader stops at a line after the last key); it
// goes to a companion "<same name>.counter.txt", its text and CR LF.
inline constexpr char kBackupDataSuffix[] = ".dat";
inline constexpr char kBackupCounterSuffix[] = ".counter.txt";

// "Backup_<serial>_<yyyy-MM-dd_hh-mm-ss>", then "_2", "_3", ... for the
// attempts after the first. The serial number is made fit for a file name.
[[nodiscard]] QString backupBaseName(const QString &serialNumber, const QDateTime &when, int attempt = 1);

struct BackupResult
{
    enum Status { Written, Failed };
    Status status = Failed;
    QString dataFile;    // the name written, or the one that failed
    QString counterFile; // empty when no counter was known
    QString counterText;
};

// Writes both files into folder (with its trailing separator) under a name
// nobody holds yet: an existing backup is never replaced.
[[nodiscard]] BackupResult writeBackup(const QString &folder, const ParameterRecord &record,
                                       const std::optional<QString> &counterText, const QDateTime &when);

// The console line that tells where the backup went, or that it failed.
[[nodiscard]] ConsoleEntry backupNote(const BackupResult &result);

// A backup restores the settings, never the firmware's identity: version and
// checksum stay as the device reported them, or a later write would claim an
// older firmware and the counter would be laid out for it.
[[nodiscard]] ParameterRecord settingsFromBackup(const ParameterRecord &backup, const ParameterRecord &device);

} // namespace tavik7
