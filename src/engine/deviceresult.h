#pragma once

#include <QMetaType>
#include <QString>

#include <optional>

#include "console.h"
#include "countertext.h"
#include "parameterrecord.h"
#include "statustable.h"

namespace tavik7 {

// What became of one request to the device, or of a sequence of them. The
// engines speak no front end's words: the window and the command-line
// program each turn a result into their own.
struct DeviceResult
{
    // The words of each end live in the core's status table.
    using Kind = RequestKind;
    using Status = DeviceStatus;
    using Sequence = RequestSequence;

    Kind kind = Kind::ReadParameters;
    Status status = Status::Ok;
    Sequence sequence = Sequence::None;
    // The device's record and counter as read by this request or sequence.
    std::optional<ParameterRecord> record;
    std::optional<CounterReading> counter;
    // The record an "SP" telegram carried, answered or not: a telegram whose
    // answer never came may have reached the device all the same.
    std::optional<ParameterRecord> sent;
    // What the device acknowledged: the record written, the counter echoed.
    std::optional<ParameterRecord> written;
    std::optional<CounterReading> counterWritten;
    // A write sequence whose device counts the other way: its counter goes along.
    bool directionChanged = false;

    [[nodiscard]] bool ok() const { return status == Status::Ok; }
    // How every front end words this end.
    [[nodiscard]] StatusWording wording() const { return statusWording(status, kind, sequence); }
    // A write cut after the device took the parameters of a new direction:
    // the reading it had before, which was not written back and may need
    // setting. Nothing when the write ended otherwise.
    [[nodiscard]] std::optional<CounterReading> counterNotWrittenBack() const
    {
        if (status == Status::Ok || !directionChanged || !written || counterWritten)
            return std::nullopt;
        return counter;
    }
    // A telegram that went out without the device's verdict on it (no
    // answer, a line without "OK", the line gone): it may hold the record now.
    [[nodiscard]] bool telegramUnanswered() const
    {
        return sent && !written && status != Status::Ok && status != Status::DeviceError;
    }
    // What the device may hold after a write that failed, as every front end
    // adds it below the failure; MessageId::None when that is nothing new.
    [[nodiscard]] ConsoleEntry deviceMayHold() const
    {
        if (const std::optional<CounterReading> left = counterNotWrittenBack())
            return {MessageId::NoteCounterNotWrittenBack, {left->text}};
        return telegramUnanswered() ? ConsoleEntry(MessageId::NoteTelegramUnanswered) : ConsoleEntry();
    }
};

} // namespace tavik7

Q_DECLARE_METATYPE(tavik7::DeviceResult)
