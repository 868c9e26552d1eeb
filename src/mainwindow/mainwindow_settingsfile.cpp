// Saving the parameter table to a settings file and loading it back.

#include "tavik7_bediensoftware.h"

void TAVIK7_Bediensoftware::onLoadSettingsClicked()
{
}

void TAVIK7_Bediensoftware::onSaveSettingsClicked()
{
}
