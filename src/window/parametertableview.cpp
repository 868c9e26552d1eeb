#include "parametertableview.h"

#include <QBrush>
#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QTableView>

#include "lazylistcombobox.h"
#include "parameterfields.h"
#include "parametersheetmodel.h"
#include "texttable.h"

namespace {

constexpr int kColumnWidthPx = 145;
constexpr int kRowHeightPx = 23;
constexpr QRgb kImplausibleTextRgb = qRgb(255, 64, 64);
constexpr QRgb kPlausibleTextRgb = qRgb(0, 0, 0);
constexpr QRgb kDifferenceBackgroundRgb = qRgb(255, 255, 200);

// The sheet's verdicts as text colours and the marked rows' background; a
// marked cell's text keeps its verdict's colour.
class SheetColours : public QIdentityProxyModel
{
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role == Qt::ForegroundRole) {
            const QVariant implausible = index.data(tavik7::ParameterSheetModel::ImplausibleRole);
            if (implausible.isValid())
                return QBrush(QColor::fromRgb(implausible.toBool() ? kImplausibleTextRgb : kPlausibleTextRgb));
        }
        if (role == Qt::BackgroundRole && !index.data(Qt::ToolTipRole).toString().isEmpty())
            return QBrush(QColor(kDifferenceBackgroundRgb));
        return QIdentityProxyModel::data(index, role);
    }
};

QComboBox *makeComboCell(int row, int language, QWidget *parent)
{
    const tavik7::ParameterField &field = tavik7::kParameterFields[row];
    auto *combo = new LazyListComboBox(parent);
    for (int i = 0; i < field.itemCount; ++i)
        combo->addItem(tavik7::text(field.firstItemTextId + i, language));
    return combo;
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

} // namespace

ParameterTableView::ParameterTableView(QTableView *view, tavik7::ParameterSheetModel *model, tavik7::ParameterSheet &sheet,
                                       QObject *parent)
    : QObject(parent)
    , m_view(view)
    , m_model(model)
    , m_sheet(sheet)
{
}

void ParameterTableView::setUp(int language)
{
    setTableFont(m_view);
    auto *colours = new SheetColours(m_view);
    colours->setSourceModel(m_model);
    m_view->setModel(colours);

    // Created in row order, which is also their order in the focus chain; the
    // object names are those the rest of the window and its checks know.
    for (int row = 0; row < tavik7::kParameterFieldCount; ++row) {
        const tavik7::ParameterField &field = tavik7::kParameterFields[row];
        if (!field.objectName)
            continue;
        QWidget *widget = field.kind == tavik7::FieldKind::Check
            ? static_cast<QWidget *>(new QCheckBox(tavik7::fieldLabel(row, language), m_view->viewport()))
            : makeComboCell(row, language, m_view->viewport());
        widget->setObjectName(QString::fromLatin1(field.objectName));
        m_view->setIndexWidget(m_view->model()->index(row, 1), widget);
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

void ParameterTableView::layOut()
{
    m_view->setColumnWidth(0, kColumnWidthPx);
    m_view->setColumnWidth(1, kColumnWidthPx);
    for (int row = 0; row < tavik7::kParameterFieldCount; ++row)
        m_view->setRowHeight(row, kRowHeightPx);
}

void ParameterTableView::retranslateCells(int language)
{
    for (int row = 0; row < tavik7::kParameterFieldCount; ++row) {
        const tavik7::ParameterField &field = tavik7::kParameterFields[row];
        if (QComboBox *box = combo(row)) {
            for (int i = 0; i < field.itemCount && i < box->count(); ++i)
                box->setItemText(i, tavik7::text(field.firstItemTextId + i, language));
        } else if (QCheckBox *checkBox = check(row)) {
            checkBox->setText(tavik7::fieldLabel(row, language));
        }
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

void ParameterTableView::repaint()
{
    m_view->viewport()->update();
    m_view->horizontalHeader()->viewport()->update();
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

QWidget *ParameterTableView::cellWidget(int row) const
{
    return m_view->indexWidget(m_view->model()->index(row, 1));
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
    for (int row : std::as_const(m_markedRows))
        setMark(row, QString());
    m_markedRows.clear();
    for (const auto &[row, tip] : tips) {
        setMark(row, tip);
        m_markedRows.append(row);
    }
    m_model->setTips(tips);
    m_marksFollowEdits = followEdits;
    repaint();
}

void ParameterTableView::setMark(int row, const QString &deviceTip)
{
    QWidget *cell = cellWidget(row);
    if (!cell)
        return; // a text cell: the model's tip and the colours' background
    // A style sheet, as the window's own would override a palette.
    cell->setStyleSheet(deviceTip.isEmpty() ? QString()
                                            : QStringLiteral("%1 { background-color: %2; }")
                                                  .arg(QString::fromLatin1(cell->metaObject()->className()),
                                                       QColor(kDifferenceBackgroundRgb).name()));
    cell->setToolTip(deviceTip);
}
