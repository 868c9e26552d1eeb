#include "inputchecks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "clitexts.h"
#include "intelhex.h"
#include "planjobs.h"
#include "regularfile.h"
#include "settingsfileio.h"
#include "settingsfilestrict.h"
#include "texttable.h"
#include "wiretrace.h"

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
    return QStringLiteral("%1, line %2: %3; nothing sent")
        .arg(shown)
        .arg(check.line)
        .arg(intelHexFaultText(check.fault));
}

// What is wrong with the file as a whole first, then the window's loader for
// its messages on a missing or foreign file, then the strict reading's line,
// which refuses what that loader would store as 0.
QString settingsComplaint(const QString &path, int language)
{
    using Fault = StrictSettingsReading::Fault;
    const QString shown = QDir::toNativeSeparators(path);
    const StrictSettingsReading strict = readSettingsFileStrictNamed(path);
    if (strict.fault == Fault::NotRegularFile && QFileInfo::exists(path))
        return cliText(CliText::NotRegularFile, language).arg(shown);
    if (strict.fault == Fault::TooLarge)
        return cliText(CliText::SettingsTooLarge, language).arg(shown).arg(kLargestSettingsFileBytes / 1024);
    ParameterRecord scratch;
    initParameterRecord(scratch);
    const MessageId loaded = loadSettingsFileNamed(path, scratch);
    if (loaded != MessageId::SettingsLoaded)
        return shown + QStringLiteral(": ") + plainText(messageText(int(loaded), language));
    if (strict.ok)
        return {};
    const QString where = strict.key.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(strict.key);
    return QStringLiteral("%1, line %2%3: not a value this field takes; nothing sent")
        .arg(shown)
        .arg(strict.line)
        .arg(where);
}

// A log that cannot take a line would leave the run without its record:
// opened (and created) here as the listener will open it.
QString logComplaint(const QString &path, int language)
{
    QFile file;
    if (path.isEmpty() || platform::openRegularFile(file, path, true))
        return {};
    return cliText(CliText::LogUnwritable, language).arg(QDir::toNativeSeparators(path));
}

// Refused before any port opens; the save asks the same again.
QString outputComplaint(const QString &path, bool standardOutput, int language)
{
    if (path.isEmpty() || platform::outputTarget(path, standardOutput) != platform::OutputTarget::Refused)
        return {};
    return cliText(CliText::NotRegularFile, language).arg(QDir::toNativeSeparators(path));
}

// Each port's trace file, opened (and created) as the trace will open it:
// refused before any port opens, as an unwritable NAMUR log is.
QString traceComplaint(const CliOptions &options)
{
    if (options.traceFile.isEmpty())
        return {};
    for (const QString &port : options.ports) {
        const QString path = traceFileFor(options.traceFile, port, int(options.ports.size()));
        QFile file;
        if (!platform::openRegularFile(file, path, false))
            return cliText(CliText::TraceUnwritable, options.language).arg(QDir::toNativeSeparators(path));
    }
    return {};
}

QString commandComplaint(const CliOptions &options)
{
    switch (options.command) {
    case Command::Flash: return firmwareComplaint(options.inputFile);
    case Command::Apply: return planFileComplaint(options.inputFile, options.language);
    case Command::Plan:
        if (const QString complaint = outputComplaint(options.outputFile, true, options.language); !complaint.isEmpty())
            return complaint;
        [[fallthrough]];
    case Command::Write:
    case Command::Check:
        return options.inputFile.isEmpty() ? QString() : settingsComplaint(options.inputFile, options.language);
    case Command::Provision:
        if (!options.defaultsFile.isEmpty())
            if (const QString complaint = settingsComplaint(options.defaultsFile, options.language); !complaint.isEmpty())
                return complaint;
        return options.firmwareFile.isEmpty() ? QString() : firmwareComplaint(options.firmwareFile);
    case Command::Namur: return logComplaint(options.logFile, options.language);
    case Command::Read: return outputComplaint(options.outputFile, false, options.language);
    case Command::Report: return outputComplaint(options.outputFile, true, options.language);
    default: return {};
    }
}

} // namespace

QString checkInputFiles(const CliOptions &options)
{
    const QString complaint = commandComplaint(options);
    return complaint.isEmpty() ? traceComplaint(options) : complaint;
}

} // namespace tavik7::cli
