#pragma once

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>

#include "messageid.h"
#include "parameterrecord.h"
#include "portdiagnosis.h"

class QTimer;

namespace tavik7 {

// The service line to one device: the port at 1200 baud 8N1, one request at
// a time, each with its time-out, and the three sequences a button starts.
// It knows no widget: what it learns it reports by signal, what it needs
// from its user (the counter digits to write) it is given or asks for.
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

    // The follow-up chain of the current request.
    enum SequenceMode {
        NoSequence = -1,
        PlainRead = 0,     // LP, then L_ZLW
        WriteSequence = 2, // LP, L_ZLW if the direction changes, SP, S_ZLW
        ReportSequence = 5 // LP, then L_ZLW, then the report
    };
    Q_ENUM(SequenceMode)

    // Who has the port: nobody, this link, or another engine that took it
    // over (NAMUR listening, flashing). No request is sent unless Idle.
    enum class PortState { Closed, Idle, Busy, Lent };
    Q_ENUM(PortState)

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
    // Closes without a word: emits closed(). A request underway ends silently.
    void close();
    [[nodiscard]] bool isOpen() const;
    [[nodiscard]] PortState portState() const;
    [[nodiscard]] QString portName() const; // as picked; empty when closed
    // Why the last open() failed.
    [[nodiscard]] OpenFailure lastOpenFailure() const { return m_lastOpenFailure; }

    // Hands the open port to another engine; no request goes out until it is
    // given back. Null when the port is closed or busy.
    QSerialPort *lendPort();
    void takePortBack();

    // The requests. Each returns false, sending nothing, unless the port is Idle.
    bool readSettings(SequenceMode mode = PlainRead);
    // The write sequence: table is what gets written; counterText is the
    // entry's text at the time. When the device's direction differs from the
    // table's, its counter is read first and that reading is written back.
    bool startWriteSequence(const ParameterRecord &table, const QString &counterText);
    bool writeParameters(const ParameterRecord &record);
    bool readCounter();
    // Also the write sequence's last step, in answer to counterWriteDue():
    // empty digits end the sequence with the counter write's error.
    bool writeCounter(const QByteArray &digits);

    [[nodiscard]] RequestKind requestKind() const { return m_requestKind; }
    [[nodiscard]] SequenceMode sequenceMode() const { return m_sequenceMode; }
    [[nodiscard]] quint16 lastCrc() const { return m_lastCrc; }
    // The device's record as last read or acknowledged (parameterRecord).
    [[nodiscard]] const ParameterRecord &parameterRecord() const { return m_parameterRecord; }
    [[nodiscard]] QSerialPort *serialPort() const { return m_serialPort; }

signals:
    void opened();
    void openFailed(const tavik7::DeviceLink::OpenFailure &why);
    void closed();
    // The adapter was pulled: the port is closed, nothing more will arrive.
    void portLost();

    // Every console message the exchange produces, in order; append as the
    // console should show it (false: replaces the console).
    void message(tavik7::MessageId id, bool append);

    void parametersRead(const tavik7::ParameterRecord &record, tavik7::DeviceLink::SequenceMode mode);
    // The device holds an unusual significance text ("01", "02", "00").
    void significanceNotice(const QString &significanceText);
    // The counter answer as the device sent it: its digits, then CR LF.
    void counterRead(const QString &answer, tavik7::DeviceLink::SequenceMode mode);
    void parametersWritten(const tavik7::ParameterRecord &record);
    // In the write sequence the parameters were acknowledged and the counter
    // is next: the user answers with writeCounter() (digits from the entry).
    void counterWriteDue();
    void counterWritten(const QByteArray &digits, bool echoed);
    // The report sequence's read is complete.
    void reportDataReady();
    // A request failed (device error, CRC, no answer); the sequence is over.
    void requestFailed(tavik7::MessageId id, tavik7::DeviceLink::SequenceMode mode);
    // No request is outstanding any more (after success or failure).
    void idle();

private:
    void onReadyRead();
    void onTimeout();
    void onError(QSerialPort::SerialPortError error);
    bool requestAllowed() const;
    void sendRequest(RequestKind kind, const QByteArray &bytes, int timeoutMs);
    void sendReadCounter();
    void sendWriteParameters(const ParameterRecord &record);
    void stopRequest();
    void endWithoutAnswer(SequenceMode mode);
    void endRequest();
    void fail(MessageId id, bool append = false);
    void handleParameterAnswer();
    void handleCounterAnswer();
    void handleWriteParametersAnswer();
    void handleWriteCounterAnswer();

    QSerialPort *m_serialPort = nullptr;
    QTimer *m_requestTimer = nullptr;
    Timeouts m_timeouts;
    PortState m_portState = PortState::Closed;
    QString m_portName;
    OpenFailure m_lastOpenFailure;
    QByteArray m_sendBuffer;
    QByteArray m_receiveBuffer;
    ParameterRecord m_parameterRecord{};
    quint16 m_lastCrc = 0;
    RequestKind m_requestKind = NoRequest;
    SequenceMode m_sequenceMode = NoSequence;
    // The write sequence's own record: what the table held at its start.
    struct WriteJob
    {
        ParameterRecord table{};
        QString counterText;
    } m_writeJob;
};

} // namespace tavik7
