#pragma once

#include <QColor>
#include <QString>

class QTextEdit;

// Writing into the window's read-only text panes: the message console, the
// flash tool's output and the NAMUR console.
namespace tavik7::panes {

// Replaces the pane's content with line, or appends it as a paragraph of its own.
void writeLine(QTextEdit *pane, const QString &line, bool append, const QColor &colour = QColor());

// Appends text at the end and shows it, wherever the user clicked meanwhile.
void appendAtEnd(QTextEdit *pane, const QString &text);

// The look of the program's pages, which the book window wears too.
[[nodiscard]] QString pageStyleSheet();

} // namespace tavik7::panes
