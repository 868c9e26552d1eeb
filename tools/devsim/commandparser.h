#pragma once

#include "faults.h"

#include <QByteArray>

#include <optional>

namespace devsim {

// One complete request of the parameter interface as it came off the line.
struct Request
{
    bool known = false;  // false: a line the device does not understand
    Command command = Command::ReadParameters;
    QByteArray raw;      // the bytes as received, without the line end of a text command
    QByteArray argument; // the digits of "S_ZLW "
};

// Cuts the byte stream of the parameter interface into requests. Input comes
// in arbitrary pieces. Text commands end at CR (an LF after it, or stray line
// ends between commands, are skipped). The "SP" telegram is binary and may
// carry CR and LF among its data, so a telegram with the right length byte is
// taken by its length; with any other length byte it ends at CR LF.
class CommandParser
{
public:
    // Bytes the device buffers without seeing a command end; beyond that the
    // whole pending input is thrown away.
    static constexpr int kMaxPending = 4096;

    void feed(const QByteArray &bytes) { m_pending.append(bytes); }

    // The next complete request, if there is one.
    std::optional<Request> next();

    [[nodiscard]] bool hasPending() const { return !m_pending.isEmpty(); }
    [[nodiscard]] int pendingSize() const { return int(m_pending.size()); }
    void clear() { m_pending.clear(); }

    // How many bytes were thrown away for overflow since the last call.
    qsizetype takeDropped();

private:
    QByteArray m_pending;
    qsizetype m_dropped = 0;
};

} // namespace devsim
