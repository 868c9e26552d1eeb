// Flashing firmware into the device through avrdude.

#include "tavik7_bediensoftware.h"

void TAVIK7_Bediensoftware::onSelectFlashenClicked()
{
}

void TAVIK7_Bediensoftware::onFlashenClicked()
{
}

void TAVIK7_Bediensoftware::onFlashenCancelClicked()
{
}

void TAVIK7_Bediensoftware::onProcessAvrdudeFinished(int exitCode, QProcess::ExitStatus exitStatus)
{
    Q_UNUSED(exitCode);
    Q_UNUSED(exitStatus);
}

void TAVIK7_Bediensoftware::onProcessAvrdudeError(QProcess::ProcessError error)
{
    Q_UNUSED(error);
}

void TAVIK7_Bediensoftware::onProcessAvrdudeReadyReadStandardOutput()
{
}
