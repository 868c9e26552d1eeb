#include "booklocation.h"

#include <QDir>

#include "bookevent.h"
#include "changehistory.h"
#include "platform.h"
#include "portaccess.h"

namespace tavik7::book {

QString bookPath(const QString &option, bool forReading)
{
    if (!option.isEmpty())
        return option;
    const QString fromEnvironment = qEnvironmentVariable(kBookEnvironmentVariable);
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    const QString folder = platform::appDataFolder();
    if (!forReading)
        platform::ensureAppDataFolder(folder);
    return folder + QLatin1String(kBookFileName);
}

QString userChangeHistoryPath()
{
    return platform::appDataFolder() + QLatin1String(kChangeHistoryFileName);
}

QString technicianFromEnvironment()
{
    const QString name = qEnvironmentVariable(kTechnicianEnvironmentVariable).trimmed();
    return isAuditText(name) ? name : QString();
}

QString loginName()
{
    const QString name = platform::currentUserName();
    return name.isEmpty() ? QStringLiteral("unknown") : name;
}

} // namespace tavik7::book
