#include "statustable.h"

#include <iterator>

namespace tavik7 {

namespace {

using cli::ExitCode;

template <typename E, typename... More>
constexpr unsigned among(E first, More... more)
{
    return ((1u << unsigned(first)) | ... | (1u << unsigned(more)));
}

constexpr unsigned kAny = ~0u;
constexpr unsigned kReads = among(RequestKind::ReadParameters, RequestKind::ReadCounter);
constexpr unsigned kReport = among(RequestSequence::Report);
constexpr unsigned kWriteSequence = among(RequestSequence::Write);

struct StatusRow
{
    unsigned statuses;
    unsigned kinds;
    unsigned sequences;
    ExitCode exitCode;
    MessageId message;
    ConsolePlacement placement;
};

using S = DeviceStatus;
using K = RequestKind;
using M = MessageId;
using P = ConsolePlacement;

// The first row that matches words the result. A read that brought nothing
// usable, a garbled answer among it, says "no data" once its sequence is
// over; a report's sequence says the report has none. A Disconnect while an
// answer was awaited keeps its own line above the end's.
constexpr StatusRow kStatusRows[] = {
    {among(S::Ok), among(K::ReadParameters), kAny, cli::ExitDone, M::ParametersRead, P::Replace},
    {among(S::Ok), among(K::ReadCounter), among(RequestSequence::None), cli::ExitDone, M::CounterRead, P::Replace},
    {among(S::Ok), among(K::ReadCounter), kAny, cli::ExitDone, M::CounterRead, P::Append},
    {among(S::Ok), among(K::WriteParameters), kAny, cli::ExitDone, M::ParametersWritten, P::Append},
    {among(S::Ok), among(K::WriteCounter), kWriteSequence, cli::ExitDone, M::CounterWritten, P::Append},
    {among(S::Ok), among(K::WriteCounter), kAny, cli::ExitDone, M::CounterWritten, P::Replace},

    {among(S::NoAnswer), kAny, kReport, cli::ExitNoAnswer, M::PdfNoData, P::LastReplace},
    {among(S::NoAnswer), kAny, kAny, cli::ExitNoAnswer, M::NoData, P::LastReplace},
    {among(S::Closed), kAny, kReport, cli::ExitNoAnswer, M::PdfNoData, P::LastAppend},
    {among(S::Closed), kAny, kAny, cli::ExitNoAnswer, M::NoData, P::LastAppend},
    {among(S::PortLost), kAny, kReport, cli::ExitPort, M::PdfNoData, P::LastReplace},
    {among(S::PortLost), kAny, kAny, cli::ExitPort, M::NoData, P::LastReplace},
    {among(S::WrongAnswer), kReads, kReport, cli::ExitWrongAnswer, M::PdfNoData, P::LastReplace},
    {among(S::WrongAnswer), kReads, kAny, cli::ExitWrongAnswer, M::NoData, P::LastReplace},

    {among(S::BadCrc), kAny, kAny, cli::ExitWrongAnswer, M::ReadParametersCrcError, P::Replace},
    {among(S::Refused), kAny, kAny, cli::ExitImplausible, M::TableImplausible, P::Replace},

    // The device's "Fehler!" or an answer that does not fit.
    {among(S::DeviceError, S::NotEchoed), among(K::ReadParameters), kAny, cli::ExitWrongAnswer,
     M::ReadParametersError, P::Replace},
    {among(S::DeviceError, S::NotEchoed), among(K::ReadCounter), kAny, cli::ExitWrongAnswer, M::ReadCounterError,
     P::Replace},
    {among(S::DeviceError, S::NotEchoed, S::WrongAnswer), among(K::WriteParameters), kAny, cli::ExitWrongAnswer,
     M::WriteParametersError, P::Replace},
    {among(S::DeviceError, S::NotEchoed, S::WrongAnswer), among(K::WriteCounter), kWriteSequence,
     cli::ExitWrongAnswer, M::WriteCounterError, P::Append},
    {among(S::DeviceError, S::NotEchoed, S::WrongAnswer), among(K::WriteCounter), kAny, cli::ExitWrongAnswer,
     M::WriteCounterError, P::Replace},
};

struct FlashRow
{
    FlashVerdict verdict;
    ExitCode exitCode;
    MessageId message;
    ConsolePlacement placement;
};

// The window names a tool that would not start as it tries to start it.
constexpr FlashRow kFlashRows[] = {
    {FlashVerdict::None, cli::ExitFlashFailed, M::FlashFailed, P::Elsewhere},
    {FlashVerdict::Succeeded, cli::ExitDone, M::FlashSucceeded, P::Replace},
    {FlashVerdict::Failed, cli::ExitFlashFailed, M::FlashFailed, P::Replace},
    {FlashVerdict::NotStarted, cli::ExitFlashFailed, M::ToolNotStarted, P::Elsewhere},
};

constexpr bool flashRowsInOrder()
{
    for (int i = 0; i < kFlashVerdictCount; ++i) {
        if (kFlashRows[i].verdict != FlashVerdict(i))
            return false;
    }
    return true;
}
static_assert(std::size(kFlashRows) == kFlashVerdictCount && flashRowsInOrder(), "one row per flash verdict, in order");

struct FlashErrorRow
{
    FlashError error;
    ExitCode exitCode;
    MessageId message;
};

constexpr FlashErrorRow kFlashErrorRows[] = {
    {FlashError::NoError, cli::ExitDone, M::None},
    {FlashError::NoFirmwareFile, cli::ExitUsage, M::NoFirmwareFile},
    {FlashError::BadFirmwareImage, cli::ExitUsage, M::NoFirmwareFile},
    {FlashError::ToolError, cli::ExitFlashFailed, M::ToolError},
    {FlashError::ToolNotStarted, cli::ExitFlashFailed, M::ToolNotStarted},
};

constexpr bool flashErrorRowsInOrder()
{
    for (int i = 0; i < kFlashErrorCount; ++i) {
        if (kFlashErrorRows[i].error != FlashError(i))
            return false;
    }
    return true;
}
static_assert(std::size(kFlashErrorRows) == kFlashErrorCount && flashErrorRowsInOrder(),
              "one row per flash error, in order");

struct ExitWordRow
{
    int exitCode;
    const char *word;
};

// A port that went away leaves a name that leads nowhere.
constexpr ExitWordRow kExitWords[] = {
    {cli::ExitDone, "ok"},
    {cli::ExitUsage, "badFile"},
    {cli::ExitPort, "portMissing"},
    {cli::ExitNoAnswer, "noAnswer"},
    {cli::ExitWrongAnswer, "wrongAnswer"},
    {cli::ExitImplausible, "implausible"},
    {cli::ExitFlashFailed, "flashFailed"},
    {cli::ExitDiffers, "differs"},
    {cli::ExitOutput, "outputFailed"},
    {cli::ExitBookServer, "bookServer"},
    {cli::ExitStale, "stale"},
    {cli::ExitInterrupted, "interrupted"},
};

} // namespace

QString exitWord(int exitCode)
{
    for (const ExitWordRow &row : kExitWords) {
        if (row.exitCode == exitCode)
            return QLatin1String(row.word);
    }
    return QStringLiteral("usage");
}

namespace {

const StatusRow *findRow(DeviceStatus status, RequestKind kind, RequestSequence sequence)
{
    for (const StatusRow &row : kStatusRows) {
        if ((row.statuses & among(status)) && (row.kinds & among(kind)) && (row.sequences & among(sequence)))
            return &row;
    }
    return nullptr;
}

} // namespace

bool hasStatusRow(DeviceStatus status, RequestKind kind, RequestSequence sequence)
{
    return findRow(status, kind, sequence) != nullptr;
}

StatusWording statusWording(DeviceStatus status, RequestKind kind, RequestSequence sequence)
{
    if (const StatusRow *row = findRow(status, kind, sequence))
        return {row->exitCode, exitWord(row->exitCode), row->message, row->placement};
    // Unreachable while every status has its rows (a test holds them so);
    // an unknown end is never taken for a success.
    return {cli::ExitWrongAnswer, exitWord(cli::ExitWrongAnswer), M::NoData, P::LastReplace};
}

StatusWording flashWording(FlashVerdict verdict)
{
    const FlashRow &row = kFlashRows[int(verdict)];
    return {row.exitCode, exitWord(row.exitCode), row.message, row.placement};
}

FlashVerdictBox flashVerdictBox(FlashVerdict verdict)
{
    switch (verdict) {
    case FlashVerdict::Succeeded: return {MessageId::UpdateSucceeded, MessageId::AdapterToParameters};
    case FlashVerdict::Failed: return {MessageId::UpdateFailed, MessageId::None};
    case FlashVerdict::None:
    case FlashVerdict::NotStarted: break;
    }
    return {};
}

StatusWording flashErrorWording(FlashError error)
{
    const FlashErrorRow &row = kFlashErrorRows[int(error)];
    return {row.exitCode, exitWord(row.exitCode), row.message, P::Replace};
}

} // namespace tavik7
