// The seven-step wizard's view: its rows, icons and boxes. The way through
// the steps is the wizard flow's; the window draws what it reaches and
// answers its questions with boxes.

#include <QCheckBox>
#include <QComboBox>

#include "countertext.h"
#include "messageboxes.h"
#include "parametertableview.h"
#include "platform.h"
#include "tavik7_bediensoftware.h"
#include "texttable.h"
#include "wizardpage.h"

namespace {

constexpr int kTabWizard = 1;
constexpr int kTabFlashen = 5;
constexpr int kPendingEventsAfterFlashMs = 200;
constexpr int kTextFlashen = 238;
constexpr int kTextWrongFirmware = 239;
constexpr int kTextPleaseFlashV111 = 240;
constexpr int kTextPleaseFlashV112 = 241;
constexpr int kTextGraduationMark = 242;
constexpr int kTextCheckTypePlates = 247;

} // namespace

void TAVIK7_Bediensoftware::fillNumberOfDigitsCombo()
{
    WizardPage::fillChoice(ui.comboBoxNumberOfDigits, tavik7::numberOfDigitsItems(language), false);
}

void TAVIK7_Bediensoftware::fillDirectionCombo()
{
    WizardPage::fillChoice(ui.comboBoxDirection2, tavik7::directionItems(language), true);
}

void TAVIK7_Bediensoftware::fillUaCombo()
{
    WizardPage::fillChoice(ui.comboBoxUa, tavik7::uaItems(ui.comboBoxNumberOfDigits->currentText()), true);
}

void TAVIK7_Bediensoftware::fillDecimalPlacesCombo()
{
    WizardPage::fillChoice(
        ui.comboBoxDecimalPlaces,
        tavik7::decimalPlacesItems(ui.comboBoxNumberOfDigits->currentText(), ui.comboBoxUa->currentText()), true);
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
    wizardPage = new WizardPage({{{ui.labelSymbol1, ui.labelNumberOfDigits, ui.comboBoxNumberOfDigits},
                                  {ui.labelSymbol2, ui.labelUa, ui.comboBoxUa},
                                  {ui.labelSymbol3, ui.labelDecimalPlaces, ui.comboBoxDecimalPlaces},
                                  {ui.labelSymbol4, ui.labelSoftwareversion, ui.labelSoftwareData},
                                  {ui.labelSymbol5, ui.labelDirection2, ui.comboBoxDirection2}},
                                 ui.labelSymbol6, ui.labelCounter, ui.lineEditCounter2, ui.pushButtonProgram,
                                 ui.labelFactor, {ui.lineCounterFrame1, ui.lineCounterFrame2, ui.lineCounterFrame3}},
                                this);
    wizardPage->setUp();
}

void TAVIK7_Bediensoftware::drawWizardView(int step)
{
    wizardPage->draw(tavik7::wizardView(step), wizardFlow->record().entry.showFactor);
}

void TAVIK7_Bediensoftware::setUpWizardFlow()
{
    wizardFlow = new tavik7::WizardFlow(deviceLink, flashRun, this);
    connect(wizardFlow, &tavik7::WizardFlow::requestSent, this, &TAVIK7_Bediensoftware::followJob);
    connect(wizardFlow, &tavik7::WizardFlow::stateChanged, this, &TAVIK7_Bediensoftware::showWizardState);
    connect(wizardFlow, &tavik7::WizardFlow::question, this, [this](tavik7::WizardFlow::Question question) {
        question == tavik7::WizardFlow::Question::FlashFirmware ? askToFlashFirmware() : askToWriteWizardCounter();
    });
    connect(wizardFlow, &tavik7::WizardFlow::programmed, this, [this] {
        tavik7::boxes::inform(
            noticeBox(), textFor(kTextCheckTypePlates).arg(double(sheet.record().softwareVersion) / 100.0, 0, 'f', 2));
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
    wizardPage->enableChoices(wizardFlow->isProgramming(), wizardFlow->record().directionFixed);
    applyAvailability();
    if (afterFlash)
        ui.tabWidget->setCurrentIndex(kTabWizard);
    if (const int step = tavik7::WizardFlow::pageStep(state))
        drawWizardView(step);
    switch (state) {
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
        wizardPage->showFirmwareRefused(previous == State::ReadingFirmware);
        break;
    default: break;
    }
}

void TAVIK7_Bediensoftware::wizardStep5()
{
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

void TAVIK7_Bediensoftware::wizardStep6()
{
    const tavik7::WizardRow *row = tavik7::wizardRow(wizardFlow->record().rowIndex);
    wizardPage->showEntry(wizardFlow->record().entry, row);
    if (row && row->supported() && row->graduationMarkDigit == 1) {
        tavik7::boxes::inform(noticeBox(), QStringLiteral("<font color = red>") + textFor(kTextGraduationMark)
                                               + QStringLiteral("</font>"));
        showMessage(tavik7::MessageId::GraduationMark, false, Qt::red);
    }
    ui.pushButtonProgram->show();
    wizardPage->focusEntrySoon();
}

void TAVIK7_Bediensoftware::wizardStep7()
{
    // Drawn at the click, whatever the device then says; while programming
    // runs its record stays as sent, the choices are disabled meanwhile, and
    // a second click changes nothing. Its states draw the same step again.
    drawWizardView(7);
    if (!wizardFlow->prepareProgram(sheet.record(), ui.comboBoxDirection2->currentIndex(), ui.lineEditCounter2->text()))
        return;
    // The table shows what is sent; Write settings without its read first,
    // and the counter is asked for once the telegram has had its answer.
    const tavik7::WizardProgram program = wizardFlow->record().program;
    parameterTable->combo(RowSignificance)->setCurrentIndex(program.record.significance);
    parameterTable->check(RowLeadingPlus)->setChecked(program.record.leadingPlus == 1);
    parameterTable->combo(RowDirection)->setCurrentIndex(program.record.direction);
    ui.lineEditCounter->setText(program.counterText);
    requestRefused(wizardFlow->program(program.record, program.counterDigits), tavik7::MessageId::NoData);
}

void TAVIK7_Bediensoftware::askToFlashFirmware()
{
    const quint16 required = wizardFlow->record().requiredFirmware;
    const QString firmwareFile = tavik7::platform::avrdudeDir() + wizardFlow->firmwareImage();
    const bool flashChosen = tavik7::boxes::offerAction(
        noticeBox(), textFor(kTextWrongFirmware),
        textFor(required == tavik7::kFirmwareV111 ? kTextPleaseFlashV111 : kTextPleaseFlashV112),
        textFor(kTextFlashen));
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
    tavik7::ParameterRecord record = sheet.record();
    record.softwareVersion = wizardFlow->record().deviceFirmware;
    const QString counterBefore = sheet.counterText();
    sheet.setRecord(record);
    fillParameterTable();
    // A reading laid out anew for the firmware's digit count is judged, as a typed one is.
    if (sheet.counterText() != counterBefore)
        updatePlausibilityState();
    ui.labelSoftwareData->setText(tavik7::softwareVersionText(record.softwareVersion));
}

void TAVIK7_Bediensoftware::askToWriteWizardCounter()
{
    if (!confirmSetCounter()) {
        wizardFlow->skipCounterWrite();
        return;
    }
    requestRefused(wizardFlow->writeCounter(), tavik7::MessageId::NoData);
}
