// Listening to the device's NAMUR output and logging its telegrams.

#include "tavik7_bediensoftware.h"

void TAVIK7_Bediensoftware::onStartNamurClicked()
{
}

void TAVIK7_Bediensoftware::onStopNamurClicked()
{
}

void TAVIK7_Bediensoftware::onStateNamurLoggingChanged(int state)
{
    Q_UNUSED(state);
}

void TAVIK7_Bediensoftware::onSelectNamurLogfileClicked()
{
}
