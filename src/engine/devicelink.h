#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSerialPort>
#include <QString>

#include <functional>
#include <optional>

#include "devicememory.h"
#include "devicereply.h"
#include "deviceresult.h"
#include "parameterrecord.h"
#include "portdiagnosis.h"

class QTimer;

namespace tavik7 {

// The service line to one device: the port at 1200 baud 8N1, one request at
// a time, each with its time-out, and the three sequences a button starts.
// It knows no widget: every request and every sequence is asked for through
// a DeviceReply of its own, which ends in a DeviceResult whose words each
// front end chooses itself. What is asked while another request runs waits
// its turn.
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

        // The settings as a form offers them: the rate and the data bits as
        // their texts, the flow control as its index in the order none,
        // hardware, software. What does not parse, or names no setting of
        // the port, keeps the service line's own value.
        [[nodiscard]] static PortSettings fromTexts(const QString &portName, const QString &baudRate,
                                                    const QString &dataBits, int flowControlIndex);
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
    [[nodiscard]] Availability availability() const;

    // Hands the idle port to another engine; no request goes out until it is
    // given back. Null when the port is not idle, or lent closed.
    QSerialPort *lendPort(Loan loan = Loan::Open);
    // The port comes back with this link's own settings, whatever the
    // borrower left; a port lent closed is opened again under its name.
    Return takePortBack();

    // The requests. Each hands back its reply, or null, sending and queueing
    // nothing, while the port is closed or lent. A request asked while
    // another runs goes out once those before it have ended; one still
    // waiting when the port closes or goes away ends as Closed or PortLost
    // with nothing sent.
    using Purpose = DeviceReply::Purpose;
    // LP, then L_ZLW: the Read, or for Purpose::Report the Report sequence.
    DeviceReply *read(Purpose purpose = Purpose::Read);
    // LP; when the device's direction differs from the record's, its counter
    // is read before the SP and written back after it.
    DeviceReply *write(const ParameterRecord &record, Purpose purpose = Purpose::Write);
    // The same, with what to write decided from the device's record as this
    // sequence's LP reads it (a template over the device's own values): no
    // second LP goes out before the SP. A plan that gives nothing ends the
    // sequence as Refused after the LP, with nothing written.
    using WritePlan = std::function<std::optional<ParameterRecord>(const ParameterRecord &device)>;
    DeviceReply *write(const WritePlan &plan, Purpose purpose = Purpose::Write);
    // The single requests: SP alone, L_ZLW, S_ZLW.
    DeviceReply *writeParameters(const ParameterRecord &record, Purpose purpose = Purpose::Write);
    DeviceReply *readCounter(Purpose purpose = Purpose::Counter);
    DeviceReply *writeCounter(const QByteArray &digits, Purpose purpose = Purpose::Counter);

    // The request on the wire, NoRequest between requests.
    [[nodiscard]] RequestKind requestKind() const { return m_requestKind; }
    // The reply whose requests are on the wire now; null while none is.
    [[nodiscard]] const DeviceReply *currentReply() const { return m_current; }
    // A parameter or counter write is underway: cut now, between a telegram
    // and its counter write-back, it would leave the device counting the
    // other way from a reading nobody was told of.
    [[nodiscard]] bool writeOnTheWire() const;
    // The device as last read or acknowledged on this port.
    [[nodiscard]] DeviceMemory *memory() const { return m_memory; }
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
    // A reply was handed out: for the engines that keep a record of every
    // request (the change history), whoever asked for it.
    void requestAsked(tavik7::DeviceReply *reply);
    // Every chunk written to the port and every chunk read from it, stale
    // input and noise included, as it went; also what a borrower of the open
    // port reads. Raw bytes only: whoever listens formats them.
    void wireBytes(tavik7::DeviceLink::Wire direction, const QByteArray &bytes);
    // The write that was on the wire has ended (answered, timed out, or cut
    // by a closing port) and no other write followed it onto the wire.
    void writesEnded();

private:
    void onReadyRead();
    // Passes bytes read from the port on to wireBytes(), and returns them.
    QByteArray received(const QByteArray &bytes);
    void onTimeout();
    void onError(QSerialPort::SerialPortError error);
    void setPortState(PortState state);
    void applyServiceSettings();
    bool requestAllowed() const;
    DeviceReply *enqueue(Purpose purpose, RequestKind first, Sequence sequence, std::function<void()> start);
    void startNext();
    void dropQueue(DeviceResult::Status status);
    void shut(DeviceResult::Status awaited);
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
    QByteArray m_receiveBuffer;
    DeviceMemory *m_memory = nullptr;
    // The reply whose requests are on the wire, and those waiting their turn.
    DeviceReply *m_current = nullptr;
    struct Pending
    {
        DeviceReply *reply;
        RequestKind first;
        Sequence sequence;
        std::function<void()> start;
    };
    QList<Pending> m_queue;
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
