#include "lazylistcombobox.h"

#include <QAbstractItemView>
#include <QEvent>

LazyListComboBox::LazyListComboBox(QWidget *parent)
    : QComboBox(parent)
{
}

bool LazyListComboBox::hasList() const
{
    return findChild<QAbstractItemView *>() != nullptr;
}

void LazyListComboBox::changeEvent(QEvent *event)
{
    const bool looks = event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange;
    // An editable combo box lays out its line edit on these changes: it keeps
    // Qt's handling.
    if (looks && !isEditable() && !hasList()) {
        QWidget::changeEvent(event);
        return;
    }
    QComboBox::changeEvent(event);
}
