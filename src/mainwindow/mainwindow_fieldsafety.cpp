// Help for the technician beyond the console's messages: why a port did not
// open and what to do about it, and the cells a loaded file would change in
// the device.

#include <QSignalBlocker>
#include <QStandardItemModel>

#include "recorddiff.h"
#include "portdiagnosis.h"
#include "tavik7_bediensoftware.h"
#include "texttable.h"

void TAVIK7_Bediensoftware::appendConsoleNote(const tavik7::ConsoleEntry &note)
{
    if (note.id != tavik7::MessageId::None)
        showMessage(note, true);
}

void TAVIK7_Bediensoftware::explainPortOpenFailure(const tavik7::DeviceLink::OpenFailure &why)
{
    if (portNameInUse.isEmpty())
        return;
    appendConsoleNote(tavik7::portOpenFailureNote(why.failure, why.context));
}

namespace {

constexpr QRgb kDifferenceBackgroundRgb = qRgb(255, 255, 200);

QString inLanguage(int language, const QString &german, const QString &english)
{
    return language == tavik7::German ? german : english;
}

} // namespace

void TAVIK7_Bediensoftware::followDeviceRecord(bool tableShowsDevice)
{
    if (tableShowsDevice) {
        differenceMarks.shown = false;
        clearDeviceDifferenceMarks();
    } else {
        refreshDifferenceMarks();
    }
}

void TAVIK7_Bediensoftware::refreshDifferenceMarks()
{
    if (differenceMarks.shown)
        markDifferencesFromDevice();
}

void TAVIK7_Bediensoftware::markDifferencesFromDevice()
{
    // Colours and tips are no edits: the cell checks must not run for them.
    const QSignalBlocker blocker(parameterModel);
    clearDeviceDifferenceMarks();
    const std::optional<tavik7::ParameterRecord> &device = changeRecorder->deviceRecord();
    differenceMarks.shown = device.has_value();
    if (!device)
        return;
    // Against what Write settings would send: an edit back to the device's value drops its mark.
    for (int row : tavik7::differingFields(sheet.record(), *device)) {
        setDifferenceMark(row, inLanguage(language, QStringLiteral("Im Gerät: %1"), QStringLiteral("In the device: %1"))
                                   .arg(tavik7::parameterValueText(*device, row, language)));
        differenceMarks.rows.append(row);
    }
    ui.tableViewSettings->viewport()->update();
}

void TAVIK7_Bediensoftware::clearDeviceDifferenceMarks()
{
    // Colours and tips are no edits: the cell checks must not run for them,
    // least of all in the middle of a read's refill.
    const QSignalBlocker blocker(parameterModel);
    for (int row : std::as_const(differenceMarks.rows))
        setDifferenceMark(row, QString());
    differenceMarks.rows.clear();
    ui.tableViewSettings->viewport()->update();
}

void TAVIK7_Bediensoftware::setDifferenceMark(int row, const QString &deviceTip)
{
    const bool marked = !deviceTip.isEmpty();
    if (QWidget *cell = ui.tableViewSettings->indexWidget(parameterModel->index(row, 1))) {
        // A style sheet, as the window's own would override a palette.
        cell->setStyleSheet(marked ? QStringLiteral("%1 { background-color: %2; }")
                                         .arg(QString::fromLatin1(cell->metaObject()->className()),
                                              QColor(kDifferenceBackgroundRgb).name())
                                   : QString());
        cell->setToolTip(deviceTip);
    } else if (QStandardItem *item = parameterModel->item(row, 1)) {
        // Only the background: the text keeps the plausibility colour.
        item->setData(marked ? QVariant(QBrush(QColor(kDifferenceBackgroundRgb))) : QVariant(), Qt::BackgroundRole);
        item->setToolTip(deviceTip);
    }
}
