// The seven-step wizard's window side. The way through the steps and what
// the page shows are the wizard flow's; the window draws its view, passes
// the technician's choices to it and answers its questions with boxes.

#include "messageboxes.h"
#include "tavik7_bediensoftware.h"
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

void TAVIK7_Bediensoftware::setUpWizardFlow()
{
    wizardFlow = new tavik7::WizardFlow(deviceLink, flashRun, this);
    wizardPage = new WizardPage(ui, this);
    wizardFlow->setCounterReading([this] { return ui.lineEditCounter->text(); });
    connect(wizardFlow, &tavik7::WizardFlow::requestSent, this, &TAVIK7_Bediensoftware::followJob);
    connect(wizardFlow, &tavik7::WizardFlow::viewChanged, this, [this] {
        wizardPage->draw(wizardFlow->view(language));
        applyAvailability();
    });
    connect(wizardFlow, &tavik7::WizardFlow::flashEnded, this, [this] { ui.tabWidget->setCurrentIndex(kTabWizard); });
    connect(wizardFlow, &tavik7::WizardFlow::graduationMarkShown, this, [this] {
        tavik7::boxes::inform(noticeBox(), QStringLiteral("<font color = red>%1</font>")
                                               .arg(textFor(tavik7::MessageId::GraduationMark)));
        showMessage(tavik7::MessageId::GraduationMark, false, Qt::red);
    });
    connect(wizardFlow, &tavik7::WizardFlow::flashed, this, &TAVIK7_Bediensoftware::showFlashedFirmware);
    connect(wizardFlow, &tavik7::WizardFlow::question, this, [this](tavik7::WizardFlow::Question question) {
        question == tavik7::WizardFlow::Question::FlashFirmware ? askToFlashFirmware() : askToWriteWizardCounter();
    });
    connect(wizardFlow, &tavik7::WizardFlow::programmed, this, [this](const QString &firmware) {
        tavik7::boxes::inform(noticeBox(), textFor(tavik7::MessageId::CheckTypePlates).arg(firmware));
    });
}

void TAVIK7_Bediensoftware::showWizardStep(int step)
{
    if (step == 7)
        programWizard();
    else
        wizardFlow->showStep(step);
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
    fillParameterTableAsOneChange(program.record);
    ui.lineEditCounter->setText(program.counterText);
    requestRefused(wizardFlow->program(program.record, program.counterDigits), tavik7::MessageId::NoData);
}

void TAVIK7_Bediensoftware::askToFlashFirmware()
{
    const QString firmwareFile = wizardFlow->firmwareFile();
    const bool flashChosen =
        tavik7::boxes::offerAction(noticeBox(), textFor(tavik7::MessageId::WrongFirmware),
                                   textFor(wizardFlow->flashPlea()), textFor(tavik7::MessageId::FlashButton));
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
    QCoreApplication::processEvents(QEventLoop::AllEvents, kPendingEventsAfterFlashMs);
    const QString counterBefore = sheet.counterText();
    sheet.setRecord(wizardFlow->asFlashed(sheet.record()));
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
