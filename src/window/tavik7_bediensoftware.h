#pragma once

#include <QColor>
#include <QMainWindow>
#include <QMessageBox>
#include <QModelIndex>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <optional>

#include "changehistory.h"
#include "console.h"
#include "changerecorder.h"
#include "devicelink.h"
#include "flashrun.h"
#include "messageid.h"
#include "namurconsolefeed.h"
#include "namurlistener.h"
#include "parameterfields.h"
#include "parameterrecord.h"
#include "parametersheet.h"
#include "portenumerator.h"
#include "wizardflow.h"
#include "wizardtable.h"
#include "ui_tavik7_bediensoftware.h"

class QStandardItemModel;
class ParameterTableView;
class WizardPage;
namespace tavik7 {
class DeviceJob;
}

// Registers the compiled-in images; main() and the tests call it once.
void registerTavik7Resources();

class TAVIK7_Bediensoftware : public QMainWindow
{
    Q_OBJECT

public:
    explicit TAVIK7_Bediensoftware(QWidget *parent = nullptr, Qt::WindowFlags flags = {});
    ~TAVIK7_Bediensoftware() override;

signals:
    void setLanguage();
    void writeCounterStatus();
    void readCounterStatus();
    void writeSettings();
    void connectSerialPort();
    void disconnectSerialPort();
    void createPdf();

public slots:
    void onGermanChecked();
    void onEnglishChecked();
    void onDocuQuickGuideChecked();
    void onDocuManualChecked();
    void onDocuProgrammerManualChecked();
    void onInfoChecked();
    void onSetLanguage();
    void onDeviceDiscovered(const PortInfo &info);
    void onDeviceRemoved(const PortInfo &info);
    void onConnectClicked();
    void onDisconnectClicked();
    void onReadSettingsClicked(int sequenceMode);
    void onWriteSettingsClicked();
    void onReadCounterClicked();
    void onWriteCounterClicked();
    void onSerDataAvailable();
    void onTableDataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight);
    void onSignificanceCbChanged(int index);
    void onLeadingPlusCheckBoxStateChanged(int state);
    void onCounterTextChanged(const QString &text);
    void onLoadSettingsClicked();
    void onSaveSettingsClicked();
    void onCreatePdf();
    void onSelectFlashenClicked();
    void onFlashenClicked();
    void onFlashenCancelClicked();
    void onStartNamurClicked();
    void onStopNamurClicked();
    void onStateNamurLoggingChanged(int state);
    void onSelectNamurLogfileClicked();
    void onProcessAvrdudeFinished(int exitCode, QProcess::ExitStatus exitStatus);
    void onProcessAvrdudeError(QProcess::ProcessError error);
    void onProcessAvrdudeReadyReadStandardOutput();
    void onTimerTimeout();
    void onTimerCounterStatus();
    void onComboBoxNumberOfDigitsItemChanged(int index);
    void onComboBoxUaItemChanged(int index);
    void onComboBoxDecimalPlacesItemChanged(int index);
    void onComboBoxDirection2ItemChanged(int index);
    void onPushButtonProgramClicked();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    // The key filter of lineEditCounter2 (mainwindow_parameters.cpp).
    bool eventFilter(QObject *watched, QEvent *event) override;
    // A write on the wire ends before the window goes (mainwindow_shell.cpp).
    void closeEvent(QCloseEvent *event) override;

private:
    // Shell: the line in the console's own colour unless a colour is given.
    void showMessage(const tavik7::ConsoleEntry &entry, bool append, const QColor &colour = QColor());
    void showMessage(tavik7::MessageId id, bool append, const QColor &colour = QColor())
    { showMessage(tavik7::ConsoleEntry(id), append, colour); }
    void appendToOutputLog(const QString &line);
    [[nodiscard]] QString textFor(int textId) const;
    [[nodiscard]] QString textFor(tavik7::MessageId id) const;
    void renderConsoleFromHistory();
    void setUpEngines();
    void connectMenus();
    void connectDeviceButtons();
    void connectTableChecks();
    // The tab pages' style sheet: what the first frame shows, then all pages.
    void styleFirstFrame();
    void styleAllPages();
    void setLanguageOfCaptions();
    void setLanguageOfItems();

    void refreshPortList();
    // Every button from what the engines say can be done now.
    void applyAvailability();
    // The one maker of the window's title: the port's name while it is open,
    // and after a Connect that failed, the name tried.
    void updateWindowTitle(bool connectTried = false);
    void connectDeviceLink();
    // False when the request went out; a closed port answers as a mute device.
    bool requestRefused(bool sent, tavik7::MessageId noAnswer);
    // Shows a job's requests as they end and books them; false for none.
    bool followJob(tavik7::DeviceJob *job);
    // Write settings under review: the device's changes shown, written on Yes; false when nothing was sent.
    bool startReviewedWrite();
    // The console line and the widgets for each request's end, then the
    // sequence's own end (buttons, report).
    void showRequestResult(const tavik7::DeviceResult &result);
    void showSequenceResult(const tavik7::DeviceResult &result);
    void onParametersRead(const tavik7::ParameterRecord &record, int sequence);
    void onCounterRead(const tavik7::CounterReading &reading);
    void closePortSilently();
    // Opens this port with the Interface tab's settings; portNameInUse names it.
    bool openPort(const QString &portName);
    // The tab a connection leads to: the wizard from the Interface tab, back
    // into the wizard after its flash, else the parameters.
    void showTabAfterConnect();

    // A note of the program's own after the messages; the language switch renders it anew.
    void appendConsoleNote(const tavik7::ConsoleEntry &note);
    void explainPortOpenFailure(const tavik7::DeviceLink::OpenFailure &why);
    // The Load button's loader without its dialog (mainwindow_settingsfile.cpp).
    // With firmwareOf, the firmware's version and checksum are kept from it.
    void loadSettingsFile(const QString &name,
                          const std::optional<tavik7::ParameterRecord> &firmwareOf = std::nullopt);

    void setupParameterTable();
    // The table, the counter entry (its length included) and their captions
    // drawn from the sheet, no check running.
    void fillParameterTable();
    void updatePlausibilityState();
    // A read's refill with record: no check runs until the table shows the
    // device, then all of them once, as one verdict.
    void fillParameterTableAsOneChange(const tavik7::ParameterRecord &record);
    void showMultiplier(int significance);

    // Folder, serial number and today's date: the name offered for a settings file or a report.
    [[nodiscard]] QString deviceFileSuggestion() const;

    void writeInspectionReport();

    void setUpWizardFlow();
    void showWizardStep(int step);
    void programWizard();
    void askToFlashFirmware();
    void showFlashedFirmware();
    void askToWriteWizardCounter();
    // The boxes the wizard shares with the buttons that ask the same
    // (mainwindow_devicelink.cpp, mainwindow_flashing.cpp).
    [[nodiscard]] bool confirmSetCounter();
    [[nodiscard]] bool confirmAdapterForFlashing();
    [[nodiscard]] tavik7::FlashRun::Request flashRequest(const QString &firmwareFile) const;

    void setUpFlashRun();
    void showFlashVerdict();
    void showPortTakenBack(tavik7::FlashRun::Port::Reopen outcome);
    void showBackupOffer(const QString &backupFile);

    void setUpNamurListener();
    // The listener has let the port go, by Stop or because the port went.
    void namurListeningEnded();
    QMessageBox &noticeBox();
    void setOutputFont();

    Ui::TAVIK7_BediensoftwareClass ui;

    tavik7::DeviceLink *deviceLink = nullptr;
    // What the device holds as far as this program has seen, and the change history.
    tavik7::ChangeRecorder *changeRecorder = nullptr;
    PortEnumerator *portEnumerator = nullptr;
    QStandardItemModel *parameterModel = nullptr;
    tavik7::FlashRun *flashRun = nullptr;
    // Made on first use: a dialog's worth of widgets the first frame does not need.
    QMessageBox *messageBox = nullptr;

    int language = 0;
    // The table's record, cell texts, counter reading and verdicts; the
    // widgets show it. The device as last read is the link's memory's.
    tavik7::ParameterSheet sheet;
    ParameterTableView *parameterTable = nullptr;
    tavik7::MessageHistory messageHistory;
    QString appDataFolder;
    QString portNameInUse; // as picked in the list; shown in the title
    // The port state the device buttons last followed: the report button
    // comes on when a connection is made, not when a request ends.
    tavik7::DeviceLink::PortState buttonsFollowedPort = tavik7::DeviceLink::PortState::Closed;

    // Wizard: its flow holds the state; the window draws it.
    tavik7::WizardFlow *wizardFlow = nullptr;
    WizardPage *wizardPage = nullptr;

    // NAMUR state: the listener holds the port while listening, and the log.
    tavik7::NamurListener *namurListener = nullptr;
    tavik7::NamurConsoleFeed *namurFeed = nullptr;
};
