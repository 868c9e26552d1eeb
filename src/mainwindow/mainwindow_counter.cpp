// The counter entries: the check of lineEditCounter and the overwrite-mode key
// filter of the wizard's lineEditCounter2.

#include <QComboBox>
#include <QEvent>

#include "countertext.h"
#include "tavik7_bediensoftware.h"

namespace {

constexpr int kCounterFlag = 7;

} // namespace

void TAVIK7_Bediensoftware::onCounterTextChanged(const QString &text)
{
    Q_UNUSED(text);
    const QString counter = ui.lineEditCounter->text();
    plausibilityFlags[kCounterFlag] = !tavik7::counterTextPlausible(
        counter, ui.lineEditCounter->maxLength(), counterLength, qint8(comboBoxSignificance->currentIndex()));
    updatePlausibilityState();
}

bool TAVIK7_Bediensoftware::eventFilter(QObject *watched, QEvent *event)
{
    return QMainWindow::eventFilter(watched, event);
}
