// Parameter table, its plausibility state and the counter entries, the
// wizard's overwrite-mode key filter among them.

#include <QBrush>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFont>
#include <QKeyEvent>
#include <QStandardItemModel>

#include <vector>

#include "lazylistcombobox.h"
#include "countertext.h"
#include "plausibility.h"
#include "tavik7_bediensoftware.h"
#include "texttable.h"

namespace {

constexpr int kColumnWidthPx = 145;
constexpr int kRowHeightPx = 23;
constexpr QRgb kImplausibleTextRgb = qRgb(255, 64, 64);
constexpr QRgb kPlausibleTextRgb = qRgb(0, 0, 0);

QBrush verdictBrush(bool implausible)
{
    return QBrush(QColor::fromRgb(implausible ? kImplausibleTextRgb : kPlausibleTextRgb));
}

// The table's rows are the parameter fields, in the same order; combo boxes
// and the check box sit in the value column as cell widgets.
bool hasCellWidget(int row)
{
    const tavik7::FieldKind kind = tavik7::kParameterFields[row].kind;
    return kind == tavik7::FieldKind::Combo || kind == tavik7::FieldKind::Check;
}

QWidget *cellWidget(const QTableView *view, int row)
{
    return view->indexWidget(view->model()->index(row, 1));
}

QComboBox *comboCell(const QTableView *view, int row)
{
    return qobject_cast<QComboBox *>(cellWidget(view, row));
}

QComboBox *makeComboCell(int row, int language, QWidget *parent)
{
    const tavik7::ParameterField &field = tavik7::kParameterFields[row];
    auto *combo = new LazyListComboBox(parent);
    for (int i = 0; i < field.itemCount; ++i)
        combo->addItem(tavik7::text(field.firstItemTextId + i, language));
    return combo;
}

void retranslateComboCell(QComboBox *combo, int row, int language)
{
    const tavik7::ParameterField &field = tavik7::kParameterFields[row];
    for (int i = 0; i < field.itemCount && i < combo->count(); ++i)
        combo->setItemText(i, tavik7::text(field.firstItemTextId + i, language));
}

// The columns are measured for Arial, the face the style sheet gives every
// other widget; the platform's default face may be far wider (a monospaced
// one where only a few fonts are installed). The face is set before the model
// arrives: set afterwards, it has every header section measured a second time
// and the headers keep sizes measured for the old face.
void setTableFont(QTableView *view)
{
    QFont cellFont = view->font();
    cellFont.setFamily(QStringLiteral("Arial"));
    view->setFont(cellFont);
}

void layOutTableView(QTableView *view, int rows)
{
    view->setColumnWidth(0, kColumnWidthPx);
    view->setColumnWidth(1, kColumnWidthPx);
    for (int row = 0; row < rows; ++row)
        view->setRowHeight(row, kRowHeightPx);
}

} // namespace

void TAVIK7_Bediensoftware::setupParameterTable()
{
    QTableView *view = ui.tableViewSettings;
    setTableFont(view);
    view->setModel(parameterModel);
    parameterModel->setHorizontalHeaderItem(0, new QStandardItem(textFor(73)));
    parameterModel->setHorizontalHeaderItem(1, new QStandardItem(textFor(74)));

    // Created in row order, which is also their order in the focus chain; the
    // object names are those the rest of the window and its checks know.
    for (int row = 0; row < ParameterRowCount; ++row) {
        const tavik7::ParameterField &field = tavik7::kParameterFields[row];
        if (!field.objectName)
            continue;
        QWidget *widget = field.kind == tavik7::FieldKind::Check
            ? static_cast<QWidget *>(new QCheckBox(textFor(field.labelTextId), view->viewport()))
            : makeComboCell(row, language, view->viewport());
        widget->setObjectName(QString::fromLatin1(field.objectName));
        view->setIndexWidget(parameterModel->index(row, 1), widget);
    }
    cells.comboBoxSignificance = comboCell(view, RowSignificance);
    cells.checkBoxLeadingPlus = qobject_cast<QCheckBox *>(cellWidget(view, RowLeadingPlus));
    cells.comboBoxDirection = comboCell(view, RowDirection);

    setParameterTableLabels();
    fillParameterTable();

    // An index that no item stands for (a file may bring one) leaves its combo
    // empty and blocks writing until the user picks an item; picking one must
    // lift the block at once. Connected after the first fill, as the checks are.
    // The significance combo has its own slot, which re-evaluates as well.
    for (int row = 0; row < ParameterRowCount; ++row) {
        QComboBox *combo = comboCell(view, row);
        if (!combo || row == RowSignificance)
            continue;
        connect(combo, &QComboBox::currentIndexChanged, this, [this, row](int index) {
            sheet.setFieldNumber(row, index);
            updatePlausibilityState();
            refreshDifferenceMarks();
        });
    }

    layOutTableView(view, ParameterRowCount);
}

void TAVIK7_Bediensoftware::setLanguageOfCellWidgets()
{
    for (int row = 0; row < ParameterRowCount; ++row) {
        QWidget *cell = cellWidget(ui.tableViewSettings, row);
        if (auto *combo = qobject_cast<QComboBox *>(cell))
            retranslateComboCell(combo, row, language);
        else if (auto *check = qobject_cast<QCheckBox *>(cell))
            check->setText(textFor(tavik7::kParameterFields[row].labelTextId));
    }
}

void TAVIK7_Bediensoftware::setParameterTableLabels()
{
    parameterModel->horizontalHeaderItem(0)->setText(textFor(73));
    parameterModel->horizontalHeaderItem(1)->setText(textFor(74));
    for (int row = 0; row < ParameterRowCount; ++row) {
        if (tavik7::kParameterFields[row].kind == tavik7::FieldKind::Check)
            continue; // the check box carries the name
        auto *label = new QStandardItem(textFor(tavik7::kParameterFields[row].labelTextId));
        label->setEnabled(false);
        label->setSelectable(false);
        label->setEditable(false);
        parameterModel->setItem(row, 0, label);
    }
}

void TAVIK7_Bediensoftware::fillParameterTable()
{
    // Copies: a changed index runs slots that write into the sheet.
    const tavik7::ParameterRecord shown = sheet.record();
    for (int row = 0; row < ParameterRowCount; ++row) {
        if (hasCellWidget(row))
            continue;
        auto *item = new QStandardItem(sheet.cellText(row));
        const tavik7::ParameterField &field = tavik7::kParameterFields[row];
        item->setEditable(field.kind == tavik7::FieldKind::Text && !field.serviceLocked);
        item->setEnabled(true);
        item->setForeground(verdictBrush(sheet.cellImplausible(row)));
        parameterModel->setItem(row, 1, item);
    }
    showCounterEntry();
    ui.labelCounterHint->setText(textFor(tavik7::counterHintTextId(shown.softwareVersion)));

    for (int row = 0; row < ParameterRowCount; ++row) {
        QWidget *cell = cellWidget(ui.tableViewSettings, row);
        if (auto *combo = qobject_cast<QComboBox *>(cell))
            combo->setCurrentIndex(tavik7::fieldNumber(shown, row));
        else if (auto *check = qobject_cast<QCheckBox *>(cell))
            check->setChecked(tavik7::fieldNumber(shown, row) != 0);
    }
}

void TAVIK7_Bediensoftware::showCounterEntry()
{
    // The entry's own cut must find nothing left to cut, or its half-way
    // text would be judged.
    const QSignalBlocker blocker(ui.lineEditCounter);
    ui.lineEditCounter->setMaxLength(sheet.counterLength());
    ui.lineEditCounter->setText(sheet.counterText());
}

void TAVIK7_Bediensoftware::takeParameterRecord(const tavik7::ParameterRecord &record)
{
    parameterRecord = record;
    sheet.setRecord(record);
}

void TAVIK7_Bediensoftware::fillParameterTableAsOneChange()
{
    // The half-filled table in between is never judged: a cell, a combo box
    // or the counter entry's new length would each pass a verdict on values
    // half the device's and half the file's, and a passing complaint would
    // replace the read's message.
    takeParameterRecord(parameterRecord);
    {
        std::vector<QSignalBlocker> blockers;
        blockers.emplace_back(parameterModel);
        blockers.emplace_back(ui.lineEditCounter);
        for (int row = 0; row < ParameterRowCount; ++row) {
            if (QWidget *cell = cellWidget(ui.tableViewSettings, row))
                blockers.emplace_back(cell);
        }
        fillParameterTable();
    }
    // The cells' colours on the values now shown, then the counter entry's
    // check, which ends with the verdict on the whole table.
    const QSignalBlocker blocker(parameterModel);
    for (int row = 0; row < ParameterRowCount; ++row) {
        if (QStandardItem *item = parameterModel->item(row, 1); item && !hasCellWidget(row))
            item->setForeground(verdictBrush(sheet.cellImplausible(row)));
    }
    ui.label_unit->setText(sheet.cellText(RowUnit));
    onSignificanceCbChanged(cells.comboBoxSignificance->currentIndex());
}

void TAVIK7_Bediensoftware::readParameterTable()
{
    parameterRecord = sheet.record();
}

void TAVIK7_Bediensoftware::keyPressEvent(QKeyEvent *event)
{
    // F3 is the service key that unlocks serial number and year for editing.
    if (event->key() != Qt::Key_F3)
        return;
    for (int row = 0; row < ParameterRowCount; ++row) {
        QStandardItem *item = parameterModel->item(row, 1);
        if (item && tavik7::kParameterFields[row].serviceLocked)
            item->setEditable(!item->isEditable());
    }
}

void TAVIK7_Bediensoftware::updatePlausibilityState()
{
    applyAvailability();
    if (!sheet.fitToWrite()) {
        const tavik7::MessageId message = sheet.tablePlausible() ? tavik7::MessageId::CounterImplausible
                                                                 : tavik7::MessageId::TableImplausible;
        if (!messageHistory.contains(message))
            showMessage(message, false);
        return;
    }
    if (messageHistory.contains(tavik7::MessageId::TableImplausible)
        || messageHistory.contains(tavik7::MessageId::CounterImplausible))
        showMessage(tavik7::MessageId::Plausible, false);
}

bool TAVIK7_Bediensoftware::allValuesPlausible() const
{
    return sheet.fitToPrint();
}

void TAVIK7_Bediensoftware::onTableDataChanged(const QModelIndex &topLeft, const QModelIndex &)
{
    if (topLeft.column() == 0)
        return;
    QStandardItem *item = parameterModel->item(topLeft.row(), topLeft.column());
    if (!item)
        return;

    const int counterLength = sheet.counterLength();
    const QString kept = sheet.setCellText(topLeft.row(), item->text());
    // Both writes raise dataChanged again; that run finds the same text and
    // colour and changes nothing more.
    item->setForeground(verdictBrush(sheet.cellImplausible(topLeft.row())));
    item->setText(kept);
    if (sheet.counterLength() != counterLength) {
        showCounterEntry();
        ui.labelCounterHint->setText(textFor(tavik7::counterHintTextId(sheet.record().softwareVersion)));
    }
    updatePlausibilityState();
    ui.label_unit->setText(sheet.cellText(RowUnit));
    refreshDifferenceMarks();
}

void TAVIK7_Bediensoftware::showMultiplier(int significance)
{
    const tavik7::MultiplierTextIds multiplier = tavik7::multiplierTextIds(qint8(significance));
    ui.label_multi->setText(multiplier.multi < 0 ? QString() : textFor(multiplier.multi));
    ui.label_factor->setText(multiplier.factor < 0 ? QString() : textFor(multiplier.factor));
}

void TAVIK7_Bediensoftware::onSignificanceCbChanged(int index)
{
    showMultiplier(index);

    sheet.setFieldNumber(RowSignificance, index);
    showCounterEntry();
    updatePlausibilityState();
    refreshDifferenceMarks();
}

void TAVIK7_Bediensoftware::onLeadingPlusCheckBoxStateChanged(int state)
{
    sheet.setFieldNumber(RowLeadingPlus, state == Qt::Checked ? 1 : 0);
    refreshDifferenceMarks();
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
