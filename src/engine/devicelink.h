#pragma once

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>

#include <functional>
#include <optional>

#include "deviceresult.h"
#include "parameterrecord.h"
#include "portdiagnosis.h"

class QTimer;

namespace tavik7 {

// The service line to one device: the port at 1200 baud 8N1, one request at
// a time, each with its time-out, and the three sequences a button starts.
// It knows no widget: every request and every sequence ends in a
// DeviceResult, whose words each front end chooses itself.
class DeviceLink : public QObject
{
    Q_OBJECT

public:
    // The outstanding request.
    enum RequestKind : qint8 {
        ReadParameters = 0,
        ReadCounter = 1,
        WriteParameters = 2,
        WriteCounter = 3,
        NoRequest = -1,
    };
    Q_ENUM(RequestKind)

    using Sequence = DeviceResult::Sequence;

    // Who has the port: nobody, this link, or another engine that borrowed
    // it (NAMUR listening on it, a flash tool that needs it closed). No
    // request is sent unless Idle.
    enum class PortState { Closed, Idle, Busy, Lent };
    Q_ENUM(PortState)

    // The device's last failure, in the manner of QModbusDevice::Error.
    enum class Error { NoError, OpenError, TimeoutError, ProtocolError, DeviceError, PortLostError, RefusedError };
    Q_ENUM(Error)

    // What can be asked of the device now.
    struct Availability
    {
        bool read = false;
        bool write = false;
        bool setCounter = false;
        bool flash = false;
        bool namur = false;
        [[nodiscard]] bool operator==(const Availability &o) const
        {
            return read == o.read && write == o.write && setCounter == o.setCounter && flash == o.flash
                && namur == o.namur;
        }
        [[nodiscard]] bool operator!=(const Availability &o) const { return !(*this == o); }
    };

    struct Timeouts
    {
        int longRequestMs = 5000;  // LP, SP, S_ZLW
        int counterRequestMs = 500; // L_ZLW
    };

    struct PortSettings
    {
        QString portName;  // as the user picked it from the list
        qint32 baudRate = 1200;
        QSerialPort::DataBits dataBits = QSerialPort::Data8;
        QSerialPort::FlowControl flowControl = QSerialPort::NoFlowControl;
    };

    // How a borrower needs the port: open, to read it itself, or closed, for
    // another program to open it.
    enum class Loan { Open, Closed };
    Q_ENUM(Loan)
    enum class Return { Opened, Gone, Failed };
    Q_ENUM(Return)

    // Which way a chunk of bytes crossed the port.
    enum class Wire { Sent, Received };
    Q_ENUM(Wire)

    explicit DeviceLink(QObject *parent = nullptr);
    ~DeviceLink() override;

    // Tests and scripts shorten the waits; the window keeps the defaults.
    void setTimeouts(const Timeouts &timeouts);
    [[nodiscard]] Timeouts timeouts() const;

    // Why a port did not open, for the line that tells the user what to do.
    struct OpenFailure
    {
        PortOpenFailure failure = PortOpenFailure::Other;
        PortOpenContext context;
    };

    // Opens the port; emits opened() or openFailed() with what the system
    // says. The caller words the outcome: a reopen after flashing must not
    // read like a fresh start.
    bool open(const PortSettings &settings);
    // Closes: emits closed(). A request underway ends with status Closed.
    void close();
    // The adapter has gone, as the system's port list may say before the
    // line fails: closed(), portLost(), and an awaited answer ends as PortLost.
    void closeLost();
    [[nodiscard]] bool isOpen() const;
    [[nodiscard]] PortState portState() const;
    [[nodiscard]] QString portName() const; // as picked, also while lent; empty when closed
    // Why the last open() failed.
    [[nodiscard]] OpenFailure lastOpenFailure() const { return m_lastOpenFailure; }
    [[nodiscard]] Error error() const { return m_error; }
    [[nodiscard]] QString errorString() const;
    [[nodiscard]] Availability availability() const;

    // Hands the idle port to another engine; no request goes out until it is
    // given back. Null when the port is not idle, or lent closed.
    QSerialPort *lendPort(Loan loan = Loan::Open);
    // The port comes back with this link's own settings, whatever the
    // borrower left; a port lent closed is opened again under its name.
    Return takePortBack();

    // The requests. Each returns false, sending nothing, unless the port is
    // Idle; else its end comes as requestFinished() and finished().
    // LP, then L_ZLW: the Read or the Report sequence.
    bool readSettings(Sequence sequence = Sequence::Read);
    // LP; when the device's direction differs from the record's, its counter
    // is read before the SP and written back after it.
    bool startWriteSequence(const ParameterRecord &record);
    // The same, with what to write decided from the device's record as this
    // sequence's LP reads it (a template over the device's own values): no
    // second LP goes out before the SP. A plan that gives nothing ends the
    // sequence as Refused after the LP, with nothing written.
    using WritePlan = std::function<std::optional<ParameterRecord>(const ParameterRecord &device)>;
    bool startWriteSequence(const WritePlan &plan);
    bool writeParameters(const ParameterRecord &record);
    bool readCounter();
    bool writeCounter(const QByteArray &digits);

    [[nodiscard]] RequestKind requestKind() const { return m_requestKind; }
    [[nodiscard]] Sequence sequence() const { return m_sequence; }
    // The device's record as last read or acknowledged.
    [[nodiscard]] const ParameterRecord &parameterRecord() const { return m_parameterRecord; }
    // The end of the last request or sequence.
    [[nodiscard]] const DeviceResult &lastResult() const { return m_summary; }
    [[nodiscard]] QSerialPort *serialPort() const { return m_serialPort; }

signals:
    void opened();
    void openFailed(const tavik7::DeviceLink::OpenFailure &why);
    void closed();
    // The adapter was pulled: the port is closed, nothing more will arrive.
    void portLost();
    void stateChanged(tavik7::DeviceLink::PortState state);
    void availabilityChanged(const tavik7::DeviceLink::Availability &availability);
    // The device holds an unusual significance text ("01", "02", "00").
    void significanceNotice(const QString &significanceText);
    // Each request's end, in order, before a sequence's next request goes out.
    void requestFinished(const tavik7::DeviceResult &result);
    // The end of a sequence or of a single request: what was read and
    // written in it, and the status of its last request.
    void finished(const tavik7::DeviceResult &result);
    // Every chunk written to the port and every chunk read from it, stale
    // input and noise included, as it went; also what a borrower of the open
    // port reads. Raw bytes only: whoever listens formats them.
    void wireBytes(tavik7::DeviceLink::Wire direction, const QByteArray &bytes);

private:
    void onReadyRead();
    // Passes bytes read from the port on to wireBytes(), and returns them.
    QByteArray received(const QByteArray &bytes);
    void onTimeout();
    void onError(QSerialPort::SerialPortError error);
    void setPortState(PortState state);
    void applyServiceSettings();
    bool requestAllowed() const;
    void begin(Sequence sequence);
    void sendRequest(RequestKind kind, const QByteArray &bytes, int timeoutMs);
    void sendReadParameters();
    void sendReadCounter();
    void sendWriteParameters(const ParameterRecord &record);
    void sendWriteCounter(const QByteArray &digits);
    void stopRequest();
    void discardInput();
    void fail(DeviceResult::Status status);
    void report(DeviceResult::Status status);
    void endSequence(DeviceResult::Status status);
    void endWithoutAnswer(DeviceResult::Status status);
    void handleParameterAnswer();
    void handleCounterAnswer();
    void handleWriteParametersAnswer();
    void handleWriteCounterAnswer();
    void afterParametersRead();

    QSerialPort *m_serialPort = nullptr;
    QTimer *m_requestTimer = nullptr;
    Timeouts m_timeouts;
    PortState m_portState = PortState::Closed;
    Loan m_loan = Loan::Open;
    PortSettings m_settings;
    OpenFailure m_lastOpenFailure;
    Error m_error = Error::NoError;
    QByteArray m_receiveBuffer;
    ParameterRecord m_parameterRecord{};
    RequestKind m_requestKind = NoRequest;
    Sequence m_sequence = Sequence::None;
    // The outstanding request's result so far, and the sequence's.
    DeviceResult m_step;
    DeviceResult m_summary;
    // What the write sequence writes, and the counter digits it sends.
    ParameterRecord m_writeRecord{};
    WritePlan m_writePlan;
    QByteArray m_counterDigits;
};

} // namespace tavik7
