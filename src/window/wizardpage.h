#pragma once

#include <QList>
#include <QObject>

#include "wizardtable.h"

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QWidget;

// The wizard tab drawn from the flow's view: which rows show, their symbols,
// the choice lists, the counter entry and the red lines that frame its
// digits after the comma, placed as the entry's font draws them.
class WizardPage : public QObject
{
    Q_OBJECT

public:
    struct Form
    {
        // Symbol, caption and choice of the five choice rows: digits, Ua,
        // decimal places, firmware, direction; then the counter row's
        // symbol, caption, entry and Program.
        QList<QList<QWidget *>> rows;
        QLabel *factor = nullptr;
        QList<QFrame *> frameLines; // above, below, vertical
    };

    WizardPage(const Form &form, QObject *parent);

    // The lists are filled and set with their signals blocked: only a choice
    // of the technician's reaches the flow.
    void draw(const tavik7::WizardView &view);

    // Around digits as the entry's font draws them.
    [[nodiscard]] tavik7::CounterFrameLines frameLinesForEntry(int integerDigits, int fractionDigits) const;

private:
    [[nodiscard]] QLabel *symbol(int row) const;
    [[nodiscard]] QComboBox *choice(int index) const;
    [[nodiscard]] QLineEdit *entry() const;
    void prefill(const tavik7::WizardEntry &entry);
    void focusEntry(int attemptsLeft);

    Form m_form;
    int m_entryPrefill = 0;
};
