#include "inputchecks.h"

#include <QDir>

#include "intelhex.h"

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

} // namespace

QString checkInputFiles(const CliOptions &options)
{
    if (options.command == Command::Flash)
        return firmwareComplaint(options.inputFile);
    return {};
}

} // namespace tavik7::cli
