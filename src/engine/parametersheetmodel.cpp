#include "parametersheetmodel.h"

#include "parameterfields.h"
#include "texttable.h"

namespace tavik7 {

namespace {

constexpr int kLabelColumn = 0;
constexpr int kCellColumn = 1;
constexpr int kLabelHeaderTextId = 73;
constexpr int kCellHeaderTextId = 74;

} // namespace

ParameterSheetModel::ParameterSheetModel(ParameterSheet &sheet, int language, QObject *parent)
    : QAbstractTableModel(parent)
    , m_sheet(sheet)
    , m_language(language)
{
}

bool ParameterSheetModel::hasText(int field)
{
    const FieldKind kind = kParameterFields[field].kind;
    return kind != FieldKind::Combo && kind != FieldKind::Check;
}

void ParameterSheetModel::setLanguage(int language)
{
    m_language = language;
    emit headerDataChanged(Qt::Horizontal, kLabelColumn, kCellColumn);
    emit dataChanged(index(0, kLabelColumn), index(kParameterFieldCount - 1, kLabelColumn), {Qt::DisplayRole});
}

void ParameterSheetModel::refill()
{
    m_serviceUnlocked = false;
    emit dataChanged(index(0, kCellColumn), index(kParameterFieldCount - 1, kCellColumn));
}

void ParameterSheetModel::toggleServiceLock()
{
    m_serviceUnlocked = !m_serviceUnlocked;
}

void ParameterSheetModel::setTips(const QList<std::pair<int, QString>> &tips)
{
    m_tips.fill(QString());
    for (const auto &[field, tip] : tips) {
        if (field >= 0 && field < kParameterFieldCount)
            m_tips[field] = tip;
    }
}

int ParameterSheetModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kParameterFieldCount;
}

int ParameterSheetModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant ParameterSheetModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const int field = index.row();
    if (index.column() == kLabelColumn) {
        // The check box carries its own name.
        if (role != Qt::DisplayRole || kParameterFields[field].kind == FieldKind::Check)
            return {};
        return fieldLabel(field, m_language);
    }
    if (role == Qt::ToolTipRole && !m_tips[field].isEmpty())
        return m_tips[field];
    if (!hasText(field))
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: return m_sheet.cellText(field);
    case ImplausibleRole: return m_sheet.cellImplausible(field);
    default: return {};
    }
}

bool ParameterSheetModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid) || index.column() != kCellColumn
        || role != Qt::EditRole || !hasText(index.row()))
        return false;
    if (value.toString() == m_sheet.cellText(index.row()))
        return true;
    m_sheet.setCellText(index.row(), value.toString());
    emit dataChanged(index, index);
    return true;
}

Qt::ItemFlags ParameterSheetModel::flags(const QModelIndex &index) const
{
    // Labels are drawn in the text colour for disabled items, which the
    // window's palette makes black.
    if (!checkIndex(index, CheckIndexOption::IndexIsValid) || index.column() == kLabelColumn)
        return Qt::NoItemFlags;
    const ParameterField &field = kParameterFields[index.row()];
    if (!hasText(index.row()))
        return Qt::ItemIsEnabled;
    const bool open = field.editable && (!field.serviceLocked || m_serviceUnlocked);
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | (open ? Qt::ItemIsEditable : Qt::NoItemFlags);
}

QVariant ParameterSheetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > kCellColumn)
        return QAbstractTableModel::headerData(section, orientation, role);
    return text(section == kLabelColumn ? kLabelHeaderTextId : kCellHeaderTextId, m_language);
}

} // namespace tavik7
