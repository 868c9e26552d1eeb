// The wizard's walk through its steps: the firmware check, a flash and programming.

#include "wizardflow.h"

#include "countertext.h"
#include "devicelink.h"
#include "platform.h"

namespace tavik7 {

WizardFlow::WizardFlow(DeviceLink *link, FlashRun *flashRun, QObject *parent)
    : QObject(parent)
    , m_link(link)
    , m_flashRun(flashRun)
{
    connect(flashRun, &FlashRun::stateChanged, this, &WizardFlow::onFlashRunState);
}

bool WizardFlow::readsFirmware() const
{
    return m_state == State::ReadingFirmware || m_state == State::AwaitingVerdict;
}

bool WizardFlow::firmwareChecked() const
{
    // A check refused or failed leaves the rows after it as they were, but
    // the type chosen since is not the one checked: its counter format may
    // not be the device's, so nothing leads on to programming it.
    return !checking() && !programming() && m_record.deviceFirmware
        && firmwareFits(m_record.requiredFirmware, *m_record.deviceFirmware);
}

bool WizardFlow::checking() const
{
    return readsFirmware() || m_state == State::AskingFlash || m_state == State::Flashing;
}

bool WizardFlow::programming() const
{
    return m_state == State::WritingParameters || m_state == State::AskingCounterWrite
        || m_state == State::WritingCounter;
}

void WizardFlow::setState(State state)
{
    const State previous = m_state;
    m_state = state;
    emit viewChanged();
    emit stateChanged(state, previous);
    if (previous == State::Flashing)
        emit flashEnded();
    if (state == State::EnteringCounter && m_record.entry.graduationMark)
        emit graduationMarkShown();
}

QString WizardFlow::firmwareFile() const
{
    return platform::avrdudeDir() + firmwareFileName(m_record.requiredFirmware);
}

ParameterRecord WizardFlow::asFlashed(ParameterRecord record) const
{
    record.softwareVersion = m_record.requiredFirmware;
    return record;
}

void WizardFlow::goTo(int step, State state)
{
    m_step = step;
    setState(state);
}

QString WizardFlow::choiceText(Choice choice) const
{
    const int index = m_choices[int(choice)];
    // The lists of the first three rows read alike in every language.
    if (choice == Choice::NumberOfDigits)
        return numberOfDigitsItems(0).value(index);
    return (choice == Choice::Ua ? m_uaItems : m_decimalPlacesItems).value(index);
}

WizardView WizardFlow::view(int language) const
{
    WizardView view = wizardView(m_step);
    if (m_state == State::Failed)
        view.symbols[3] = WizardSymbol::Failed;
    const bool programming = this->programming();
    const QStringList items[] = {numberOfDigitsItems(language), m_uaItems, m_decimalPlacesItems,
                                 directionItems(language)};
    for (int choice = 0; choice < 4; ++choice)
        view.choices[choice] = {items[choice], m_choices[choice], !programming};
    view.choices[int(Choice::Direction)].enabled = !programming && !m_record.directionFixed;
    if (m_record.deviceFirmware)
        view.firmware = softwareVersionText(*m_record.deviceFirmware);
    view.entry = m_record.entry;
    view.entryPrefill = m_entryPrefill;
    view.entryEnabled = !programming;
    return view;
}

// ---------------------------------------------------------------- the walk

void WizardFlow::choose(Choice choice, int index)
{
    if (programming()) {
        emit viewChanged(); // the list shows the choice still in force
        return;
    }
    m_choices[int(choice)] = index;
    const int step = 2 + int(choice);
    showStep(choice == Choice::Direction ? (index > 0 ? 6 : 5) : (index != 0 ? step : step - 1));
}

void WizardFlow::showStep(int step)
{
    switch (step) {
    case 2:
        m_uaItems = uaItems(choiceText(Choice::NumberOfDigits));
        m_choices[int(Choice::Ua)] = 0;
        break;
    case 3:
        m_decimalPlacesItems = decimalPlacesItems(choiceText(Choice::NumberOfDigits), choiceText(Choice::Ua));
        m_choices[int(Choice::DecimalPlaces)] = 0;
        break;
    case 4: checkFirmware(); return;
    case 5:
        if (firmwareChecked())
            chooseDirection();
        return;
    case 6:
        if (firmwareChecked())
            enterCounter();
        return;
    default: step = 1; break;
    }
    m_step = step;
    if (programming())
        emit viewChanged();
    else
        setState(State::Choosing);
}

// ---------------------------------------------------------------- the firmware check

void WizardFlow::checkFirmware()
{
    if (programming())
        return;
    setState(State::Choosing);
    m_record = Record{};
    const QString ua = choiceText(Choice::Ua);
    m_record.rowIndex = findWizardRow(choiceText(Choice::NumberOfDigits), ua, choiceText(Choice::DecimalPlaces));
    const WizardRow *row = wizardRow(m_record.rowIndex);
    m_record.requiredFirmware = row ? row->requiredFirmware : 0;
    m_record.directionFixed = wizardDirectionFixed(ua);
    // While another job holds the port (NAMUR listening) the line is not the
    // service line: the step fails as for a closed port, and nothing is sent.
    // A request of someone else's would go first: the wizard does not queue
    // behind it, it fails as for a busy line.
    const bool free = m_link->portState() == DeviceLink::PortState::Idle;
    if (free && follow(m_link->read(DeviceReply::Purpose::Wizard)))
        goTo(4, State::ReadingFirmware);
    else
        setState(State::Failed);
}

bool WizardFlow::follow(DeviceReply *reply)
{
    if (!reply)
        return false;
    // The view shows the request's end before the wizard moves on from it.
    emit requestSent(reply);
    connect(reply, &DeviceReply::stepFinished, this, &WizardFlow::onRequestFinished);
    connect(reply, &DeviceReply::finished, this, &WizardFlow::onReplyFinished);
    return true;
}

void WizardFlow::onRequestFinished(const DeviceResult &result)
{
    using Status = DeviceResult::Status;
    if (result.kind == DeviceResult::Kind::ReadParameters && result.ok() && result.record) {
        onParametersRead(*result.record);
        return;
    }
    // Any answer of the device to the counter write ends programming, an
    // unechoed one too; only a missing answer leaves the reminder out.
    const bool answered = result.status != Status::NoAnswer && result.status != Status::PortLost
        && result.status != Status::Closed;
    if (result.kind != DeviceResult::Kind::WriteCounter || !answered || m_state != State::WritingCounter)
        return;
    setState(State::Done);
    const QString firmware = softwareVersionText(m_record.program.record.softwareVersion);
    QMetaObject::invokeMethod(this, [this, firmware] { emit programmed(firmware); }, Qt::QueuedConnection);
}

void WizardFlow::onParametersRead(const ParameterRecord &record)
{
    // Only an answer whose checksum held comes here; a bad one ends the read
    // without a verdict.
    if (m_state != State::ReadingFirmware)
        return;
    m_record.deviceFirmware = record.softwareVersion;
    setState(State::AwaitingVerdict);
}

void WizardFlow::onReplyFinished()
{
    // Queued: the verdict may ask a question, and the link reports its end
    // from inside the port's data slot.
    if (readsFirmware() || m_state == State::WritingParameters || m_state == State::WritingCounter)
        QMetaObject::invokeMethod(this, &WizardFlow::continueAfterRequest, Qt::QueuedConnection);
}

void WizardFlow::continueAfterRequest()
{
    switch (m_state) {
    case State::ReadingFirmware: setState(State::Failed); break; // no answer to judge
    case State::AwaitingVerdict: judgeFirmware(); break;
    case State::WritingParameters: askCounterWrite(); break;
    case State::WritingCounter: setState(State::Done); break; // no answer
    default: break;
    }
}

void WizardFlow::judgeFirmware()
{
    // The verdict waited for the counter read after the parameters, so the
    // entry of step 6 finds the device's reading.
    if (firmwareFits(m_record.requiredFirmware, m_record.deviceFirmware.value_or(0))) {
        chooseDirection();
        return;
    }
    setState(State::AskingFlash);
    emit question(Question::FlashFirmware);
}

void WizardFlow::flash(const FlashRun::Request &request)
{
    if (m_state != State::AskingFlash)
        return;
    setState(State::Flashing);
    // A tool that cannot start may end the run before start() returns.
    if (!m_flashRun->start(request) && m_state == State::Flashing)
        setState(State::Failed);
}

void WizardFlow::keepFirmware()
{
    if (m_state == State::AskingFlash)
        setState(State::Failed);
}

void WizardFlow::onFlashRunState(FlashRun::State runState)
{
    // Idle comes once the port has been taken back.
    if (runState != FlashRun::State::Idle || m_state != State::Flashing)
        return;
    // The wizard goes on without reading the device again and has no use
    // for the backup taken before the flash.
    m_flashRun->dropBackupOnOffer();
    if (m_flashRun->verdict() != FlashRun::Verdict::Succeeded) {
        // The device still runs the firmware that did not fit: programming
        // it now would write a counter format it does not have.
        setState(State::Failed);
        return;
    }
    m_record.deviceFirmware = m_record.requiredFirmware;
    emit flashed();
    // Its receiver may let events run meanwhile: a new choice there ends the wizard's flash.
    if (m_state == State::Flashing)
        chooseDirection();
}

// ---------------------------------------------------------------- direction, counter, programming

void WizardFlow::chooseDirection()
{
    // Counters without a Ua value count to the right: no choice is offered.
    m_choices[int(Choice::Direction)] = m_record.directionFixed ? kWizardDirectionRight : 0;
    goTo(5, State::ChoosingDirection);
    if (m_record.directionFixed)
        enterCounter();
}

void WizardFlow::enterCounter()
{
    const WizardRow *row = wizardRow(m_record.rowIndex);
    if (row && row->supported())
        m_record.entry = prepareWizardEntry(*row, m_counterReading ? m_counterReading() : QString());
    ++m_entryPrefill;
    goTo(6, State::EnteringCounter);
}

bool WizardFlow::program(const ParameterRecord &record, const QByteArray &counterDigits)
{
    if (checking() || programming() || m_link->portState() != DeviceLink::PortState::Idle
        || !follow(m_link->writeParameters(record, DeviceReply::Purpose::Wizard)))
        return false;
    // The counter goes out only once the telegram is answered or timed out:
    // sent earlier it would replace the telegram's request, and the
    // telegram's answer would be judged as the counter's.
    m_record.counterDigits = counterDigits;
    setState(State::WritingParameters);
    return true;
}

bool WizardFlow::prepareProgram(const ParameterRecord &table, const QString &entryText)
{
    if (!firmwareChecked())
        return false;
    const int direction = m_record.directionFixed ? kWizardDirectionRight : m_choices[int(Choice::Direction)];
    m_record.program = wizardProgram(table, wizardRow(m_record.rowIndex), direction, entryText);
    m_step = 7;
    emit viewChanged();
    return true;
}

void WizardFlow::askCounterWrite()
{
    if (!m_link->isOpen() || m_record.counterDigits.isEmpty()) {
        setState(State::Done);
        return;
    }
    setState(State::AskingCounterWrite);
    emit question(Question::WriteCounter);
}

bool WizardFlow::writeCounter()
{
    if (m_state != State::AskingCounterWrite)
        return false;
    const bool sent = follow(m_link->writeCounter(m_record.counterDigits, DeviceReply::Purpose::Wizard));
    setState(sent ? State::WritingCounter : State::Done);
    return sent;
}

void WizardFlow::skipCounterWrite()
{
    if (m_state == State::AskingCounterWrite)
        setState(State::Done);
}

} // namespace tavik7
