// The NAMUR tab: its buttons and its console. Listening and the log file are
// the NamurListener's.

#include <QDate>
#include <QFileDialog>
#include <QFileInfo>
#include <QTextDocument>

#include "devicebookkeeper.h"
#include "namur.h"
#include "tavik7_bediensoftware.h"
#include "textpanes.h"
#include "texttable.h"

void TAVIK7_Bediensoftware::setUpNamurListener()
{
    namurListener = new tavik7::NamurListener(this);
    tavik7::book::DeviceBookKeeper::of(this)->watchNamurListener(namurListener);
    // Every insertion costs a layout of the console: a burst of telegrams
    // would otherwise keep the window busy with nothing else.
    namurFeed = new tavik7::NamurConsoleFeed(this);
    namurFeed->follow(namurListener);
    connect(namurFeed, &tavik7::NamurConsoleFeed::batchReady, this, [this](const QString &lines) {
        const bool first = ui.textEditConsoleNamur->document()->isEmpty();
        tavik7::panes::appendAtEnd(ui.textEditConsoleNamur, first ? lines : QLatin1Char('\n') + lines);
    });
    connect(namurListener, &tavik7::NamurListener::stopped, this, &TAVIK7_Bediensoftware::namurListeningEnded);
    // A log that cannot be opened is not mentioned here: the tab shows every
    // telegram all the same.
    connect(namurListener, &tavik7::NamurListener::noted, this, &TAVIK7_Bediensoftware::appendConsoleNote);
    connect(namurListener, &tavik7::NamurListener::started, this, &TAVIK7_Bediensoftware::applyAvailability);
}

void TAVIK7_Bediensoftware::onStartNamurClicked()
{
    const QString logPath = ui.checkBoxNamurLogging->isChecked() ? ui.lineEditNamurLogfile->text() : QString();
    // No service request goes out on the port until the listener gives it back.
    if (!namurListener->start(deviceLink, logPath))
        return;

    ui.textEditConsoleNamur->clear();
    // Its paragraphs would grow with every telegram of a day-long session;
    // the form keeps the undo history off for the same reason.
    ui.textEditConsoleNamur->document()->setMaximumBlockCount(tavik7::kNamurConsoleParagraphs);
    ui.textEditConsoleNamur->setEnabled(false);

    showMessage(tavik7::MessageId::NamurStarted, false);
}

void TAVIK7_Bediensoftware::onStopNamurClicked()
{
    namurListener->stop();
    // The last read may have found the adapter gone: the port is closed then,
    // and the window already shows the disconnected state.
    if (!deviceLink->isOpen())
        return;
    updatePlausibilityState();
    showMessage(tavik7::MessageId::NamurStopped, false);
}

void TAVIK7_Bediensoftware::namurListeningEnded()
{
    // The port is back with the link already.
    applyAvailability();
    ui.textEditConsoleNamur->setEnabled(true);
}

void TAVIK7_Bediensoftware::onStateNamurLoggingChanged(int)
{
    applyAvailability();
}

void TAVIK7_Bediensoftware::onSelectNamurLogfileClicked()
{
    const QString suggestion = tavik7::namurLogFileSuggestion(
        appDataFolder, tavik7::fieldText(sheet.record().serialNumber, tavik7::kSerialNumberWidth),
        QDate::currentDate(), [](const QString &name) { return QFileInfo::exists(name); });
    const QString chosen =
        QFileDialog::getSaveFileName(this, textFor(tavik7::SelectFileCaption), suggestion, QStringLiteral("*.log"));
    if (chosen.isEmpty() || !chosen.contains(QLatin1String(".log")))
        return;
    ui.lineEditNamurLogfile->setText(chosen);
    namurListener->logFileChosen(chosen);
}
