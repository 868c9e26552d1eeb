#pragma once

#include <QString>

#include <optional>

#include "deviceresult.h"
#include "portdiagnosis.h"

namespace tavik7::cli {

enum class PortPath {
    Missing,   // nothing under the name
    NotSerial, // a directory, FIFO or regular file
    Device,    // a character device, or a name only the system resolves (COM3)
};

[[nodiscard]] PortPath classifyPortPath(const QString &port);

// The word a script tests for in a --json failure line, from the exit code
// the port alone gives (and, for a port problem, why it did not open or what
// the name leads to); the status table words every other code.
[[nodiscard]] QString errorWord(int exitCode, const QString &port,
                                std::optional<PortOpenFailure> openFailure = std::nullopt);

// The exit code a device request that ended so gives, from the status table.
[[nodiscard]] int exitCodeFor(DeviceResult::Status status);
// How a request's end is worded: its exit code and the catalogue's line for it.
[[nodiscard]] StatusWording outcomeOf(const DeviceResult &result);

} // namespace tavik7::cli
