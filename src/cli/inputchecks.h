#pragma once

#include <QString>

#include "commandline.h"

namespace tavik7::cli {

// Input files checked before any port is opened: a complaint naming the file
// and its line, or an empty string when the command may go ahead.
[[nodiscard]] QString checkInputFiles(const CliOptions &options);

} // namespace tavik7::cli
