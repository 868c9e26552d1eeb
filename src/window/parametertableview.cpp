#include "parametertableview.h"

#include <QBrush>
#include <QCheckBox>
#include <QComboBox>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QTableView>

#include <vector>

#include "lazylistcombobox.h"
#include "parameterfields.h"

namespace {

constexpr QRgb kImplausibleTextRgb = qRgb(255, 64, 64);
constexpr QRgb kPlausibleTextRgb = qRgb(0, 0, 0);
constexpr QRgb kDifferenceBackgroundRgb = qRgb(255, 255, 200);

QBrush verdictBrush(bool implausible)
{
    return QBrush(QColor::fromRgb(implausible ? kImplausibleTextRgb : kPlausibleTextRgb));
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
        if (field.kind != tavik7::FieldKind::Check) { // the check box carries the name
            auto *label = new QStandardItem;
            label->setFlags(Qt::NoItemFlags); // a caption, greyed, never picked or edited
            m_model->setItem(row, 0, label);
        }
        if (!field.objectName) {
            m_model->setItem(row, 1, new QStandardItem);
            continue;
        }
        QWidget *widget = field.kind == tavik7::FieldKind::Check
            ? static_cast<QWidget *>(new QCheckBox(m_view->viewport()))
            : new LazyListComboBox(m_view->viewport());
        widget->setObjectName(QString::fromLatin1(field.objectName));
        m_view->setIndexWidget(m_model->index(row, 1), widget);
        auto *box = qobject_cast<QComboBox *>(widget);
        if (!box)
            continue;
        box->addItems(QStringList(field.itemCount)); // their texts come with draw()
        // An index that no item stands for (a file may bring one) leaves its
        // combo empty and blocks writing until the user picks an item; picking
        // one must lift the block at once. The significance combo has its own
        // slot in the window, which re-evaluates as well.
        if (row != tavik7::FieldSignificance) {
            connect(box, &QComboBox::currentIndexChanged, this, [this, row](int index) {
                m_sheet.setFieldNumber(row, index);
                emit comboPicked();
            });
        }
    }
}

void ParameterTableView::draw(const tavik7::SheetView &view)
{
    // Headers raise no dataChanged: no check runs for them. An item's text,
    // the headers' too, is set anew only where it differs.
    for (int column = 0; column < view.headers.size(); ++column)
        m_model->setHeaderData(column, Qt::Horizontal, view.headers.at(column));
    {
        std::vector<QSignalBlocker> blockers;
        blockers.emplace_back(m_model);
        for (int row = 0; row < tavik7::kParameterFieldCount; ++row) {
            if (QWidget *cell = cellWidget(row))
                blockers.emplace_back(cell);
        }
        for (int row = 0; row < tavik7::kParameterFieldCount; ++row) {
            const tavik7::SheetRow &shown = view.rows.at(row);
            if (QCheckBox *checkBox = check(row)) {
                checkBox->setText(shown.label);
                checkBox->setChecked(shown.number != 0);
                drawMark(checkBox, shown.deviceTip);
                continue;
            }
            m_model->item(row, 0)->setText(shown.label);
            if (QComboBox *box = combo(row)) {
                for (int i = 0; i < shown.items.size(); ++i)
                    box->setItemText(i, shown.items.at(i));
                box->setCurrentIndex(shown.number);
                drawMark(box, shown.deviceTip);
                continue;
            }
            QStandardItem *item = m_model->item(row, 1);
            item->setText(shown.text);
            item->setEditable(shown.editable);
            item->setForeground(verdictBrush(shown.implausible));
            // Only the background: the text keeps the plausibility colour.
            item->setData(shown.deviceTip.isEmpty() ? QVariant() : QVariant(QBrush(QColor(kDifferenceBackgroundRgb))),
                          Qt::BackgroundRole);
            item->setToolTip(shown.deviceTip);
        }
    }
    // The model said nothing while it changed.
    m_view->viewport()->update();
}

bool ParameterTableView::takeEdit(const QModelIndex &index)
{
    if (index.column() == 0)
        return false;
    QStandardItem *item = m_model->item(index.row(), index.column());
    if (!item)
        return false;
    m_sheet.setCellText(index.row(), item->text());
    return true;
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

void ParameterTableView::drawMark(QWidget *cell, const QString &deviceTip)
{
    // A style sheet, as the window's own would override a palette; set only
    // when it changes, as each one has the cell styled anew.
    const QString sheet = deviceTip.isEmpty() ? QString()
                                              : QStringLiteral("%1 { background-color: %2; }")
                                                    .arg(QString::fromLatin1(cell->metaObject()->className()),
                                                         QColor(kDifferenceBackgroundRgb).name());
    if (cell->styleSheet() != sheet)
        cell->setStyleSheet(sheet);
    cell->setToolTip(deviceTip);
}
