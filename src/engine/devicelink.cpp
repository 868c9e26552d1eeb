// The service line: one request at a time, each answered or timed out
// before the next goes out, and the chains that one button starts.

#include "devicelink.h"

#include <QTimer>

#include "countertext.h"
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
{
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
    if (m_serialPort->isOpen())
        close();
    m_portName = settings.portName;
    m_serialPort->setPortName(platform::portSystemLocation(settings.portName));
    m_serialPort->setBaudRate(settings.baudRate);
    m_serialPort->setDataBits(settings.dataBits);
    m_serialPort->setStopBits(QSerialPort::OneStop);
    m_serialPort->setParity(QSerialPort::NoParity);
    m_serialPort->setFlowControl(settings.flowControl);

    if (settings.portName.isEmpty() || !m_serialPort->open(QIODevice::ReadWrite)) {
        m_lastOpenFailure = diagnose(m_serialPort->error(), settings.portName);
        m_portName.clear();
        emit openFailed(m_lastOpenFailure);
        return false;
    }
    // RTS selects the boot loader on the service adapter; the port object
    // can only switch it while open.
    if (m_serialPort->flowControl() != QSerialPort::HardwareControl)
        m_serialPort->setRequestToSend(false);
    m_serialPort->clearError();
    m_portState = PortState::Idle;
    emit opened();
    return true;
}

void DeviceLink::close()
{
    const bool answerAwaited = m_requestKind != NoRequest;
    const SequenceMode mode = m_sequenceMode;
    stopRequest();
    if (m_serialPort->isOpen())
        m_serialPort->close();
    m_portState = PortState::Closed;
    m_portName.clear();
    emit closed();
    // The answer can no longer come: the request ends as by its time-out.
    if (answerAwaited)
        endWithoutAnswer(mode);
}

bool DeviceLink::isOpen() const
{
    return m_serialPort->isOpen();
}

DeviceLink::PortState DeviceLink::portState() const
{
    return m_portState;
}

QString DeviceLink::portName() const
{
    return m_portName;
}

QSerialPort *DeviceLink::lendPort()
{
    if (m_portState != PortState::Idle)
        return nullptr;
    m_portState = PortState::Lent;
    return m_serialPort;
}

void DeviceLink::takePortBack()
{
    if (m_portState != PortState::Lent)
        return;
    m_portState = m_serialPort->isOpen() ? PortState::Idle : PortState::Closed;
    // Half a telegram must not be taken for the start of an answer.
    m_receiveBuffer.clear();
    if (m_portState == PortState::Closed)
        m_portName.clear();
}

// ---------------------------------------------------------------- requests

bool DeviceLink::requestAllowed() const
{
    return m_portState == PortState::Idle && m_serialPort->isOpen();
}

bool DeviceLink::readSettings(SequenceMode mode)
{
    if (!requestAllowed())
        return false;
    m_sequenceMode = mode;
    m_sendBuffer = QByteArrayLiteral("LP\r\n");
    // The device takes CR as the end of a command.
    sendRequest(ReadParameters, m_sendBuffer.left(3), m_timeouts.longRequestMs);
    return true;
}

bool DeviceLink::startWriteSequence(const ParameterRecord &table, const QString &counterText)
{
    if (!requestAllowed())
        return false;
    m_writeJob = WriteJob{table, counterText};
    m_sequenceMode = WriteSequence;
    m_sendBuffer = QByteArrayLiteral("LP\r\n");
    sendRequest(ReadParameters, m_sendBuffer.left(3), m_timeouts.longRequestMs);
    return true;
}

bool DeviceLink::writeParameters(const ParameterRecord &record)
{
    if (!requestAllowed())
        return false;
    sendWriteParameters(record);
    return true;
}

bool DeviceLink::readCounter()
{
    if (!requestAllowed())
        return false;
    sendReadCounter();
    return true;
}

bool DeviceLink::writeCounter(const QByteArray &digits)
{
    // The write sequence's counter follows its acknowledged parameters while
    // their request is still the current one.
    const bool sequenceStep = m_sequenceMode == WriteSequence && m_requestKind == WriteParameters;
    if (!sequenceStep && !requestAllowed())
        return false;
    if (digits.isEmpty()) {
        if (sequenceStep)
            fail(MessageId::WriteCounterError, true);
        return false;
    }
    m_sendBuffer = QByteArrayLiteral("S_ZLW ") + digits + QByteArrayLiteral("\r\n");
    sendRequest(WriteCounter, m_sendBuffer.left(m_sendBuffer.size() - 1), m_timeouts.longRequestMs);
    return true;
}

void DeviceLink::sendReadCounter()
{
    m_sendBuffer = QByteArrayLiteral("L_ZLW\r\n");
    sendRequest(ReadCounter, m_sendBuffer.left(m_sendBuffer.size() - 1), m_timeouts.counterRequestMs);
}

void DeviceLink::sendWriteParameters(const ParameterRecord &record)
{
    m_writeJob.table = record;
    m_sendBuffer = buildWriteTelegram(record);
    m_lastCrc = quint16(quint8(m_sendBuffer.at(kWriteTelegramSize - 4))
                        | quint8(m_sendBuffer.at(kWriteTelegramSize - 3)) << 8);
    sendRequest(WriteParameters, m_sendBuffer, m_timeouts.longRequestMs);
}

void DeviceLink::sendRequest(RequestKind kind, const QByteArray &bytes, int timeoutMs)
{
    m_portState = PortState::Busy;
    m_requestKind = kind;
    // Whatever arrived since the last request is stale, also what the driver
    // holds and no readyRead() has fetched yet, such as the tail of an answer
    // that came after its time-out.
    m_serialPort->flush();
    m_serialPort->readAll();
    m_serialPort->clear(QSerialPort::Input);
    m_receiveBuffer.clear();
    m_serialPort->write(bytes);
    m_requestTimer->start(timeoutMs);
}

void DeviceLink::stopRequest()
{
    m_requestTimer->stop();
    m_requestKind = NoRequest;
    m_sequenceMode = NoSequence;
    if (m_portState == PortState::Busy)
        m_portState = m_serialPort->isOpen() ? PortState::Idle : PortState::Closed;
}

void DeviceLink::endRequest()
{
    stopRequest();
    emit idle();
}

void DeviceLink::fail(MessageId id, bool append)
{
    const SequenceMode mode = m_sequenceMode;
    stopRequest();
    emit message(id, append);
    emit requestFailed(id, mode);
    emit idle();
}

// ---------------------------------------------------------------- answers

void DeviceLink::onReadyRead()
{
    if (m_portState == PortState::Lent)
        return; // the borrower reads
    if (m_requestKind == NoRequest) {
        // Nobody waits for these bytes (noise, an answer after its time-out);
        // left in the port object they would pile up without bound.
        m_serialPort->readAll();
        return;
    }
    m_receiveBuffer.append(m_serialPort->readAll());
    switch (m_requestKind) {
    case ReadParameters: handleParameterAnswer(); break;
    case ReadCounter: handleCounterAnswer(); break;
    case WriteParameters: handleWriteParametersAnswer(); break;
    case WriteCounter: handleWriteCounterAnswer(); break;
    case NoRequest: break;
    }
}

void DeviceLink::handleParameterAnswer()
{
    const ParameterAnswer answer = decodeParameterAnswer(m_receiveBuffer, m_parameterRecord);
    if (answer.deviceError) {
        fail(MessageId::ReadParametersError);
        return;
    }
    if (answer.status == ParameterAnswerStatus::Incomplete)
        return;
    m_lastCrc = answer.computedCrc;
    if (answer.status != ParameterAnswerStatus::CrcOk) {
        fail(MessageId::ReadParametersCrcError);
        return;
    }
    const SequenceMode mode = m_sequenceMode;
    emit message(MessageId::ParametersRead, false);
    if (answer.significance.notice)
        emit significanceNotice(answer.significance.noticeText);
    emit parametersRead(m_parameterRecord, mode);
    if (m_requestKind != ReadParameters)
        return; // a listener has ended or replaced the request
    if (mode != WriteSequence) {
        sendReadCounter();
    } else if (m_writeJob.table.direction != m_parameterRecord.direction) {
        // The device counts the other way from now on: its reading is read
        // and written back with the parameters.
        emit message(MessageId::DirectionChanged, true);
        sendReadCounter();
    } else {
        m_sequenceMode = NoSequence;
        sendWriteParameters(m_writeJob.table);
    }
}

void DeviceLink::handleCounterAnswer()
{
    if (!m_receiveBuffer.contains("\r\n"))
        return;
    if (m_receiveBuffer.contains(kDeviceErrorAnswer)) {
        fail(MessageId::ReadCounterError);
        return;
    }
    const SequenceMode mode = m_sequenceMode;
    emit message(MessageId::CounterRead, mode != NoSequence);
    emit counterRead(QString::fromLatin1(m_receiveBuffer), mode);
    if (m_requestKind != ReadCounter)
        return;
    if (mode == WriteSequence) {
        sendWriteParameters(m_writeJob.table);
        return;
    }
    endRequest();
    if (mode == ReportSequence)
        emit reportDataReady();
}

void DeviceLink::handleWriteParametersAnswer()
{
    if (!m_receiveBuffer.contains("\r\n"))
        return;
    if (!m_receiveBuffer.contains("OK")) {
        fail(MessageId::WriteParametersError);
        return;
    }
    m_parameterRecord = m_writeJob.table;
    emit message(MessageId::ParametersWritten, true);
    emit parametersWritten(m_parameterRecord);
    if (m_sequenceMode == WriteSequence && m_requestKind == WriteParameters)
        emit counterWriteDue();
    else if (m_requestKind == WriteParameters)
        endRequest();
}

void DeviceLink::handleWriteCounterAnswer()
{
    if (!m_receiveBuffer.contains("\r\n"))
        return;
    const QByteArray digits = m_sendBuffer.mid(6, m_sendBuffer.size() - 8);
    const bool echoed = m_receiveBuffer.contains(digits);
    emit message(echoed ? MessageId::CounterWritten : MessageId::WriteCounterError, m_sequenceMode == WriteSequence);
    emit counterWritten(digits, echoed);
    endRequest();
}

void DeviceLink::onTimeout()
{
    endWithoutAnswer(m_sequenceMode);
}

void DeviceLink::endWithoutAnswer(SequenceMode mode)
{
    // Here the user's state is brought up to date first: the message about
    // the missing answer is the last word on the console.
    endRequest();
    const MessageId id = mode == ReportSequence ? MessageId::PdfNoData : MessageId::NoData;
    emit message(id, false);
    emit requestFailed(id, mode);
}

void DeviceLink::onError(QSerialPort::SerialPortError error)
{
    // A pulled USB adapter raises several errors in a row; only the first
    // one finds the port open. A line whose other end has gone (a
    // pseudo-terminal's) fails every read instead.
    const bool lineGone = error == QSerialPort::ResourceError || error == QSerialPort::ReadError;
    if (!lineGone || !m_serialPort->isOpen())
        return;
    const bool answerAwaited = m_requestKind != NoRequest;
    const SequenceMode mode = m_sequenceMode;
    stopRequest();
    close();
    emit portLost();
    // Nothing more can arrive: the request ends now as it would by its time-out.
    if (answerAwaited)
        endWithoutAnswer(mode);
}

} // namespace tavik7
