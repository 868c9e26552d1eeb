#include "flashtool.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace tavik7::flashtool {

namespace {

constexpr char kSuccessText[] = "Thank you.";
constexpr char kWindowsDevicePrefix[] = "\\\\.\\";

} // namespace

QString defaultToolPath(System system)
{
    return system == System::Windows ? QStringLiteral("AVRDude\\avrdude.exe") : QStringLiteral("AVRDude/avrdude");
}

Tool locateTool()
{
    const QString overridden = qEnvironmentVariable(kToolEnvironmentVariable);
    if (!overridden.isEmpty())
        return {overridden, QDir::toNativeSeparators(overridden)};

    const QString shown = defaultToolPath(kThisSystem);
    const QString inFolder = QDir::current().absoluteFilePath(QDir::fromNativeSeparators(shown));
    if (QFileInfo(inFolder).isFile())
        return {inFolder, shown};

    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("avrdude"));
    if (!onPath.isEmpty())
        return {onPath, QDir::toNativeSeparators(onPath)};
    return {inFolder, shown};
}

QString portArgument(System system, const QString &portName)
{
    if (system == System::Windows) {
        return portName.startsWith(QLatin1String(kWindowsDevicePrefix))
            ? portName
            : QLatin1String(kWindowsDevicePrefix) + portName;
    }
    return portName.startsWith(QLatin1Char('/')) ? portName : QStringLiteral("/dev/") + portName;
}

QStringList arguments(const QString &portArgument, const QString &hexPath)
{
    return {QStringLiteral("-u"), QStringLiteral("-p"), QStringLiteral("m168"), QStringLiteral("-b"),
            QStringLiteral("9600"), QStringLiteral("-c"), QStringLiteral("avr109"), QStringLiteral("-v"),
            QStringLiteral("-P"), portArgument, QStringLiteral("-U"),
            QStringLiteral("flash:w:") + hexPath + QStringLiteral(":i")};
}

QString commandLine(const QString &shownProgram, const QString &portArgument, const QString &hexPath)
{
    return QLatin1Char('"') + shownProgram + QStringLiteral("\" -u -p m168 -b 9600 -c avr109 -v -P ")
        + portArgument + QStringLiteral(" -U flash:w:\"") + hexPath + QStringLiteral("\":i");
}

bool runSucceeded(QProcess::ExitStatus status, int exitCode, const QString &output)
{
    return status == QProcess::NormalExit && exitCode == 0 && output.contains(QLatin1String(kSuccessText));
}

} // namespace tavik7::flashtool
