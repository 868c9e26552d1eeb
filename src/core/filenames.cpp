#include "filenames.h"

namespace tavik7 {

QString fileNamePart(const QString &text)
{
    static const QString kRefused = QStringLiteral("\\/:*?\"<>|");
    QString part = text;
    for (QChar &c : part) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || kRefused.contains(c))
            c = QLatin1Char('_');
    }
    return part;
}

QString deviceFileSuggestion(const QString &folder, const QString &serialNumber, const QDate &date)
{
    // The suffix after the serial number means a part of "." or ".." is never a
    // whole name, so it cannot name the folder or its parent.
    return folder + fileNamePart(serialNumber) + QStringLiteral("-Tavik7") + date.toString(QStringLiteral("_yyyy-MM-dd"));
}

} // namespace tavik7
