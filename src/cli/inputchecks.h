#pragma once

#include <QString>

#include "commandline.h"

namespace tavik7::cli {

// The files a command reads or writes, checked before any port is opened: a
// complaint naming the file (and the line at fault), or an empty string when
// the command may go ahead.
[[nodiscard]] QString checkInputFiles(const CliOptions &options);

} // namespace tavik7::cli
