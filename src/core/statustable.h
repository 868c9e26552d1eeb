#pragma once

#include <QString>

#include "exitcodes.h"
#include "messageid.h"

namespace tavik7 {

// What became of one request to the device, or of a sequence of them.
enum class DeviceStatus {
    Ok,
    NoAnswer,    // nothing, or not all of it, came in time
    BadCrc,      // a parameter answer whose checksum does not hold
    DeviceError, // the device said it could not carry the command out
    NotEchoed,   // a counter write the device did not repeat
    WrongAnswer, // bytes that are no answer to this request
    PortLost,    // the adapter or the line went away
    Closed,      // the port was closed by its user while the answer was awaited
    Refused,     // the caller's plan refused the device as read: nothing was written
};
// The counts let a test walk every value: a new last value moves its count.
constexpr int kDeviceStatusCount = int(DeviceStatus::Refused) + 1;

// The request a result is about (for a sequence: the last one sent).
enum class RequestKind { ReadParameters, ReadCounter, WriteParameters, WriteCounter };
constexpr int kRequestKindCount = int(RequestKind::WriteCounter) + 1;

// The chain a button starts; None for a single request.
enum class RequestSequence { None, Read, Write, Report };
constexpr int kRequestSequenceCount = int(RequestSequence::Report) + 1;

// How a flash run ended.
enum class FlashVerdict {
    None,       // no run yet
    Succeeded,  // normal exit, code 0 and avrdude's "Thank you."
    Failed,     // anything else once the tool ran, a cancelled run too
    NotStarted, // the tool is missing or cannot be executed
};
constexpr int kFlashVerdictCount = int(FlashVerdict::NotStarted) + 1;

// What kept a flash run from starting or from running to its end.
enum class FlashError { NoError, NoFirmwareFile, BadFirmwareImage, ToolError, ToolNotStarted };
constexpr int kFlashErrorCount = int(FlashError::ToolNotStarted) + 1;

// Where the window's console shows a result's line.
enum class ConsolePlacement {
    Replace,      // the line replaces the console when its request ends
    Append,       // below what the sequence has said so far
    LastReplace,  // the sequence's last word, after the buttons: replacing
    LastAppend,   // the same below a line of its own (a Disconnect's)
    Elsewhere,    // said when it happened (a flash tool that did not start)
};

// How every front end and the device book word one end of a request.
struct StatusWording
{
    cli::ExitCode exitCode;
    QString word;      // "ok", or the word of a --json failure line and the book
    MessageId message; // the console's line, and tavik7-cli's on a failure
    ConsolePlacement placement;

    [[nodiscard]] bool appends() const
    {
        return placement == ConsolePlacement::Append || placement == ConsolePlacement::LastAppend;
    }
    // Nothing came that could be shown: the sequence's end says so.
    [[nodiscard]] bool withoutData() const
    {
        return placement == ConsolePlacement::LastReplace || placement == ConsolePlacement::LastAppend;
    }
};

[[nodiscard]] StatusWording statusWording(DeviceStatus status, RequestKind kind, RequestSequence sequence);
// Whether the table words this end itself rather than by its last resort.
[[nodiscard]] bool hasStatusRow(DeviceStatus status, RequestKind kind, RequestSequence sequence);

// A flash run's end, worded as a request's.
[[nodiscard]] StatusWording flashWording(FlashVerdict verdict);
// The window's box on a flash run's end, which holds the port's return until
// the technician has switched the adapter back: its text and the line below
// it (None: none). A tool that never ran gets no box.
struct FlashVerdictBox
{
    MessageId text = MessageId::None;
    MessageId detail = MessageId::None;
};
[[nodiscard]] FlashVerdictBox flashVerdictBox(FlashVerdict verdict);

// A flash's trouble, said when it happens; a file that is no image this
// device takes is refused before anything reaches the device.
[[nodiscard]] StatusWording flashErrorWording(FlashError error);

// The word a script reads for an exit code; a port that did not open is
// worded by what its name leads to, which only the command line looks at.
[[nodiscard]] QString exitWord(int exitCode);

} // namespace tavik7
