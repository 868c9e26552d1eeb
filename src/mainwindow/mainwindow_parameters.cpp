// Parameter table, its plausibility state and the counter entry.

#include <QBrush>
#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QFont>
#include <QKeyEvent>
#include <QSerialPort>
#include <QStandardItemModel>

#include <vector>

#include "countertext.h"
#include "devicelink.h"
#include "parameterfields.h"
#include "plausibility.h"
#include "tavik7_bediensoftware.h"
#include "texttable.h"

namespace {

constexpr int kColumnWidthPx = 145;
constexpr int kRowHeightPx = 23;
constexpr int kCounterFlag = tavik7::kCounterPlausibilityFlag;
constexpr QRgb kImplausibleTextRgb = qRgb(255, 64, 64);
constexpr QRgb kPlausibleTextRgb = qRgb(0, 0, 0);


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

QComboBox *makeComboCell(int row, int language)
{
    const tavik7::ParameterField &field = tavik7::kParameterFields[row];
    auto *combo = new QComboBox;
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
// one where only a few fonts are installed).
void layOutTableView(QTableView *view, int rows)
{
    QFont cellFont = view->font();
    cellFont.setFamily(QStringLiteral("Arial"));
    view->setFont(cellFont);
    view->setColumnWidth(0, kColumnWidthPx);
    view->setColumnWidth(1, kColumnWidthPx);
    for (int row = 0; row < rows; ++row)
        view->setRowHeight(row, kRowHeightPx);
}

} // namespace

void TAVIK7_Bediensoftware::setupParameterTable()
{
    static_assert(ParameterRowCount == tavik7::kParameterFieldCount, "one table row per parameter field");
    QTableView *view = ui.tableViewSettings;
    view->setModel(parameterModel);
    parameterModel->setHorizontalHeaderItem(0, new QStandardItem(textFor(73)));
    parameterModel->setHorizontalHeaderItem(1, new QStandardItem(textFor(74)));

    // Created in row order, which is also their order in the focus chain; the
    // object names are those the rest of the window and its checks know.
    const struct { int row; QComboBox **combo; const char *objectName; } created[] = {
        {RowSignificance, &cells.comboBoxSignificance, "comboBoxSignificance"},
        {RowLeadingPlus, nullptr, "checkBoxLeadingPlus"},
        {RowBaudRate, &cells.comboBoxTableBaudrate, "comboBoxTableBaudrate"},
        {RowTransmitMode, &cells.comboBoxTransmitMode, "comboBoxTransmitMode"},
        {RowDirection, &cells.comboBoxDirection, "comboBoxDirection"},
        {RowTelegramB, &cells.comboBoxTelegramB, "comboBoxTelegramB"},
        {RowCrcStartValue, &cells.comboBoxCrcStartValue, "comboBoxCrcStartValue"},
    };
    for (const auto &cell : created) {
        QWidget *widget = nullptr;
        if (cell.combo)
            widget = *cell.combo = makeComboCell(cell.row, language);
        else
            widget = cells.checkBoxLeadingPlus = new QCheckBox(textFor(tavik7::kParameterFields[cell.row].labelTextId));
        widget->setObjectName(QString::fromLatin1(cell.objectName));
        view->setIndexWidget(parameterModel->index(cell.row, 1), widget);
    }

    setParameterTableLabels();
    fillParameterTable();

    // An index that no item stands for (a file may bring one) leaves its combo
    // empty and blocks writing until the user picks an item; picking one must
    // lift the block at once. Connected after the first fill, as the checks are.
    // The significance combo has its own slot, which re-evaluates as well.
    for (const auto &cell : created) {
        if (!cell.combo || cell.row == RowSignificance)
            continue;
        connect(*cell.combo, &QComboBox::currentIndexChanged, this, [this] {
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
    // Copies: a changed index runs slots that may write back into the record.
    const tavik7::ParameterRecord shown = parameterRecord;
    bool counterEntryRelaid = false;
    for (int row = 0; row < ParameterRowCount; ++row) {
        if (hasCellWidget(row))
            continue;
        auto *item = new QStandardItem(tavik7::parameterValueText(shown, row, language));
        // Serial number and year open only to the service key (F3).
        item->setEditable(tavik7::kParameterFields[row].kind == tavik7::FieldKind::Text && row != RowSerialNumber
                          && row != RowYear);
        item->setEnabled(true);
        // A refill without checks (the language switch) must not turn a cell
        // that still blocks writing black; a checked refill recolours anyway.
        const int flag = tavik7::plausibilityFlagOfRow(row);
        const bool red = flag >= 0 && tableChecks.flags[flag];
        item->setForeground(QBrush(QColor::fromRgb(red ? kImplausibleTextRgb : kPlausibleTextRgb)));
        parameterModel->setItem(row, 1, item);
        if (row == RowSoftwareVersion) {
            counterEntryRelaid = resizeCounterEntry(tavik7::counterLength(shown.significance, shown.softwareVersion));
            ui.labelCounterHint->setText(textFor(tavik7::counterHintTextId(shown.softwareVersion)));
        }
    }

    for (int row = 0; row < ParameterRowCount; ++row) {
        QWidget *cell = cellWidget(ui.tableViewSettings, row);
        if (auto *combo = qobject_cast<QComboBox *>(cell))
            combo->setCurrentIndex(tavik7::fieldNumber(shown, row));
        else if (auto *check = qobject_cast<QCheckBox *>(cell))
            check->setChecked(tavik7::fieldNumber(shown, row) != 0);
    }
    // Only now do length, significance and text agree again.
    if (counterEntryRelaid)
        onCounterTextChanged(ui.lineEditCounter->text());
}

void TAVIK7_Bediensoftware::fillParameterTableAsOneChange()
{
    // The half-filled table in between is never judged: a cell, a combo box
    // or the counter entry's new length would each pass a verdict on values
    // half the device's and half the file's, and a passing complaint would
    // replace the read's message.
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
    judgeParameterTable();
}

bool TAVIK7_Bediensoftware::resizeCounterEntry(int newLength)
{
    // A complete reading moved to a device with another digit count keeps its
    // value with a leading zero more or less. Cut or left short, it would
    // count as implausible and the read would report a counter fault that
    // the counter answer, arriving a moment later, takes back.
    const QString entry = ui.lineEditCounter->text();
    const qint8 shownSignificance = qint8(cells.comboBoxSignificance->currentIndex());
    QString relaid;
    if (newLength != tableChecks.counterLength
        && tavik7::counterTextPlausible(entry, ui.lineEditCounter->maxLength(), tableChecks.counterLength, shownSignificance)) {
        relaid = tavik7::relayCounterReading(entry, parameterRecord.significance, parameterRecord.softwareVersion);
    }
    tableChecks.counterLength = newLength;
    if (relaid.isEmpty()) {
        ui.lineEditCounter->setMaxLength(tableChecks.counterLength);
        return false;
    }
    const QSignalBlocker blocker(ui.lineEditCounter);
    ui.lineEditCounter->setMaxLength(tableChecks.counterLength);
    ui.lineEditCounter->setText(relaid);
    return true;
}

QString TAVIK7_Bediensoftware::cellText(int row) const
{
    const QStandardItem *item = parameterModel->item(row, 1);
    return item ? item->text() : QString();
}

void TAVIK7_Bediensoftware::readParameterTable()
{
    parameterRecord = tableRecord();
}

tavik7::ParameterRecord TAVIK7_Bediensoftware::tableRecord() const
{
    tavik7::ParameterRecord r = parameterRecord;
    for (int row = 0; row < ParameterRowCount; ++row) {
        QWidget *cell = cellWidget(ui.tableViewSettings, row);
        if (const auto *combo = qobject_cast<const QComboBox *>(cell))
            tavik7::setFieldNumber(r, row, combo->currentIndex());
        else if (const auto *check = qobject_cast<const QCheckBox *>(cell))
            tavik7::setFieldNumber(r, row, check->isChecked() ? 1 : 0);
        else
            tavik7::setFieldFromCellText(r, row, cellText(row));
    }
    return r;
}

void TAVIK7_Bediensoftware::keyPressEvent(QKeyEvent *event)
{
    // F3 is the service key that unlocks serial number and year for editing.
    if (event->key() != Qt::Key_F3)
        return;
    for (int row : {int(RowSerialNumber), int(RowYear)}) {
        if (QStandardItem *item = parameterModel->item(row, 1))
            item->setEditable(!item->isEditable());
    }
}

bool TAVIK7_Bediensoftware::comboCellsHoldItems() const
{
    for (int row = 0; row < ParameterRowCount; ++row) {
        const QComboBox *combo = comboCell(ui.tableViewSettings, row);
        if (combo && combo->currentIndex() < 0)
            return false;
    }
    return true;
}

void TAVIK7_Bediensoftware::updatePlausibilityState()
{
    const bool tableImplausible = std::any_of(std::begin(tableChecks.flags), std::begin(tableChecks.flags) + kCounterFlag,
                                              [](bool flag) { return flag; })
        || !comboCellsHoldItems();
    // While another job holds the port no device button is offered, whatever
    // the table says.
    const tavik7::DeviceLink::PortState port = deviceLink->portState();
    if (tableImplausible || tableChecks.flags[kCounterFlag]) {
        ui.pushButtonReadSettings->setEnabled(port != tavik7::DeviceLink::PortState::Lent);
        ui.pushButtonWriteSettings->setEnabled(false);
        ui.pushButtonSetCounter->setEnabled(false);
        const tavik7::MessageId message =
            tableImplausible ? tavik7::MessageId::TableImplausible : tavik7::MessageId::CounterImplausible;
        if (!messageHistory.contains(message))
            showMessage(message, false);
        return;
    }
    setDeviceButtonsEnabled(port == tavik7::DeviceLink::PortState::Idle);
    if (messageHistory.contains(tavik7::MessageId::TableImplausible)
        || messageHistory.contains(tavik7::MessageId::CounterImplausible))
        showMessage(tavik7::MessageId::Plausible, false);
}

bool TAVIK7_Bediensoftware::allValuesPlausible() const
{
    return std::none_of(std::begin(tableChecks.flags), std::end(tableChecks.flags), [](bool flag) { return flag; })
        && comboCellsHoldItems();
}

void TAVIK7_Bediensoftware::judgeParameterTable()
{
    // The cell checks of every text row on the values now shown, then the
    // counter entry's, which ends with the verdict on the whole table.
    for (int row = 0; row < ParameterRowCount; ++row) {
        QStandardItem *item = parameterModel->item(row, 1);
        const tavik7::CellVerdict verdict = tavik7::checkParameterCell(row, item ? item->text() : QString());
        if (!item || verdict.flag < 0)
            continue;
        tableChecks.flags[verdict.flag] = !verdict.plausible;
        const QSignalBlocker blocker(parameterModel);
        item->setForeground(QBrush(QColor::fromRgb(verdict.plausible ? kPlausibleTextRgb : kImplausibleTextRgb)));
    }
    ui.label_unit->setText(cellText(RowUnit));
    onSignificanceCbChanged(cells.comboBoxSignificance->currentIndex());
}

void TAVIK7_Bediensoftware::onTableDataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight)
{
    Q_UNUSED(bottomRight);
    if (topLeft.column() == 0)
        return;
    QStandardItem *item = parameterModel->item(topLeft.row(), topLeft.column());
    if (!item)
        return;

    const tavik7::CellVerdict verdict = tavik7::checkParameterCell(topLeft.row(), item->text());
    if (verdict.flag >= 0)
        tableChecks.flags[verdict.flag] = !verdict.plausible;
    const bool red = verdict.flag >= 0 && tableChecks.flags[verdict.flag];
    // Both writes raise dataChanged again; that run finds the same text and
    // colour and changes nothing more.
    item->setForeground(QBrush(QColor::fromRgb(red ? kImplausibleTextRgb : kPlausibleTextRgb)));
    item->setText(verdict.text);
    updatePlausibilityState();
    ui.label_unit->setText(cellText(RowUnit));
    refreshDifferenceMarks();
}

void TAVIK7_Bediensoftware::onSignificanceCbChanged(int index)
{
    const tavik7::MultiplierTextIds multiplier = tavik7::multiplierTextIds(qint8(index));
    ui.label_multi->setText(multiplier.multi < 0 ? QString() : textFor(multiplier.multi));
    ui.label_factor->setText(multiplier.factor < 0 ? QString() : textFor(multiplier.factor));

    const quint16 version = parameterRecord.softwareVersion;
    const QString counter = ui.lineEditCounter->text();
    tableChecks.counterLength = tavik7::counterLength(qint8(index), version);
    {
        // A shorter maximum length cuts the old text first; that half-way text
        // must not be checked, or a false complaint would replace the console.
        const QSignalBlocker blocker(ui.lineEditCounter);
        ui.lineEditCounter->setMaxLength(tableChecks.counterLength);
        ui.lineEditCounter->setText(tavik7::formatCounterText(counter, qint8(index), version));
    }
    onCounterTextChanged(ui.lineEditCounter->text());
    refreshDifferenceMarks();
}

void TAVIK7_Bediensoftware::onLeadingPlusCheckBoxStateChanged(int state)
{
    parameterRecord.leadingPlus = state == Qt::Checked ? 1 : 0;
    refreshDifferenceMarks();
}
