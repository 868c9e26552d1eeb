#pragma once

#include <QString>

namespace tavik7::cli {

// The serial ports the window's list offers, one per line, or as a JSON array
// of objects with port, description, manufacturer and serialNumber.
[[nodiscard]] QString portListText(bool json);

} // namespace tavik7::cli
