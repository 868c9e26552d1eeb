#pragma once

#include "devicestate.h"

#include <QByteArray>
#include <QtGlobal>

namespace devsim {

// The device's NAMUR output: while the PC program holds the line at 2400 baud
// the device sends telegrams on its own, 7 bits per byte:
//   FS (1c), the counter status, US (1f), a second field, the check byte, CR LF
// Telegram a carries the unit as its second field, telegram b the serial
// number; the record's "Telegram b" setting decides which goes out:
//   0 every 100th telegram is b, 1 never b, 2 a and b alternately,
//   3 a and b together each time.
// The check byte is the XOR of all bytes from FS to the end of the second
// field, in 7 bits. Its "Transmit mode" sets the interval:
//   0 250 ms, 1 500 ms, 2 1000 ms, 3 2000 ms, 4 5000 ms, 5 once (power-down);
//   any other value: nothing is sent.
[[nodiscard]] QByteArray namurTelegram(const DeviceState &state, bool telegramB);

// -1 for "once" and for values the device does not know.
[[nodiscard]] int namurIntervalMs(int transmitMode);

// Decides when telegrams are due. Paced, one telegram (or an a+b pair) per
// interval, the first one interval after the line came to 2400 baud; with
// fast, telegrams back to back as quickly as the line takes them.
class NamurOutput
{
public:
    // limit: telegrams per session at most, -1 for no limit.
    NamurOutput(bool fast, qint64 limit) : m_fast(fast), m_limit(limit) {}

    void begin(qint64 nowMs);
    void end();
    [[nodiscard]] bool active() const { return m_active; }
    [[nodiscard]] bool fast() const { return m_fast; }
    [[nodiscard]] qint64 sentInSession() const { return m_sent; }
    [[nodiscard]] bool limitReached() const { return m_limit >= 0 && m_sent >= m_limit; }

    // Milliseconds until the next paced telegram is due, -1 for none.
    [[nodiscard]] int msUntilDue(qint64 nowMs, const DeviceState &state) const;
    // The paced telegrams due now (empty if none); advances the schedule.
    [[nodiscard]] QByteArray takeDue(qint64 nowMs, const DeviceState &state);

    // Fast mode: the bytes still to write, refilled with further telegrams
    // when empty (until the limit); consumed() takes written bytes off.
    [[nodiscard]] const QByteArray &fastPending(const DeviceState &state);
    void consumed(qsizetype bytes);
    // Fast mode: true while there is something to write.
    [[nodiscard]] bool wantsToWrite() const;
    // True once per session, when fast mode has written its last telegram.
    [[nodiscard]] bool takeFinishedNotice();

private:
    QByteArray nextTelegrams(const DeviceState &state);

    bool m_fast;
    qint64 m_limit;
    bool m_active = false;
    bool m_onceSent = false;
    qint64 m_nextDueMs = 0;
    qint64 m_sent = 0;
    qint64 m_counter = 0; // telegrams since start, for telegram b every 100th
    bool m_finishedNoticed = false;
    QByteArray m_pending;
};

} // namespace devsim
