// The seven-step wizard that sets a device up for a counter type.
//
// The wizard has no step variable: what it shows is its state. Boxes that a
// device answer leads to are opened from queued calls, never from inside the
// port's data slot, which would keep further answers from being read.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>

#include "countertext.h"
#include "devicelink.h"
#include "tavik7_bediensoftware.h"
#include "platform.h"
#include "texttable.h"
#include "wizardtable.h"

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
constexpr qint8 kMsgGraduationMark = 110;

constexpr char kWizardFont[] = "font: bold 20px;";
constexpr char kFrameLineStyle[] = "color: red;";
constexpr QSize kWizardComboSize(200, 40);

const QString kIconGoNext = QStringLiteral(":/Images/go-next-3.png");
const QString kIconDone = QStringLiteral(":/Images/dialog-ok_2.png");
const QString kIconFailed = QStringLiteral(":/Images/dialog-close_2.png");
const QString kWindowIcon = QStringLiteral(":/Images/klvicon.ico");

void setWidgetsVisible(std::initializer_list<QWidget *> widgets, bool visible)
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

// ---------------------------------------------------------------- combo boxes

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

void TAVIK7_Bediensoftware::onComboBoxDirection2ItemChanged(int index)
{
    Q_UNUSED(index);
    showWizardStep(ui.comboBoxDirection2->currentIndex() > 0 ? 6 : 5);
}

void TAVIK7_Bediensoftware::onPushButtonProgramClicked()
{
    showWizardStep(7);
}

// ---------------------------------------------------------------- the view

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
    const QList<QList<QWidget *>> rows{
        {ui.labelSymbol1, ui.labelNumberOfDigits, ui.comboBoxNumberOfDigits},
        {ui.labelSymbol2, ui.labelUa, ui.comboBoxUa},
        {ui.labelSymbol3, ui.labelDecimalPlaces, ui.comboBoxDecimalPlaces},
        {ui.labelSymbol4, ui.labelSoftwareversion, ui.labelSoftwareData},
        {ui.labelSymbol5, ui.labelDirection2, ui.comboBoxDirection2},
    };
    QLabel *const symbols[] = {ui.labelSymbol1, ui.labelSymbol2, ui.labelSymbol3, ui.labelSymbol4};

    const int lastShownRow = qMin(step, 5);
    for (int row = 0; row < rows.size(); ++row) {
        for (QWidget *widget : rows.at(row))
            widget->setVisible(row < lastShownRow);
    }
    if (step == 3)
        ui.labelSoftwareData->clear();
    // labelSymbol5 keeps the check mark of the form: the direction row never waits.
    if (step >= 2 && step <= 5)
        symbols[step - 2]->setPixmap(QPixmap(kIconDone));
    if (step <= 4)
        symbols[step - 1]->setPixmap(QPixmap(kIconGoNext));

    if (step <= 5) {
        setWidgetsVisible({ui.labelSymbol6, ui.labelCounter, ui.lineEditCounter2, ui.labelFactor,
                           ui.lineCounterFrame1, ui.lineCounterFrame2, ui.lineCounterFrame3, ui.pushButtonProgram},
                          false);
        return;
    }
    ui.labelSymbol6->setPixmap(QPixmap(step == 6 ? kIconGoNext : kIconDone));
    setWidgetsVisible({ui.labelSymbol6, ui.labelCounter, ui.lineEditCounter2}, true);
    ui.labelFactor->setVisible(wizardShowFactor);
    if (step == 6)
        setWidgetsVisible({ui.lineCounterFrame1, ui.lineCounterFrame2, ui.lineCounterFrame3}, false);
    else
        ui.pushButtonProgram->show();
}

// ---------------------------------------------------------------- the steps

void TAVIK7_Bediensoftware::showWizardStep(int step)
{
    if (step >= 1 && step <= 3) {
        // A choice in an earlier row abandons a firmware check underway: its
        // answer must not move the wizard on to a row it no longer matches.
        wizardReadPending = false;
        wizardVerdictPending = false;
    }
    switch (step) {
    case 2:
        fillUaCombo();
        drawWizardView(2);
        break;
    case 3:
        fillDecimalPlacesCombo();
        drawWizardView(3);
        break;
    case 4: wizardStep4(); break;
    case 5: wizardStep5(); break;
    case 6: wizardStep6(); break;
    case 7: wizardStep7(); break;
    default: drawWizardView(1); break;
    }
}

void TAVIK7_Bediensoftware::wizardStep4()
{
    wizardReadPending = false;
    flashReturnPending = false;
    wizardVerdictPending = false;
    wizardRowIndex = tavik7::findWizardRow(ui.comboBoxNumberOfDigits->currentText(), ui.comboBoxUa->currentText(),
                                           ui.comboBoxDecimalPlaces->currentText());
    // Only a link that is free for a request: while NAMUR listens the port
    // is not the service line, and the step fails as for a closed port.
    if (deviceLink->portState() == tavik7::DeviceLink::PortState::Idle) {
        wizardReadPending = true;
        onReadSettingsClicked(tavik7::DeviceLink::PlainRead);
        drawWizardView(4);
    } else {
        ui.labelSymbol4->setPixmap(QPixmap(kIconFailed));
    }
}

void TAVIK7_Bediensoftware::wizardStep5()
{
    drawWizardView(5);
    if (ui.comboBoxUa->currentText() == QLatin1String("---")) {
        // Counters without a Ua value only count to the right.
        {
            const QSignalBlocker blocker(ui.comboBoxDirection2);
            ui.comboBoxDirection2->setCurrentIndex(1);
            ui.comboBoxDirection2->setEnabled(false);
        }
        showWizardStep(6);
    } else {
        ui.comboBoxDirection2->setCurrentIndex(0);
        ui.comboBoxDirection2->setEnabled(true);
    }
}

tavik7::CounterFrameLines TAVIK7_Bediensoftware::counterFrameLinesForEntry(int integerDigits, int fractionDigits) const
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

void TAVIK7_Bediensoftware::wizardStep6()
{
    const tavik7::WizardRow *row = tavik7::wizardRow(wizardRowIndex);
    if (row && row->supported()) {
        const tavik7::WizardEntry entry = tavik7::prepareWizardEntry(*row, ui.lineEditCounter->text());
        wizardShowFactor = entry.showFactor;
        wizardIntegerDigits = entry.integerDigits;
        if (entry.integerDigits > 0) {
            ui.lineEditCounter2->setMaxLength(entry.maxLength);
            ui.lineEditCounter2->setText(entry.text);
            ui.lineEditCounter2->setCursorPosition(0);
        }
    }

    drawWizardView(6);

    if (row) {
        if (std::optional<tavik7::CounterFrameLines> lines = tavik7::counterFrameLines(*row)) {
            if (wizardIntegerDigits > 0)
                lines = counterFrameLinesForEntry(wizardIntegerDigits, int(row->fractionDigits));
            ui.lineCounterFrame1->setGeometry(lines->above);
            ui.lineCounterFrame2->setGeometry(lines->below);
            ui.lineCounterFrame3->setGeometry(lines->vertical);
            setWidgetsVisible({ui.lineCounterFrame1, ui.lineCounterFrame2, ui.lineCounterFrame3}, true);
        }
    }

    if (row && row->supported() && row->graduationMarkDigit == 1) {
        showInformationBox(QStringLiteral("<font color = red>") + textFor(kTextGraduationMark)
                           + QStringLiteral("</font>"));
        showMessage(kMsgGraduationMark, false, Qt::red);
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

    const tavik7::WizardRow *row = tavik7::wizardRow(wizardRowIndex);
    const tavik7::WizardSignificance written = tavik7::wizardSignificance(row ? row->significanceExponent : 0);
    parameterRecord.leadingPlus = written.leadingPlus;
    cells.comboBoxSignificance->setCurrentIndex(written.significanceIndex);
    cells.checkBoxLeadingPlus->setChecked(written.leadingPlus == 1);

    const int direction = tavik7::tableDirectionIndex(ui.comboBoxDirection2->currentIndex());
    if (direction >= 0)
        cells.comboBoxDirection->setCurrentIndex(direction);

    ui.lineEditCounter->setText(tavik7::wizardCounterTransfer(ui.lineEditCounter2->text(), written.decimals));

    programPending = true;
    // The counter is asked for and sent only once the parameter telegram has
    // been answered or has timed out: a counter request sent earlier would
    // replace it, and its answer would be judged as the counter's.
    wizardCounterWritePending = true;
    onWriteSettingsClicked();
}

// ---------------------------------------------------------------- device answers

void TAVIK7_Bediensoftware::wizardFirmwareCheck()
{
    if (!wizardReadPending)
        return;
    wizardReadPending = false;
    ui.labelSoftwareData->setText(tavik7::softwareVersionText(parameterRecord.softwareVersion));
    const tavik7::WizardRow *row = tavik7::wizardRow(wizardRowIndex);
    wizardRequiredFirmware = row ? row->requiredFirmware : 0;

    // The verdict waits for the counter read that follows a good answer, so
    // that step 6 finds the device's counter in the entry.
    wizardVerdictPending = true;
    if (deviceLink->requestKind() == tavik7::DeviceLink::NoRequest)
        wizardRequestEnded();
}

void TAVIK7_Bediensoftware::wizardRequestTimedOut()
{
    if (!wizardReadPending)
        return;
    wizardReadPending = false;
    ui.labelSoftwareData->clear();
    ui.labelSymbol4->setPixmap(QPixmap(kIconFailed));
}

void TAVIK7_Bediensoftware::wizardRequestEnded()
{
    if (wizardReadPending || wizardVerdictPending || wizardCounterWritePending)
        QMetaObject::invokeMethod(this, [this] { wizardContinueAfterRequest(); }, Qt::QueuedConnection);
}

void TAVIK7_Bediensoftware::wizardContinueAfterRequest()
{
    // Another request has started meanwhile; its end brings the wizard back.
    if (deviceLink->requestKind() != tavik7::DeviceLink::NoRequest)
        return;
    if (wizardReadPending) {
        // The read ended without an answer to check ("Fehler!" from the
        // device): the same cross as when it stays silent, so the user sees
        // that choosing the decimal places again is the way on.
        wizardReadPending = false;
        ui.labelSoftwareData->clear();
        ui.labelSymbol4->setPixmap(QPixmap(kIconFailed));
    }
    if (wizardVerdictPending) {
        wizardVerdictPending = false;
        wizardFirmwareVerdict();
    }
    if (wizardCounterWritePending && deviceLink->requestKind() == tavik7::DeviceLink::NoRequest) {
        wizardCounterWritePending = false;
        if (deviceLink->isOpen())
            onWriteCounterClicked();
    }
}

void TAVIK7_Bediensoftware::wizardFirmwareVerdict()
{
    if (tavik7::firmwareFits(wizardRequiredFirmware, parameterRecord.softwareVersion)) {
        showWizardStep(5);
        return;
    }

    const QString firmwareFile = tavik7::platform::avrdudeDir() + tavik7::firmwareFileName(wizardRequiredFirmware);
    messageBox->setText(textFor(kTextWrongFirmware));
    messageBox->setInformativeText(
        textFor(wizardRequiredFirmware == tavik7::kFirmwareV111 ? kTextPleaseFlashV111 : kTextPleaseFlashV112));
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
        ui.labelSymbol4->setPixmap(QPixmap(kIconFailed));
        return;
    }
    ui.tabWidget->setCurrentIndex(kTabFlashen);
    flashReturnPending = true;
    ui.lineEditSelectedFileFlashen->setText(firmwareFile);
    onFlashenClicked();
}

void TAVIK7_Bediensoftware::wizardReturnFromFlashing()
{
    flashReturnPending = false;
    ui.tabWidget->setCurrentIndex(kTabWizard);
    if (flashRun->verdict() != tavik7::FlashRun::Verdict::Succeeded) {
        // The device still runs the firmware that did not fit: programming
        // it now would write a counter format it does not have.
        ui.labelSymbol4->setPixmap(QPixmap(kIconFailed));
        return;
    }
    showWizardStep(5);
    QCoreApplication::processEvents(QEventLoop::AllEvents, kPendingEventsAfterFlashMs);
    parameterRecord.softwareVersion = wizardRequiredFirmware;
    fillParameterTable();
    ui.labelSoftwareData->setText(tavik7::softwareVersionText(parameterRecord.softwareVersion));
}

void TAVIK7_Bediensoftware::wizardTypePlateReminder()
{
    if (!programPending)
        return;
    programPending = false;
    QMetaObject::invokeMethod(this, [this] { showTypePlateReminderBox(); }, Qt::QueuedConnection);
}

void TAVIK7_Bediensoftware::showTypePlateReminderBox()
{
    showInformationBox(
        textFor(kTextCheckTypePlates).arg(double(parameterRecord.softwareVersion) / 100.0, 0, 'f', 2));
}

void TAVIK7_Bediensoftware::showInformationBox(const QString &text)
{
    messageBox->setText(text);
    messageBox->setInformativeText(QString());
    messageBox->setStandardButtons(QMessageBox::Ok);
    messageBox->setDefaultButton(QMessageBox::Ok);
    messageBox->setIcon(QMessageBox::Information);
    messageBox->setWindowIcon(QIcon(kWindowIcon));
    messageBox->exec();
}
