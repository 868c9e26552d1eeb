// The seven-step wizard's view: its rows, icons and boxes. The way through
// the steps is the wizard flow's; the window draws what it reaches and
// answers its questions with boxes.

#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "countertext.h"
#include "tavik7_bediensoftware.h"
#include "platform.h"
#include "texttable.h"

namespace {

constexpr int kTabWizard = 1;
constexpr int kTabFlashen = 5;
constexpr int kPendingEventsAfterFlashMs = 200;
// A combo box list flashes the chosen item for about 80 ms before it closes.
constexpr int kFocusRetryMs = 20;
constexpr int kFocusAttempts = 50;

constexpr int kTextFlashen = 238;
constexpr int kTextWrongFirmware = 239;
constexpr int kTextPleaseFlashV111 = 240;
constexpr int kTextPleaseFlashV112 = 241;
constexpr int kTextGraduationMark = 242;
constexpr int kTextCheckTypePlates = 247;

constexpr char kWizardFont[] = "font: bold 20px;";
constexpr char kFrameLineStyle[] = "color: red;";
constexpr QSize kWizardComboSize(200, 40);

const QString kIconGoNext = QStringLiteral(":/Images/go-next-3.png");
const QString kIconDone = QStringLiteral(":/Images/dialog-ok_2.png");
const QString kIconFailed = QStringLiteral(":/Images/dialog-close_2.png");
const QString kWindowIcon = QStringLiteral(":/Images/klvicon.ico");

void setWidgetsVisible(const QList<QWidget *> &widgets, bool visible)
{
    for (QWidget *widget : widgets)
        widget->setVisible(visible);
}

// The common frame of the four combo fills: the wizard's slots must not run.
void fillWizardCombo(QComboBox *combo, const QStringList &items, bool clearFirst)
{
    const QSignalBlocker blocker(combo);
    combo->setStyleSheet(QString::fromLatin1(kWizardFont));
    combo->setEditable(false);
    if (clearFirst)
        combo->clear();
    combo->addItems(items);
    combo->setCurrentIndex(0);
}

} // namespace

void TAVIK7_Bediensoftware::fillNumberOfDigitsCombo()
{
    fillWizardCombo(ui.comboBoxNumberOfDigits, tavik7::numberOfDigitsItems(language), false);
}

void TAVIK7_Bediensoftware::fillDirectionCombo()
{
    fillWizardCombo(ui.comboBoxDirection2, tavik7::directionItems(language), true);
}

void TAVIK7_Bediensoftware::fillUaCombo()
{
    fillWizardCombo(ui.comboBoxUa, tavik7::uaItems(ui.comboBoxNumberOfDigits->currentText()), true);
}

void TAVIK7_Bediensoftware::fillDecimalPlacesCombo()
{
    fillWizardCombo(ui.comboBoxDecimalPlaces,
                    tavik7::decimalPlacesItems(ui.comboBoxNumberOfDigits->currentText(), ui.comboBoxUa->currentText()),
                    true);
}

void TAVIK7_Bediensoftware::onComboBoxNumberOfDigitsItemChanged(int index)
{
    showWizardStep(index != 0 ? 2 : 1);
}

void TAVIK7_Bediensoftware::onComboBoxUaItemChanged(int index)
{
    showWizardStep(index != 0 ? 3 : 2);
}

void TAVIK7_Bediensoftware::onComboBoxDecimalPlacesItemChanged(int index)
{
    showWizardStep(index != 0 ? 4 : 3);
}

void TAVIK7_Bediensoftware::onComboBoxDirection2ItemChanged(int)
{
    showWizardStep(ui.comboBoxDirection2->currentIndex() > 0 ? 6 : 5);
}

void TAVIK7_Bediensoftware::onPushButtonProgramClicked()
{
    showWizardStep(7);
}

void TAVIK7_Bediensoftware::setupWizardTab()
{
    ui.labelNumberOfDigits->hide();
    for (QWidget *widget : std::initializer_list<QWidget *>{
             ui.labelNumberOfDigits, ui.labelUa, ui.labelDecimalPlaces, ui.labelSoftwareversion, ui.labelDirection2,
             ui.labelCounter, ui.labelFactor, ui.labelSoftwareData, ui.lineEditCounter2, ui.pushButtonProgram})
        widget->setStyleSheet(QString::fromLatin1(kWizardFont));
    ui.labelFactor->setText(QStringLiteral("x10"));
    for (QComboBox *combo : {ui.comboBoxNumberOfDigits, ui.comboBoxUa, ui.comboBoxDecimalPlaces, ui.comboBoxDirection2})
        combo->setFixedSize(kWizardComboSize);
    ui.labelSoftwareData->clear();
    for (QFrame *line : {ui.lineCounterFrame1, ui.lineCounterFrame2, ui.lineCounterFrame3})
        line->setStyleSheet(QString::fromLatin1(kFrameLineStyle));
}

void TAVIK7_Bediensoftware::drawWizardView(int step)
{
    const tavik7::WizardView view = tavik7::wizardView(step);
    const QList<QList<QWidget *>> rows{
        {ui.labelSymbol1, ui.labelNumberOfDigits, ui.comboBoxNumberOfDigits},
        {ui.labelSymbol2, ui.labelUa, ui.comboBoxUa},
        {ui.labelSymbol3, ui.labelDecimalPlaces, ui.comboBoxDecimalPlaces},
        {ui.labelSymbol4, ui.labelSoftwareversion, ui.labelSoftwareData},
        {ui.labelSymbol5, ui.labelDirection2, ui.comboBoxDirection2},
    };
    for (int row = 0; row < rows.size(); ++row)
        setWidgetsVisible(rows.at(row), row < view.choiceRowsShown);
    if (view.clearsFirmware)
        ui.labelSoftwareData->clear();
    if (view.doneRow >= 0)
        static_cast<QLabel *>(rows.at(view.doneRow).first())->setPixmap(QPixmap(kIconDone));
    if (view.waitingRow >= 0)
        static_cast<QLabel *>(rows.at(view.waitingRow).first())->setPixmap(QPixmap(kIconGoNext));
    ui.labelSymbol6->setPixmap(QPixmap(view.counterDone ? kIconDone : kIconGoNext));
    setWidgetsVisible({ui.labelSymbol6, ui.labelCounter, ui.lineEditCounter2, ui.pushButtonProgram}, view.counterRow);
    ui.labelFactor->setVisible(view.counterRow && wizardFlow->record().entry.showFactor);
    if (view.hidesFrameLines)
        setWidgetsVisible({ui.lineCounterFrame1, ui.lineCounterFrame2, ui.lineCounterFrame3}, false);
}

void TAVIK7_Bediensoftware::setUpWizardFlow()
{
    wizardFlow = new tavik7::WizardFlow(deviceLink, flashRun, this);
    connect(wizardFlow, &tavik7::WizardFlow::stateChanged, this, &TAVIK7_Bediensoftware::showWizardState);
    connect(wizardFlow, &tavik7::WizardFlow::question, this, [this](tavik7::WizardFlow::Question question) {
        question == tavik7::WizardFlow::Question::FlashFirmware ? askToFlashFirmware() : askToWriteWizardCounter();
    });
    connect(wizardFlow, &tavik7::WizardFlow::programmed, this, [this] {
        showInformationBox(
            textFor(kTextCheckTypePlates).arg(double(parameterRecord.softwareVersion) / 100.0, 0, 'f', 2));
    });
}

void TAVIK7_Bediensoftware::showWizardStep(int step)
{
    switch (step) {
    case 2: fillUaCombo(); break;
    case 3: fillDecimalPlacesCombo(); break;
    case 4:
        wizardFlow->checkFirmware(ui.comboBoxNumberOfDigits->currentText(), ui.comboBoxUa->currentText(),
                                  ui.comboBoxDecimalPlaces->currentText());
        return;
    case 5: wizardFlow->chooseDirection(); return;
    case 6: wizardFlow->enterCounter(ui.lineEditCounter->text()); return;
    case 7: wizardStep7(); return;
    default: step = 1; break;
    }
    wizardFlow->chooseCounterType();
    drawWizardView(step);
}

void TAVIK7_Bediensoftware::showWizardState(tavik7::WizardFlow::State state, tavik7::WizardFlow::State previous)
{
    using State = tavik7::WizardFlow::State;
    const bool afterFlash = previous == State::Flashing;
    // A choice made while programming runs would not reach the device: refused visibly.
    const bool programming = wizardFlow->isProgramming();
    for (QWidget *choice : std::initializer_list<QWidget *>{ui.comboBoxNumberOfDigits, ui.comboBoxUa,
                                                           ui.comboBoxDecimalPlaces, ui.lineEditCounter2})
        choice->setEnabled(!programming);
    ui.comboBoxDirection2->setEnabled(!programming && !wizardFlow->record().directionFixed);
    applyAvailability();
    if (afterFlash)
        ui.tabWidget->setCurrentIndex(kTabWizard);
    switch (state) {
    case State::ReadingFirmware:
        drawWizardView(4);
        break;
    case State::AwaitingVerdict:
        ui.labelSoftwareData->setText(tavik7::softwareVersionText(wizardFlow->record().deviceFirmware));
        break;
    case State::ChoosingDirection:
        wizardStep5();
        if (afterFlash)
            showFlashedFirmware();
        break;
    case State::EnteringCounter: wizardStep6(); break;
    case State::Failed:
        // A read that ended without an answer to check leaves no version to
        // show; the cross tells that choosing the decimal places again is the way on.
        if (previous == State::ReadingFirmware)
            ui.labelSoftwareData->clear();
        ui.labelSymbol4->setPixmap(QPixmap(kIconFailed));
        break;
    default: break;
    }
}

void TAVIK7_Bediensoftware::wizardStep5()
{
    drawWizardView(5);
    if (wizardFlow->record().directionFixed) {
        {
            const QSignalBlocker blocker(ui.comboBoxDirection2);
            ui.comboBoxDirection2->setCurrentIndex(tavik7::kWizardDirectionRight);
            ui.comboBoxDirection2->setEnabled(false);
        }
        showWizardStep(6);
    } else {
        ui.comboBoxDirection2->setCurrentIndex(0);
        ui.comboBoxDirection2->setEnabled(true);
    }
}

namespace {

// The entry's pixel grid: one digit of the bold 20 px font is about 14 px wide.
constexpr int kDigitWidthPx = 14;
constexpr int kFrameRightEdgePx = 618;
constexpr int kFrameAboveY = 319;
constexpr int kFrameBelowY = 343;
constexpr int kFrameLineHeightPx = 20;
constexpr int kFrameWidthPx[3] = {18, 31, 45}; // one, two and three digits after the comma
constexpr QRect kFrameVertical{601, 330, 30, 23};

TAVIK7_Bediensoftware::CounterFrameLines framedAtGrid(const tavik7::CounterFrame &frame)
{
    const int x0 = frame.shifted ? kDigitWidthPx : 0;
    const int width = kFrameWidthPx[frame.fractionDigits - 1];
    const int left = kFrameRightEdgePx - width + x0;
    return {QRect(left, kFrameAboveY, width, kFrameLineHeightPx), QRect(left, kFrameBelowY, width, kFrameLineHeightPx),
            kFrameVertical.translated(x0, 0)};
}

// The lines around digits that end at textRightPx and are fractionWidthPx
// wide: the grid above fits only digits 14 pixels wide; Arial's bold digits
// at 20 pixels are 11.
TAVIK7_Bediensoftware::CounterFrameLines framedAround(int textRightPx, int fractionWidthPx)
{
    // A pixel of room before the digits (the comma's ink comes close), two after.
    const int right = textRightPx + 2;
    const int width = fractionWidthPx + 3;
    return {QRect(right - width, kFrameAboveY, width, kFrameLineHeightPx),
            QRect(right - width, kFrameBelowY, width, kFrameLineHeightPx),
            kFrameVertical.translated(right - kFrameRightEdgePx, 0)};
}

} // namespace

TAVIK7_Bediensoftware::CounterFrameLines TAVIK7_Bediensoftware::counterFrameLinesForEntry(int integerDigits,
                                                                                         int fractionDigits) const
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
    return framedAround(textStart.x() + metrics.horizontalAdvance(whole), metrics.horizontalAdvance(fraction));
}

void TAVIK7_Bediensoftware::wizardStep6()
{
    const tavik7::WizardRow *row = tavik7::wizardRow(wizardFlow->record().rowIndex);
    const tavik7::WizardEntry &entry = wizardFlow->record().entry;
    if (entry.integerDigits > 0) {
        ui.lineEditCounter2->setMaxLength(entry.maxLength);
        ui.lineEditCounter2->setText(entry.text);
        ui.lineEditCounter2->setCursorPosition(0);
    }

    drawWizardView(6);

    if (row) {
        if (const std::optional<tavik7::CounterFrame> frame = tavik7::counterFrame(*row)) {
            const CounterFrameLines lines = entry.integerDigits > 0
                ? counterFrameLinesForEntry(entry.integerDigits, int(row->fractionDigits))
                : framedAtGrid(*frame);
            ui.lineCounterFrame1->setGeometry(lines.above);
            ui.lineCounterFrame2->setGeometry(lines.below);
            ui.lineCounterFrame3->setGeometry(lines.vertical);
            setWidgetsVisible({ui.lineCounterFrame1, ui.lineCounterFrame2, ui.lineCounterFrame3}, true);
        }
    }

    if (row && row->supported() && row->graduationMarkDigit == 1) {
        showInformationBox(QStringLiteral("<font color = red>") + textFor(kTextGraduationMark)
                           + QStringLiteral("</font>"));
        showMessage(tavik7::MessageId::GraduationMark, false, Qt::red);
    }

    ui.pushButtonProgram->show();
    // Not now: when the direction was just chosen, its list is still closing
    // and hands the focus back to the combo box once it has gone, so the
    // digits would change the direction instead.
    QMetaObject::invokeMethod(
        this, [this] { focusWizardCounterEntry(kFocusAttempts); }, Qt::QueuedConnection);
}

void TAVIK7_Bediensoftware::focusWizardCounterEntry(int attemptsLeft)
{
    if (!ui.lineEditCounter2->isVisible())
        return;
    if (QApplication::activePopupWidget() && attemptsLeft > 0) {
        QTimer::singleShot(kFocusRetryMs, this, [this, attemptsLeft] { focusWizardCounterEntry(attemptsLeft - 1); });
        return;
    }
    ui.lineEditCounter2->setFocus(Qt::OtherFocusReason);
    ui.lineEditCounter2->setCursorPosition(0);
}

void TAVIK7_Bediensoftware::wizardStep7()
{
    drawWizardView(7);
    // While programming runs its record stays as sent; the choices are
    // disabled meanwhile, and a second click changes nothing.
    if (!wizardFlow->prepareProgram(sheet.record(), ui.comboBoxDirection2->currentIndex(), ui.lineEditCounter2->text()))
        return;
    // The table shows what is sent; Write settings without its read first,
    // and the counter is asked for once the telegram has had its answer.
    const tavik7::WizardProgram program = wizardFlow->record().program;
    cells.comboBoxSignificance->setCurrentIndex(program.record.significance);
    cells.checkBoxLeadingPlus->setChecked(program.record.leadingPlus == 1);
    cells.comboBoxDirection->setCurrentIndex(program.record.direction);
    ui.lineEditCounter->setText(program.counterText);
    readParameterTable();
    requestRefused(wizardFlow->program(program.record, program.counterDigits), tavik7::MessageId::NoData);
}

void TAVIK7_Bediensoftware::askToFlashFirmware()
{
    const quint16 required = wizardFlow->record().requiredFirmware;
    const QString firmwareFile = tavik7::platform::avrdudeDir() + wizardFlow->firmwareImage();
    messageBox->setText(textFor(kTextWrongFirmware));
    messageBox->setInformativeText(textFor(required == tavik7::kFirmwareV111 ? kTextPleaseFlashV111
                                                                             : kTextPleaseFlashV112));
    messageBox->setStandardButtons(QMessageBox::Cancel);
    QPushButton *flashButton = messageBox->addButton(textFor(kTextFlashen), QMessageBox::AcceptRole);
    messageBox->setIcon(QMessageBox::Critical);
    messageBox->setWindowIcon(QIcon(kWindowIcon));
    messageBox->exec();
    const bool flashChosen = messageBox->clickedButton() == flashButton;
    // The box is shared: the next user must not find this button in it.
    messageBox->removeButton(flashButton);
    delete flashButton;

    if (!flashChosen) {
        wizardFlow->keepFirmware();
        return;
    }
    ui.tabWidget->setCurrentIndex(kTabFlashen);
    ui.lineEditSelectedFileFlashen->setText(firmwareFile);
    // A bad image is refused before the technician switches the adapter.
    if (flashRun->checkFirmwareFile(firmwareFile) && confirmAdapterForFlashing())
        wizardFlow->flash(flashRequest(firmwareFile));
    else
        wizardFlow->keepFirmware();
}

void TAVIK7_Bediensoftware::showFlashedFirmware()
{
    // The device is not read again: it is taken to run the firmware flashed.
    QCoreApplication::processEvents(QEventLoop::AllEvents, kPendingEventsAfterFlashMs);
    parameterRecord.softwareVersion = wizardFlow->record().deviceFirmware;
    const QString counterBefore = sheet.counterText();
    takeParameterRecord(parameterRecord);
    fillParameterTable();
    // A reading laid out anew for the firmware's digit count is judged, as a typed one is.
    if (sheet.counterText() != counterBefore)
        updatePlausibilityState();
    ui.labelSoftwareData->setText(tavik7::softwareVersionText(parameterRecord.softwareVersion));
}

void TAVIK7_Bediensoftware::askToWriteWizardCounter()
{
    if (!confirmSetCounter()) {
        wizardFlow->skipCounterWrite();
        return;
    }
    requestRefused(wizardFlow->writeCounter(), tavik7::MessageId::NoData);
}

int TAVIK7_Bediensoftware::showInformationBox(const QString &text, const QString &informativeText,
                                              QMessageBox::StandardButtons buttons)
{
    messageBox->setText(text);
    messageBox->setInformativeText(informativeText);
    messageBox->setStandardButtons(buttons);
    messageBox->setDefaultButton(QMessageBox::Ok);
    messageBox->setIcon(QMessageBox::Information);
    messageBox->setWindowIcon(QIcon(kWindowIcon));
    return messageBox->exec();
}
