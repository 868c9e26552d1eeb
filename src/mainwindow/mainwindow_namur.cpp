// The NAMUR tab: its buttons and its console. Listening and the log file are
// the NamurListener's.

#include <QDate>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QSerialPort>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include "devicebookkeeper.h"
#include "namur.h"
#include "namurlistener.h"
#include "tavik7_bediensoftware.h"
#include "texttable.h"

namespace {

constexpr int kTextSelectFile = 123;
// Short enough to look immediate, long enough to take a burst in one go.
constexpr int kConsoleRefreshMs = 50;
constexpr qsizetype kConsoleChunkParagraphs = 1000;

} // namespace

void TAVIK7_Bediensoftware::setUpNamurListener()
{
    namurListener = new tavik7::NamurListener(this);
    tavik7::book::DeviceBookKeeper::of(this)->watchNamurListener(namurListener);
    connect(namurListener, &tavik7::NamurListener::telegramsReceived, this,
            &TAVIK7_Bediensoftware::showNamurTelegrams);
    connect(namurListener, &tavik7::NamurListener::stopped, this, &TAVIK7_Bediensoftware::namurListeningEnded);
    connect(namurListener, &tavik7::NamurListener::logTrouble, this, &TAVIK7_Bediensoftware::showNamurLogTrouble);
    connect(namurListener, &tavik7::NamurListener::started, this, &TAVIK7_Bediensoftware::applyAvailability);
}

void TAVIK7_Bediensoftware::onStartNamurClicked()
{
    const QString logPath = ui.checkBoxNamurLogging->isChecked() ? ui.lineEditNamurLogfile->text() : QString();
    // The device link lends its port: no service request goes out on it
    // until the listener has given it back.
    QSerialPort *port = deviceLink->lendPort();
    if (!port)
        return;
    tavik7::book::DeviceBookKeeper::of(this)->setNamurLogFile(logPath);
    if (!namurListener->start(port, logPath)) {
        deviceLink->takePortBack();
        return;
    }


    namurConsole.queued.clear();
    ui.textEditConsoleNamur->clear();
    // Without these the console's undo history and paragraphs would grow with
    // every telegram of a day-long session.
    ui.textEditConsoleNamur->setUndoRedoEnabled(false);
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

void TAVIK7_Bediensoftware::endNamurListening()
{
    namurListener->abandonPort();
}

void TAVIK7_Bediensoftware::namurListeningEnded()
{
    // Back at the service settings, whatever the listener left.
    deviceLink->takePortBack();
    applyAvailability();
    flushNamurConsole(tavik7::kNamurConsoleParagraphs);
    ui.textEditConsoleNamur->setEnabled(true);
}

void TAVIK7_Bediensoftware::showNamurLogTrouble(tavik7::NamurListener::LogTrouble trouble, const QString &path)
{
    // A log that cannot be opened has never been mentioned here: the tab
    // shows every telegram all the same. A replaced one has: its lines no
    // longer are where the technician would look for them.
    if (trouble != tavik7::NamurListener::LogTrouble::Replaced)
        return;
    appendConsoleNote({tavik7::MessageId::NoteNamurLogReplaced, {QDir::toNativeSeparators(path)}});
}

void TAVIK7_Bediensoftware::onStateNamurLoggingChanged(int state)
{
    Q_UNUSED(state);
    applyAvailability();
}

void TAVIK7_Bediensoftware::onSelectNamurLogfileClicked()
{
    const QString suggestion = tavik7::namurLogFileSuggestion(
        appDataFolder, tavik7::fieldText(parameterRecord.serialNumber, tavik7::kSerialNumberWidth),
        QDate::currentDate(), [](const QString &name) { return QFileInfo::exists(name); });
    const QString chosen =
        QFileDialog::getSaveFileName(this, textFor(kTextSelectFile), suggestion, QStringLiteral("*.log"));
    if (chosen.isEmpty() || !chosen.contains(QLatin1String(".log")))
        return;
    ui.lineEditNamurLogfile->setText(chosen);
    namurListener->logFileChosen(chosen);
}

void TAVIK7_Bediensoftware::showNamurTelegrams(const QStringList &rendered)
{
    // Telegrams go onto the tab in batches, a few times a second at most:
    // every insertion costs a layout of the console, and a burst of
    // telegrams would otherwise keep the window busy with nothing else.
    const qsizetype first = qMax<qsizetype>(0, rendered.size() - tavik7::kNamurConsoleParagraphs);
    namurConsole.queued.append(rendered.mid(first));
    const qsizetype excess = namurConsole.queued.size() - tavik7::kNamurConsoleParagraphs;
    if (excess > 0)
        namurConsole.queued.remove(0, excess);
    if (!namurConsole.flushScheduled) {
        namurConsole.flushScheduled = true;
        QTimer::singleShot(kConsoleRefreshMs, this, [this] { flushNamurConsole(kConsoleChunkParagraphs); });
    }
}

void TAVIK7_Bediensoftware::flushNamurConsole(qsizetype maxParagraphs)
{
    namurConsole.flushScheduled = false;
    if (namurConsole.queued.isEmpty())
        return;
    // Laying out a paragraph costs some 20 us: a few thousand at once would
    // freeze the window. The rest follows once other events had their turn;
    // meanwhile the oldest of them may make way for newer ones.
    const qsizetype count = qMin(maxParagraphs, namurConsole.queued.size());
    QTextDocument *document = ui.textEditConsoleNamur->document();
    QString text = namurConsole.queued.mid(0, count).join(QLatin1Char('\n'));
    if (!document->isEmpty())
        text.prepend(QLatin1Char('\n'));
    namurConsole.queued.remove(0, count);
    if (!namurConsole.queued.isEmpty()) {
        namurConsole.flushScheduled = true;
        QTimer::singleShot(0, this, [this] { flushNamurConsole(kConsoleChunkParagraphs); });
    }
    QTextCursor cursor(document);
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
    ui.textEditConsoleNamur->moveCursor(QTextCursor::End);
    ui.textEditConsoleNamur->ensureCursorVisible();
}
