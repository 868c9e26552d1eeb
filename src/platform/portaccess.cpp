#include "portaccess.h"

#include <QFileInfo>

#include "platform.h"

#ifdef Q_OS_UNIX
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
    QString name = qEnvironmentVariable("USER");
    if (name.isEmpty())
        name = qEnvironmentVariable("USERNAME");
    return name;
}

} // namespace tavik7::platform
