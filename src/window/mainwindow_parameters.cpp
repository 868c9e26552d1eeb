// Parameter table, its plausibility state and the counter entries, the
// wizard's overwrite-mode key filter among them.

#include <QComboBox>
#include <QEvent>
#include <QKeyEvent>

#include "countertext.h"
#include "devicememory.h"
#include "parametertableview.h"
#include "tavik7_bediensoftware.h"

void TAVIK7_Bediensoftware::setupParameterTable()
{
    // Cells, then their first drawing, which runs no check.
    parameterTable = new ParameterTableView(ui.tableViewSettings, parameterModel, sheet, this);
    parameterTable->setUp();
    fillParameterTable();
    connect(parameterTable, &ParameterTableView::comboPicked, this, [this] {
        updatePlausibilityState();
        fillParameterTable();
    });
    // Marks on show are held against what the device was last seen to hold.
    connect(deviceLink->memory(), &tavik7::DeviceMemory::changed, this,
            [this] { sheet.deviceChanged(deviceLink->memory()->record()); });
}

void TAVIK7_Bediensoftware::fillParameterTable()
{
    parameterTable->draw(sheet.view(language));
    {
        // The counter entry's own cut must find nothing left to cut, or its
        // half-way text would be judged. Set anew only when it differs, so a
        // cursor in the entry stays where it is.
        const QSignalBlocker blocker(ui.lineEditCounter);
        ui.lineEditCounter->setMaxLength(sheet.counterLength());
        if (ui.lineEditCounter->text() != sheet.counterText())
            ui.lineEditCounter->setText(sheet.counterText());
    }
    ui.labelCounterHint->setText(textFor(tavik7::counterHintTextId(sheet.record().softwareVersion)));
    showMultiplier(sheet.record().significance);
    ui.label_unit->setText(sheet.cellText(tavik7::FieldUnit));
}

void TAVIK7_Bediensoftware::fillParameterTableAsOneChange(const tavik7::ParameterRecord &record)
{
    // The drawing runs no check: a cell, a combo box or the counter entry's
    // new length would each pass a verdict on values half the device's and
    // half the file's, and a passing complaint would replace the read's
    // message. The counter entry's check then ends with the verdict on the
    // whole table.
    sheet.setRecord(record);
    fillParameterTable();
    onSignificanceCbChanged(parameterTable->combo(tavik7::FieldSignificance)->currentIndex());
}

void TAVIK7_Bediensoftware::keyPressEvent(QKeyEvent *event)
{
    // F3 is the service key that unlocks serial number and year for editing.
    if (event->key() == Qt::Key_F3) {
        sheet.toggleServiceLock();
        fillParameterTable();
    }
}

void TAVIK7_Bediensoftware::updatePlausibilityState()
{
    applyAvailability();
    // A read replaces the implausible values, even without a port: the
    // click then answers as a silent device.
    if (!sheet.fitToWrite() && deviceLink->portState() == tavik7::DeviceLink::PortState::Closed)
        ui.pushButtonReadSettings->setEnabled(true);
    const tavik7::MessageId verdict =
        tavik7::verdictMessage(messageHistory, sheet.tablePlausible(), sheet.counterPlausible());
    if (verdict != tavik7::MessageId::None)
        showMessage(verdict, false);
}

void TAVIK7_Bediensoftware::onTableDataChanged(const QModelIndex &topLeft, const QModelIndex &)
{
    if (!parameterTable->takeEdit(topLeft))
        return;
    updatePlausibilityState();
    fillParameterTable();
}

void TAVIK7_Bediensoftware::showMultiplier(int significance)
{
    const tavik7::MultiplierTextIds multiplier = tavik7::multiplierTextIds(qint8(significance));
    ui.label_multi->setText(multiplier.multi < 0 ? QString() : textFor(multiplier.multi));
    ui.label_factor->setText(multiplier.factor < 0 ? QString() : textFor(multiplier.factor));
}

void TAVIK7_Bediensoftware::onSignificanceCbChanged(int index)
{
    sheet.setFieldNumber(tavik7::FieldSignificance, index);
    updatePlausibilityState();
    fillParameterTable();
}

void TAVIK7_Bediensoftware::onLeadingPlusCheckBoxStateChanged(int state)
{
    sheet.setFieldNumber(tavik7::FieldLeadingPlus, state == Qt::Checked ? 1 : 0);
    fillParameterTable();
}

void TAVIK7_Bediensoftware::onCounterTextChanged(const QString &)
{
    // The entry's own text is checked, whatever the caller passed.
    sheet.setCounterText(ui.lineEditCounter->text());
    updatePlausibilityState();
}

bool TAVIK7_Bediensoftware::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != ui.lineEditCounter2 || event->type() != QEvent::KeyPress)
        return QMainWindow::eventFilter(watched, event);

    // The entry only ever sees digits typed over the reading; Backspace,
    // Delete, letters and the rest are swallowed so the digit count and the
    // comma stay as the wizard laid them out.
    QLineEdit *entry = ui.lineEditCounter2;
    const auto *keyEvent = static_cast<QKeyEvent *>(event);
    const tavik7::CounterKeyEdit edit =
        tavik7::applyCounterEntryKey(entry->text(), entry->cursorPosition(), entry->maxLength(), keyEvent->key());
    if (edit.text != entry->text())
        entry->setText(edit.text);
    entry->setCursorPosition(edit.cursor);
    return true;
}
