// Help for the technician beyond the console's messages: why a port did not
// open and what to do about it.

#include "portdiagnosis.h"
#include "tavik7_bediensoftware.h"

void TAVIK7_Bediensoftware::appendConsoleNote(const tavik7::ConsoleEntry &note)
{
    if (note.id != tavik7::MessageId::None)
        showMessage(note, true);
}

void TAVIK7_Bediensoftware::explainPortOpenFailure(const tavik7::DeviceLink::OpenFailure &why)
{
    if (portNameInUse.isEmpty())
        return;
    appendConsoleNote(tavik7::portOpenFailureNote(why.failure, why.context));
}
