// The seven-step wizard that sets a device up for a counter type.

#include "tavik7_bediensoftware.h"

void TAVIK7_Bediensoftware::onComboBoxNumberOfDigitsItemChanged(int index)
{
    Q_UNUSED(index);
}

void TAVIK7_Bediensoftware::onComboBoxUaItemChanged(int index)
{
    Q_UNUSED(index);
}

void TAVIK7_Bediensoftware::onComboBoxDecimalPlacesItemChanged(int index)
{
    Q_UNUSED(index);
}

void TAVIK7_Bediensoftware::onComboBoxDirection2ItemChanged(int index)
{
    Q_UNUSED(index);
}

void TAVIK7_Bediensoftware::onPushButtonProgramClicked()
{
}

void TAVIK7_Bediensoftware::showWizardStep(int step)
{
    Q_UNUSED(step);
}

void TAVIK7_Bediensoftware::wizardFirmwareCheck()
{
}

void TAVIK7_Bediensoftware::wizardTypePlateReminder()
{
    programPending = false;
}
