#include "exitwords.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

#include "exitcodes.h"
#include "platform.h"

namespace tavik7::cli {

namespace {

struct ExitWord
{
    int exitCode;
    const char *word;
};

constexpr ExitWord kExitWords[] = {
    {ExitUsage, "badFile"},       {ExitNoAnswer, "noAnswer"},     {ExitWrongAnswer, "wrongAnswer"},
    {ExitImplausible, "implausible"}, {ExitFlashFailed, "flashFailed"}, {ExitDiffers, "differs"},
    {ExitOutput, "outputFailed"}, {ExitStale, "stale"}, {ExitInterrupted, "interrupted"},
};

} // namespace

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
    for (const ExitWord &entry : kExitWords) {
        if (entry.exitCode == exitCode)
            return QLatin1String(entry.word);
    }
    return QStringLiteral("usage");
}

int exitCodeFor(DeviceResult::Status status)
{
    using Status = DeviceResult::Status;
    switch (status) {
    case Status::Ok: return ExitDone;
    case Status::NoAnswer:
    case Status::Closed: return ExitNoAnswer;
    case Status::PortLost: return ExitPort;
    case Status::Refused: return ExitImplausible;
    case Status::BadCrc:
    case Status::DeviceError:
    case Status::NotEchoed:
    case Status::WrongAnswer: return ExitWrongAnswer;
    }
    return ExitWrongAnswer;
}

} // namespace tavik7::cli
