#pragma once

#include <QByteArray>
#include <QString>

#include "parameterfields.h"
#include "parameterrecord.h"

namespace tavik7 {

// The settings file as an unattended line must read it: where the window's
// loader stores a value that does not parse as 0 (and so could write
// significance 10^-3 for "three"), this reading refuses the whole file and
// names the first line at fault. Nothing of a refused file is used.
struct StrictSettingsReading
{
    // What is wrong: the file as a whole (line is 0 then), or a line's value.
    enum class Fault { None, NotRegularFile, Unreadable, TooLarge, Value };

    bool ok = false;
    Fault fault = Fault::Value;
    int line = 0;        // 1-based line at fault
    QString key;         // its settings-file key ("Wertigkeit/Significance"); empty for the header
    ParameterRecord record{};
};

// Every value must parse completely: a decimal index within its items, 0 or 1
// for the leading plus, a version "D.DD", one to four hex digits of CRC, a
// text no longer than its field takes; the header and the 14 key lines in
// order, each "key=value" ended by CR LF, nothing after them.
[[nodiscard]] StrictSettingsReading readSettingsFileStrict(const QByteArray &bytes);
// Also refuses what is not a regular file (a FIFO would make it wait for
// good), what cannot be read, and anything over kLargestSettingsFileBytes.
[[nodiscard]] StrictSettingsReading readSettingsFileStrictNamed(const QString &path);

// A settings file is 15 short lines; anything much larger is not one.
constexpr qint64 kLargestSettingsFileBytes = 64 * 1024;

} // namespace tavik7
