#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>

// Everything that differs between Windows and Linux: the per-user folder,
// serial port names and the way a simulated port is offered.
namespace tavik7::platform {

constexpr char kAppDataFolderName[] = "KLV TAVIK7 PC Software";

// The per-user folder with a trailing separator: the folder below APPDATA
// when APPDATA is set, else the platform's per-user data location with the same
// folder name. Not created here.
[[nodiscard]] QString appDataFolder();

// The window's per-user settings, beside its logs, so that a test's folder holds its own.
[[nodiscard]] QString windowSettingsPath();
// The window's settings file, opened as every part of the window reads and writes it.
[[nodiscard]] QSettings windowSettings();
// Whether the window shows a write for review before making it; off until
// the technician turns it on, then remembered in the window's settings.
[[nodiscard]] bool reviewBeforeWriting();
void rememberReviewBeforeWriting(bool on);

// A file that comes with the program: fileName beside the running program,
// else the file variable names (the build tree's tests run the program from
// elsewhere). When neither is a file, where it should lie beside the program.
[[nodiscard]] QString programFile(const QString &fileName, const char *variable);

// Creates the per-user folder: on Windows with a single mkdir below APPDATA,
// elsewhere with its parents (a new account may lack ~/.local/share). Failure
// is silent; logging then simply does not happen.
void ensureAppDataFolder(const QString &folder);

// Folder of the flash tool below the current working directory, with a trailing separator.
[[nodiscard]] QString avrdudeDir();

// Extra port paths from TAVIK7_EXTRA_PORTS, separated by ':' (Linux) or ';' (Windows).
[[nodiscard]] QStringList extraPortPaths();

// False once an extra port has gone: a pseudo-terminal vanishes when its
// simulator ends, like an unplugged adapter. Windows names are no files.
[[nodiscard]] bool extraPortPresent(const QString &path);

// The device node of a port name as the system addresses it ("COM3", "/dev/ttyUSB0").
[[nodiscard]] QString portSystemLocation(const QString &portName);

// True when two port names denote the same port; Windows port names ignore case.
[[nodiscard]] bool samePort(const QString &a, const QString &b);

} // namespace tavik7::platform
