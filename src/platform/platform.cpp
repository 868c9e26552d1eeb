#include "platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace tavik7::platform {

QString appDataFolder()
{
    QString base = qEnvironmentVariable("APPDATA");
    if (base.isEmpty())
        base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return QDir::toNativeSeparators(base + QLatin1Char('/') + QLatin1String(kAppDataFolderName) + QLatin1Char('/'));
}

QString windowSettingsPath()
{
    return appDataFolder() + QStringLiteral("TAVIK7 PC Software.ini");
}

QSettings windowSettings()
{
    return QSettings(windowSettingsPath(), QSettings::IniFormat);
}

QString programFile(const QString &fileName, const char *variable)
{
    const QString beside = QCoreApplication::applicationDirPath() + QLatin1Char('/') + fileName;
    const QString named = qEnvironmentVariable(variable);
    return QFileInfo(beside).isFile() || named.isEmpty() || !QFileInfo(named).isFile() ? beside : named;
}

namespace {

constexpr char kReviewKey[] = "write/reviewBeforeWriting";

} // namespace

bool reviewBeforeWriting()
{
    return windowSettings().value(QLatin1String(kReviewKey)).toBool();
}

void rememberReviewBeforeWriting(bool on)
{
    windowSettings().setValue(QLatin1String(kReviewKey), on);
}

void ensureAppDataFolder(const QString &folder)
{
    const QString path = QDir::fromNativeSeparators(folder);
    if (QFileInfo(path).isDir())
        return;
#ifdef Q_OS_WIN
    QDir().mkdir(path);
#else
    // A new account has no ~/.local/share yet; without it nothing would ever
    // be logged, recorded or backed up for that user.
    QDir().mkpath(path);
#endif
}

QString avrdudeDir()
{
    return QDir::toNativeSeparators(QDir::currentPath() + QStringLiteral("/AVRDude/"));
}

bool extraPortPresent(const QString &path)
{
#ifdef Q_OS_WIN
    Q_UNUSED(path);
    return true;
#else
    return QFileInfo::exists(path);
#endif
}

QStringList extraPortPaths()
{
    return qEnvironmentVariable("TAVIK7_EXTRA_PORTS").split(QDir::listSeparator(), Qt::SkipEmptyParts);
}

QString portSystemLocation(const QString &portName)
{
#ifdef Q_OS_WIN
    return portName.startsWith(QLatin1String("\\\\.\\")) ? portName : QStringLiteral("\\\\.\\") + portName;
#else
    return portName.startsWith(QLatin1Char('/')) ? portName : QStringLiteral("/dev/") + portName;
#endif
}

bool samePort(const QString &a, const QString &b)
{
    return QString::compare(portSystemLocation(a), portSystemLocation(b), Qt::CaseInsensitive) == 0;
}

} // namespace tavik7::platform
