#include "portaccess.h"

#include <QFileInfo>

#include "platform.h"

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tavik7::platform {

QString deviceFileGroup(const QString &portName)
{
#ifdef Q_OS_UNIX
    return QFileInfo(portSystemLocation(portName)).group();
#else
    Q_UNUSED(portName);
    return QString();
#endif
}

bool deviceFileGroupGrantsAccess(const QString &portName)
{
#ifdef Q_OS_UNIX
    struct stat info;
    if (::stat(QFile::encodeName(portSystemLocation(portName)).constData(), &info) != 0)
        return true; // unknown: the usual advice stands
    const mode_t groupReadWrite = S_IRGRP | S_IWGRP;
    return (info.st_mode & groupReadWrite) == groupReadWrite && info.st_gid != 0;
#else
    Q_UNUSED(portName);
    return true;
#endif
}

bool deviceFileAccessible(const QString &portName)
{
#ifdef Q_OS_UNIX
    return ::access(QFile::encodeName(portSystemLocation(portName)).constData(), R_OK | W_OK) == 0;
#else
    Q_UNUSED(portName);
    return true;
#endif
}

QString currentUserName()
{
    for (const char *variable : {"USER", "LOGNAME", "USERNAME"}) {
        if (QString name = qEnvironmentVariable(variable); !name.isEmpty())
            return name;
    }
#ifdef Q_OS_UNIX
    // A service or a container's shell may set none of them; the account
    // database still knows who runs the program.
    if (const passwd *account = getpwuid(geteuid()); account && account->pw_name)
        return QString::fromLocal8Bit(account->pw_name);
#endif
    return QString();
}

} // namespace tavik7::platform
