#pragma once

#include <QString>

namespace tavik7::cli {

// The program's own lines; everything the window also says comes from the
// message catalogue instead.
enum class CliText {
    TryHelp,            // %1: the complaint
    UnknownCommand,     // %1: the command
    UnknownOption,      // %1: the option(s)
    NoCommand,
    OptionNotForCommand, // %1: the option, %2: the command
    PortMissing,        // %1: the command
    OnePortOnly,        // %1: the command
    SamePortTwice,      // %1: the port
    ArgumentMissing,    // %1: what
    TooManyArguments,   // %1: the first one too many
    BadLanguage,        // %1: the value
    BadCount,           // %1: the option, %2: the value
    OutputNeedsOnePort,
    OutputMissing,
    ImplausibleFields,  // %1: key=value, ...
    CounterDigitsWrong, // %1: the digit count the device takes
    Interrupted,
    PortLost,
    NotAvailable,       // %1: the command
    DevicesDone,        // %1: finished, %2: all
    NamurLogTrouble,    // %1: the log file
    OutputFailed,
    NamurSilent,        // %1: seconds
    NotRegularFile,     // %1: the file
    LogUnwritable,      // %1: the log file
    EmptyPort,
    UnknownField,       // %1: the key
    PortListUnreadable,
    NotSerialPort,
    FieldsImplausible,  // %1: key=value, ...
    DeviceDiffers,      // %1: the keys
    PressEnter,
    NoBackupHint,
    BadSetValue,        // %1: the argument
    TooManyNotes,       // %1: how many the report has
    WaitingForPort,     // %1: seconds
    NoReportImplausible, // %1: key=value, ...
    ReadBackDiffers,    // %1: the keys
    PdfAndJson,
    TraceUnwritable,    // %1: the trace file
    TraceFailed,        // %1: the trace file, %2: the system's reason
    NamurLogFailed,     // %1: the log file
    SettingsTooLarge,   // %1: the file, %2: the largest size in kB
    SetDeviceOwn,       // %1: the argument, %2: the key
    InterruptedAfterWrite,
    BadAuditText,       // %1: the option or variable
};

// German for language 0, English otherwise.
[[nodiscard]] QString cliText(CliText id, int language);

// The language of messages: --lang when given, else German when the first
// set of LC_ALL, LC_MESSAGES and LANG (the order POSIX gives them) starts
// with "de", English for anything else.
[[nodiscard]] int languageFromEnvironment();

// A catalogue text for a plain terminal: HTML tags dropped, line breaks kept.
[[nodiscard]] QString plainText(QString text);

} // namespace tavik7::cli
