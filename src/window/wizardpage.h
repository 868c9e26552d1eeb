#pragma once

#include <QList>
#include <QObject>
#include <QStringList>

#include "wizardtable.h"

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// The wizard tab's drawing: which rows show, their symbols, the counter
// entry and the red lines that frame its digits after the comma. The core's
// wizard view says what a step shows; this puts it into pixels.
class WizardPage : public QObject
{
    Q_OBJECT

public:
    struct Form
    {
        // Symbol, caption and choice of the five choice rows: digits, Ua,
        // decimal places, firmware, direction.
        QList<QList<QWidget *>> choiceRows;
        QLabel *counterSymbol = nullptr;
        QLabel *counterCaption = nullptr;
        QLineEdit *counterEntry = nullptr;
        QPushButton *program = nullptr;
        QLabel *factor = nullptr;
        QList<QFrame *> frameLines; // above, below, vertical
    };

    WizardPage(const Form &form, QObject *parent);

    void setUp();
    // The wizard's slots must not run while a choice list is filled.
    static void fillChoice(QComboBox *combo, const QStringList &items, bool clearFirst);
    void draw(const tavik7::WizardView &view, bool showFactor);
    // A choice made while programming runs would not reach the device: refused visibly.
    void enableChoices(bool programming, bool directionFixed);
    void showFirmwareRefused(bool clearVersion);
    // The entry prefilled for the row, its digits after the comma framed.
    void showEntry(const tavik7::WizardEntry &entry, const tavik7::WizardRow *row);
    // Once no list popup is open any more.
    void focusEntrySoon();

    // Around digits as the entry's font draws them.
    [[nodiscard]] tavik7::CounterFrameLines frameLinesForEntry(int integerDigits, int fractionDigits) const;

private:
    void focusEntry(int attemptsLeft);
    void setFrameLinesVisible(bool visible);

    Form m_form;
};
