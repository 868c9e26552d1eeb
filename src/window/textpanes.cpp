#include "textpanes.h"

#include <QFile>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextEdit>

namespace tavik7::panes {

void writeLine(QTextEdit *pane, const QString &line, bool append, const QColor &colour)
{
    // Each line carries its own format: text inserted after a red line would
    // otherwise take the red along into every later line.
    QTextCharFormat format;
    if (colour.isValid())
        format.setForeground(colour);
    if (!append)
        pane->setPlainText(line);
    QTextCursor cursor(pane->document());
    if (append) {
        cursor.movePosition(QTextCursor::End);
        cursor.insertBlock(cursor.blockFormat(), format);
        cursor.insertText(line, format);
    } else {
        cursor.select(QTextCursor::Document);
        cursor.setCharFormat(format);
    }
}

void appendAtEnd(QTextEdit *pane, const QString &text)
{
    QTextCursor cursor(pane->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
    pane->setTextCursor(cursor);
    pane->ensureCursorVisible();
}

QString pageStyleSheet()
{
    QFile file(QStringLiteral(":/Styles/tabpages.qss"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace tavik7::panes
