#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include "messageid.h"

namespace tavik7 {

// "dd.MM.yyyy hh:mm:ss : " followed by the message text.
[[nodiscard]] QString consoleLine(const QDateTime &when, const QString &text);

// One message of the console as it was shown: enough to show it again in
// the other language.
struct ConsoleEntry
{
    ConsoleEntry() = default;
    ConsoleEntry(MessageId messageId, QStringList messageArguments = {})
        : id(messageId), arguments(std::move(messageArguments))
    {
    }

    MessageId id = MessageId::None;
    QStringList arguments;
};

// The entry's text in language, its arguments in place.
[[nodiscard]] QString renderEntry(const ConsoleEntry &entry, int language);

// The messages shown since the console was last replaced, for re-rendering
// them in another language.
struct MessageHistory
{
    static constexpr int kCapacity = 5;
    ConsoleEntry entries[kCapacity];
    qint16 count = 0;

    void replaceWith(const ConsoleEntry &entry);
    // The longest chain appends four messages after a replacing one; a further
    // one is shown but not remembered, so it is never stored past the fifth entry.
    void append(const ConsoleEntry &entry);
    [[nodiscard]] bool contains(MessageId id) const;
    // The console's lines anew in language, all stamped when: at least the
    // first entry, so that a console never written is cleared all the same.
    [[nodiscard]] QStringList lines(const QDateTime &when, int language) const;

    // Message numbers, as the window passes them.
    void replaceWith(qint16 messageId) { replaceWith(ConsoleEntry(MessageId(messageId))); }
    void append(qint16 messageId) { append(ConsoleEntry(MessageId(messageId))); }
    [[nodiscard]] bool contains(qint16 messageId) const { return contains(MessageId(messageId)); }
};

// What the console says of the table's verdict after what it shows: an
// implausible table, else an implausible counter, once while it stays so;
// "plausible" once such a complaint is on show and all is plausible again.
// None: nothing new to say.
[[nodiscard]] MessageId verdictMessage(const MessageHistory &shown, bool tablePlausible, bool counterPlausible);

// Window title for a closed port (TextId 49) or an open one (TextId 48 + name).
[[nodiscard]] QString windowTitle(bool portOpen, const QString &portName, int language);

} // namespace tavik7
