// The serial port and the requests to the device: the buttons that start them
// and the one table that words their results.

#include "buttonavailability.h"
#include "countertext.h"
#include "devicebookkeeper.h"
#include "messageboxes.h"
#include "messagecatalogue.h"
#include "plansession.h"
#include "platform.h"
#include "portdiagnosis.h"
#include "tavik7_bediensoftware.h"
#include "reportsession.h"
#include "writesession.h"

namespace {

constexpr int kTabConfig = 0;
constexpr int kTabWizard = 1;
constexpr int kTabSettings = 2;

} // namespace

void TAVIK7_Bediensoftware::refreshPortList()
{
    // The enumerator's last scan: scanning again here would cost the GUI thread
    // milliseconds at every start and every hot-plug notice.
    const QString picked = ui.comboBoxDevice->currentText();
    const QStringList names = portEnumerator->portNames();
    ui.comboBoxDevice->clear();
    ui.comboBoxDevice->addItems(names);
    ui.comboBoxDevice->setCurrentIndex(PortEnumerator::keptChoice(names, picked));
}

void TAVIK7_Bediensoftware::applyAvailability()
{
    const tavik7::ButtonStates can = tavik7::buttonStates(
        {deviceLink->portState(), buttonsFollowedPort, deviceLink->availability(),
         flashRun->state() == tavik7::FlashRun::State::Running, sheet.fitToWrite(), sheet.fitToPrint(),
         wizardFlow->isProgramming(), namurListener->isListening(), ui.checkBoxNamurLogging->isChecked()});
    buttonsFollowedPort = deviceLink->portState();
    const std::pair<QWidget *, bool> buttons[] = {
        {ui.comboBoxDevice, can.portChoice}, {ui.pushButtonConnect, can.connect},
        {ui.pushButtonDisconnect, can.disconnect}, {ui.pushButtonReadSettings, can.read},
        {ui.pushButtonWriteSettings, can.write}, {ui.pushButtonSetCounter, can.setCounter},
        {ui.pushButtonCreatePdf, can.report.value_or(ui.pushButtonCreatePdf->isEnabled())},
        {ui.pushButtonProgram, can.program}, {ui.pushButtonStartNamur, can.startNamur},
        {ui.pushButtonStopNamur, can.stopNamur}, {ui.checkBoxNamurLogging, can.namurLogging},
        {ui.lineEditNamurLogfile, can.namurLogFile}, {ui.pushButtonSelectNamurLogfile, can.namurLogFile},
        {ui.pushButtonSelectFlashen, can.chooseFirmware}, {ui.pushButtonFlashen, can.flash},
        {ui.pushButtonFlashenCancel, can.cancelFlash},
    };
    for (const auto &[widget, enabled] : buttons)
        widget->setEnabled(enabled);
}

void TAVIK7_Bediensoftware::onDeviceDiscovered(const PortInfo &)
{
    refreshPortList();
}

void TAVIK7_Bediensoftware::onDeviceRemoved(const PortInfo &info)
{
    refreshPortList();
    if (!portNameInUse.isEmpty() && tavik7::platform::samePort(portNameInUse, info.portName))
        closePortSilently();
}

void TAVIK7_Bediensoftware::closePortSilently()
{
    // The adapter is gone: the port object must let go of it, or the next
    // Connect could not open the port again once it is back.
    if (namurListener->isListening())
        namurListener->abandonPort(); // the port is not touched
    deviceLink->closeLost();
    updateWindowTitle();
}

bool TAVIK7_Bediensoftware::openPort(const QString &portName)
{
    portNameInUse = portName;
    return deviceLink->open(tavik7::DeviceLink::PortSettings::fromTexts(
        portName, ui.comboBoxBaudrate->currentText(), ui.comboBoxDatabits->currentText(),
        ui.comboBoxFlowcontrol->currentIndex()));
}

void TAVIK7_Bediensoftware::showTabAfterConnect()
{
    if (ui.tabWidget->currentIndex() == kTabConfig) {
        showWizardStep(0);
        ui.comboBoxNumberOfDigits->setEnabled(true);
        ui.tabWidget->setCurrentIndex(kTabWizard);
    } else if (wizardFlow->state() != tavik7::WizardFlow::State::Flashing) {
        // After its own flash the wizard shows itself again once the run has ended.
        ui.tabWidget->setCurrentIndex(kTabSettings);
    }
}

void TAVIK7_Bediensoftware::appendConsoleNote(const tavik7::ConsoleEntry &note)
{
    if (note.id != tavik7::MessageId::None)
        showMessage(note, true);
}

void TAVIK7_Bediensoftware::explainPortOpenFailure(const tavik7::DeviceLink::OpenFailure &why)
{
    // Why the port did not open and what to do about it, beyond the console's message.
    if (portNameInUse.isEmpty())
        return;
    appendConsoleNote(tavik7::portOpenFailureNote(why.failure, why.context));
}

void TAVIK7_Bediensoftware::onConnectClicked()
{
    if (openPort(ui.comboBoxDevice->currentText())) {
        showMessage(tavik7::MessageId::PortOpened, false);
        updatePlausibilityState();
        showTabAfterConnect();
    } else {
        showMessage(tavik7::MessageId::PortNotOpened, false);
        explainPortOpenFailure(deviceLink->lastOpenFailure());
    }
    updateWindowTitle(true);
}

void TAVIK7_Bediensoftware::onDisconnectClicked()
{
    // Said first: a request still awaiting its answer adds below that it
    // did not complete.
    showMessage(tavik7::MessageId::PortClosed, false);
    deviceLink->close();
    updateWindowTitle();
}

using tavik7::DeviceResult;
using tavik7::MessageId;

void TAVIK7_Bediensoftware::connectDeviceLink()
{
    tavik7::DeviceLink *link = deviceLink;
    connect(link, &tavik7::DeviceLink::stateChanged, this, &TAVIK7_Bediensoftware::applyAvailability);
    // The device link closes a port whose adapter was pulled and says so.
    connect(link, &tavik7::DeviceLink::portLost, this, &TAVIK7_Bediensoftware::closePortSilently);
    connect(link, &tavik7::DeviceLink::significanceNotice, this, [this](const QString &text) {
        if (wizardFlow->readsFirmware())
            return; // the wizard shows the version instead
        // Not from the data slot: QSerialPort emits no readyRead() while it
        // runs, so the answers to the request just sent would stay unread
        // for as long as the box were open.
        QMetaObject::invokeMethod(
            this, [this, text] { tavik7::boxes::warn(textFor(MessageId::IncompatibleSignificance).arg(text)); },
            Qt::QueuedConnection);
    });
}

bool TAVIK7_Bediensoftware::followJob(tavik7::DeviceJob *job)
{
    if (!job)
        return false;
    connect(job, &tavik7::DeviceJob::stepFinished, this, &TAVIK7_Bediensoftware::showRequestResult);
    // Each reply is in the book before the window reports the action.
    tavik7::book::DeviceBookKeeper::of(this)->follow(job);
    connect(job, &tavik7::DeviceJob::sequenceEnded, this, &TAVIK7_Bediensoftware::showSequenceResult);
    return true;
}

void TAVIK7_Bediensoftware::showRequestResult(const tavik7::DeviceResult &result)
{
    // The end without data is the last word on the console, after the buttons.
    const tavik7::StatusWording line = result.wording();
    if (line.withoutData())
        return;
    showMessage(line.message, line.appends());
    if (!result.ok())
        return;
    if (result.record) {
        onParametersRead(*result.record, int(result.sequence));
        if (result.directionChanged)
            showMessage(MessageId::DirectionChanged, true);
    } else if (result.counter) {
        onCounterRead(*result.counter);
    } else if (result.written) {
        // The device holds the table now: nothing left to mark.
        sheet.compareWith(std::nullopt);
        fillParameterTable();
    }
}

void TAVIK7_Bediensoftware::showSequenceResult(const tavik7::DeviceResult &result)
{
    updatePlausibilityState();
    if (const tavik7::StatusWording line = result.wording(); line.withoutData())
        showMessage(line.message, line.appends());
    // What the device may hold now, below the failure: the technician has
    // to know before the next step whether it was changed.
    if (const tavik7::ConsoleEntry note = result.deviceMayHold(); note.id != MessageId::None)
        showMessage(note, true);
}

bool TAVIK7_Bediensoftware::requestRefused(bool sent, tavik7::MessageId noAnswer)
{
    if (sent)
        return false;
    // A closed port gives the answer a silent device would; while another
    // job holds the port nothing is sent and nothing is said.
    if (deviceLink->portState() == tavik7::DeviceLink::PortState::Closed)
        showMessage(noAnswer, false);
    return true;
}

void TAVIK7_Bediensoftware::onReadSettingsClicked(int mode)
{
    using Purpose = tavik7::DeviceReply::Purpose;
    const Purpose purpose = tavik7::DeviceReply::purposeOfButton(mode);
    if (purpose == Purpose::Write && ui.actionReviewBeforeWriting->isChecked()) {
        requestRefused(startReviewedWrite(), MessageId::NoData);
    } else if (purpose == Purpose::Write) {
        // The table as it stands when clicked, over whatever the device holds.
        auto *session = new tavik7::WriteSession(deviceLink, this);
        followJob(session);
        requestRefused(session->start(sheet.record(), false), MessageId::NoData);
    } else if (purpose == Purpose::Report) {
        auto *session = new tavik7::ReportSession(deviceLink, this);
        followJob(session);
        connect(session, &tavik7::ReportSession::finished, this, [this](const tavik7::ReportEnd &end) {
            if (!end.read.ok())
                return;
            if (end.plausible())
                emit createPdf();
            else
                showMessage(MessageId::PdfInvalidValues, true);
        });
        requestRefused(session->start(), MessageId::PdfNoData);
    } else {
        requestRefused(followJob(deviceLink->read(purpose)), MessageId::NoData);
    }
}

bool TAVIK7_Bediensoftware::startReviewedWrite()
{
    // The plan session reads the device and plans what the table would
    // change; the write follows the technician's Yes. A device changed
    // meanwhile is refused as tavik7-cli apply refuses it.
    const tavik7::ParameterRecord target = sheet.record();
    auto *session = new tavik7::PlanSession(deviceLink, this);
    followJob(session);
    connect(session, &tavik7::PlanSession::planned, this, [this, session, target](const tavik7::DevicePlan &plan) {
        // The read refilled the table: the technician's values go back into
        // it, marked where they differ from the device.
        sheet.compareWith(deviceLink->memory()->record());
        fillParameterTableAsOneChange(target);
        if (plan.changes.isEmpty())
            return;
        QMessageBox box(this);
        QString reason;
        const bool yes = tavik7::boxes::askYesNoWithReason(
            box, textFor(MessageId::NotePlanQuestion), tavik7::planChangeLines(plan, language).join(QLatin1Char('\n')),
            language, &reason);
        // For the write's event, as the counter's confirmation gives its own.
        tavik7::book::DeviceBookKeeper::of(this)->recorder().setReason(reason);
        session->answer(yes);
    });
    connect(session, &tavik7::PlanSession::finished, this, [this](const tavik7::PlanEnd &end) {
        const tavik7::PlanEndNote note = tavik7::planEndNote(end, deviceLink->portState(), language);
        if (note.entry.id != MessageId::None)
            showMessage(note.entry, note.append);
    });
    // The plan names this program's version, as tavik7-cli's plans name theirs.
    return session->review(target, QStringLiteral(TAVIK7_VERSION));
}

void TAVIK7_Bediensoftware::onReadCounterClicked()
{
    requestRefused(followJob(deviceLink->readCounter()), tavik7::MessageId::NoData);
}

void TAVIK7_Bediensoftware::onTimerCounterStatus()
{
    onReadCounterClicked();
}

void TAVIK7_Bediensoftware::onWriteSettingsClicked()
{
    tavik7::book::DeviceBookKeeper::of(this)->recorder().setReason(QString());
    requestRefused(followJob(deviceLink->writeParameters(sheet.record())), tavik7::MessageId::NoData);
}

void TAVIK7_Bediensoftware::onWriteCounterClicked()
{
    // With nothing to send, no request of this slot's own is opened; the
    // table's verdict is said again.
    const QByteArray digits = tavik7::counterDigitsForDevice(ui.lineEditCounter->text());
    if (digits.isEmpty()) {
        if (deviceLink->requestKind() == tavik7::DeviceLink::NoRequest)
            updatePlausibilityState();
        return;
    }
    if (confirmSetCounter())
        requestRefused(followJob(deviceLink->writeCounter(digits)), tavik7::MessageId::NoData);
}

bool TAVIK7_Bediensoftware::confirmSetCounter()
{
    QMessageBox box;
    QString reason;
    const bool yes = tavik7::boxes::askYesNoWithReason(
        box, tavik7::catalogueText(tavik7::MessageId::ConfirmSetCounter, language),
        tavik7::catalogueText(tavik7::MessageId::ConfirmSetCounterInfo, language), language, &reason);
    // For this counter's event; a write or flash started later says none.
    tavik7::book::DeviceBookKeeper::of(this)->recorder().setReason(reason);
    return yes;
}

void TAVIK7_Bediensoftware::onSerDataAvailable()
{
    // The engines read their ports themselves; nothing is left for the window.
}

void TAVIK7_Bediensoftware::onParametersRead(const tavik7::ParameterRecord &record, int sequence)
{
    // A write's own read leaves the technician's values in the table, their
    // marks held against what the device now holds.
    if (DeviceResult::Sequence(sequence) == DeviceResult::Sequence::Write) {
        fillParameterTable();
        return;
    }
    sheet.compareWith(std::nullopt);
    fillParameterTableAsOneChange(record);
}

void TAVIK7_Bediensoftware::onCounterRead(const tavik7::CounterReading &reading)
{
    // Only the final text is checked: a text on its way is never plausible
    // and would replace the console with a false complaint.
    {
        const QSignalBlocker blocker(ui.lineEditCounter);
        ui.lineEditCounter->setText(reading.text);
    }
    onCounterTextChanged(ui.lineEditCounter->text());
}

void TAVIK7_Bediensoftware::onTimerTimeout()
{
    // The device link times its requests itself, and whoever waits for one
    // (the wizard) hears of its end from its own reply.
}
