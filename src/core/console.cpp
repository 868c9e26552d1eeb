#include "console.h"

#include "messagecatalogue.h"
#include "texttable.h"

namespace tavik7 {

QString consoleLine(const QDateTime &when, const QString &text)
{
    return when.toString(QStringLiteral("dd.MM.yyyy ")) + when.toString(QStringLiteral("hh:mm:ss : ")) + text;
}

QString renderEntry(const ConsoleEntry &entry, int language)
{
    return renderMessage(entry.id, entry.arguments, language);
}

void MessageHistory::replaceWith(const ConsoleEntry &entry)
{
    for (ConsoleEntry &e : entries)
        e = ConsoleEntry();
    entries[0] = entry;
    count = 1;
}

void MessageHistory::append(const ConsoleEntry &entry)
{
    if (count >= kCapacity)
        return;
    entries[count++] = entry;
}

MessageId verdictMessage(const MessageHistory &shown, bool tablePlausible, bool counterPlausible)
{
    if (!tablePlausible || !counterPlausible) {
        const MessageId complaint = tablePlausible ? MessageId::CounterImplausible : MessageId::TableImplausible;
        return shown.contains(complaint) ? MessageId::None : complaint;
    }
    if (shown.contains(MessageId::TableImplausible) || shown.contains(MessageId::CounterImplausible))
        return MessageId::Plausible;
    return MessageId::None;
}

bool MessageHistory::contains(MessageId id) const
{
    for (int i = 0; i < count; ++i) {
        if (entries[i].id == id)
            return true;
    }
    return false;
}

QStringList MessageHistory::lines(const QDateTime &when, int language) const
{
    QStringList shown;
    for (int i = 0; i < qBound(1, int(count), kCapacity); ++i)
        shown.append(consoleLine(when, renderEntry(entries[i], language)));
    return shown;
}

QString windowTitle(bool portOpen, const QString &portName, int language)
{
    return portOpen ? text(48, language) + portName : text(49, language);
}

} // namespace tavik7
