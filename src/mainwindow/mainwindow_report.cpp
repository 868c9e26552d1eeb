// The one-page bilingual inspection report.

#include "tavik7_bediensoftware.h"

void TAVIK7_Bediensoftware::onCreatePdf()
{
}
