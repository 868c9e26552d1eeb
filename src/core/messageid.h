#pragma once

#include <QtGlobal>

namespace tavik7 {

// The console's messages. A message's text is text table entry
// kFirstMessageTextId + id; the notes from NoteFirst on are the program's own
// help lines, which carry arguments and live in the message catalogue.
enum class MessageId : qint16 {
    None = 0,
    ParametersRead = 1,
    ParametersWritten = 2,
    CounterRead = 3,
    CounterWritten = 4,
    SettingsLoaded = 5,
    SettingsSaved = 6,
    PortOpened = 7,
    PortClosed = 8,
    FlashSucceeded = 10,
    Plausible = 11,
    PdfCreated = 12,
    DirectionChanged = 13,
    ReadParametersError = 51,
    ReadParametersCrcError = 52,
    WriteParametersError = 53,
    ReadCounterError = 54,
    WriteCounterError = 55,
    SettingsHeaderFaulty = 56,
    SettingsIncomplete = 57,
    SettingsSaveError = 58,
    TableImplausible = 59,
    CounterImplausible = 60,
    PortNotOpened = 61,
    NoFirmwareFile = 63,
    NoParameterFile = 64,
    ToolNotStarted = 65,
    FlashFailed = 66,
    ToolError = 67,
    PdfError = 68,
    PdfInvalidValues = 69,
    NoData = 70,
    PdfNoData = 71,
    PdfNoName = 72,
    PdfWrongName = 73,
    NamurStarted = 98,
    NamurStopped = 99,
    Start = 100,
    FlashInstructions = 101,
    ConfirmSetCounter = 102,
    ConfirmSetCounterInfo = 103,
    Yes = 104,
    No = 105,
    FlashButton = 106,
    WrongFirmware = 107,
    PleaseFlashV111 = 108,
    PleaseFlashV112 = 109,
    GraduationMark = 110,
    AdapterToFlash = 111,
    AdapterToParameters = 112,
    UpdateSucceeded = 113,
    UpdateFailed = 114,
    CheckTypePlates = 115,  // %1 the firmware version
    IncompatibleSignificance = 116,

    NoteFirst = 200,
    NoteHistoryUnwritable = 200,      // %1 the history file
    NoteBackupFailed = 201,           // %1 the backup file
    NoteBackupSaved = 202,            // %1 the backup file
    NoteBackupSavedWithCounter = 203, // %1 the backup file, %2 the counter, %3 its file
    QuestionLoadBackup = 204,
    NotePortNotInGroup = 205,         // %1 the device's group, %2 the user
    NotePortOwnerOnly = 206,          // %1 the device's group, %2 the user
    NotePortBusy = 207,
    NotePortGone = 208,
    NoteNamurLogReplaced = 209,       // %1 the NAMUR log file
    NoteCounterNotWrittenBack = 220,  // %1 the counter reading
    NoteTelegramUnanswered = 221,
    // Notes whose words come from elsewhere in both languages: the German
    // text reads its own arguments, the English one the others.
    NoteFirmwareImageFault = 222,     // %1 the image, %2 its line, %3/%4 the fault in German/English
    NoteFirmwareFileFault = 223,      // %1 the image, %2/%3 the fault in German/English
    NoteDeviceBook = 224,             // %1/%2 the book's notice in German/English
    NoteClosingAfterWrite = 225,
    // Write under review.
    NotePlanQuestion = 240,
    NotePlanCounterGoesAlong = 241,
    NotePlanNoChange = 242,
    NotePlanStale = 243,              // %1 the field as reviewed and now, as the table words a change
    PlanMenuEntry = 244,              // the menu's switch for it
};

} // namespace tavik7
