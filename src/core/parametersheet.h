#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

#include "parameterfields.h"
#include "parameterrecord.h"
#include "plausibility.h"

namespace tavik7 {

// A field that keeps the sheet from being written or printed, by its JSON
// key ("counter" for the counter reading) and why, in English.
struct ImplausibleField
{
    QString key;
    QString reason;
};

// One row of the table as it is shown in a language.
struct SheetRow
{
    QString label;
    QString text;      // of a text cell
    QStringList items; // of a combo box
    int number = 0;    // a combo box's index, the check box's state
    bool editable = false;
    bool implausible = false;
    // What the device holds where the table would change it; empty: unmarked.
    QString deviceTip;
};

// The whole table as it is shown in a language.
struct SheetView
{
    QStringList headers;
    std::array<SheetRow, kParameterFieldCount> rows;
};

// The parameter table without its widgets: the record, the texts of its
// cells, the counter reading and every verdict on them. The window's table
// and the command line both ask it, so they never disagree on whether a
// record may be written or printed.
//
// A cell keeps the text the technician typed (cut to its width) even where
// the record cannot hold it: a version cell "1.x" stays on show, in red,
// rather than turning into the "0.00" the record would make of it.
class ParameterSheet
{
public:
    ParameterSheet();

    [[nodiscard]] const ParameterRecord &record() const { return m_record; }
    // A record read from the device or a file: every cell shows it and is
    // judged. A complete counter reading keeps its value when the digit
    // count changes and is laid out for the record's significance; the
    // counter is judged once it has been set or laid out anew.
    void setRecord(const ParameterRecord &record);

    // The text a cell shows; for a combo box or the check box its number.
    [[nodiscard]] QString cellText(int field) const;
    // An edited text cell: stores the text cut to the cell's width into the
    // record and returns it as the cell now holds it.
    QString setCellText(int field, const QString &text);
    // A combo box's index or the check box: the significance lays the
    // counter reading out anew.
    void setFieldNumber(int field, int number);

    [[nodiscard]] QString counterText() const { return m_counterText; }
    // Characters the counter entry holds for this significance and firmware.
    [[nodiscard]] int counterLength() const;
    // The entry's text, cut to counterLength() as the entry cuts it.
    void setCounterText(const QString &text);
    // The device's answer to "L_ZLW".
    void setCounterAnswer(const QByteArray &answer);

    // The eight flags the table is coloured by (kPlausibilityFlagCount; the
    // last is the counter's): true where a judged cell fails its rule. The
    // placeholder shown before anything was read is not judged.
    [[nodiscard]] bool flag(int flag) const;
    // Whether field's cell is shown as implausible.
    [[nodiscard]] bool cellImplausible(int field) const;
    // Cells and combo boxes, the counter aside.
    [[nodiscard]] bool tablePlausible() const;
    [[nodiscard]] bool counterPlausible() const { return !flag(kCounterPlausibilityFlag); }
    [[nodiscard]] bool fitToWrite() const { return tablePlausible() && counterPlausible(); }
    // The report prints the same values the technician could write.
    [[nodiscard]] bool fitToPrint() const { return fitToWrite(); }

    // The service key opens the fields only the manufacturer changes, and
    // closes them again; each record shown anew comes closed.
    void toggleServiceLock() { m_serviceUnlocked = !m_serviceUnlocked; }
    void lockService() { m_serviceUnlocked = false; }

    // Holds the table against what device holds: each field the table would
    // change is marked, and the marks follow edits. None: no marks.
    void compareWith(const std::optional<ParameterRecord> &device) { m_device = device; }
    // The device is now known to hold another record (or nothing): marks on
    // show are held against that.
    void deviceChanged(const std::optional<ParameterRecord> &device);

    [[nodiscard]] SheetView view(int language) const;

    // The fields that block writing, in table order, the counter last.
    [[nodiscard]] QList<int> implausibleFieldIds() const;
    [[nodiscard]] QList<ImplausibleField> implausibleFields() const;

private:
    [[nodiscard]] bool comboHoldsItem(int field) const;
    void showRecordInCells();
    [[nodiscard]] bool counterComplete() const;
    void relayCounter(int oldLength, bool complete);
    void judgeCells();

    ParameterRecord m_record{};
    std::array<QString, kParameterFieldCount> m_cellTexts; // of the text cells
    QString m_counterText;
    // Which flags have been judged since the placeholder.
    std::array<bool, kPlausibilityFlagCount> m_judged{};
    bool m_serviceUnlocked = false;
    std::optional<ParameterRecord> m_device;
};

} // namespace tavik7
