#pragma once

#include <QObject>

#include "ui_tavik7_bediensoftware.h"
#include "wizardtable.h"

// The wizard tab drawn from the flow's view: which rows show, their symbols,
// the choice lists, the counter entry and the red lines that frame its
// digits after the comma, placed as the entry's font draws them.
class WizardPage : public QObject
{
    Q_OBJECT

public:
    WizardPage(const Ui::TAVIK7_BediensoftwareClass &ui, QObject *parent);

    // The lists are filled and set with their signals blocked: only a choice
    // of the technician's reaches the flow.
    void draw(const tavik7::WizardView &view);

private:
    void prefill(const tavik7::WizardEntry &entry);
    // Around digits as the entry's font draws them.
    [[nodiscard]] tavik7::CounterFrameLines frameLinesForEntry(int integerDigits, int fractionDigits) const;
    void focusEntry(int attemptsLeft);

    const Ui::TAVIK7_BediensoftwareClass &ui;
    int m_entryPrefill = 0;
};
