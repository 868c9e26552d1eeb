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
class QModelIndex;
class QStandardItemModel;
class QTableView;
class QWidget;

// The parameter table as a view of the sheet: one row per parameter field,
// its label on the left, on the right a text item or, for the combo and
// check fields, a cell widget. The sheet holds values and verdicts; this
// class only shows them and hands edits back.
class ParameterTableView : public QObject
{
    Q_OBJECT

public:
    ParameterTableView(QTableView *view, QStandardItemModel *model, tavik7::ParameterSheet &sheet,
                       QObject *parent);

    // The model and the cell widgets, their texts left to setLanguage().
    void setUp();
    // Combo boxes other than the significance's write their pick into the sheet.
    void connectCombos();

    // Headers, row labels and the cell widgets' texts.
    void setLanguage(int language);
    // The text cells from the sheet, coloured by its verdicts.
    void fillItems();
    // The cell widgets from record; their own signals may run.
    void fillWidgets(const tavik7::ParameterRecord &record);
    void recolour();
    // Model and cell widgets silenced for as long as the result lives.
    [[nodiscard]] std::vector<QSignalBlocker> silence();

    // An edited text cell into the sheet, shown cut and coloured as the sheet
    // keeps it; false for anything that is no value cell.
    bool takeEdit(const QModelIndex &index);
    // The service key's lock of the fields only the manufacturer changes.
    void toggleServiceLock();

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
    QStandardItemModel *m_model;
    tavik7::ParameterSheet &m_sheet;
    QList<int> m_markedRows;
    bool m_marksFollowEdits = false;
};
