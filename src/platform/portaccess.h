#pragma once

#include <QString>

// What the system says about a port's device file, to explain a failed open.
namespace tavik7::platform {

#ifdef Q_OS_WIN
constexpr bool kWindowsHost = true;
#else
constexpr bool kWindowsHost = false;
#endif

// The group owning the port's device file ("dialout"); empty where the system
// has no such thing or the file cannot be examined.
[[nodiscard]] QString deviceFileGroup(const QString &portName);

// True when members of that group may read and write the device file and the
// group is not the superuser's: only then does joining it grant access.
[[nodiscard]] bool deviceFileGroupGrantsAccess(const QString &portName);

// True when this user may read and write the device file itself.
[[nodiscard]] bool deviceFileAccessible(const QString &portName);

// The login name, for the command that grants access.
[[nodiscard]] QString currentUserName();

} // namespace tavik7::platform
