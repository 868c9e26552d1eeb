// Flashing firmware into the device through avrdude.

#include <QIcon>
#include <QMessageBox>
#include <QSerialPort>
#include <QTextCursor>

#include "filehooks.h"
#include "flashtool.h"
#include "tavik7_bediensoftware.h"
#include "texttable.h"

namespace {

constexpr qint8 kMsgFlashSucceeded = 10;
constexpr qint8 kMsgNoFirmwareFile = 63;
constexpr qint8 kMsgToolNotStarted = 65;
constexpr qint8 kMsgFlashFailed = 66;
constexpr qint8 kMsgToolError = 67;
constexpr qint8 kMsgFlashInstructions = 101;

constexpr int kTextSelectFile = 123;
constexpr int kTextAdapterToFlash = 243;
constexpr int kTextAdapterToParameters = 244;
constexpr int kTextUpdateSucceeded = 245;
constexpr int kTextUpdateFailed = 246;

constexpr int kToolStartTimeoutMs = 30000;

// Only this case-sensitive test decides what counts as a firmware file.
bool isFirmwareFileName(const QString &path)
{
    return !path.isEmpty() && path.contains(QLatin1String(".hex"));
}

} // namespace

void TAVIK7_Bediensoftware::onSelectFlashenClicked()
{
    const QString path = tavik7::askFileName(
        {tavik7::FileNameRequest::Open, this, textFor(kTextSelectFile), avrdudeDir, QStringLiteral("*.hex")});
    if (!isFirmwareFileName(path))
        return;
    ui.lineEditSelectedFileFlashen->setText(path);
    showMessage(kMsgFlashInstructions, false);
}

void TAVIK7_Bediensoftware::onFlashenClicked()
{
    // One run at a time; the wizard calls in here directly, not through the button.
    if (processAvrdude->state() != QProcess::NotRunning)
        return;

    const QString path = ui.lineEditSelectedFileFlashen->text();
    if (!isFirmwareFileName(path)) {
        showMessage(kMsgNoFirmwareFile, false);
        return;
    }

    messageBox->setText(textFor(kTextAdapterToFlash));
    messageBox->setInformativeText(QString());
    messageBox->setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    messageBox->setDefaultButton(QMessageBox::Ok);
    messageBox->setIcon(QMessageBox::Information);
    messageBox->setWindowIcon(QIcon(QStringLiteral(":/Images/klvicon.ico")));
    if (messageBox->exec() != QMessageBox::Ok)
        return;
    backUpDeviceBeforeFlash();

    const tavik7::flashtool::Tool tool = tavik7::flashtool::locateTool();
    QSerialPort *serialPort = deviceLink->serialPort();
    const QString port = tavik7::flashtool::portArgument(tavik7::flashtool::kThisSystem, serialPort->portName());
    const QStringList arguments = tavik7::flashtool::arguments(port, path);

    // The service adapter gets a short pulse on RTS before the boot loader is
    // addressed; the port can only switch the line while it is open.
    if (serialPort->isOpen()) {
        serialPort->setRequestToSend(true);
        serialPort->setRequestToSend(false);
    }

    reconnectAfterFlash = serialPort->isOpen();
    if (reconnectAfterFlash) {
        flashReleasedPort = portNameInUse;
        emit disconnectSerialPort();
    }

    applyFlashRunningState();
    flashSucceeded = false;
    flashToolOutput.clear();
    ui.textEditConsole->setPlainText(tavik7::flashtool::commandLine(tool.shown, port, path) + QLatin1Char('\n'));
    ui.textEditConsole->setEnabled(false);

    processAvrdude->start(tool.program, arguments, QIODevice::ReadWrite);
    if (processAvrdude->waitForStarted(kToolStartTimeoutMs)) {
        showMessage(kMsgFlashInstructions, false);
        return;
    }
    // The error slot has shown its message already.
    showMessage(kMsgToolNotStarted, false);
    if (processAvrdude->state() == QProcess::NotRunning)
        endFlashWithoutRun();
}

void TAVIK7_Bediensoftware::endFlashWithoutRun()
{
    // No finished() follows a tool that never started: without this the tab
    // would stay in the running state with the port released for good.
    ui.textEditConsole->setEnabled(true);
    applyFlashIdleState();
    flashSucceeded = false;
    retakePortAfterFlash();
}

void TAVIK7_Bediensoftware::onFlashenCancelClicked()
{
    if (processAvrdude->state() != QProcess::NotRunning)
        processAvrdude->kill();
    ui.textEditConsole->setEnabled(true);
}

void TAVIK7_Bediensoftware::onProcessAvrdudeFinished(int exitCode, QProcess::ExitStatus exitStatus)
{
    // Output that arrived together with the end is still unread.
    appendFlashToolOutput(processAvrdude->readAllStandardOutput());

    flashSucceeded = tavik7::flashtool::runSucceeded(exitStatus, exitCode, flashToolOutput);

    messageBox->setStandardButtons(QMessageBox::Ok);
    messageBox->setDefaultButton(QMessageBox::Ok);
    messageBox->setIcon(QMessageBox::Information);
    messageBox->setWindowIcon(QIcon(QStringLiteral(":/Images/klvicon.ico")));
    if (flashSucceeded) {
        showMessage(kMsgFlashSucceeded, false);
        messageBox->setInformativeText(textFor(kTextAdapterToParameters));
        messageBox->setText(textFor(kTextUpdateSucceeded));
    } else {
        showMessage(kMsgFlashFailed, false);
        messageBox->setInformativeText(QString());
        messageBox->setText(textFor(kTextUpdateFailed));
    }
    ui.textEditConsole->setEnabled(true);
    messageBox->exec();

    retakePortAfterFlash();
    applyFlashIdleState();
    offerBackupAfterFlash();
}

void TAVIK7_Bediensoftware::retakePortAfterFlash()
{
    // The user may have connected by hand meanwhile; opening the open port
    // again would only report a failure.
    if (reconnectAfterFlash && !deviceLink->isOpen()) {
        // A port plugged in or out during the run rebuilds the list with its
        // first entry chosen; the device is still on the port that was released.
        const int index = ui.comboBoxDevice->findText(flashReleasedPort);
        if (index >= 0)
            ui.comboBoxDevice->setCurrentIndex(index);
        emit connectSerialPort();
    }
    reconnectAfterFlash = false;
}

void TAVIK7_Bediensoftware::onProcessAvrdudeError(QProcess::ProcessError error)
{
    Q_UNUSED(error);
    showMessage(kMsgToolError, false);
    ui.textEditConsole->setEnabled(true);
}

void TAVIK7_Bediensoftware::onProcessAvrdudeReadyReadStandardOutput()
{
    appendFlashToolOutput(processAvrdude->readAllStandardOutput());
}

void TAVIK7_Bediensoftware::appendFlashToolOutput(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    const QString text = QString::fromLatin1(bytes);
    flashToolOutput += text;
    // Always at the end, wherever the user clicked into the text meanwhile.
    QTextCursor cursor(ui.textEditConsole->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
    ui.textEditConsole->setTextCursor(cursor);
    ui.textEditConsole->ensureCursorVisible();
}

void TAVIK7_Bediensoftware::applyFlashRunningState()
{
    ui.pushButtonSelectFlashen->setEnabled(false);
    ui.pushButtonFlashen->setEnabled(false);
    ui.pushButtonFlashenCancel->setEnabled(true);
}

void TAVIK7_Bediensoftware::applyFlashIdleState()
{
    ui.pushButtonSelectFlashen->setEnabled(true);
    ui.pushButtonFlashen->setEnabled(true);
    ui.pushButtonFlashenCancel->setEnabled(false);
}

void TAVIK7_Bediensoftware::keepFlashRunningState()
{
    if (processAvrdude && processAvrdude->state() != QProcess::NotRunning)
        applyFlashRunningState();
}

TAVIK7_Bediensoftware::FlashToolStopper::~FlashToolStopper()
{
    QProcess *process = window->processAvrdude;
    if (!process)
        return;
    process->disconnect(window);
    if (process->state() != QProcess::NotRunning) {
        process->kill();
        process->waitForFinished();
    }
}
