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
