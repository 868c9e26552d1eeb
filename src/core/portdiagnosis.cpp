#include "portdiagnosis.h"

#include "texttable.h"

namespace tavik7 {

namespace {

// Serial devices belong to this group on Debian and most distributions.
constexpr char kUsualSerialGroup[] = "dialout";

QString pick(int language, const char *german, const char *english)
{
    return QString::fromUtf8(language == English ? english : german);
}

QString busyHint(int language)
{
    return pick(language,
                "Der Port wird von einem anderen Programm benutzt (Terminal, zweite Instanz dieses Programms). "
                "Dieses Programm beenden und erneut verbinden.",
                "Another program holds the port (a terminal, a second instance of this tool). "
                "Close it and connect again.");
}

} // namespace

PortOpenFailure classifyPortOpenFailure(PortOpenError error, bool deviceFileAccessible, HostSystem system)
{
    switch (error) {
    case PortOpenError::Permission:
        if (system == HostSystem::Windows || deviceFileAccessible)
            return PortOpenFailure::Busy;
        return PortOpenFailure::PermissionDenied;
    case PortOpenError::NotFound:
        return PortOpenFailure::NotFound;
    case PortOpenError::Other:
        break;
    }
    return PortOpenFailure::Other;
}

QString portOpenFailureHint(PortOpenFailure failure, const PortOpenContext &context, int language)
{
    switch (failure) {
    case PortOpenFailure::PermissionDenied: {
        if (context.system == HostSystem::Windows)
            return busyHint(language);
        const QString group = context.deviceGroup.isEmpty() ? QString::fromLatin1(kUsualSerialGroup)
                                                             : context.deviceGroup;
        const QString user = context.userName.isEmpty() ? QStringLiteral("$USER") : context.userName;
        if (!context.groupGrantsAccess) {
            const QString command = QStringLiteral("sudo usermod -aG %1 %2").arg(QLatin1String(kUsualSerialGroup), user);
            return pick(language,
                        "Keine Berechtigung: Das Gerät ist nur für seinen Besitzer freigegeben (Gruppe \"%1\" "
                        "ohne Lese- und Schreibrecht). Abhilfe: Der Administrator gibt es der Gruppe \"%2\" frei "
                        "(udev-Regel), dann %3 eingeben und ab- und wieder anmelden.",
                        "Permission denied: only the device's owner may open it (its group \"%1\" may not read "
                        "and write it). To fix: have the administrator give it to the group \"%2\" (a udev "
                        "rule), then run %3 and log out and in again.")
                .arg(group, QLatin1String(kUsualSerialGroup), command);
        }
        const QString command = QStringLiteral("sudo usermod -aG %1 %2").arg(group, user);
        return pick(language,
                    "Keine Berechtigung: Der Benutzer ist nicht in der Gruppe \"%1\", der das Gerät gehört. "
                    "Abhilfe: %2 eingeben, dann ab- und wieder anmelden.",
                    "Permission denied: the user is not in the group \"%1\" that owns the device. "
                    "To fix: run %2, then log out and in again.")
            .arg(group, command);
    }
    case PortOpenFailure::Busy:
        return busyHint(language);
    case PortOpenFailure::NotFound:
        return pick(language,
                    "Der Port ist nicht mehr vorhanden: Wurde der Adapter abgezogen? Adapter einstecken; "
                    "die Liste folgt von selbst.",
                    "The port is gone: was the adapter unplugged? Plug it in again; the list will follow.");
    case PortOpenFailure::Other:
        break;
    }
    return QString();
}

} // namespace tavik7
