#pragma once

#include <QString>

class QFile;

namespace tavik7::platform {

// Opens path for unbuffered writing without following a link, and only when it
// is a regular file: a link planted under the name of a log or history must
// neither receive records nor be emptied, and a named pipe must not make the
// caller wait for a reader. The file is created if missing.
// With append, every write goes to the end of the file (O_APPEND), so a record
// written in one call never interleaves with another process's records.
[[nodiscard]] bool openRegularFile(QFile &file, const QString &path, bool append);

// True while path still names the regular file that file holds open: not a
// link, not another file moved into its place, not removed. A log that stays
// open for a long session checks its name with this instead of opening the
// name again.
[[nodiscard]] bool stillAtPath(const QFile &file, const QString &path);

} // namespace tavik7::platform
