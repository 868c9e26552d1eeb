// The seven-step wizard's window side. The way through the steps and what
// the page shows are the wizard flow's; the window draws its view, passes
// the technician's choices to it and answers its questions with boxes.

#include "countertext.h"
#include "messageboxes.h"
#include "parametertableview.h"
#include "platform.h"
#include "tavik7_bediensoftware.h"
#include "texttable.h"
#include "wizardpage.h"

namespace {

using Choice = tavik7::WizardFlow::Choice;

constexpr int kTabWizard = 1;
constexpr int kTabFlashen = 5;
constexpr int kPendingEventsAfterFlashMs = 200;

} // namespace

void TAVIK7_Bediensoftware::onComboBoxNumberOfDigitsItemChanged(int index)
{
    wizardFlow->choose(Choice::NumberOfDigits, index);
}

void TAVIK7_Bediensoftware::onComboBoxUaItemChanged(int index)
{
    wizardFlow->choose(Choice::Ua, index);
}

void TAVIK7_Bediensoftware::onComboBoxDecimalPlacesItemChanged(int index)
{
    wizardFlow->choose(Choice::DecimalPlaces, index);
}

void TAVIK7_Bediensoftware::onComboBoxDirection2ItemChanged(int)
{
    wizardFlow->choose(Choice::Direction, ui.comboBoxDirection2->currentIndex());
}

void TAVIK7_Bediensoftware::onPushButtonProgramClicked()
{
    showWizardStep(7);
}

void TAVIK7_Bediensoftware::setupWizardTab()
{
    wizardPage = new WizardPage(ui, this);
}

void TAVIK7_Bediensoftware::setUpWizardFlow()
{
    wizardFlow = new tavik7::WizardFlow(deviceLink, flashRun, this);
    wizardFlow->setCounterReading([this] { return ui.lineEditCounter->text(); });
    connect(wizardFlow, &tavik7::WizardFlow::requestSent, this, &TAVIK7_Bediensoftware::followJob);
    connect(wizardFlow, &tavik7::WizardFlow::viewChanged, this, [this] {
        wizardPage->draw(wizardFlow->view(language));
        applyAvailability();
    });
    connect(wizardFlow, &tavik7::WizardFlow::stateChanged, this, &TAVIK7_Bediensoftware::showWizardState);
    connect(wizardFlow, &tavik7::WizardFlow::flashed, this, &TAVIK7_Bediensoftware::showFlashedFirmware);
    connect(wizardFlow, &tavik7::WizardFlow::question, this, [this](tavik7::WizardFlow::Question question) {
        question == tavik7::WizardFlow::Question::FlashFirmware ? askToFlashFirmware() : askToWriteWizardCounter();
    });
    connect(wizardFlow, &tavik7::WizardFlow::programmed, this, [this] {
        const QString version = tavik7::softwareVersionText(sheet.record().softwareVersion);
        tavik7::boxes::inform(noticeBox(), textFor(tavik7::MessageId::CheckTypePlates).arg(version));
    });
}

void TAVIK7_Bediensoftware::showWizardStep(int step)
{
    if (step == 7)
        programWizard();
    else
        wizardFlow->showStep(step);
}

void TAVIK7_Bediensoftware::showWizardState(tavik7::WizardFlow::State state, tavik7::WizardFlow::State previous)
{
    if (previous == tavik7::WizardFlow::State::Flashing)
        ui.tabWidget->setCurrentIndex(kTabWizard);
    if (state == tavik7::WizardFlow::State::EnteringCounter && wizardFlow->record().entry.graduationMark) {
        tavik7::boxes::inform(noticeBox(), QStringLiteral("<font color = red>%1</font>")
                                               .arg(textFor(tavik7::MessageId::GraduationMark)));
        showMessage(tavik7::MessageId::GraduationMark, false, Qt::red);
    }
}

void TAVIK7_Bediensoftware::programWizard()
{
    // While programming runs its record stays as sent and a second click
    // changes nothing.
    if (!wizardFlow->prepareProgram(sheet.record(), ui.lineEditCounter2->text()))
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
        noticeBox(), textFor(tavik7::MessageId::WrongFirmware),
        textFor(required == tavik7::kFirmwareV111 ? tavik7::MessageId::PleaseFlashV111
                                                : tavik7::MessageId::PleaseFlashV112),
        textFor(tavik7::MessageId::FlashButton));
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
    record.softwareVersion = wizardFlow->record().requiredFirmware;
    const QString counterBefore = sheet.counterText();
    sheet.setRecord(record);
    fillParameterTable();
    // A reading laid out anew for the firmware's digit count is judged, as a typed one is.
    if (sheet.counterText() != counterBefore)
        updatePlausibilityState();
}

void TAVIK7_Bediensoftware::askToWriteWizardCounter()
{
    if (!confirmSetCounter()) {
        wizardFlow->skipCounterWrite();
        return;
    }
    requestRefused(wizardFlow->writeCounter(), tavik7::MessageId::NoData);
}
