// Help for the technician beyond the messages of the console: why a port did
// not open and what to do about it.

#include <QDateTime>
#include <QSerialPort>
#include <QTextCursor>

#include "console.h"
#include "portaccess.h"
#include "portdiagnosis.h"
#include "tavik7_bediensoftware.h"

namespace {

tavik7::PortOpenError openErrorOf(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::PermissionError: return tavik7::PortOpenError::Permission;
    case QSerialPort::DeviceNotFoundError: return tavik7::PortOpenError::NotFound;
    default: return tavik7::PortOpenError::Other;
    }
}

} // namespace

void TAVIK7_Bediensoftware::appendConsoleNote(const QString &text)
{
    // Shown and logged like a message, but kept out of the message history:
    // the language switch re-renders only the messages themselves.
    const QString line = tavik7::consoleLine(QDateTime::currentDateTime(), text);
    QTextCursor cursor(ui.textEditOutput->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertBlock();
    cursor.insertText(line);
    ui.textEditOutput->ensureCursorVisible();
    appendToOutputLog(line);
}

void TAVIK7_Bediensoftware::explainPortOpenFailure()
{
    if (portNameInUse.isEmpty())
        return;
    const tavik7::HostSystem system = tavik7::platform::kWindowsHost ? tavik7::HostSystem::Windows
                                                                     : tavik7::HostSystem::Linux;
    const tavik7::PortOpenFailure failure = tavik7::classifyPortOpenFailure(
        openErrorOf(serialPort->error()), tavik7::platform::deviceFileAccessible(portNameInUse), system);
    const tavik7::PortOpenContext context{system, tavik7::platform::deviceFileGroup(portNameInUse),
                                          tavik7::platform::currentUserName()};
    const QString hint = tavik7::portOpenFailureHint(failure, context, language);
    if (!hint.isEmpty())
        appendConsoleNote(hint);
}
