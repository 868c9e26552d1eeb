#include "booklocation.h"

#include <QDir>

#include "changehistory.h"
#include "platform.h"

namespace tavik7::book {

QString bookPath(const QString &option)
{
    if (!option.isEmpty())
        return option;
    const QString fromEnvironment = qEnvironmentVariable(kBookEnvironmentVariable);
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    const QString folder = platform::appDataFolder();
    platform::ensureAppDataFolder(folder);
    return folder + QLatin1String(kBookFileName);
}

QString userChangeHistoryPath()
{
    return platform::appDataFolder() + QLatin1String(kChangeHistoryFileName);
}

QString loginName()
{
    for (const char *name : {"USER", "LOGNAME", "USERNAME"}) {
        const QString value = qEnvironmentVariable(name);
        if (!value.isEmpty())
            return value;
    }
    return QStringLiteral("unknown");
}

} // namespace tavik7::book
