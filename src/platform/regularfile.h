#pragma once

#include <QByteArray>
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

// What an output option's name stands for.
enum class OutputTarget {
    StandardOutput, // "-"
    File,           // nothing there yet, or a regular file (through a link, as a save follows it)
    Refused,        // a device, FIFO, directory or socket: a save would replace it for every program
};

// The name output options take for standard output.
inline constexpr char kStandardOutputName[] = "-";

// The one rule for every file the programs write whole: a save renames a new
// file over the name, and over /dev/null or a FIFO that would put a plain
// file in the place of the system's node. standardOutput: whether "-" means
// standard output where it is asked (otherwise it is a file named "-").
[[nodiscard]] OutputTarget outputTarget(const QString &path, bool standardOutput = false);

// Saves bytes under path as a whole: written aside and renamed into place
// only when complete, and only while outputTarget() takes the name as a file
// (asked again just before the rename). False with the reason in error, the
// earlier file (or node) left as it was.
[[nodiscard]] bool saveWholeFile(const QString &path, const QByteArray &bytes, QString *error = nullptr);

} // namespace tavik7::platform
