// The Flashen tab: the flash run's file, question, output and verdict on
// show, and the backup it took offered back.

#include <QDir>
#include <QIcon>
#include <QMessageBox>
#include <QSerialPort>
#include <QTextCursor>

#include "backupfile.h"
#include "filehooks.h"
#include "flashtool.h"
#include "platform.h"
#include "portdiagnosis.h"
#include "messagecatalogue.h"
#include "tavik7_bediensoftware.h"
#include "texttable.h"

namespace {

using tavik7::FlashRun;


constexpr int kTextSelectFile = 123;
constexpr int kTextAdapterToFlash = 243;
constexpr int kTextAdapterToParameters = 244;
constexpr int kTextUpdateSucceeded = 245;
constexpr int kTextUpdateFailed = 246;

// The window's words for a flash run's troubles.
tavik7::MessageId flashErrorMessage(FlashRun::Error error)
{
    switch (error) {
    case FlashRun::Error::NoError:
    case FlashRun::Error::NoFirmwareFile:
    case FlashRun::Error::BadFirmwareImage: return tavik7::MessageId::NoFirmwareFile;
    case FlashRun::Error::ToolError: return tavik7::MessageId::ToolError;
    case FlashRun::Error::ToolNotStarted: return tavik7::MessageId::ToolNotStarted;
    }
    return tavik7::MessageId::ToolError;
}

} // namespace

// The window's own port, lent closed to the tool as Disconnect would close
// it, and taken back with the link's service settings on the port that was
// released, whatever the list shows meanwhile.
class TAVIK7_Bediensoftware::FlashPort : public FlashRun::Port
{
public:
    explicit FlashPort(TAVIK7_Bediensoftware *window) : m_window(window) {}

    bool isOpen() const override { return m_window->deviceLink->isOpen(); }
    QString portName() const override { return m_window->portNameInUse; }
    QSerialPort *serialPort() const override { return m_window->deviceLink->serialPort(); }
    void close() override { m_window->lendPortForFlash(); }
    Reopen reopen(const QString &) override { return m_window->takePortBackAfterFlash(); }

private:
    TAVIK7_Bediensoftware *m_window;
};

void TAVIK7_Bediensoftware::setUpFlashRun()
{
    flashRun = new FlashRun(std::make_unique<FlashPort>(this), this);
    connect(flashRun, &FlashRun::toolStarted, this, [this] { showMessage(tavik7::MessageId::FlashInstructions, false); });
    connect(flashRun, &FlashRun::errorOccurred, this, [this](FlashRun::Error error) {
        showMessage(flashErrorMessage(error), false);
    });
    connect(flashRun, &FlashRun::backupWritten, this,
            [this](const tavik7::BackupResult &result) { appendConsoleNote(tavik7::backupNote(result)); });
    connect(flashRun, &FlashRun::backupFailed, this,
            [this](const tavik7::BackupResult &result) { appendConsoleNote(tavik7::backupNote(result)); });
    connect(flashRun, &FlashRun::commandLine, this, [this](const QString &text) {
        ui.textEditConsole->setPlainText(text + QLatin1Char('\n'));
        ui.textEditConsole->setEnabled(false);
    });
    connect(flashRun, &FlashRun::toolOutput, this, &TAVIK7_Bediensoftware::appendFlashToolOutput);
    connect(flashRun, &FlashRun::finished, this, &TAVIK7_Bediensoftware::showFlashVerdict);
    connect(flashRun, &FlashRun::portTakenBack, this, &TAVIK7_Bediensoftware::showPortTakenBack);
    connect(flashRun, &FlashRun::stateChanged, this, &TAVIK7_Bediensoftware::applyAvailability);
}

void TAVIK7_Bediensoftware::onSelectFlashenClicked()
{
    const QString path = tavik7::askFileName(
        {tavik7::FileNameRequest::Open, this, textFor(kTextSelectFile), tavik7::platform::avrdudeDir(), QStringLiteral("*.hex")});
    if (!FlashRun::isFirmwareFile(path))
        return;
    ui.lineEditSelectedFileFlashen->setText(path);
    showMessage(tavik7::MessageId::FlashInstructions, false);
}

void TAVIK7_Bediensoftware::onFlashenClicked()
{
    if (flashRun->state() != FlashRun::State::Idle)
        return;
    const QString path = ui.lineEditSelectedFileFlashen->text();
    if (flashRun->checkFirmwareFile(path) && confirmAdapterForFlashing())
        flashRun->start(flashRequest(path));
}

bool TAVIK7_Bediensoftware::confirmAdapterForFlashing()
{
    messageBox->setText(textFor(kTextAdapterToFlash));
    messageBox->setInformativeText(QString());
    messageBox->setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    messageBox->setDefaultButton(QMessageBox::Ok);
    messageBox->setIcon(QMessageBox::Information);
    messageBox->setWindowIcon(QIcon(QStringLiteral(":/Images/klvicon.ico")));
    return messageBox->exec() == QMessageBox::Ok;
}

FlashRun::Request TAVIK7_Bediensoftware::flashRequest(const QString &firmwareFile) const
{
    FlashRun::Request request;
    request.firmwareFile = firmwareFile;
    request.tool = tavik7::flashtool::locateTool();
    request.backupFolder = appDataFolder;
    request.deviceRecord = changeRecorder->deviceRecord();
    request.deviceCounter = changeRecorder->deviceCounter();
    return request;
}

void TAVIK7_Bediensoftware::onFlashenCancelClicked()
{
    flashRun->cancel();
    ui.textEditConsole->setEnabled(true);
}

void TAVIK7_Bediensoftware::onProcessAvrdudeFinished(int exitCode, QProcess::ExitStatus exitStatus)
{
    flashRun->handleToolFinished(exitCode, exitStatus);
}

void TAVIK7_Bediensoftware::onProcessAvrdudeError(QProcess::ProcessError error)
{
    flashRun->handleToolError(error);
}

void TAVIK7_Bediensoftware::onProcessAvrdudeReadyReadStandardOutput()
{
    flashRun->handleToolOutput();
}

void TAVIK7_Bediensoftware::showPortTakenBack(FlashRun::Port::Reopen outcome)
{
    // After a failed run its verdict stays in view: what follows is added below it.
    const bool keepVerdict = flashRun->verdict() != FlashRun::Verdict::Succeeded;
    const bool opened = outcome == FlashRun::Port::Reopen::Opened;
    showMessage(opened ? tavik7::MessageId::PortOpened : tavik7::MessageId::PortNotOpened, keepVerdict);
    if (outcome == FlashRun::Port::Reopen::Gone)
        appendConsoleNote(tavik7::portOpenFailureNote(tavik7::PortOpenFailure::NotFound, {}));
}

void TAVIK7_Bediensoftware::showFlashVerdict()
{
    ui.textEditConsole->setEnabled(true);
    const FlashRun::Verdict verdict = flashRun->verdict();
    if (verdict == FlashRun::Verdict::Succeeded || verdict == FlashRun::Verdict::Failed)
        showMessage(verdict == FlashRun::Verdict::Succeeded ? tavik7::MessageId::FlashSucceeded
                                                            : tavik7::MessageId::FlashFailed, false);
    // A tool that never ran has nothing to report beyond the console's message.
    if (verdict == FlashRun::Verdict::NotStarted)
        return;

    const bool succeeded = verdict == FlashRun::Verdict::Succeeded;
    messageBox->setStandardButtons(QMessageBox::Ok);
    messageBox->setDefaultButton(QMessageBox::Ok);
    messageBox->setIcon(QMessageBox::Information);
    messageBox->setWindowIcon(QIcon(QStringLiteral(":/Images/klvicon.ico")));
    messageBox->setInformativeText(succeeded ? textFor(kTextAdapterToParameters) : QString());
    messageBox->setText(textFor(succeeded ? kTextUpdateSucceeded : kTextUpdateFailed));
    // The port is taken back once the technician has switched the adapter and closed this.
    messageBox->exec();
}

void TAVIK7_Bediensoftware::lendPortForFlash()
{
    showMessage(tavik7::MessageId::PortClosed, false);
    deviceLink->lendPort(tavik7::DeviceLink::Loan::Closed);
    setWindowTitle(textFor(49));
}

FlashRun::Port::Reopen TAVIK7_Bediensoftware::takePortBackAfterFlash()
{
    // After a failed run its verdict stays in view: what follows is added
    // below it, and the technician stays with the tool's output.
    const bool keepVerdict = flashRun->verdict() != FlashRun::Verdict::Succeeded;
    const tavik7::DeviceLink::Return back = deviceLink->takePortBack();
    if (back == tavik7::DeviceLink::Return::Gone)
        return FlashRun::Port::Reopen::Gone;
    if (back == tavik7::DeviceLink::Return::Failed) {
        explainPortOpenFailure(deviceLink->lastOpenFailure());
        setWindowTitle(textFor(48) + portNameInUse);
        return FlashRun::Port::Reopen::Failed;
    }
    const int listed = ui.comboBoxDevice->findText(portNameInUse);
    if (listed >= 0)
        ui.comboBoxDevice->setCurrentIndex(listed);
    updatePlausibilityState();
    if (!keepVerdict || wizardFlow->state() == tavik7::WizardFlow::State::Flashing)
        showTabAfterConnect();
    setWindowTitle(textFor(48) + portNameInUse);
    return FlashRun::Port::Reopen::Opened;
}

void TAVIK7_Bediensoftware::appendFlashToolOutput(const QString &text)
{
    // Always at the end, wherever the user clicked into the text meanwhile.
    QTextCursor cursor(ui.textEditConsole->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
    ui.textEditConsole->setTextCursor(cursor);
    ui.textEditConsole->ensureCursorVisible();
}

// ---------------------------------------------------------------- the backup taken before flashing

void TAVIK7_Bediensoftware::offerFlashBackup()
{
    // Only the technician's own read counts: the flashed firmware's version
    // and checksum are known from then on, and the backup must not undo them.
    const QString backup = flashRun->takeBackupOnOffer(parameterRecord);
    if (backup.isEmpty())
        return;
    // Queued: not from inside the port's data slot, whose next answers would
    // wait behind the box.
    QMetaObject::invokeMethod(this, [this, backup] { showBackupOffer(backup); }, Qt::QueuedConnection);
}

void TAVIK7_Bediensoftware::showBackupOffer(const QString &backupFile)
{
    QMessageBox box(this);
    box.setStyleSheet(QStringLiteral("font: bold 14px;"));
    prepareYesNoBox(box, tavik7::catalogueText(tavik7::MessageId::QuestionLoadBackup, language),
                    QDir::toNativeSeparators(backupFile));
    if (box.exec() == QMessageBox::Yes)
        loadSettingsFile(backupFile, changeRecorder->deviceRecord());
}
