// The Flashen tab: the flash run's file, question, output and verdict on
// show, and the backup it took offered back.

#include <QDir>

#include "devicebookkeeper.h"
#include "filehooks.h"
#include "flashsession.h"
#include "platform.h"
#include "messageboxes.h"
#include "messagecatalogue.h"
#include "tavik7_bediensoftware.h"
#include "textpanes.h"

using tavik7::FlashRun;

void TAVIK7_Bediensoftware::setUpFlashRun()
{
    // The run lends the link's port closed, as Disconnect would close it, and
    // takes it back with the link's service settings on the port released.
    flashRun = new FlashRun(deviceLink, this);
    tavik7::book::DeviceBookKeeper::of(this)->watchFlashRun(flashRun);
    connect(flashRun, &FlashRun::toolStarted, this, [this] { showMessage(tavik7::MessageId::FlashInstructions, false); });
    connect(flashRun, &FlashRun::errorOccurred, this,
            [this](FlashRun::Error error) { showMessage(tavik7::flashErrorWording(error).message, false); });
    connect(flashRun, &FlashRun::noted, this, &TAVIK7_Bediensoftware::appendConsoleNote);
    connect(flashRun, &FlashRun::commandLine, this, [this](const QString &text) {
        ui.textEditConsole->setPlainText(text + QLatin1Char('\n'));
        ui.textEditConsole->setEnabled(false);
    });
    connect(flashRun, &FlashRun::toolOutput, this,
            [this](const QString &text) { tavik7::panes::appendAtEnd(ui.textEditConsole, text); });
    connect(flashRun, &FlashRun::finished, this, &TAVIK7_Bediensoftware::showFlashVerdict);
    connect(flashRun, &FlashRun::portTakenBack, this, &TAVIK7_Bediensoftware::showPortTakenBack);
    // Not from inside the port's data slot, whose next answers would wait behind the box.
    connect(flashRun, &FlashRun::backupOffered, this, &TAVIK7_Bediensoftware::showBackupOffer, Qt::QueuedConnection);
    connect(flashRun, &FlashRun::portReleased, this, [this] {
        showMessage(tavik7::MessageId::PortClosed, false);
        updateWindowTitle();
    });
    connect(flashRun, &FlashRun::stateChanged, this, &TAVIK7_Bediensoftware::applyAvailability);
}

void TAVIK7_Bediensoftware::onSelectFlashenClicked()
{
    const QString path = tavik7::askFileName({tavik7::FileNameRequest::Open, this, textFor(tavik7::SelectFileCaption),
                                              tavik7::platform::avrdudeDir(), QStringLiteral("*.hex")});
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
    if (!flashRun->checkFirmwareFile(path) || !confirmAdapterForFlashing())
        return;
    // The window's verdict and the port's return follow the run itself, as
    // for the wizard's flash; the session backs the device up as last read.
    auto *session = new tavik7::FlashSession(deviceLink, flashRun, this);
    session->start(flashRequest(path), false);
}

bool TAVIK7_Bediensoftware::confirmAdapterForFlashing()
{
    tavik7::book::DeviceBookKeeper::of(this)->recorder().setReason(QString());
    return tavik7::boxes::inform(noticeBox(), textFor(tavik7::MessageId::AdapterToFlash), {},
                                 QMessageBox::Ok | QMessageBox::Cancel)
        == QMessageBox::Ok;
}

FlashRun::Request TAVIK7_Bediensoftware::flashRequest(const QString &firmwareFile) const
{
    FlashRun::Request request = FlashRun::Request::of(firmwareFile, appDataFolder);
    // The wizard's flash backs up what the link's memory holds, as the session does.
    request.takeDevice(deviceLink->memory()->state());
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
    const FlashRun::PortReturn back = flashRun->portReturn(outcome);
    if (outcome == FlashRun::Port::Reopen::Failed)
        explainPortOpenFailure(deviceLink->lastOpenFailure());
    if (outcome == FlashRun::Port::Reopen::Opened) {
        ui.comboBoxDevice->setCurrentText(portNameInUse); // kept as it is when not listed
        updatePlausibilityState();
        // The wizard's own flash goes back into the wizard whatever its verdict.
        if (!back.keepVerdict || wizardFlow->state() == tavik7::WizardFlow::State::Flashing)
            showTabAfterConnect();
    }
    if (outcome != FlashRun::Port::Reopen::Gone)
        updateWindowTitle(true);
    showMessage(back.message, back.keepVerdict);
    appendConsoleNote(back.note);
}

void TAVIK7_Bediensoftware::showFlashVerdict()
{
    ui.textEditConsole->setEnabled(true);
    const FlashRun::Verdict verdict = flashRun->verdict();
    tavik7::book::DeviceBookKeeper::of(this)->recordFlash(ui.lineEditSelectedFileFlashen->text(), verdict);
    if (const tavik7::StatusWording end = tavik7::flashWording(verdict);
        end.placement != tavik7::ConsolePlacement::Elsewhere)
        showMessage(end.message, end.appends());
    // The port is taken back once the technician has switched the adapter and closed this.
    if (const tavik7::FlashVerdictBox box = tavik7::flashVerdictBox(verdict); box.text != tavik7::MessageId::None)
        tavik7::boxes::inform(noticeBox(), textFor(box.text),
                              box.detail != tavik7::MessageId::None ? textFor(box.detail) : QString());
}

void TAVIK7_Bediensoftware::showBackupOffer(const QString &backupFile)
{
    QMessageBox box(this);
    box.setStyleSheet(QString::fromLatin1(tavik7::boxes::kNoticeStyleSheet));
    if (!tavik7::boxes::askYesNo(box, tavik7::catalogueText(tavik7::MessageId::QuestionLoadBackup, language),
                                 QDir::toNativeSeparators(backupFile), language))
        return;
    const tavik7::ParameterRecord before = sheet.record();
    loadSettingsFile(backupFile, deviceLink->memory()->record());
    tavik7::book::DeviceBookKeeper::of(this)->recordRestore(backupFile, before, sheet.record());
}
