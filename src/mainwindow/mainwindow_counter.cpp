// The counter entries: the check of lineEditCounter and the overwrite-mode key
// filter of the wizard's lineEditCounter2.

#include <QComboBox>
#include <QEvent>
#include <QKeyEvent>

#include "countertext.h"
#include "tavik7_bediensoftware.h"

void TAVIK7_Bediensoftware::onCounterTextChanged(const QString &text)
{
    // The entry's own text is checked, whatever the caller passed.
    Q_UNUSED(text);
    sheet.setCounterText(ui.lineEditCounter->text());
    updatePlausibilityState();
}

bool TAVIK7_Bediensoftware::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != ui.lineEditCounter2 || event->type() != QEvent::KeyPress)
        return QMainWindow::eventFilter(watched, event);

    // The entry only ever sees digits typed over the reading; Backspace,
    // Delete, letters and the rest are swallowed so the digit count and the
    // comma stay as the wizard laid them out.
    QLineEdit *entry = ui.lineEditCounter2;
    const auto *keyEvent = static_cast<QKeyEvent *>(event);
    const tavik7::CounterKeyEdit edit =
        tavik7::applyCounterEntryKey(entry->text(), entry->cursorPosition(), entry->maxLength(), keyEvent->key());
    if (edit.text != entry->text())
        entry->setText(edit.text);
    entry->setCursorPosition(edit.cursor);
    return true;
}
