// Help for the technician beyond the messages of the console: why a port did
// not open and what to do about it, a history of what was written to devices,
// a backup of the device's parameters before flashing, and the cells that a
// loaded file would change in the device.

#include <QDateTime>
#include <QDir>
#include <QIcon>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QSerialPort>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QTextCursor>

#include "changehistory.h"
#include "console.h"
#include "countertext.h"
#include "filenames.h"
#include "recorddiff.h"
#include "settingsfile.h"
#include "texttable.h"
#include "portaccess.h"
#include "portdiagnosis.h"
#include "tavik7_bediensoftware.h"


void TAVIK7_Bediensoftware::appendConsoleNote(const QString &text)
{
    // Shown and logged like a message, but kept out of the message history:
    // the language switch re-renders only the messages themselves.
    const QString line = tavik7::consoleLine(QDateTime::currentDateTime(), text);
    QTextCursor cursor(ui.textEditOutput->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertBlock();
    cursor.insertText(line);
    ui.textEditOutput->ensureCursorVisible();
    appendToOutputLog(line);
}

void TAVIK7_Bediensoftware::explainPortOpenFailure(const tavik7::DeviceLink::OpenFailure &why)
{
    showMessage(tavik7::MessageId::PortNotOpened, false);
    if (portNameInUse.isEmpty())
        return;
    const QString hint = tavik7::portOpenFailureHint(why.failure, why.context, language);
    if (!hint.isEmpty())
        appendConsoleNote(hint);
}

// ---------------------------------------------------------------- change history

namespace {

constexpr QRgb kDifferenceBackgroundRgb = qRgb(255, 255, 200);

QString inLanguage(int language, const QString &german, const QString &english)
{
    return language == tavik7::German ? german : english;
}

} // namespace

void TAVIK7_Bediensoftware::rememberDeviceRecord(bool tableRefilled)
{
    deviceRecord = parameterRecord;
    deviceRecordKnown = true;
    // The table is about to show the device itself: nothing differs any more.
    if (tableRefilled) {
        differenceMarksShown = false;
        clearDeviceDifferenceMarks();
    } else {
        refreshDifferenceMarks();
    }
}

void TAVIK7_Bediensoftware::rememberDeviceCounter()
{
    deviceCounterText = ui.lineEditCounter->text();
    deviceCounterKnown = true;
}

void TAVIK7_Bediensoftware::noteParametersWritten()
{
    const tavik7::ParameterRecord &before = deviceRecordKnown ? deviceRecord : parameterRecord;
    const QString serialNumber = tavik7::fieldText(before.serialNumber, tavik7::kSerialNumberWidth);
    // With nothing read to compare with, every value written, the old ones unknown.
    const QList<tavik7::FieldChange> changes = deviceRecordKnown
        ? tavik7::parameterChanges(deviceRecord, parameterRecord, language)
        : tavik7::parameterValues(parameterRecord, language);
    // The device holds the table now.
    deviceRecord = parameterRecord;
    deviceRecordKnown = true;
    differenceMarksShown = false;
    clearDeviceDifferenceMarks();

    if (deviceLink->sequenceMode() == tavik7::DeviceLink::WriteSequence) {
        pendingHistoryChanges = changes;
        pendingHistorySerial = serialNumber;
        historyPending = true;
        return;
    }
    appendHistoryRecord(serialNumber, changes);
}

void TAVIK7_Bediensoftware::noteCounterAnswer(bool written)
{
    QList<tavik7::FieldChange> changes = pendingHistoryChanges;
    const QString serialNumber = historyPending
        ? pendingHistorySerial
        : tavik7::fieldText((deviceRecordKnown ? deviceRecord : parameterRecord).serialNumber,
                            tavik7::kSerialNumberWidth);
    const bool parametersPending = historyPending;
    pendingHistoryChanges.clear();
    historyPending = false;
    if (written) {
        const QString counter = ui.lineEditCounter->text();
        changes.append(tavik7::counterChange(deviceCounterKnown ? deviceCounterText : QString(), counter));
        deviceCounterText = counter;
        deviceCounterKnown = true;
    }
    if (written || parametersPending)
        appendHistoryRecord(serialNumber, changes);
}

void TAVIK7_Bediensoftware::flushPendingHistory()
{
    if (!historyPending)
        return;
    historyPending = false;
    appendHistoryRecord(pendingHistorySerial, pendingHistoryChanges);
    pendingHistoryChanges.clear();
}

void TAVIK7_Bediensoftware::appendHistoryRecord(const QString &serialNumber,
                                                const QList<tavik7::FieldChange> &changes)
{
    const QString path = appDataFolder + QLatin1String(tavik7::kChangeHistoryFileName);
    const QByteArray record =
        tavik7::changeHistoryRecord(QDateTime::currentDateTime(), portNameInUse, serialNumber, changes);
    if (tavik7::appendChangeHistory(path, record) || historyFailureReported)
        return;
    // Once per run: the write to the device has succeeded all the same, and
    // a complaint after every write would bury the messages that matter.
    historyFailureReported = true;
    appendConsoleNote(inLanguage(language,
                                 QStringLiteral("Die Änderungshistorie %1 kann nicht geschrieben werden; "
                                                "das Gerät wurde trotzdem beschrieben.")
                                     .arg(QDir::toNativeSeparators(path)),
                                 QStringLiteral("The change history %1 cannot be written; "
                                                "the device was written all the same.")
                                     .arg(QDir::toNativeSeparators(path))));
}

// ---------------------------------------------------------------- backup before flashing

void TAVIK7_Bediensoftware::backUpDeviceBeforeFlash()
{
    flashBackupFile.clear();
    if (!deviceLink->isOpen() || !deviceRecordKnown)
        return;

    const QString base = appDataFolder + QStringLiteral("Backup_")
        + tavik7::fileNamePart(tavik7::fieldText(deviceRecord.serialNumber, tavik7::kSerialNumberWidth))
        + QLatin1Char('_') + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_hh-mm-ss"));
    const QString datName = base + QStringLiteral(".dat");

    // The same bytes as a saved settings file, so the Load button takes it
    // back. The counter cannot follow in that file (the loader stops at a line
    // after the last key), so it goes to a companion file of its own.
    QList<QByteArray> files[2] = {tavik7::settingsFileLines(deviceRecord), {}};
    const QString counterName = base + QStringLiteral(".counter.txt");
    if (deviceCounterKnown)
        files[1].append(deviceCounterText.toLatin1() + "\r\n");

    bool saved = true;
    const QString names[2] = {datName, counterName};
    for (int i = 0; i < 2 && saved; ++i) {
        if (files[i].isEmpty())
            continue;
        QSaveFile file(names[i]);
        saved = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
        for (const QByteArray &line : std::as_const(files[i]))
            saved = saved && file.write(line) == line.size();
        saved = saved && file.commit();
        if (!saved)
            file.cancelWriting();
    }

    const QString shownDat = QDir::toNativeSeparators(datName);
    if (!saved) {
        appendConsoleNote(inLanguage(
            language,
            QStringLiteral("Sicherung der Geräteparameter vor dem Flashen fehlgeschlagen: %1").arg(shownDat),
            QStringLiteral("Backing up the device's parameters before flashing failed: %1").arg(shownDat)));
        return;
    }
    flashBackupFile = flashReturnPending ? QString() : datName;
    QString note = inLanguage(language,
                              QStringLiteral("Geräteparameter vor dem Flashen gesichert: %1").arg(shownDat),
                              QStringLiteral("Device parameters backed up before flashing: %1").arg(shownDat));
    if (deviceCounterKnown) {
        note += inLanguage(language, QStringLiteral(", Zählerstand %1 in %2"),
                           QStringLiteral(", counter status %1 in %2"))
                    .arg(deviceCounterText, QDir::toNativeSeparators(counterName));
    }
    appendConsoleNote(note);
}

void TAVIK7_Bediensoftware::offerBackupAfterFlash()
{
    const QString backup = flashBackupFile;
    flashBackupFile.clear();
    if (!flashSucceeded || backup.isEmpty())
        return;
    // Queued: the port was just taken back, and its answers must not wait
    // behind a box opened from inside a slot.
    QMetaObject::invokeMethod(
        this, [this, backup] { showBackupOffer(backup); }, Qt::QueuedConnection);
}

void TAVIK7_Bediensoftware::showBackupOffer(const QString &backupFile)
{
    QMessageBox box(this);
    box.setStyleSheet(QStringLiteral("font: bold 14px;"));
    prepareYesNoBox(box,
                    inLanguage(language,
                               QStringLiteral("Die vor dem Flashen gesicherten Parameter jetzt in die Tabelle laden?"),
                               QStringLiteral("Load the parameters backed up before flashing into the table now?")),
                    QDir::toNativeSeparators(backupFile));
    if (box.exec() == QMessageBox::Yes)
        loadSettingsFile(backupFile);
}

// ---------------------------------------------------------------- device against file

void TAVIK7_Bediensoftware::refreshDifferenceMarks()
{
    if (differenceMarksShown)
        markDifferencesFromDevice();
}

void TAVIK7_Bediensoftware::markDifferencesFromDevice()
{
    // Colours and tips are no edits: the cell checks must not run for them.
    const QSignalBlocker blocker(parameterModel);
    clearDeviceDifferenceMarks();
    differenceMarksShown = deviceRecordKnown;
    if (!deviceRecordKnown)
        return;
    const QString background = QStringLiteral("background-color: %1;").arg(QColor(kDifferenceBackgroundRgb).name());
    // Against what Write settings would send: an edit back to the device's value drops its mark.
    for (int row : tavik7::differingFields(tableRecord(), deviceRecord)) {
        const QString tip = inLanguage(language, QStringLiteral("Im Gerät: %1"), QStringLiteral("In the device: %1"))
                                .arg(tavik7::parameterValueText(deviceRecord, row, language));
        const QModelIndex index = parameterModel->index(row, 1);
        if (QWidget *cell = ui.tableViewSettings->indexWidget(index)) {
            // A style sheet, as the window's own would override a palette.
            cell->setStyleSheet(QStringLiteral("%1 { %2 }").arg(QString::fromLatin1(cell->metaObject()->className()),
                                                                background));
            cell->setToolTip(tip);
        } else if (QStandardItem *item = parameterModel->item(row, 1)) {
            // Only the background: the text keeps the plausibility colour.
            item->setBackground(QColor(kDifferenceBackgroundRgb));
            item->setToolTip(tip);
        }
        markedRows.append(row);
    }
    ui.tableViewSettings->viewport()->update();
}

void TAVIK7_Bediensoftware::clearDeviceDifferenceMarks()
{
    for (int row : std::as_const(markedRows)) {
        const QModelIndex index = parameterModel->index(row, 1);
        if (QWidget *cell = ui.tableViewSettings->indexWidget(index)) {
            cell->setStyleSheet(QString());
            cell->setToolTip(QString());
        } else if (QStandardItem *item = parameterModel->item(row, 1)) {
            item->setData(QVariant(), Qt::BackgroundRole);
            item->setToolTip(QString());
        }
    }
    markedRows.clear();
    ui.tableViewSettings->viewport()->update();
}
