// Serial port, one-request-at-a-time exchange with the device and the
// parameter telegram.

#include <QMessageBox>
#include <QSerialPort>
#include <QTimer>

#include "countertext.h"
#include "platform.h"
#include "tavik7_bediensoftware.h"
#include "telegram.h"
#include "texttable.h"

namespace {

constexpr int kLongRequestTimeoutMs = 5000;
constexpr int kCounterRequestTimeoutMs = 500;

constexpr qint8 kMsgParametersRead = 1;
constexpr qint8 kMsgParametersWritten = 2;
constexpr qint8 kMsgCounterRead = 3;
constexpr qint8 kMsgCounterWritten = 4;
constexpr qint8 kMsgPortOpened = 7;
constexpr qint8 kMsgPortClosed = 8;
constexpr qint8 kMsgDirectionChanged = 13;
constexpr qint8 kMsgReadParametersError = 51;
constexpr qint8 kMsgReadParametersCrcError = 52;
constexpr qint8 kMsgWriteParametersError = 53;
constexpr qint8 kMsgReadCounterError = 54;
constexpr qint8 kMsgWriteCounterError = 55;
constexpr qint8 kMsgPortNotOpened = 61;
constexpr qint8 kMsgPdfInvalidValues = 69;
constexpr qint8 kMsgNoData = 70;
constexpr qint8 kMsgPdfNoData = 71;
constexpr qint8 kMsgConfirmSetCounter = 102;
constexpr qint8 kMsgConfirmSetCounterInfo = 103;
constexpr qint8 kMsgYes = 104;
constexpr qint8 kMsgNo = 105;
constexpr qint8 kMsgIncompatibleSignificance = 116;

constexpr int kTabConfig = 0;
constexpr int kTabWizard = 1;
constexpr int kTabSettings = 2;

QSerialPort::FlowControl flowControlFromIndex(int index)
{
    switch (index) {
    case 1: return QSerialPort::HardwareControl;
    case 2: return QSerialPort::SoftwareControl;
    default: return QSerialPort::NoFlowControl;
    }
}

} // namespace

// ---------------------------------------------------------------- the port

void TAVIK7_Bediensoftware::refreshPortList()
{
    // Another adapter coming or going must not change the port chosen:
    // Connect would open a different device, and a write meant for this one
    // would go there. Only a choice that has gone falls back to the first port.
    const QString chosen = ui.comboBoxDevice->currentText();
    ui.comboBoxDevice->clear();
    // The enumerator's last scan: scanning again here would cost the GUI thread
    // milliseconds at every start and every hot-plug notice.
    const QList<PortInfo> ports = portEnumerator->ports();
    for (const PortInfo &port : ports) {
        if (!port.portName.isEmpty())
            ui.comboBoxDevice->addItem(port.portName);
    }
    const int kept = chosen.isEmpty() ? -1 : ui.comboBoxDevice->findText(chosen);
    ui.comboBoxDevice->setCurrentIndex(kept >= 0 ? kept : (ui.comboBoxDevice->count() > 0 ? 0 : -1));
}

void TAVIK7_Bediensoftware::fillBaudrateComboBox()
{
    ui.comboBoxBaudrate->addItem(QStringLiteral("1200"));
}

void TAVIK7_Bediensoftware::fillDatabitsComboBox()
{
    ui.comboBoxDatabits->addItem(QStringLiteral("8"));
}

void TAVIK7_Bediensoftware::fillStopbitsComboBox()
{
    ui.comboBoxStopbits->addItem(QStringLiteral("1"));
}

void TAVIK7_Bediensoftware::fillParityComboBox()
{
    // The language switch writes the item texts.
    ui.comboBoxParity->addItem(QString());
}

void TAVIK7_Bediensoftware::fillFlowcontrolComboBox()
{
    for (int i = 0; i < 3; ++i)
        ui.comboBoxFlowcontrol->addItem(QString());
}

void TAVIK7_Bediensoftware::applyConnectedState()
{
    ui.comboBoxDevice->setEnabled(false);
    ui.pushButtonConnect->setEnabled(false);
    ui.pushButtonDisconnect->setEnabled(true);
    setDeviceButtonsEnabled(true);
    ui.pushButtonFlashen->setEnabled(true);
    ui.pushButtonFlashenCancel->setEnabled(false);
    // A flash run outlasts port changes made meanwhile; its Cancel stays reachable.
    keepFlashRunningState();
    ui.pushButtonStartNamur->setEnabled(true);
    ui.pushButtonStopNamur->setEnabled(false);
    ui.checkBoxNamurLogging->setEnabled(true);
    if (ui.checkBoxNamurLogging->isChecked()) {
        ui.lineEditNamurLogfile->setEnabled(true);
        ui.pushButtonSelectNamurLogfile->setEnabled(true);
    }
    updatePlausibilityState();
}

void TAVIK7_Bediensoftware::applyDisconnectedState()
{
    ui.comboBoxDevice->setEnabled(true);
    ui.pushButtonConnect->setEnabled(true);
    ui.pushButtonDisconnect->setEnabled(false);
    setDeviceButtonsEnabled(false);
    ui.pushButtonFlashen->setEnabled(false);
    ui.pushButtonFlashenCancel->setEnabled(false);
    // A flash run outlasts port changes made meanwhile; its Cancel stays reachable.
    keepFlashRunningState();
    ui.pushButtonStartNamur->setEnabled(false);
    ui.pushButtonStopNamur->setEnabled(false);
    ui.checkBoxNamurLogging->setEnabled(false);
    ui.lineEditNamurLogfile->setEnabled(false);
    ui.pushButtonSelectNamurLogfile->setEnabled(false);
}

void TAVIK7_Bediensoftware::setDeviceButtonsEnabled(bool enabled)
{
    ui.pushButtonReadSettings->setEnabled(enabled);
    ui.pushButtonWriteSettings->setEnabled(enabled);
    ui.pushButtonSetCounter->setEnabled(enabled);
    ui.pushButtonCreatePdf->setEnabled(enabled);
}

void TAVIK7_Bediensoftware::updateWindowTitle()
{
    setWindowTitle(tavik7::windowTitle(serialPort && serialPort->isOpen(), portNameInUse, language));
}

void TAVIK7_Bediensoftware::onDeviceDiscovered(const PortInfo &info)
{
    Q_UNUSED(info);
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
    if (serialPort->isOpen())
        serialPort->close();
    if (namurActive)
        endNamurListening();
    applyDisconnectedState();
    updateWindowTitle();
}

void TAVIK7_Bediensoftware::onSerialPortError()
{
    // A pulled USB adapter raises several errors in a row; only the first
    // one finds the port open.
    if (serialPort->error() == QSerialPort::ResourceError && serialPort->isOpen())
        closePortSilently();
}

void TAVIK7_Bediensoftware::onConnectClicked()
{
    portNameInUse = ui.comboBoxDevice->currentText();
    serialPort->setPortName(tavik7::platform::portSystemLocation(portNameInUse));
    serialPort->setBaudRate(ui.comboBoxBaudrate->currentText().toInt());
    serialPort->setDataBits(QSerialPort::DataBits(ui.comboBoxDatabits->currentText().toInt()));
    serialPort->setStopBits(QSerialPort::OneStop);
    serialPort->setParity(QSerialPort::NoParity);
    serialPort->setFlowControl(flowControlFromIndex(ui.comboBoxFlowcontrol->currentIndex()));

    if (!portNameInUse.isEmpty() && serialPort->open(QIODevice::ReadWrite)) {
        if (serialPort->flowControl() != QSerialPort::HardwareControl)
            serialPort->setRequestToSend(false);
        serialPort->clearError();
        showMessage(kMsgPortOpened, false);
        applyConnectedState();
        if (ui.tabWidget->currentIndex() == kTabConfig) {
            showWizardStep(0);
            ui.comboBoxNumberOfDigits->setEnabled(true);
            ui.tabWidget->setCurrentIndex(kTabWizard);
        } else if (flashReturnPending) {
            wizardReturnFromFlashing();
        } else {
            ui.tabWidget->setCurrentIndex(kTabSettings);
        }
    } else {
        showMessage(kMsgPortNotOpened, false);
        explainPortOpenFailure();
    }
    setWindowTitle(textFor(48) + portNameInUse);
}

void TAVIK7_Bediensoftware::onDisconnectClicked()
{
    serialPort->close();
    applyConnectedState();
    applyDisconnectedState();
    showMessage(kMsgPortClosed, false);
    setWindowTitle(textFor(49));
}

// ---------------------------------------------------------------- requests

void TAVIK7_Bediensoftware::sendRequest(RequestKind kind, const QByteArray &bytes, int timeoutMs)
{
    setDeviceButtonsEnabled(false);
    requestKind = kind;
    // Whatever arrived since the last request is stale.
    serialPort->flush();
    serialPort->readAll();
    // Also what the driver holds and no readyRead() has fetched yet, such as
    // the tail of an answer that came after its time-out.
    serialPort->clear(QSerialPort::Input);
    receiveBuffer.clear();
    serialPort->write(bytes);
    requestTimer->start(timeoutMs);
}

void TAVIK7_Bediensoftware::stopRequest()
{
    flushPendingHistory();
    requestTimer->stop();
    requestKind = NoRequest;
    sequenceMode = NoSequence;
    wizardRequestEnded();
}

void TAVIK7_Bediensoftware::onReadSettingsClicked(int mode)
{
    sequenceMode = mode;
    sendBuffer = QByteArrayLiteral("LP\r\n");
    sendRequest(ReadParameters, sendBuffer.left(3), kLongRequestTimeoutMs);
}

void TAVIK7_Bediensoftware::onReadCounterClicked()
{
    sendBuffer = QByteArrayLiteral("L_ZLW\r\n");
    sendRequest(ReadCounter, sendBuffer.left(sendBuffer.size() - 1), kCounterRequestTimeoutMs);
}

void TAVIK7_Bediensoftware::onTimerCounterStatus()
{
    onReadCounterClicked();
}

void TAVIK7_Bediensoftware::onWriteSettingsClicked()
{
    tavik7::clearParameterRecord(parameterRecord);
    readParameterTable();
    sendBuffer = tavik7::buildWriteTelegram(parameterRecord);
    lastCrc = quint16(quint8(sendBuffer.at(tavik7::kWriteTelegramSize - 4))
                      | quint8(sendBuffer.at(tavik7::kWriteTelegramSize - 3)) << 8);
    sendRequest(WriteParameters, sendBuffer, kLongRequestTimeoutMs);
}

void TAVIK7_Bediensoftware::onWriteCounterClicked()
{
    setDeviceButtonsEnabled(false);

    // Checked before anything else: with nothing to send, no request of this
    // slot's own is opened. In the write sequence the request that led here is
    // the sequence's and ends with it. Any other outstanding request (the
    // wizard sends the parameter telegram just before the counter) belongs to
    // its sender and is left to its answer, which re-enables the buttons.
    const QByteArray digits = tavik7::counterDigitsForDevice(ui.lineEditCounter->text());
    if (digits.isEmpty()) {
        if (sequenceMode == WriteSequence) {
            stopRequest();
            showMessage(kMsgWriteCounterError, true);
        }
        if (requestKind == NoRequest)
            updatePlausibilityState();
        return;
    }

    if (sequenceMode != WriteSequence) {
        QMessageBox box;
        prepareYesNoBox(box, textFor(tavik7::kFirstMessageTextId + kMsgConfirmSetCounter),
                        textFor(tavik7::kFirstMessageTextId + kMsgConfirmSetCounterInfo));
        if (box.exec() != QMessageBox::Yes) {
            setDeviceButtonsEnabled(true);
            return;
        }
    }

    sendBuffer = QByteArrayLiteral("S_ZLW ") + digits + QByteArrayLiteral("\r\n");
    sendRequest(WriteCounter, sendBuffer.left(sendBuffer.size() - 1), kLongRequestTimeoutMs);
}

void TAVIK7_Bediensoftware::prepareYesNoBox(QMessageBox &box, const QString &text,
                                            const QString &informativeText) const
{
    box.setText(text);
    box.setInformativeText(informativeText);
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::No);
    box.button(QMessageBox::Yes)->setText(textFor(tavik7::kFirstMessageTextId + kMsgYes));
    box.button(QMessageBox::No)->setText(textFor(tavik7::kFirstMessageTextId + kMsgNo));
    box.setIcon(QMessageBox::Question);
    box.setWindowIcon(QIcon(QStringLiteral(":/Images/klvicon.ico")));
}

void TAVIK7_Bediensoftware::onSerDataAvailable()
{
    switch (requestKind) {
    case ReadParameters:
    case ReadCounter:
    case WriteParameters:
    case WriteCounter:
        break;
    default:
        if (namurActive)
            receiveNamurData();
        else
            // Nobody waits for these bytes (noise, an answer after its time-out).
            // The next request would discard them anyway; left in the port
            // object they would pile up without bound.
            serialPort->readAll();
        return;
    }
    receiveBuffer.append(serialPort->readAll());
    switch (requestKind) {
    case ReadParameters: handleParameterAnswer(); break;
    case ReadCounter: handleCounterAnswer(); break;
    case WriteParameters: handleWriteParametersAnswer(); break;
    case WriteCounter: handleWriteCounterAnswer(); break;
    default: break;
    }
}

void TAVIK7_Bediensoftware::handleParameterAnswer()
{
    const tavik7::ParameterAnswer answer = tavik7::decodeParameterAnswer(receiveBuffer, parameterRecord);
    if (answer.deviceError) {
        stopRequest();
        showMessage(kMsgReadParametersError, false);
        updatePlausibilityState();
    }
    if (answer.status == tavik7::ParameterAnswerStatus::Incomplete)
        return;

    lastCrc = answer.computedCrc;
    if (answer.status == tavik7::ParameterAnswerStatus::CrcOk) {
        showMessage(kMsgParametersRead, false);
        rememberDeviceRecord(sequenceMode != WriteSequence);
        if (sequenceMode == WriteSequence) {
            // The table is not refreshed: the user's edits are what gets written.
            if (comboBoxDirection->currentIndex() != parameterRecord.direction) {
                showMessage(kMsgDirectionChanged, true);
                emit readCounterStatus();
            } else {
                sequenceMode = NoSequence;
                emit writeSettings();
            }
        } else {
            fillParameterTable();
            emit readCounterStatus();
            updatePlausibilityState();
        }
    } else {
        stopRequest();
        showMessage(kMsgReadParametersCrcError, false);
        updatePlausibilityState();
    }

    if (wizardReadPending)
        wizardFirmwareCheck();
    else if (answer.significance.notice) {
        // Not from here: QSerialPort emits no readyRead() while this slot runs,
        // so the answers to the request just sent would stay unread for as
        // long as the box were open.
        const QString text = answer.significance.noticeText;
        QMetaObject::invokeMethod(
            this, [this, text] { showIncompatibleSignificanceNotice(text); }, Qt::QueuedConnection);
    }
}

void TAVIK7_Bediensoftware::showIncompatibleSignificanceNotice(const QString &significance)
{
    QMessageBox box;
    box.setStyleSheet(QStringLiteral("font: bold 14px;"));
    box.setText(textFor(tavik7::kFirstMessageTextId + kMsgIncompatibleSignificance).arg(significance));
    box.setStandardButtons(QMessageBox::Ok);
    box.setIcon(QMessageBox::Warning);
    box.exec();
}

void TAVIK7_Bediensoftware::handleCounterAnswer()
{
    if (!receiveBuffer.contains("\r\n"))
        return;
    if (receiveBuffer.contains(tavik7::kDeviceErrorAnswer)) {
        stopRequest();
        showMessage(kMsgReadCounterError, false);
        updatePlausibilityState();
        return;
    }
    showMessage(kMsgCounterRead, sequenceMode != NoSequence);

    // The entry's maximum length cuts the answer after the digits. Only the
    // final text is checked: the steps in between are never plausible and
    // would replace the console with a false complaint.
    QString counter;
    {
        const QSignalBlocker blocker(ui.lineEditCounter);
        ui.lineEditCounter->setText(QStringLiteral(" "));
        ui.lineEditCounter->setText(QString::fromLatin1(receiveBuffer));
        counter = ui.lineEditCounter->text();
        counter.remove(QLatin1Char(','));
        ui.lineEditCounter->setText(counter);
        ui.lineEditCounter->setText(
            tavik7::formatCounterText(counter, parameterRecord.significance, parameterRecord.softwareVersion));
    }
    // Checked once on the final text, whether or not the last step changed it:
    // the steps above may already have left it in place, and the flag must not
    // keep the verdict on what the user had typed before.
    onCounterTextChanged(ui.lineEditCounter->text());
    rememberDeviceCounter();

    if (sequenceMode == WriteSequence) {
        emit writeSettings();
    } else if (sequenceMode == ReportSequence) {
        stopRequest();
        if (allValuesPlausible())
            emit createPdf();
        else
            showMessage(kMsgPdfInvalidValues, true);
    } else {
        stopRequest();
    }
}

void TAVIK7_Bediensoftware::handleWriteParametersAnswer()
{
    if (!receiveBuffer.contains("\r\n"))
        return;
    if (receiveBuffer.contains("OK")) {
        showMessage(kMsgParametersWritten, true);
        noteParametersWritten();
        if (sequenceMode == WriteSequence)
            emit writeCounterStatus();
        else
            stopRequest();
    } else {
        stopRequest();
        showMessage(kMsgWriteParametersError, false);
    }
    updatePlausibilityState();
}

void TAVIK7_Bediensoftware::handleWriteCounterAnswer()
{
    if (receiveBuffer.contains("\r\n")) {
        QString counter = ui.lineEditCounter->text();
        counter.remove(QLatin1Char(','));
        const bool echoed = receiveBuffer.contains(counter.toLatin1());
        showMessage(echoed ? kMsgCounterWritten : kMsgWriteCounterError, sequenceMode == WriteSequence);
        noteCounterAnswer(echoed);
        stopRequest();
        updatePlausibilityState();
    }
    if (programPending)
        wizardTypePlateReminder();
}

void TAVIK7_Bediensoftware::onTimerTimeout()
{
    const int mode = sequenceMode;
    stopRequest();
    updatePlausibilityState();
    if (mode == ReportSequence) {
        showMessage(kMsgPdfNoData, false);
        return;
    }
    showMessage(kMsgNoData, false);
    wizardRequestTimedOut();
}
