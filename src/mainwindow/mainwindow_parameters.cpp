// Parameter table, its plausibility state and the counter entry.

#include <QBrush>
#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QKeyEvent>
#include <QSerialPort>
#include <QStandardItemModel>

#include "countertext.h"
#include "devicelink.h"
#include "plausibility.h"
#include "tavik7_bediensoftware.h"
#include "texttable.h"

namespace {

constexpr int kColumnWidthPx = 145;
constexpr int kRowHeightPx = 23;
constexpr int kFirstRowLabelTextId = 59;
constexpr int kLeadingPlusTextId = 61;
constexpr int kCounterFlag = tavik7::kCounterPlausibilityFlag;
constexpr QRgb kImplausibleTextRgb = qRgb(255, 64, 64);
constexpr QRgb kPlausibleTextRgb = qRgb(0, 0, 0);

constexpr qint8 kMsgPlausible = 11;
constexpr qint8 kMsgTableImplausible = 59;
constexpr qint8 kMsgCounterImplausible = 60;

// First TextId and item count of each combo box cell.
struct ComboCell
{
    int row;
    int firstTextId;
    int itemCount;
};
constexpr ComboCell kSignificanceCell{TAVIK7_Bediensoftware::RowSignificance, 97, 6};
constexpr ComboCell kBaudRateCell{TAVIK7_Bediensoftware::RowBaudRate, 103, 3};
constexpr ComboCell kTransmitModeCell{TAVIK7_Bediensoftware::RowTransmitMode, 106, 6};
constexpr ComboCell kDirectionCell{TAVIK7_Bediensoftware::RowDirection, 112, 2};
constexpr ComboCell kTelegramBCell{TAVIK7_Bediensoftware::RowTelegramB, 114, 4};
constexpr ComboCell kCrcStartValueCell{TAVIK7_Bediensoftware::RowCrcStartValue, 118, 2};

QComboBox *makeComboCell(const ComboCell &cell, const QString &objectName, int language)
{
    auto *combo = new QComboBox;
    combo->setObjectName(objectName);
    for (int i = 0; i < cell.itemCount; ++i)
        combo->addItem(tavik7::text(cell.firstTextId + i, language));
    return combo;
}

void retranslateComboCell(QComboBox *combo, const ComboCell &cell, int language)
{
    for (int i = 0; i < cell.itemCount && i < combo->count(); ++i)
        combo->setItemText(i, tavik7::text(cell.firstTextId + i, language));
}

} // namespace

void TAVIK7_Bediensoftware::setupParameterTable()
{
    QTableView *view = ui.tableViewSettings;
    view->setModel(parameterModel);
    parameterModel->setHorizontalHeaderItem(0, new QStandardItem(textFor(73)));
    parameterModel->setHorizontalHeaderItem(1, new QStandardItem(textFor(74)));

    comboBoxSignificance = makeComboCell(kSignificanceCell, QStringLiteral("comboBoxSignificance"), language);
    view->setIndexWidget(parameterModel->index(RowSignificance, 1), comboBoxSignificance);
    checkBoxLeadingPlus = new QCheckBox(textFor(kLeadingPlusTextId));
    checkBoxLeadingPlus->setObjectName(QStringLiteral("checkBoxLeadingPlus"));
    view->setIndexWidget(parameterModel->index(RowLeadingPlus, 1), checkBoxLeadingPlus);
    comboBoxTableBaudrate = makeComboCell(kBaudRateCell, QStringLiteral("comboBoxTableBaudrate"), language);
    view->setIndexWidget(parameterModel->index(RowBaudRate, 1), comboBoxTableBaudrate);
    comboBoxTransmitMode = makeComboCell(kTransmitModeCell, QStringLiteral("comboBoxTransmitMode"), language);
    view->setIndexWidget(parameterModel->index(RowTransmitMode, 1), comboBoxTransmitMode);
    comboBoxDirection = makeComboCell(kDirectionCell, QStringLiteral("comboBoxDirection"), language);
    view->setIndexWidget(parameterModel->index(RowDirection, 1), comboBoxDirection);
    comboBoxTelegramB = makeComboCell(kTelegramBCell, QStringLiteral("comboBoxTelegramB"), language);
    view->setIndexWidget(parameterModel->index(RowTelegramB, 1), comboBoxTelegramB);
    comboBoxCrcStartValue = makeComboCell(kCrcStartValueCell, QStringLiteral("comboBoxCrcStartValue"), language);
    view->setIndexWidget(parameterModel->index(RowCrcStartValue, 1), comboBoxCrcStartValue);

    setParameterTableLabels();
    fillParameterTable();

    // An index that no item stands for (a file may bring one) leaves its combo
    // empty and blocks writing until the user picks an item; picking one must
    // lift the block at once. Connected after the first fill, as the checks are.
    // The significance combo has its own slot, which re-evaluates as well.
    for (QComboBox *combo : {comboBoxTableBaudrate, comboBoxTransmitMode, comboBoxDirection, comboBoxTelegramB,
                             comboBoxCrcStartValue}) {
        connect(combo, &QComboBox::currentIndexChanged, this, [this] {
            updatePlausibilityState();
            refreshDifferenceMarks();
        });
    }

    view->setColumnWidth(0, kColumnWidthPx);
    view->setColumnWidth(1, kColumnWidthPx);
    for (int row = 0; row < ParameterRowCount; ++row)
        view->setRowHeight(row, kRowHeightPx);
}

void TAVIK7_Bediensoftware::setLanguageOfCellWidgets()
{
    retranslateComboCell(comboBoxSignificance, kSignificanceCell, language);
    checkBoxLeadingPlus->setText(textFor(kLeadingPlusTextId));
    retranslateComboCell(comboBoxTableBaudrate, kBaudRateCell, language);
    retranslateComboCell(comboBoxTransmitMode, kTransmitModeCell, language);
    retranslateComboCell(comboBoxDirection, kDirectionCell, language);
    retranslateComboCell(comboBoxTelegramB, kTelegramBCell, language);
    retranslateComboCell(comboBoxCrcStartValue, kCrcStartValueCell, language);
}

void TAVIK7_Bediensoftware::setParameterTableLabels()
{
    parameterModel->horizontalHeaderItem(0)->setText(textFor(73));
    parameterModel->horizontalHeaderItem(1)->setText(textFor(74));
    for (int row = 0; row < ParameterRowCount; ++row) {
        if (row == RowLeadingPlus)
            continue; // the check box carries the name
        auto *label = new QStandardItem(textFor(kFirstRowLabelTextId + row));
        label->setEnabled(false);
        label->setSelectable(false);
        label->setEditable(false);
        parameterModel->setItem(row, 0, label);
    }
}

void TAVIK7_Bediensoftware::fillParameterTable()
{
    const tavik7::ParameterRecord &r = parameterRecord;
    bool counterEntryRelaid = false;
    const struct
    {
        int row;
        QString text;
        bool editable;
    } cells[] = {
        {RowUnit, tavik7::fieldText(r.unit, tavik7::kUnitWidth), true},
        {RowManufacturer, tavik7::fieldText(r.manufacturer, tavik7::kManufacturerWidth), true},
        {RowDeviceType, tavik7::fieldText(r.deviceType, tavik7::kDeviceTypeWidth), true},
        {RowSerialNumber, tavik7::fieldText(r.serialNumber, tavik7::kSerialNumberWidth), false},
        {RowYear, tavik7::fieldText(r.yearOfManufacture, tavik7::kYearWidth), false},
        {RowSoftwareVersion, tavik7::softwareVersionText(r.softwareVersion), false},
        {RowSoftwareCrc, tavik7::softwareCrcText(r.softwareCrc), false},
    };
    for (const auto &cell : cells) {
        auto *item = new QStandardItem(cell.text);
        item->setEditable(cell.editable);
        item->setEnabled(true);
        // A refill without checks (the language switch) must not turn a cell
        // that still blocks writing black; a checked refill recolours anyway.
        const int flag = tavik7::plausibilityFlagOfRow(cell.row);
        const bool red = flag >= 0 && plausibilityFlags[flag];
        item->setForeground(QBrush(QColor::fromRgb(red ? kImplausibleTextRgb : kPlausibleTextRgb)));
        parameterModel->setItem(cell.row, 1, item);
        if (cell.row == RowSoftwareVersion) {
            counterEntryRelaid = resizeCounterEntry(tavik7::counterLength(r.significance, r.softwareVersion));
            ui.labelCounterHint->setText(textFor(tavik7::counterHintTextId(r.softwareVersion)));
        }
    }

    // Copies: a changed index runs slots that may write back into the record.
    const tavik7::ParameterRecord shown = r;
    comboBoxSignificance->setCurrentIndex(shown.significance);
    comboBoxTableBaudrate->setCurrentIndex(shown.baudRate);
    comboBoxTransmitMode->setCurrentIndex(shown.transmitMode);
    comboBoxDirection->setCurrentIndex(shown.direction);
    comboBoxTelegramB->setCurrentIndex(shown.telegramB);
    comboBoxCrcStartValue->setCurrentIndex(shown.crcStartValue);
    checkBoxLeadingPlus->setChecked(shown.leadingPlus != 0);
    // Only now do length, significance and text agree again.
    if (counterEntryRelaid)
        onCounterTextChanged(ui.lineEditCounter->text());
}

bool TAVIK7_Bediensoftware::resizeCounterEntry(int newLength)
{
    // A complete reading moved to a device with another digit count keeps its
    // value with a leading zero more or less. Cut or left short, it would
    // count as implausible and the read would report a counter fault that
    // the counter answer, arriving a moment later, takes back.
    const QString entry = ui.lineEditCounter->text();
    const qint8 shownSignificance = qint8(comboBoxSignificance->currentIndex());
    QString relaid;
    if (newLength != counterLength
        && tavik7::counterTextPlausible(entry, ui.lineEditCounter->maxLength(), counterLength, shownSignificance)) {
        relaid = tavik7::relayCounterReading(entry, parameterRecord.significance, parameterRecord.softwareVersion);
    }
    counterLength = newLength;
    if (relaid.isEmpty()) {
        ui.lineEditCounter->setMaxLength(counterLength);
        return false;
    }
    const QSignalBlocker blocker(ui.lineEditCounter);
    ui.lineEditCounter->setMaxLength(counterLength);
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
    tavik7::setFieldText(r.unit, tavik7::kUnitWidth, cellText(RowUnit));
    tavik7::setFieldText(r.manufacturer, tavik7::kManufacturerWidth, cellText(RowManufacturer));
    tavik7::setFieldText(r.deviceType, tavik7::kDeviceTypeWidth, cellText(RowDeviceType));
    tavik7::setFieldText(r.serialNumber, tavik7::kSerialNumberWidth, cellText(RowSerialNumber));
    tavik7::setFieldText(r.yearOfManufacture, tavik7::kYearWidth, cellText(RowYear));
    r.significance = qint8(comboBoxSignificance->currentIndex());
    r.leadingPlus = checkBoxLeadingPlus->isChecked() ? 1 : 0;
    r.softwareVersion = tavik7::parseSoftwareVersion(cellText(RowSoftwareVersion));
    r.softwareCrc = tavik7::parseSoftwareCrc(cellText(RowSoftwareCrc));
    r.baudRate = qint8(comboBoxTableBaudrate->currentIndex());
    r.transmitMode = qint8(comboBoxTransmitMode->currentIndex());
    r.direction = qint8(comboBoxDirection->currentIndex());
    r.telegramB = qint8(comboBoxTelegramB->currentIndex());
    r.crcStartValue = qint8(comboBoxCrcStartValue->currentIndex());
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
    for (const QComboBox *combo : {comboBoxSignificance, comboBoxTableBaudrate, comboBoxTransmitMode,
                                   comboBoxDirection, comboBoxTelegramB, comboBoxCrcStartValue}) {
        if (combo->currentIndex() < 0)
            return false;
    }
    return true;
}

void TAVIK7_Bediensoftware::updatePlausibilityState()
{
    const bool tableImplausible = std::any_of(std::begin(plausibilityFlags), std::begin(plausibilityFlags) + kCounterFlag,
                                              [](bool flag) { return flag; })
        || !comboCellsHoldItems();
    // While another job holds the port no device button is offered, whatever
    // the table says.
    const tavik7::DeviceLink::PortState port = deviceLink->portState();
    if (tableImplausible || plausibilityFlags[kCounterFlag]) {
        ui.pushButtonReadSettings->setEnabled(port != tavik7::DeviceLink::PortState::Lent);
        ui.pushButtonWriteSettings->setEnabled(false);
        ui.pushButtonSetCounter->setEnabled(false);
        const qint8 message = tableImplausible ? kMsgTableImplausible : kMsgCounterImplausible;
        if (!messageHistory.contains(message))
            showMessage(message, false);
        return;
    }
    setDeviceButtonsEnabled(port == tavik7::DeviceLink::PortState::Idle);
    if (messageHistory.contains(kMsgTableImplausible) || messageHistory.contains(kMsgCounterImplausible)) {
        showMessage(kMsgPlausible, false);
        // The wizard's pending version display: a table that turns plausible
        // while the wizard awaits its read shows the device's version here.
        if (wizardReadPending) {
            wizardReadPending = false;
            ui.labelSoftwareData->setText(tavik7::softwareVersionText(parameterRecord.softwareVersion));
        }
    }
}

bool TAVIK7_Bediensoftware::allValuesPlausible() const
{
    return std::none_of(std::begin(plausibilityFlags), std::end(plausibilityFlags), [](bool flag) { return flag; })
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
        plausibilityFlags[verdict.flag] = !verdict.plausible;
        const QSignalBlocker blocker(parameterModel);
        item->setForeground(QBrush(QColor::fromRgb(verdict.plausible ? kPlausibleTextRgb : kImplausibleTextRgb)));
    }
    ui.label_unit->setText(cellText(RowUnit));
    onSignificanceCbChanged(comboBoxSignificance->currentIndex());
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
        plausibilityFlags[verdict.flag] = !verdict.plausible;
    const bool red = verdict.flag >= 0 && plausibilityFlags[verdict.flag];
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
    counterLength = tavik7::counterLength(qint8(index), version);
    {
        // A shorter maximum length cuts the old text first; that half-way text
        // must not be checked, or a false complaint would replace the console.
        const QSignalBlocker blocker(ui.lineEditCounter);
        ui.lineEditCounter->setMaxLength(counterLength);
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
