#include "inputchecks.h"

#include <QDir>

#include "clitexts.h"
#include "intelhex.h"
#include "settingsfileio.h"
#include "settingsfilestrict.h"
#include "texttable.h"

namespace tavik7::cli {

namespace {

QString firmwareComplaint(const QString &path)
{
    const IntelHexCheck check = checkIntelHexFile(path);
    if (check.ok())
        return {};
    const QString shown = QDir::toNativeSeparators(path);
    if (check.line == 0)
        return QStringLiteral("%1: %2; nothing sent").arg(shown, intelHexFaultText(check.fault));
    return QStringLiteral("%1, line %2: %3; nothing sent").arg(shown).arg(check.line).arg(intelHexFaultText(check.fault));
}

// The window's loader first, for its messages on a missing or foreign file;
// then the strict reading, which refuses what that loader would store as 0.
QString settingsComplaint(const QString &path, int language)
{
    ParameterRecord scratch;
    initParameterRecord(scratch);
    const MessageId loaded = loadSettingsFileNamed(path, scratch);
    const QString shown = QDir::toNativeSeparators(path);
    if (loaded != MessageId::SettingsLoaded)
        return shown + QStringLiteral(": ") + plainText(messageText(int(loaded), language));
    const StrictSettingsReading strict = readSettingsFileStrictNamed(path);
    if (strict.ok)
        return {};
    const QString where = strict.key.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(strict.key);
    return QStringLiteral("%1, line %2%3: not a value this field takes; nothing sent")
        .arg(shown)
        .arg(strict.line)
        .arg(where);
}

} // namespace

QString checkInputFiles(const CliOptions &options)
{
    switch (options.command) {
    case Command::Flash: return firmwareComplaint(options.inputFile);
    case Command::Write: return settingsComplaint(options.inputFile, options.language);
    default: return {};
    }
}

} // namespace tavik7::cli
