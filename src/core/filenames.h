#pragma once

#include <QDate>
#include <QString>

namespace tavik7 {

// A text that came from the device or a file, made fit to be one part of a file
// name on every platform: path separators, the characters Windows refuses in
// names (\ / : * ? " < > |) and control characters become "_", so the part can
// never lead out of the folder it is put into.
[[nodiscard]] QString fileNamePart(const QString &text);

// The name offered for a settings file or a report: folder (with its trailing
// separator), serial number, "-Tavik7" and "_yyyy-MM-dd", no extension.
[[nodiscard]] QString deviceFileSuggestion(const QString &folder, const QString &serialNumber, const QDate &date);

} // namespace tavik7
