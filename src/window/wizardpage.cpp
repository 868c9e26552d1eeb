#include "wizardpage.h"

#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

namespace {

constexpr int kChoiceRows[] = {0, 1, 2, 4};
constexpr int kFirmwareRow = 3;
constexpr int kCounterRow = 5;
// A combo box list flashes the chosen item for about 80 ms before it closes.
constexpr int kFocusRetryMs = 20;
constexpr int kFocusAttempts = 50;

const QString kIcons[] = {QString(), QStringLiteral(":/Images/go-next-3.png"),
                          QStringLiteral(":/Images/dialog-ok_2.png"), QStringLiteral(":/Images/dialog-close_2.png")};

} // namespace

WizardPage::WizardPage(const Form &form, QObject *parent)
    : QObject(parent)
    , m_form(form)
{
}

QLabel *WizardPage::symbol(int row) const
{
    return static_cast<QLabel *>(m_form.rows.at(row).at(0));
}

QComboBox *WizardPage::choice(int index) const
{
    return static_cast<QComboBox *>(m_form.rows.at(kChoiceRows[index]).at(2));
}

QLineEdit *WizardPage::entry() const
{
    return static_cast<QLineEdit *>(m_form.rows.at(kCounterRow).at(2));
}

void WizardPage::draw(const tavik7::WizardView &view)
{
    for (int row = 0; row < m_form.rows.size(); ++row) {
        for (QWidget *widget : m_form.rows.at(row))
            widget->setVisible(row < kCounterRow ? row < view.choiceRowsShown : view.counterRow);
        if (const auto icon = view.symbols.at(row); icon != tavik7::WizardSymbol::Form)
            symbol(row)->setPixmap(QPixmap(kIcons[int(icon)]));
    }
    for (int index = 0; index < int(view.choices.size()); ++index) {
        QComboBox *combo = choice(index);
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
    static_cast<QLabel *>(m_form.rows.at(kFirmwareRow).at(2))->setText(view.firmware);
    m_form.factor->setVisible(view.counterRow && view.entry.showFactor);
    entry()->setEnabled(view.entryEnabled);
    if (view.entryPrefill != m_entryPrefill) {
        m_entryPrefill = view.entryPrefill;
        prefill(view.entry);
    }
    for (QFrame *line : std::as_const(m_form.frameLines))
        line->setVisible(view.counterRow && view.entry.frame);
}

void WizardPage::prefill(const tavik7::WizardEntry &prepared)
{
    if (prepared.integerDigits > 0) {
        entry()->setMaxLength(prepared.maxLength);
        entry()->setText(prepared.text);
        entry()->setCursorPosition(0);
    }
    // Measured once, with the cursor before the first digit; typing moves it.
    if (prepared.frame) {
        const tavik7::CounterFrameLines lines = prepared.integerDigits > 0
            ? frameLinesForEntry(prepared.integerDigits, prepared.frame->fractionDigits)
            : tavik7::counterFrameLinesAtGrid(*prepared.frame);
        m_form.frameLines.at(0)->setGeometry(lines.above);
        m_form.frameLines.at(1)->setGeometry(lines.below);
        m_form.frameLines.at(2)->setGeometry(lines.vertical);
    }
    // Not now: when the direction was just chosen, its list is still closing
    // and hands the focus back to the combo box once it has gone, so the
    // digits would change the direction instead.
    QMetaObject::invokeMethod(this, [this] { focusEntry(kFocusAttempts); }, Qt::QueuedConnection);
}

tavik7::CounterFrameLines WizardPage::frameLinesForEntry(int integerDigits, int fractionDigits) const
{
    QLineEdit *entry = this->entry();
    entry->ensurePolished(); // the font comes from the style sheets
    const QFontMetrics metrics(entry->font());
    // The cursor stands before the first character; its rectangle is centred on it.
    const QRect cursor = entry->inputMethodQuery(Qt::ImCursorRectangle).toRect();
    const QPoint textStart = entry->mapTo(m_form.frameLines.at(0)->parentWidget(),
                                          QPoint(cursor.x() + cursor.width() / 2, 0));
    const QString fraction(fractionDigits, QLatin1Char('0'));
    const QString whole = QString(integerDigits, QLatin1Char('0')) + QLatin1Char(',') + fraction;
    return tavik7::counterFrameLinesAround(textStart.x() + metrics.horizontalAdvance(whole),
                                           metrics.horizontalAdvance(fraction));
}

void WizardPage::focusEntry(int attemptsLeft)
{
    if (!entry()->isVisible())
        return;
    if (QApplication::activePopupWidget() && attemptsLeft > 0) {
        QTimer::singleShot(kFocusRetryMs, this, [this, attemptsLeft] { focusEntry(attemptsLeft - 1); });
        return;
    }
    entry()->setFocus(Qt::OtherFocusReason);
    entry()->setCursorPosition(0);
}
