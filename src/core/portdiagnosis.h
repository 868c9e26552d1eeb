#pragma once

#include <QString>

#include "console.h"

namespace tavik7 {

// Why a serial port did not open, as far as the port object can tell.
enum class PortOpenFailure {
    PermissionDenied,
    Busy,
    NotFound,
    Other,
};

enum class HostSystem { Linux, Windows };

// What the serial port object reported when it failed to open.
enum class PortOpenError { Permission, NotFound, Other };

// A port held by another program also fails with "permission" (the device is
// opened exclusively, or Windows denies access), so the device file's own
// permissions tell the two apart.
[[nodiscard]] PortOpenFailure classifyPortOpenFailure(PortOpenError error, bool deviceFileAccessible,
                                                      HostSystem system);

// What the line after "could not open" needs to know besides the failure.
struct PortOpenContext
{
    HostSystem system = HostSystem::Linux;
    QString deviceGroup; // group owning the device file; empty if unreadable
    QString userName;
    // False when joining the device's group would not help: the group may not
    // read and write the device, or it is the superuser's group.
    bool groupGrantsAccess = true;
};

// The note that says why the port did not open and what to do, or an entry
// with MessageId::None when there is nothing useful to add.
// Windows reports a port held by another program as "access denied", so
// there a permission failure is explained as a busy port.
[[nodiscard]] ConsoleEntry portOpenFailureNote(PortOpenFailure failure, const PortOpenContext &context);

// The note as one line in the interface language; empty for none.
[[nodiscard]] QString portOpenFailureHint(PortOpenFailure failure, const PortOpenContext &context, int language);

} // namespace tavik7
