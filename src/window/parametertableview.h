#pragma once

#include <QObject>

#include "parametersheet.h"

class QCheckBox;
class QComboBox;
class QModelIndex;
class QStandardItemModel;
class QTableView;
class QWidget;

// The parameter table as a view of the sheet: one row per parameter field,
// its label on the left, on the right a text item or, for the combo and
// check fields, a cell widget. The sheet holds values, verdicts, locks and
// marks; this class only draws them and hands edits back.
class ParameterTableView : public QObject
{
    Q_OBJECT

public:
    ParameterTableView(QTableView *view, QStandardItemModel *model, tavik7::ParameterSheet &sheet,
                       QObject *parent);

    // The model's items and the cell widgets, their texts left to draw().
    // Combo boxes other than the significance's write their pick into the sheet.
    void setUp();

    // Sets what differs from view, with no cell check or slot running for it.
    void draw(const tavik7::SheetView &view);

    // An edited text cell into the sheet; false for anything that is no
    // value cell. The next draw shows it cut and coloured as the sheet keeps it.
    bool takeEdit(const QModelIndex &index);

    [[nodiscard]] QComboBox *combo(int row) const;
    [[nodiscard]] QCheckBox *check(int row) const;

signals:
    void comboPicked();

private:
    [[nodiscard]] QWidget *cellWidget(int row) const;
    void drawMark(QWidget *cell, const QString &deviceTip);

    QTableView *m_view;
    QStandardItemModel *m_model;
    tavik7::ParameterSheet &m_sheet;
};
