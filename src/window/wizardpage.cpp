#include "wizardpage.h"

#include <QApplication>
#include <QFontMetrics>
#include <QTimer>

namespace {

constexpr int kCounterRow = 5;
// A combo box list flashes the chosen item for about 80 ms before it closes.
constexpr int kFocusRetryMs = 20;
constexpr int kFocusAttempts = 50;

const QString kIcons[] = {QString(), QStringLiteral(":/Images/go-next-3.png"),
                          QStringLiteral(":/Images/dialog-ok_2.png"), QStringLiteral(":/Images/dialog-close_2.png")};

} // namespace

WizardPage::WizardPage(const Ui::TAVIK7_BediensoftwareClass &ui, QObject *parent)
    : QObject(parent)
    , ui(ui)
{
}

void WizardPage::draw(const tavik7::WizardView &view)
{
    // The form names each row's widgets (symbol, caption, input; Program in
    // the counter row) by their "wizardRow": the five choice rows, then the counter's.
    for (QWidget *widget : ui.tabWizard->findChildren<QWidget *>()) {
        const QVariant row = widget->property("wizardRow");
        if (!row.isValid())
            continue;
        widget->setVisible(row.toInt() < kCounterRow ? row.toInt() < view.choiceRowsShown : view.counterRow);
        const tavik7::WizardSymbol symbol = view.symbols.at(row.toInt());
        if (widget->objectName().startsWith(QLatin1String("labelSymbol")) && symbol != tavik7::WizardSymbol::Form)
            static_cast<QLabel *>(widget)->setPixmap(QPixmap(kIcons[int(symbol)]));
    }
    QComboBox *const choices[] = {ui.comboBoxNumberOfDigits, ui.comboBoxUa, ui.comboBoxDecimalPlaces,
                                  ui.comboBoxDirection2};
    for (int index = 0; index < 4; ++index) {
        QComboBox *combo = choices[index];
        const tavik7::WizardChoiceView &shown = view.choices.at(index);
        const QSignalBlocker blocker(combo);
        QStringList items;
        for (int item = 0; item < combo->count(); ++item)
            items << combo->itemText(item);
        if (items != shown.items) {
            combo->clear();
            combo->addItems(shown.items);
        }
        combo->setCurrentIndex(shown.current);
        combo->setEnabled(shown.enabled);
    }
    ui.labelSoftwareData->setText(view.firmware);
    ui.labelFactor->setVisible(view.counterRow && view.entry.showFactor);
    ui.lineEditCounter2->setEnabled(view.entryEnabled);
    if (view.entryPrefill != m_entryPrefill) {
        m_entryPrefill = view.entryPrefill;
        prefill(view.entry);
    }
    for (QFrame *line : {ui.lineCounterFrame1, ui.lineCounterFrame2, ui.lineCounterFrame3})
        line->setVisible(view.counterRow && view.entry.frame);
}

void WizardPage::prefill(const tavik7::WizardEntry &prepared)
{
    if (prepared.integerDigits > 0) {
        ui.lineEditCounter2->setMaxLength(prepared.maxLength);
        ui.lineEditCounter2->setText(prepared.text);
        ui.lineEditCounter2->setCursorPosition(0);
    }
    // Measured once, with the cursor before the first digit: typing moves it.
    if (prepared.frame) {
        const tavik7::CounterFrameLines lines = prepared.integerDigits > 0
            ? frameLinesForEntry(prepared.integerDigits, prepared.frame->fractionDigits)
            : tavik7::counterFrameLinesAtGrid(*prepared.frame);
        ui.lineCounterFrame1->setGeometry(lines.above);
        ui.lineCounterFrame2->setGeometry(lines.below);
        ui.lineCounterFrame3->setGeometry(lines.vertical);
    }
    // Not now: when the direction was just chosen, its list is still closing
    // and hands the focus back to the combo box once it has gone, so the
    // digits would change the direction instead.
    QMetaObject::invokeMethod(this, [this] { focusEntry(kFocusAttempts); }, Qt::QueuedConnection);
}

tavik7::CounterFrameLines WizardPage::frameLinesForEntry(int integerDigits, int fractionDigits) const
{
    QLineEdit *entry = ui.lineEditCounter2;
    entry->ensurePolished(); // the font comes from the style sheets
    const QFontMetrics metrics(entry->font());
    // The cursor stands before the first character; its rectangle is centred on it.
    const QRect cursor = entry->inputMethodQuery(Qt::ImCursorRectangle).toRect();
    const QPoint textStart = entry->mapTo(ui.lineCounterFrame1->parentWidget(),
                                          QPoint(cursor.x() + cursor.width() / 2, 0));
    const QString fraction(fractionDigits, QLatin1Char('0'));
    const QString whole = QString(integerDigits, QLatin1Char('0')) + QLatin1Char(',') + fraction;
    return tavik7::counterFrameLinesAround(textStart.x() + metrics.horizontalAdvance(whole),
                                           metrics.horizontalAdvance(fraction));
}

void WizardPage::focusEntry(int attemptsLeft)
{
    if (!ui.lineEditCounter2->isVisible())
        return;
    if (QApplication::activePopupWidget() && attemptsLeft > 0) {
        QTimer::singleShot(kFocusRetryMs, this, [this, attemptsLeft] { focusEntry(attemptsLeft - 1); });
        return;
    }
    ui.lineEditCounter2->setFocus(Qt::OtherFocusReason);
    ui.lineEditCounter2->setCursorPosition(0);
}
