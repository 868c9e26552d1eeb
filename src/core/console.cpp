#include "console.h"

#include "texttable.h"

namespace tavik7 {

QString consoleLine(const QDateTime &when, const QString &text)
{
    return when.toString(QStringLiteral("dd.MM.yyyy ")) + when.toString(QStringLiteral("hh:mm:ss : ")) + text;
}

void MessageHistory::replaceWith(qint16 messageId)
{
    for (qint16 &id : ids)
        id = 0;
    ids[0] = messageId;
    count = 1;
}

void MessageHistory::append(qint16 messageId)
{
    if (count >= kCapacity)
        return;
    ids[count++] = messageId;
}

bool MessageHistory::contains(qint16 messageId) const
{
    for (int i = 0; i < count; ++i) {
        if (ids[i] == messageId)
            return true;
    }
    return false;
}

QString windowTitle(bool portOpen, const QString &portName, int language)
{
    return portOpen ? text(48, language) + portName : text(49, language);
}

} // namespace tavik7
