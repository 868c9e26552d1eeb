#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>

#include <array>
#include <utility>

#include "parametersheet.h"

namespace tavik7 {

// The parameter sheet as a two-column table: the field's label, then its
// cell. Combo and check fields have no cell text; their front end puts a
// widget of its own there. The verdict on a cell is a role of its own, for
// the front end to give it a colour.
//
// dataChanged is the front end's cue to judge the table again: an edit
// raises it for its cell (an edit that leaves the text as it was, nothing),
// a refill for the whole column. Locks and tips raise nothing; the view
// that shows them repaints itself.
class ParameterSheetModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Role {
        ImplausibleRole = Qt::UserRole, // bool: the cell fails its rule
    };

    ParameterSheetModel(ParameterSheet &sheet, int language, QObject *parent = nullptr);

    void setLanguage(int language);
    // The cells as the sheet holds them now; the service key's lock closes again.
    void refill();
    // The service key's lock of the fields only the manufacturer changes.
    void toggleServiceLock();
    // The tool tips of the marked rows (the device's value); the others lose theirs.
    void setTips(const QList<std::pair<int, QString>> &tips);

    [[nodiscard]] int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    [[nodiscard]] int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    [[nodiscard]] QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    [[nodiscard]] Qt::ItemFlags flags(const QModelIndex &index) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role = Qt::DisplayRole) const override;

private:
    [[nodiscard]] static bool hasText(int field);

    ParameterSheet &m_sheet;
    int m_language;
    bool m_serviceUnlocked = false;
    std::array<QString, kParameterFieldCount> m_tips;
};

} // namespace tavik7
