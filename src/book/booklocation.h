#pragma once

#include <QString>

namespace tavik7::book {

inline constexpr char kBookFileName[] = "devicebook.sqlite";
inline constexpr char kBookEnvironmentVariable[] = "TAVIK7_BOOK";
// The technician's own name when no option gives it.
inline constexpr char kTechnicianEnvironmentVariable[] = "TAVIK7_TECHNICIAN";

// The book to use: the file named by --book, else by TAVIK7_BOOK, else
// devicebook.sqlite in the per-user folder (which is created for it unless
// the book is only to be read).
[[nodiscard]] QString bookPath(const QString &option = QString(), bool forReading = false);

// The per-user change-history file that a new book takes in.
[[nodiscard]] QString userChangeHistoryPath();

// The technician's own name from TAVIK7_TECHNICIAN, for a front end that
// cannot refuse its start: empty unless one line of printable text.
[[nodiscard]] QString technicianFromEnvironment();

// The login name recorded with every event.
[[nodiscard]] QString loginName();

} // namespace tavik7::book
