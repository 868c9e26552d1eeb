#pragma once

#include <QDateTime>
#include <QString>
#include <QtGlobal>

namespace tavik7 {

// "dd.MM.yyyy hh:mm:ss : " followed by the message text.
[[nodiscard]] QString consoleLine(const QDateTime &when, const QString &text);

// The messages shown since the console was last replaced, for re-rendering
// them in another language.
struct MessageHistory
{
    static constexpr int kCapacity = 5;
    qint16 ids[kCapacity] = {};
    qint16 count = 0;

    void replaceWith(qint16 messageId);
    // The longest chain appends four messages after a replacing one; a further
    // one is shown but not remembered, so it is never stored past the fifth entry.
    void append(qint16 messageId);
    [[nodiscard]] bool contains(qint16 messageId) const;
};

// Window title for a closed port (TextId 49) or an open one (TextId 48 + name).
[[nodiscard]] QString windowTitle(bool portOpen, const QString &portName, int language);

} // namespace tavik7
