#include "exitwords.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

#include "exitcodes.h"
#include "platform.h"

namespace tavik7::cli {

PortPath classifyPortPath(const QString &port)
{
#ifdef Q_OS_UNIX
    const QString location = platform::portSystemLocation(port);
    struct stat st;
    if (::stat(QFile::encodeName(location).constData(), &st) != 0)
        return PortPath::Missing;
    return S_ISCHR(st.st_mode) ? PortPath::Device : PortPath::NotSerial;
#else
    Q_UNUSED(port);
    return PortPath::Device;
#endif
}

QString errorWord(int exitCode, const QString &port, std::optional<PortOpenFailure> openFailure)
{
    // Joining the device's group helps here, waiting for the port does not.
    if (exitCode == ExitPort && openFailure == PortOpenFailure::PermissionDenied)
        return QStringLiteral("permissionDenied");
    if (exitCode == ExitPort) {
        switch (classifyPortPath(port)) {
        case PortPath::Missing: return QStringLiteral("portMissing");
        case PortPath::NotSerial: return QStringLiteral("notSerial");
        case PortPath::Device: return QStringLiteral("portBusy");
        }
    }
    return exitWord(exitCode);
}

int exitCodeFor(DeviceResult::Status status)
{
    // The code depends on the status alone: the kind and sequence only
    // change the message.
    return statusWording(status, DeviceResult::Kind::ReadParameters, DeviceResult::Sequence::None).exitCode;
}

StatusWording outcomeOf(const DeviceResult &result)
{
    return result.wording();
}

} // namespace tavik7::cli
