#pragma once

#include <QString>

namespace tavik7::cli {

enum class PortPath {
    Missing,   // nothing under the name
    NotSerial, // a directory, FIFO or regular file
    Device,    // a character device, or a name only the system resolves (COM3)
};

[[nodiscard]] PortPath classifyPortPath(const QString &port);

// The word a script tests for in a --json failure line, from the exit code
// the port alone gives (and, for a port problem, what the name leads to).
[[nodiscard]] QString errorWord(int exitCode, const QString &port);

} // namespace tavik7::cli
