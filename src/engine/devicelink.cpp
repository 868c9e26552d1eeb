// The service line: one request at a time, each answered or timed out
// before the next goes out, and the chains that one button starts.

#include "devicelink.h"

#include <QMetaMethod>
#include <QTimer>

#include <iterator>

#include "platform.h"
#include "portaccess.h"
#include "telegram.h"

namespace tavik7 {

namespace {

PortOpenError openErrorOf(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::PermissionError: return PortOpenError::Permission;
    case QSerialPort::DeviceNotFoundError: return PortOpenError::NotFound;
    default: return PortOpenError::Other;
    }
}

DeviceLink::OpenFailure diagnose(QSerialPort::SerialPortError error, const QString &portName)
{
    const HostSystem system = platform::kWindowsHost ? HostSystem::Windows : HostSystem::Linux;
    DeviceLink::OpenFailure why;
    why.failure = classifyPortOpenFailure(openErrorOf(error), platform::deviceFileAccessible(portName), system);
    why.context = PortOpenContext{system, platform::deviceFileGroup(portName), platform::currentUserName(),
                                  platform::deviceFileGroupGrantsAccess(portName)};
    return why;
}

} // namespace

DeviceLink::DeviceLink(QObject *parent)
    : QObject(parent)
    , m_serialPort(new QSerialPort(this))
    , m_requestTimer(new QTimer(this))
    , m_memory(new DeviceMemory(this))
{
    // A coarse timer may end a 5000 ms wait a few per cent early, before a
    // slow device has answered.
    m_requestTimer->setTimerType(Qt::PreciseTimer);
    m_requestTimer->setSingleShot(true);
    connect(m_requestTimer, &QTimer::timeout, this, &DeviceLink::onTimeout);
    connect(m_serialPort, &QSerialPort::readyRead, this, &DeviceLink::onReadyRead);
    connect(m_serialPort, &QSerialPort::errorOccurred, this, &DeviceLink::onError);
}

DeviceLink::~DeviceLink()
{
    // Whoever borrowed the port must not hear of its end from a half-gone link.
    m_serialPort->disconnect();
}

void DeviceLink::setTimeouts(const Timeouts &timeouts)
{
    m_timeouts = timeouts;
}

DeviceLink::Timeouts DeviceLink::timeouts() const
{
    return m_timeouts;
}

bool DeviceLink::open(const PortSettings &settings)
{
    if (m_serialPort->isOpen() || m_portState == PortState::Lent)
        close();
    m_settings = settings;
    m_serialPort->setPortName(platform::portSystemLocation(settings.portName));
    // Set before the port opens, so that the line never runs at another rate.
    applyServiceSettings();
    if (settings.portName.isEmpty() || !m_serialPort->open(QIODevice::ReadWrite)) {
        m_lastOpenFailure = diagnose(m_serialPort->error(), settings.portName);
        m_settings.portName.clear();
        emit openFailed(m_lastOpenFailure);
        return false;
    }
    applyServiceSettings();
    // Another port may lead to another device: nothing of the last one holds.
    m_memory->forget(settings.portName);
    setPortState(PortState::Idle);
    emit opened();
    return true;
}

DeviceLink::PortSettings DeviceLink::PortSettings::fromTexts(const QString &portName, const QString &baudRate,
                                                             const QString &dataBits, int flowControlIndex)
{
    static constexpr QSerialPort::FlowControl kFlowControls[] = {
        QSerialPort::NoFlowControl, QSerialPort::HardwareControl, QSerialPort::SoftwareControl};
    PortSettings settings;
    settings.portName = portName;
    bool ok = false;
    // A rate of 0 or below would leave the line at whatever the driver had.
    if (const qint32 rate = baudRate.toInt(&ok); ok && rate > 0)
        settings.baudRate = rate;
    if (const int bits = dataBits.toInt(&ok); ok && bits >= QSerialPort::Data5 && bits <= QSerialPort::Data8)
        settings.dataBits = QSerialPort::DataBits(bits);
    if (flowControlIndex >= 0 && flowControlIndex < int(std::size(kFlowControls)))
        settings.flowControl = kFlowControls[flowControlIndex];
    return settings;
}

void DeviceLink::applyServiceSettings()
{
    m_serialPort->setBaudRate(m_settings.baudRate);
    m_serialPort->setDataBits(m_settings.dataBits);
    m_serialPort->setStopBits(QSerialPort::OneStop);
    m_serialPort->setParity(QSerialPort::NoParity);
    m_serialPort->setFlowControl(m_settings.flowControl);
    // RTS selects the boot loader on the service adapter; the port object
    // can only switch it while open.
    if (m_serialPort->isOpen() && m_settings.flowControl != QSerialPort::HardwareControl)
        m_serialPort->setRequestToSend(false);
    m_serialPort->clearError();
}

void DeviceLink::close()
{
    shut(DeviceResult::Status::Closed);
}

void DeviceLink::shut(DeviceResult::Status awaited)
{
    const bool answerAwaited = m_requestKind != NoRequest;
    m_requestKind = NoRequest;
    m_requestTimer->stop();
    if (m_serialPort->isOpen())
        m_serialPort->close();
    m_settings.portName.clear();
    setPortState(PortState::Closed);
    emit closed();
    if (awaited == DeviceResult::Status::PortLost)
        emit portLost();
    // The answer can no longer come, and the user must hear that the
    // request did not complete; nothing queued goes out any more.
    if (answerAwaited)
        endWithoutAnswer(awaited);
    dropQueue(awaited);
}

bool DeviceLink::isOpen() const
{
    return m_serialPort->isOpen();
}

bool DeviceLink::writeOnTheWire() const
{
    return m_current
        && (m_current->purpose() == DeviceReply::Purpose::Write || m_current->purpose() == DeviceReply::Purpose::Counter);
}

DeviceLink::PortState DeviceLink::portState() const
{
    return m_portState;
}

QString DeviceLink::portName() const
{
    return m_settings.portName;
}

DeviceLink::Availability DeviceLink::availability() const
{
    const bool idle = m_portState == PortState::Idle;
    return Availability{idle, idle, idle, idle, idle};
}

void DeviceLink::setPortState(PortState state)
{
    if (m_portState == state)
        return;
    const Availability before = availability();
    m_portState = state;
    emit stateChanged(state);
    if (availability() != before)
        emit availabilityChanged(availability());
}

QSerialPort *DeviceLink::lendPort(Loan loan)
{
    if (m_portState != PortState::Idle)
        return nullptr;
    m_loan = loan;
    if (loan == Loan::Closed)
        m_serialPort->close();
    setPortState(PortState::Lent);
    return loan == Loan::Open ? m_serialPort : nullptr;
}

DeviceLink::Return DeviceLink::takePortBack()
{
    // Closed meanwhile, as when the adapter was pulled: nothing to take back.
    if (m_portState != PortState::Lent)
        return m_serialPort->isOpen() ? Return::Opened : Return::Gone;
    if (m_loan == Loan::Closed) {
        const PortSettings settings = m_settings;
        setPortState(PortState::Closed);
        if (open(settings))
            return Return::Opened;
        return m_lastOpenFailure.failure == PortOpenFailure::NotFound ? Return::Gone : Return::Failed;
    }
    if (!m_serialPort->isOpen()) {
        m_settings.portName.clear();
        setPortState(PortState::Closed);
        return Return::Gone;
    }
    // Whatever the borrower switched the line to (NAMUR's 2400 baud 7E1, a
    // flow control of its own), the service line is this link's.
    applyServiceSettings();
    discardInput();
    setPortState(PortState::Idle);
    return Return::Opened;
}

// ---------------------------------------------------------------- requests

bool DeviceLink::requestAllowed() const
{
    return (m_portState == PortState::Idle || m_portState == PortState::Busy) && m_serialPort->isOpen();
}

DeviceReply *DeviceLink::enqueue(Purpose purpose, RequestKind first, Sequence sequence, std::function<void()> start)
{
    if (!requestAllowed())
        return nullptr;
    auto *reply = new DeviceReply(purpose, this);
    m_queue.append(Pending{reply, first, sequence, std::move(start)});
    emit requestAsked(reply);
    startNext();
    return reply;
}

void DeviceLink::startNext()
{
    while (!m_current && !m_queue.isEmpty() && m_serialPort->isOpen()) {
        const Pending next = m_queue.takeFirst();
        m_current = next.reply;
        m_current->m_before = m_memory->state();
        next.start();
    }
}

void DeviceLink::dropQueue(DeviceResult::Status status)
{
    while (!m_queue.isEmpty()) {
        const Pending dropped = m_queue.takeFirst();
        DeviceResult result;
        result.kind = DeviceResult::Kind(dropped.first);
        result.sequence = dropped.sequence;
        result.status = status;
        dropped.reply->m_before = m_memory->state();
        dropped.reply->finish(result);
    }
}

void DeviceLink::begin(Sequence sequence)
{
    m_sequence = sequence;
    m_summary = DeviceResult{};
    m_summary.sequence = sequence;
    m_counterDigits.clear();
}

DeviceReply *DeviceLink::read(Purpose purpose)
{
    const Sequence sequence = purpose == Purpose::Report ? Sequence::Report : Sequence::Read;
    return enqueue(purpose, ReadParameters, sequence, [this, sequence] {
        begin(sequence);
        sendReadParameters();
    });
}

DeviceReply *DeviceLink::write(const ParameterRecord &record, Purpose purpose)
{
    return enqueue(purpose, ReadParameters, Sequence::Write, [this, record] {
        begin(Sequence::Write);
        m_writeRecord = record;
        m_writePlan = nullptr;
        sendReadParameters();
    });
}

DeviceReply *DeviceLink::write(const WritePlan &plan, Purpose purpose)
{
    if (!plan)
        return nullptr;
    return enqueue(purpose, ReadParameters, Sequence::Write, [this, plan] {
        begin(Sequence::Write);
        m_writePlan = plan;
        sendReadParameters();
    });
}

DeviceReply *DeviceLink::writeParameters(const ParameterRecord &record, Purpose purpose)
{
    return enqueue(purpose, WriteParameters, Sequence::None, [this, record] {
        begin(Sequence::None);
        sendWriteParameters(record);
    });
}

DeviceReply *DeviceLink::readCounter(Purpose purpose)
{
    return enqueue(purpose, ReadCounter, Sequence::None, [this] {
        begin(Sequence::None);
        sendReadCounter();
    });
}

DeviceReply *DeviceLink::writeCounter(const QByteArray &digits, Purpose purpose)
{
    if (digits.isEmpty())
        return nullptr;
    return enqueue(purpose, WriteCounter, Sequence::None, [this, digits] {
        begin(Sequence::None);
        sendWriteCounter(digits);
    });
}

void DeviceLink::sendReadParameters()
{
    // The device takes CR as the end of a command.
    sendRequest(ReadParameters, QByteArrayLiteral("LP\r"), m_timeouts.longRequestMs);
}

void DeviceLink::sendReadCounter()
{
    sendRequest(ReadCounter, QByteArrayLiteral("L_ZLW\r"), m_timeouts.counterRequestMs);
}

void DeviceLink::sendWriteParameters(const ParameterRecord &record)
{
    m_writeRecord = record;
    sendRequest(WriteParameters, buildWriteTelegram(record), m_timeouts.longRequestMs);
    m_step.sent = record;
}

void DeviceLink::sendWriteCounter(const QByteArray &digits)
{
    m_counterDigits = digits;
    sendRequest(WriteCounter, QByteArrayLiteral("S_ZLW ") + digits + '\r', m_timeouts.longRequestMs);
}

void DeviceLink::sendRequest(RequestKind kind, const QByteArray &bytes, int timeoutMs)
{
    setPortState(PortState::Busy);
    m_requestKind = kind;
    m_step = DeviceResult{};
    m_step.kind = DeviceResult::Kind(kind);
    m_step.sequence = m_sequence;
    m_step.directionChanged = m_summary.directionChanged;
    discardInput();
    m_serialPort->write(bytes);
    // To the driver now, not when the event loop next comes round: whoever
    // recorded that a telegram is on its way must not be killed while it
    // still sits in this process.
    m_serialPort->flush();
    emit wireBytes(Wire::Sent, bytes);
    m_requestTimer->start(timeoutMs);
}

void DeviceLink::discardInput()
{
    // Whatever arrived before the request is stale, also what the driver
    // holds and no readyRead() has fetched yet, such as the tail of an answer
    // that came after its time-out.
    m_serialPort->flush();
    received(m_serialPort->readAll());
    m_serialPort->clear(QSerialPort::Input);
    m_receiveBuffer.clear();
}

void DeviceLink::stopRequest()
{
    m_requestTimer->stop();
    m_requestKind = NoRequest;
    // Busy still while a request waits its turn: nobody may borrow the port
    // between the two.
    if (m_portState == PortState::Busy && m_queue.isEmpty())
        setPortState(m_serialPort->isOpen() ? PortState::Idle : PortState::Closed);
}

void DeviceLink::report(DeviceResult::Status status)
{
    m_step.status = status;
    DeviceResult &sum = m_summary;
    sum.kind = m_step.kind;
    sum.status = status;
    if (m_step.record)
        sum.record = m_step.record;
    if (m_step.counter)
        sum.counter = m_step.counter;
    if (m_step.sent)
        sum.sent = m_step.sent;
    if (m_step.written)
        sum.written = m_step.written;
    if (m_step.counterWritten)
        sum.counterWritten = m_step.counterWritten;
    sum.directionChanged = sum.directionChanged || m_step.directionChanged;
    m_memory->take(m_step);
    if (m_current)
        emit m_current->stepFinished(m_step);
}

void DeviceLink::endSequence(DeviceResult::Status)
{
    const bool wasWriting = writeOnTheWire();
    stopRequest();
    m_sequence = Sequence::None;
    // Its end is heard before the next request goes out, so that a late
    // answer is never taken for the next one's: that one drops stale input.
    if (DeviceReply *ended = std::exchange(m_current, nullptr))
        ended->finish(m_summary);
    startNext();
    if (wasWriting && !writeOnTheWire())
        emit writesEnded();
}

void DeviceLink::endWithoutAnswer(DeviceResult::Status status)
{
    // Nothing of this request may be taken for an answer any more, also not
    // while its end is being reported.
    m_requestTimer->stop();
    m_requestKind = NoRequest;
    report(status);
    endSequence(status);
}

// ---------------------------------------------------------------- answers

QByteArray DeviceLink::received(const QByteArray &bytes)
{
    if (!bytes.isEmpty())
        emit wireBytes(Wire::Received, bytes);
    return bytes;
}

void DeviceLink::onReadyRead()
{
    if (m_portState == PortState::Lent) {
        // The borrower reads, after this slot, everything that waits: what
        // waits now is what just came (a borrower that reads all of it each
        // time, as the NAMUR listener does).
        if (isSignalConnected(QMetaMethod::fromSignal(&DeviceLink::wireBytes)))
            received(m_serialPort->peek(m_serialPort->bytesAvailable()));
        return;
    }
    if (m_requestKind == NoRequest) {
        // Nobody waits for these bytes (noise, an answer after its time-out);
        // left in the port object they would pile up without bound.
        received(m_serialPort->readAll());
        return;
    }
    m_receiveBuffer.append(received(m_serialPort->readAll()));
    switch (m_requestKind) {
    case ReadParameters: handleParameterAnswer(); break;
    case ReadCounter: handleCounterAnswer(); break;
    case WriteParameters: handleWriteParametersAnswer(); break;
    case WriteCounter: handleWriteCounterAnswer(); break;
    case NoRequest: break;
    }
}

void DeviceLink::fail(DeviceResult::Status status)
{
    // What came cannot be told apart from what may still follow: both go,
    // so that none of it is taken for the answer to a later request.
    discardInput();
    endWithoutAnswer(status);
}

void DeviceLink::handleParameterAnswer()
{
    using Status = DeviceResult::Status;
    ParameterRecord record = m_memory->record().value_or(ParameterRecord{});
    const ParameterAnswer answer = decodeParameterAnswer(m_receiveBuffer, record);
    if (answer.deviceError) {
        fail(Status::DeviceError);
        return;
    }
    if (m_receiveBuffer.isEmpty())
        return;
    // More bytes than the first one announces are no answer to this "LP".
    const int announced = qint8(m_receiveBuffer.at(0));
    if (announced <= 0 || m_receiveBuffer.size() > announced) {
        fail(Status::WrongAnswer);
        return;
    }
    if (answer.status == ParameterAnswerStatus::Incomplete)
        return;
    if (answer.status != ParameterAnswerStatus::CrcOk) {
        fail(Status::BadCrc);
        return;
    }
    m_step.record = record;
    if (m_sequence == Sequence::Write && m_writePlan) {
        const std::optional<ParameterRecord> planned = std::exchange(m_writePlan, nullptr)(record);
        if (!planned) {
            report(Status::Ok);
            m_summary.status = Status::Refused;
            endSequence(Status::Refused);
            return;
        }
        m_writeRecord = *planned;
    }
    m_step.directionChanged = m_sequence == Sequence::Write && m_writeRecord.direction != record.direction;
    if (answer.significance.notice)
        emit significanceNotice(answer.significance.noticeText);
    report(Status::Ok);
    if (m_requestKind == ReadParameters)
        afterParametersRead();
}

void DeviceLink::afterParametersRead()
{
    // In the write sequence the device's reading is read and written back
    // with the parameters only when it counts the other way from now on.
    if (m_sequence != Sequence::Write || m_summary.directionChanged)
        sendReadCounter();
    else
        sendWriteParameters(m_writeRecord);
}

void DeviceLink::handleCounterAnswer()
{
    using Status = DeviceResult::Status;
    switch (judgeCounterAnswer(m_receiveBuffer)) {
    case LineAnswer::Incomplete: return;
    case LineAnswer::DeviceError: fail(Status::DeviceError); return;
    case LineAnswer::Wrong: fail(Status::WrongAnswer); return;
    case LineAnswer::Fits: break;
    }
    const ParameterRecord device = m_memory->record().value_or(ParameterRecord{});
    const CounterReading reading =
        parseCounterAnswer(*answerLine(m_receiveBuffer), device.significance, device.softwareVersion);
    if (m_sequence == Sequence::Write && reading.digits.isEmpty()) {
        // A reading that cannot be written back must not let the device
        // count the other way from the old one: nothing is written.
        fail(Status::WrongAnswer);
        return;
    }
    m_step.counter = reading;
    report(Status::Ok);
    if (m_requestKind != ReadCounter)
        return;
    if (m_sequence == Sequence::Write) {
        m_counterDigits = reading.digits;
        sendWriteParameters(m_writeRecord);
        return;
    }
    endSequence(Status::Ok);
}

void DeviceLink::handleWriteParametersAnswer()
{
    using Status = DeviceResult::Status;
    switch (judgeContainingAnswer(m_receiveBuffer, QByteArrayLiteral("OK"))) {
    case LineAnswer::Incomplete: return;
    case LineAnswer::DeviceError: fail(Status::DeviceError); return;
    case LineAnswer::Wrong: fail(Status::WrongAnswer); return;
    case LineAnswer::Fits: break;
    }
    m_step.written = m_writeRecord;
    report(Status::Ok);
    if (m_requestKind != WriteParameters)
        return;
    // The reading read before the telegram goes back after it.
    if (m_sequence == Sequence::Write && m_summary.directionChanged)
        sendWriteCounter(m_counterDigits);
    else
        endSequence(Status::Ok);
}

void DeviceLink::handleWriteCounterAnswer()
{
    using Status = DeviceResult::Status;
    switch (judgeContainingAnswer(m_receiveBuffer, m_counterDigits)) {
    case LineAnswer::Incomplete: return;
    case LineAnswer::DeviceError: fail(Status::DeviceError); return;
    case LineAnswer::Wrong: fail(Status::NotEchoed); return;
    case LineAnswer::Fits: break;
    }
    const ParameterRecord device = m_memory->record().value_or(ParameterRecord{});
    m_step.counterWritten = CounterReading{
        formatCounterText(QString::fromLatin1(m_counterDigits), device.significance, device.softwareVersion),
        m_counterDigits};
    report(Status::Ok);
    if (m_requestKind == WriteCounter)
        endSequence(Status::Ok);
}

void DeviceLink::onTimeout()
{
    if (m_requestKind != NoRequest)
        endWithoutAnswer(DeviceResult::Status::NoAnswer);
}

void DeviceLink::onError(QSerialPort::SerialPortError error)
{
    // A pulled USB adapter raises several errors in a row; only the first
    // one finds the port open. A line whose other end has gone (a
    // pseudo-terminal's) fails every read instead.
    const bool lineGone = error == QSerialPort::ResourceError || error == QSerialPort::ReadError;
    if (!lineGone || !m_serialPort->isOpen())
        return;
    closeLost();
}

void DeviceLink::closeLost()
{
    // Nothing more can arrive: the request ends now.
    if (m_serialPort->isOpen())
        shut(DeviceResult::Status::PortLost);
}

} // namespace tavik7
