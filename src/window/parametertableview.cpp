#include "parametertableview.h"

#include <QBrush>
#include <QCheckBox>
#include <QComboBox>
#include <QStandardItemModel>
#include <QTableView>

#include "lazylistcombobox.h"
#include "parameterfields.h"
#include "texttable.h"

namespace {

constexpr QRgb kImplausibleTextRgb = qRgb(255, 64, 64);
constexpr QRgb kPlausibleTextRgb = qRgb(0, 0, 0);
constexpr QRgb kDifferenceBackgroundRgb = qRgb(255, 255, 200);
constexpr int kLabelHeaderTextId = 73;
constexpr int kValueHeaderTextId = 74;

QBrush verdictBrush(bool implausible)
{
    return QBrush(QColor::fromRgb(implausible ? kImplausibleTextRgb : kPlausibleTextRgb));
}

bool hasCellWidget(int row)
{
    const tavik7::FieldKind kind = tavik7::kParameterFields[row].kind;
    return kind == tavik7::FieldKind::Combo || kind == tavik7::FieldKind::Check;
}

QComboBox *makeComboCell(int row, QWidget *parent)
{
    auto *combo = new LazyListComboBox(parent);
    for (int i = 0; i < tavik7::kParameterFields[row].itemCount; ++i)
        combo->addItem(QString());
    return combo;
}

} // namespace

ParameterTableView::ParameterTableView(QTableView *view, QStandardItemModel *model, tavik7::ParameterSheet &sheet,
                                       QObject *parent)
    : QObject(parent)
    , m_view(view)
    , m_model(model)
    , m_sheet(sheet)
{
}

void ParameterTableView::setUp()
{
    // The form gives the view its face before the model arrives: the columns
    // are measured for Arial, the face the style sheet gives every other
    // widget, and a face set afterwards has every header section measured a
    // second time, keeping sizes measured for the old one.
    m_view->setModel(m_model);

    // Created in row order, which is also their order in the focus chain; the
    // object names are those the rest of the window and its checks know.
    for (int row = 0; row < tavik7::kParameterFieldCount; ++row) {
        const tavik7::ParameterField &field = tavik7::kParameterFields[row];
        if (!field.objectName)
            continue;
        QWidget *widget = field.kind == tavik7::FieldKind::Check
            ? static_cast<QWidget *>(new QCheckBox(m_view->viewport()))
            : makeComboCell(row, m_view->viewport());
        widget->setObjectName(QString::fromLatin1(field.objectName));
        m_view->setIndexWidget(m_model->index(row, 1), widget);
    }
}

void ParameterTableView::connectCombos()
{
    // An index that no item stands for (a file may bring one) leaves its combo
    // empty and blocks writing until the user picks an item; picking one must
    // lift the block at once. The significance combo has its own slot in the
    // window, which re-evaluates as well.
    for (int row = 0; row < tavik7::kParameterFieldCount; ++row) {
        QComboBox *box = combo(row);
        if (!box || row == tavik7::FieldSignificance)
            continue;
        connect(box, &QComboBox::currentIndexChanged, this, [this, row](int index) {
            m_sheet.setFieldNumber(row, index);
            emit comboPicked();
        });
    }
}

void ParameterTableView::setLanguage(int language)
{
    m_model->setHorizontalHeaderLabels(
        {tavik7::text(kLabelHeaderTextId, language), tavik7::text(kValueHeaderTextId, language)});
    for (int row = 0; row < tavik7::kParameterFieldCount; ++row) {
        const tavik7::ParameterField &field = tavik7::kParameterFields[row];
        if (QCheckBox *checkBox = check(row)) {
            checkBox->setText(tavik7::fieldLabel(row, language));
            continue; // the check box carries the name
        }
        if (QComboBox *box = combo(row)) {
            for (int i = 0; i < field.itemCount && i < box->count(); ++i)
                box->setItemText(i, tavik7::text(field.firstItemTextId + i, language));
        }
        auto *label = new QStandardItem(tavik7::fieldLabel(row, language));
        label->setEnabled(false);
        label->setSelectable(false);
        label->setEditable(false);
        m_model->setItem(row, 0, label);
    }
}

void ParameterTableView::fillItems()
{
    for (int row = 0; row < tavik7::kParameterFieldCount; ++row) {
        if (hasCellWidget(row))
            continue;
        auto *item = new QStandardItem(m_sheet.cellText(row));
        const tavik7::ParameterField &field = tavik7::kParameterFields[row];
        item->setEditable(field.editable && !field.serviceLocked);
        item->setEnabled(true);
        item->setForeground(verdictBrush(m_sheet.cellImplausible(row)));
        m_model->setItem(row, 1, item);
    }
}

void ParameterTableView::fillWidgets(const tavik7::ParameterRecord &record)
{
    for (int row = 0; row < tavik7::kParameterFieldCount; ++row) {
        if (QComboBox *box = combo(row))
            box->setCurrentIndex(tavik7::fieldNumber(record, row));
        else if (QCheckBox *checkBox = check(row))
            checkBox->setChecked(tavik7::fieldNumber(record, row) != 0);
    }
}

void ParameterTableView::recolour()
{
    const QSignalBlocker blocker(m_model);
    for (int row = 0; row < tavik7::kParameterFieldCount; ++row) {
        if (QStandardItem *item = m_model->item(row, 1); item && !hasCellWidget(row))
            item->setForeground(verdictBrush(m_sheet.cellImplausible(row)));
    }
}

std::vector<QSignalBlocker> ParameterTableView::silence()
{
    std::vector<QSignalBlocker> blockers;
    blockers.emplace_back(m_model);
    for (int row = 0; row < tavik7::kParameterFieldCount; ++row) {
        if (QWidget *cell = cellWidget(row))
            blockers.emplace_back(cell);
    }
    return blockers;
}

bool ParameterTableView::takeEdit(const QModelIndex &index)
{
    if (index.column() == 0)
        return false;
    QStandardItem *item = m_model->item(index.row(), index.column());
    if (!item)
        return false;
    const QString kept = m_sheet.setCellText(index.row(), item->text());
    // Both writes raise dataChanged again; that run finds the same text and
    // colour and changes nothing more.
    item->setForeground(verdictBrush(m_sheet.cellImplausible(index.row())));
    item->setText(kept);
    return true;
}

void ParameterTableView::toggleServiceLock()
{
    for (int row = 0; row < tavik7::kParameterFieldCount; ++row) {
        QStandardItem *item = m_model->item(row, 1);
        if (item && tavik7::kParameterFields[row].serviceLocked)
            item->setEditable(!item->isEditable());
    }
}

QWidget *ParameterTableView::cellWidget(int row) const
{
    return m_view->indexWidget(m_model->index(row, 1));
}

QComboBox *ParameterTableView::combo(int row) const
{
    return qobject_cast<QComboBox *>(cellWidget(row));
}

QCheckBox *ParameterTableView::check(int row) const
{
    return qobject_cast<QCheckBox *>(cellWidget(row));
}

void ParameterTableView::showMarks(const QList<std::pair<int, QString>> &tips, bool followEdits)
{
    // Colours and tips are no edits: the cell checks must not run for them,
    // least of all in the middle of a read's refill.
    const QSignalBlocker blocker(m_model);
    for (int row : std::as_const(m_markedRows))
        setMark(row, QString());
    m_markedRows.clear();
    for (const auto &[row, tip] : tips) {
        setMark(row, tip);
        m_markedRows.append(row);
    }
    m_marksFollowEdits = followEdits;
    m_view->viewport()->update();
}

void ParameterTableView::setMark(int row, const QString &deviceTip)
{
    const bool marked = !deviceTip.isEmpty();
    if (QWidget *cell = cellWidget(row)) {
        // A style sheet, as the window's own would override a palette.
        cell->setStyleSheet(marked ? QStringLiteral("%1 { background-color: %2; }")
                                         .arg(QString::fromLatin1(cell->metaObject()->className()),
                                              QColor(kDifferenceBackgroundRgb).name())
                                   : QString());
        cell->setToolTip(deviceTip);
    } else if (QStandardItem *item = m_model->item(row, 1)) {
        // Only the background: the text keeps the plausibility colour.
        item->setData(marked ? QVariant(QBrush(QColor(kDifferenceBackgroundRgb))) : QVariant(), Qt::BackgroundRole);
        item->setToolTip(deviceTip);
    }
}
