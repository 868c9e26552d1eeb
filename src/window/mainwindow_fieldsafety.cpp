// Help for the technician beyond the console's messages: why a port did not
// open and what to do about it, and the cells a loaded file would change in
// the device.

#include "parametertableview.h"
#include "portdiagnosis.h"
#include "recorddiff.h"
#include "tavik7_bediensoftware.h"
#include "texttable.h"

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

void TAVIK7_Bediensoftware::followDeviceRecord(bool tableShowsDevice)
{
    if (tableShowsDevice)
        parameterTable->clearMarks();
    else
        refreshDifferenceMarks();
}

void TAVIK7_Bediensoftware::refreshDifferenceMarks()
{
    if (parameterTable->marksFollowEdits())
        markDifferencesFromDevice();
}

void TAVIK7_Bediensoftware::markDifferencesFromDevice()
{
    const std::optional<tavik7::ParameterRecord> &device = deviceLink->memory()->record();
    // Against what Write settings would send: an edit back to the device's value drops its mark.
    parameterTable->showMarks(device ? tavik7::differenceTips(sheet.record(), *device, language)
                                     : QList<std::pair<int, QString>>(),
                              device.has_value());
}
