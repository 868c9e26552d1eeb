// Listening to the device's NAMUR output and logging its telegrams.

#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QSerialPort>
#include <QStringConverter>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include "namur.h"
#include "tavik7_bediensoftware.h"

namespace {

constexpr qint8 kMsgNamurStarted = 98;
constexpr qint8 kMsgNamurStopped = 99;
constexpr int kTextSelectFile = 123;
constexpr int kServiceBaudRate = 1200;
// Short enough to look immediate, long enough to take a burst in one go.
constexpr int kConsoleRefreshMs = 50;
constexpr qsizetype kConsoleChunkParagraphs = 1000;

} // namespace

void TAVIK7_Bediensoftware::onStartNamurClicked()
{
    // A pseudo-terminal refuses 7 data bits and even parity. Listening goes
    // on at 8N1 then: the receive step's 7-bit mask strips the parity bit,
    // which lands in bit 7.
    QSerialPort *serialPort = deviceLink->lendPort();
    if (!serialPort)
        return;
    serialPort->setBaudRate(tavik7::kNamurBaudRate);
    serialPort->setDataBits(QSerialPort::Data7);
    serialPort->setParity(QSerialPort::EvenParity);
    serialPort->clearError();

    ui.pushButtonStartNamur->setEnabled(false);
    ui.pushButtonStopNamur->setEnabled(true);
    applyDisconnectedState();
    ui.comboBoxDevice->setEnabled(false);
    ui.pushButtonConnect->setEnabled(false);
    ui.pushButtonStopNamur->setEnabled(true);

    namurConsolePending.clear();
    ui.textEditConsoleNamur->clear();
    // Without these the console's undo history and paragraphs would grow with
    // every telegram of a day-long session.
    ui.textEditConsoleNamur->setUndoRedoEnabled(false);
    ui.textEditConsoleNamur->document()->setMaximumBlockCount(tavik7::kNamurConsoleParagraphs);
    ui.textEditConsoleNamur->setEnabled(false);

    showMessage(kMsgNamurStarted, false);

    serialPort->flush();
    serialPort->readAll();
    namurBuffer.clear();

    namurLogging = ui.checkBoxNamurLogging->isChecked() && !ui.lineEditNamurLogfile->text().isEmpty();
    if (namurLogging) {
        if (namurLogFile) {
            namurLogStream.setDevice(nullptr);
            delete namurLogFile;
        }
        namurLogFile = new QFile(ui.lineEditNamurLogfile->text(), this);
        // Only the first Start after the dialog (which asked before
        // overwriting) empties the file; later ones add to it.
        openNamurLogFile(namurLogChosenAnew);
        namurLogChosenAnew = false;
        namurLogStream.setDevice(namurLogFile);
        namurLogStream.setEncoding(QStringConverter::Latin1);
    }

    namurActive = true;
}

void TAVIK7_Bediensoftware::onStopNamurClicked()
{
    // Telegrams that reached the port before the click belong in the log.
    QSerialPort *serialPort = deviceLink->serialPort();
    if (namurActive && serialPort->bytesAvailable() > 0)
        receiveNamurData();
    endNamurListening();
    deviceLink->takePortBack();

    serialPort->setBaudRate(kServiceBaudRate);
    serialPort->setDataBits(QSerialPort::Data8);
    serialPort->setParity(QSerialPort::NoParity);
    serialPort->clearError();

    ui.pushButtonStartNamur->setEnabled(true);
    ui.pushButtonStopNamur->setEnabled(false);
    applyConnectedState();
    showMessage(kMsgNamurStopped, false);
}

void TAVIK7_Bediensoftware::endNamurListening()
{
    namurActive = false;
    if (namurLogging && namurLogFile) {
        namurLogStream.flush();
        namurLogFile->close();
    }
    namurLogging = false;
    flushNamurConsole(tavik7::kNamurConsoleParagraphs);
    namurBuffer.clear();
    ui.textEditConsoleNamur->setEnabled(true);
}

void TAVIK7_Bediensoftware::onStateNamurLoggingChanged(int state)
{
    const bool checked = state == Qt::Checked;
    ui.lineEditNamurLogfile->setEnabled(checked);
    ui.pushButtonSelectNamurLogfile->setEnabled(checked);
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
    namurLogChosenAnew = true;
}

void TAVIK7_Bediensoftware::receiveNamurData()
{
    QByteArray bytes = deviceLink->serialPort()->readAll();
    tavik7::maskToSevenBits(bytes);
    namurBuffer.append(bytes);
    const tavik7::NamurTelegrams taken = tavik7::takeNamurTelegrams(namurBuffer);
    if (taken.telegrams.isEmpty() && taken.droppedBytes == 0)
        return;

    showNamurTelegrams(taken.telegrams);
    if (!namurLogging)
        return;
    // One read takes a few milliseconds at most: its telegrams share the time.
    const QString timeStamp = tavik7::namurTimeStamp(QDateTime::currentDateTime());
    if (taken.droppedBytes > 0)
        writeNamurLogLine(tavik7::namurDroppedLine(timeStamp, taken.droppedBytes));
    for (const QByteArray &telegram : taken.telegrams)
        writeNamurLogLine(tavik7::namurLogLine(timeStamp, telegram));
}

void TAVIK7_Bediensoftware::showNamurTelegrams(const QList<QByteArray> &telegrams)
{
    if (telegrams.isEmpty())
        return;
    // Telegrams go onto the tab in batches, a few times a second at most:
    // every insertion costs a layout of the console, and a burst of
    // telegrams would otherwise keep the window busy with nothing else.
    const qsizetype first = qMax<qsizetype>(0, telegrams.size() - tavik7::kNamurConsoleParagraphs);
    for (qsizetype i = first; i < telegrams.size(); ++i)
        namurConsolePending.append(tavik7::renderNamurTelegram(telegrams.at(i)));
    const qsizetype excess = namurConsolePending.size() - tavik7::kNamurConsoleParagraphs;
    if (excess > 0)
        namurConsolePending.remove(0, excess);
    if (!namurConsoleFlushScheduled) {
        namurConsoleFlushScheduled = true;
        QTimer::singleShot(kConsoleRefreshMs, this, [this] { flushNamurConsole(kConsoleChunkParagraphs); });
    }
}

void TAVIK7_Bediensoftware::flushNamurConsole(qsizetype maxParagraphs)
{
    namurConsoleFlushScheduled = false;
    if (namurConsolePending.isEmpty())
        return;
    // Laying out a paragraph costs some 20 us: a few thousand at once would
    // freeze the window. The rest follows once other events had their turn;
    // meanwhile the oldest of them may make way for newer ones.
    const qsizetype count = qMin(maxParagraphs, namurConsolePending.size());
    QTextDocument *document = ui.textEditConsoleNamur->document();
    QString text = namurConsolePending.mid(0, count).join(QLatin1Char('\n'));
    if (!document->isEmpty())
        text.prepend(QLatin1Char('\n'));
    namurConsolePending.remove(0, count);
    if (!namurConsolePending.isEmpty()) {
        namurConsoleFlushScheduled = true;
        QTimer::singleShot(0, this, [this] { flushNamurConsole(kConsoleChunkParagraphs); });
    }
    QTextCursor cursor(document);
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
    ui.textEditConsoleNamur->moveCursor(QTextCursor::End);
    ui.textEditConsoleNamur->ensureCursorVisible();
}

void TAVIK7_Bediensoftware::writeNamurLogLine(const QString &line)
{
    // Closing and reopening puts every earlier line on the disk; a file that
    // could not be opened before gets another chance here.
    if (++namurLineCount >= tavik7::kNamurLinesPerReopen) {
        namurLineCount = 0;
        namurLogStream.flush();
        namurLogFile->close();
        openNamurLogFile(false);
    }
    // Nothing is written into a closed file: the stream would keep it all.
    if (namurLogFile->isOpen())
        namurLogStream << line << "\r\n";
}

bool TAVIK7_Bediensoftware::openNamurLogFile(bool truncate)
{
    // Not in text mode: the lines carry their own CR LF on every platform.
    const bool opened =
        namurLogFile->open(QIODevice::WriteOnly | (truncate ? QIODevice::Truncate : QIODevice::Append));
    // A stream that failed once writes nothing more until told to go on.
    namurLogStream.resetStatus();
    return opened;
}
