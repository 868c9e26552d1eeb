#include "wizardpage.h"

#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace {

constexpr char kWizardFont[] = "font: bold 20px;";
constexpr char kFrameLineStyle[] = "color: red;";
constexpr QSize kWizardComboSize(200, 40);
constexpr int kFirmwareRow = 3;
constexpr int kDirectionRow = 4;
// A combo box list flashes the chosen item for about 80 ms before it closes.
constexpr int kFocusRetryMs = 20;
constexpr int kFocusAttempts = 50;

const QString kIconGoNext = QStringLiteral(":/Images/go-next-3.png");
const QString kIconDone = QStringLiteral(":/Images/dialog-ok_2.png");
const QString kIconFailed = QStringLiteral(":/Images/dialog-close_2.png");

void setWidgetsVisible(const QList<QWidget *> &widgets, bool visible)
{
    for (QWidget *widget : widgets)
        widget->setVisible(visible);
}

} // namespace

WizardPage::WizardPage(const Form &form, QObject *parent)
    : QObject(parent)
    , m_form(form)
{
}

void WizardPage::setUp()
{
    m_form.choiceRows.at(0).at(1)->hide();
    QList<QWidget *> bold;
    for (const QList<QWidget *> &row : std::as_const(m_form.choiceRows))
        bold.append(row.at(1));
    bold << m_form.counterCaption << m_form.factor << m_form.choiceRows.at(kFirmwareRow).at(2) << m_form.counterEntry
         << m_form.program;
    for (QWidget *widget : std::as_const(bold))
        widget->setStyleSheet(QString::fromLatin1(kWizardFont));
    m_form.factor->setText(QStringLiteral("x10"));
    for (const QList<QWidget *> &row : std::as_const(m_form.choiceRows)) {
        if (auto *combo = qobject_cast<QComboBox *>(row.at(2)))
            combo->setFixedSize(kWizardComboSize);
    }
    static_cast<QLabel *>(m_form.choiceRows.at(kFirmwareRow).at(2))->clear();
    for (QFrame *line : std::as_const(m_form.frameLines))
        line->setStyleSheet(QString::fromLatin1(kFrameLineStyle));
}

void WizardPage::fillChoice(QComboBox *combo, const QStringList &items, bool clearFirst)
{
    const QSignalBlocker blocker(combo);
    combo->setStyleSheet(QString::fromLatin1(kWizardFont));
    combo->setEditable(false);
    if (clearFirst)
        combo->clear();
    combo->addItems(items);
    combo->setCurrentIndex(0);
}

void WizardPage::draw(const tavik7::WizardView &view, bool showFactor)
{
    const QList<QList<QWidget *>> &rows = m_form.choiceRows;
    for (int row = 0; row < rows.size(); ++row)
        setWidgetsVisible(rows.at(row), row < view.choiceRowsShown);
    if (view.clearsFirmware)
        static_cast<QLabel *>(rows.at(kFirmwareRow).at(2))->clear();
    if (view.doneRow >= 0)
        static_cast<QLabel *>(rows.at(view.doneRow).first())->setPixmap(QPixmap(kIconDone));
    if (view.waitingRow >= 0)
        static_cast<QLabel *>(rows.at(view.waitingRow).first())->setPixmap(QPixmap(kIconGoNext));
    m_form.counterSymbol->setPixmap(QPixmap(view.counterDone ? kIconDone : kIconGoNext));
    setWidgetsVisible({m_form.counterSymbol, m_form.counterCaption, m_form.counterEntry, m_form.program},
                      view.counterRow);
    m_form.factor->setVisible(view.counterRow && showFactor);
    if (view.hidesFrameLines)
        setFrameLinesVisible(false);
}

void WizardPage::enableChoices(bool programming, bool directionFixed)
{
    for (int row = 0; row < kFirmwareRow; ++row)
        m_form.choiceRows.at(row).at(2)->setEnabled(!programming);
    m_form.counterEntry->setEnabled(!programming);
    m_form.choiceRows.at(kDirectionRow).at(2)->setEnabled(!programming && !directionFixed);
}

void WizardPage::showFirmwareRefused(bool clearVersion)
{
    if (clearVersion)
        static_cast<QLabel *>(m_form.choiceRows.at(kFirmwareRow).at(2))->clear();
    static_cast<QLabel *>(m_form.choiceRows.at(kFirmwareRow).at(0))->setPixmap(QPixmap(kIconFailed));
}

void WizardPage::showEntry(const tavik7::WizardEntry &entry, const tavik7::WizardRow *row)
{
    if (entry.integerDigits > 0) {
        m_form.counterEntry->setMaxLength(entry.maxLength);
        m_form.counterEntry->setText(entry.text);
        m_form.counterEntry->setCursorPosition(0);
    }
    if (!row)
        return;
    const std::optional<tavik7::CounterFrame> frame = tavik7::counterFrame(*row);
    if (!frame)
        return;
    const tavik7::CounterFrameLines lines = entry.integerDigits > 0
        ? frameLinesForEntry(entry.integerDigits, int(row->fractionDigits))
        : tavik7::counterFrameLinesAtGrid(*frame);
    m_form.frameLines.at(0)->setGeometry(lines.above);
    m_form.frameLines.at(1)->setGeometry(lines.below);
    m_form.frameLines.at(2)->setGeometry(lines.vertical);
    setFrameLinesVisible(true);
}

tavik7::CounterFrameLines WizardPage::frameLinesForEntry(int integerDigits, int fractionDigits) const
{
    QLineEdit *entry = m_form.counterEntry;
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

void WizardPage::focusEntrySoon()
{
    // Not now: when the direction was just chosen, its list is still closing
    // and hands the focus back to the combo box once it has gone, so the
    // digits would change the direction instead.
    QMetaObject::invokeMethod(this, [this] { focusEntry(kFocusAttempts); }, Qt::QueuedConnection);
}

void WizardPage::focusEntry(int attemptsLeft)
{
    if (!m_form.counterEntry->isVisible())
        return;
    if (QApplication::activePopupWidget() && attemptsLeft > 0) {
        QTimer::singleShot(kFocusRetryMs, this, [this, attemptsLeft] { focusEntry(attemptsLeft - 1); });
        return;
    }
    m_form.counterEntry->setFocus(Qt::OtherFocusReason);
    m_form.counterEntry->setCursorPosition(0);
}

void WizardPage::setFrameLinesVisible(bool visible)
{
    for (QFrame *line : std::as_const(m_form.frameLines))
        line->setVisible(visible);
}
