#pragma once

#include <QList>
#include <QObject>
#include <QSignalBlocker>
#include <QString>

#include <utility>
#include <vector>

#include "parametersheet.h"

class QCheckBox;
class QComboBox;
class QTableView;
class QWidget;
namespace tavik7 {
class ParameterSheetModel;
}

// The parameter table's widgets: the sheet's model coloured by its verdicts
// and marks, and for the combo and check fields a cell widget in the value
// column, which hands its pick to the sheet.
class ParameterTableView : public QObject
{
    Q_OBJECT

public:
    ParameterTableView(QTableView *view, tavik7::ParameterSheetModel *model, tavik7::ParameterSheet &sheet,
                       QObject *parent);

    // The face, the model and the cell widgets, in this order.
    void setUp(int language);
    // Combo boxes other than the significance's write their pick into the sheet.
    void connectCombos();
    void layOut();

    void retranslateCells(int language);
    // The cell widgets from record; their own signals may run.
    void fillWidgets(const tavik7::ParameterRecord &record);
    // Cells, colours and headers drawn anew from the sheet while the model is silenced.
    void repaint();
    // Model and cell widgets silenced for as long as the result lives.
    [[nodiscard]] std::vector<QSignalBlocker> silence();

    [[nodiscard]] QComboBox *combo(int row) const;
    [[nodiscard]] QCheckBox *check(int row) const;

    // Marks the rows with a background and the device's value as their tip;
    // the previous marks go. followEdits says whether they are on show from
    // a file load and must follow edits and language switches.
    void showMarks(const QList<std::pair<int, QString>> &tips, bool followEdits);
    void clearMarks() { showMarks({}, false); }
    [[nodiscard]] bool marksFollowEdits() const { return m_marksFollowEdits; }

signals:
    void comboPicked();

private:
    [[nodiscard]] QWidget *cellWidget(int row) const;
    void setMark(int row, const QString &deviceTip);

    QTableView *m_view;
    tavik7::ParameterSheetModel *m_model;
    tavik7::ParameterSheet &m_sheet;
    QList<int> m_markedRows;
    bool m_marksFollowEdits = false;
};
