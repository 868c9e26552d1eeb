#pragma once

#include <QString>

namespace tavik7 {

// Each output log file grows to this size (plus one record) before the log
// moves on to the other file, which is emptied first.
constexpr qint64 kOutputLogFileLimitBytes = 10000;

// Appends one record (the line as Latin-1 plus CR LF) to whichever of the two
// files was modified last, switching files at the size limit. Files that
// cannot be created or opened, and names that are links or not regular files,
// are skipped silently: logging must never get in the way of the console, and
// never writes through a link.
void appendToOutputLog(const QString &file1, const QString &file2, const QString &line);

} // namespace tavik7
