#include "namuroutput.h"

#include "parameterrecord.h"

namespace devsim {

namespace {

constexpr char kFs = 0x1C;
constexpr char kUs = 0x1F;
constexpr int kPowerDownMode = 5;
// The power-down telegram goes out this long after the switch to 2400 baud.
constexpr int kPowerDownDelayMs = 250;
constexpr int kTelegramBEvery = 100;
// Fast mode hands the line this much at a time.
constexpr qsizetype kFastChunkBytes = 4096;

enum TelegramBSetting { EveryHundredth = 0, Never = 1, Alternately = 2, Both = 3 };

} // namespace

QByteArray namurTelegram(const DeviceState &state, bool telegramB)
{
    const tavik7::ParameterRecord &r = state.record;
    const QString second = telegramB ? tavik7::fieldText(r.serialNumber, tavik7::kSerialNumberWidth)
                                     : tavik7::fieldText(r.unit, tavik7::kUnitWidth);
    QByteArray telegram = kFs + state.counterText() + kUs + second.toLatin1();
    char check = 0;
    for (char &c : telegram) {
        c = char(quint8(c) & 0x7F);
        check ^= c;
    }
    telegram += check;
    telegram += "\r\n";
    return telegram;
}

int namurIntervalMs(int transmitMode)
{
    switch (transmitMode) {
    case 0: return 250;
    case 1: return 500;
    case 2: return 1000;
    case 3: return 2000;
    case 4: return 5000;
    default: return -1;
    }
}

void NamurOutput::begin(qint64 nowMs)
{
    m_active = true;
    m_onceSent = false;
    m_sent = 0;
    m_counter = 0;
    m_finishedNoticed = false;
    m_nextDueMs = nowMs;
    m_pending.clear();
}

void NamurOutput::end()
{
    m_active = false;
    m_pending.clear();
}

int NamurOutput::msUntilDue(qint64 nowMs, const DeviceState &state) const
{
    if (!m_active || m_fast || limitReached())
        return -1;
    const int mode = state.record.transmitMode;
    qint64 due;
    if (namurIntervalMs(mode) > 0)
        due = m_nextDueMs + (m_counter == 0 ? namurIntervalMs(mode) : 0);
    else if (mode == kPowerDownMode && !m_onceSent)
        due = m_nextDueMs + kPowerDownDelayMs;
    else
        return -1;
    return int(qBound(qint64(0), due - nowMs, qint64(60000)));
}

QByteArray NamurOutput::takeDue(qint64 nowMs, const DeviceState &state)
{
    if (msUntilDue(nowMs, state) != 0)
        return {};
    const int interval = namurIntervalMs(state.record.transmitMode);
    if (interval > 0) {
        if (m_counter == 0)
            m_nextDueMs += interval;
        m_nextDueMs += interval;
        // After a stall the device goes on at its pace rather than catching up.
        if (m_nextDueMs <= nowMs)
            m_nextDueMs = nowMs + interval;
    } else {
        m_onceSent = true;
    }
    return nextTelegrams(state);
}

const QByteArray &NamurOutput::fastPending(const DeviceState &state)
{
    while (m_active && m_fast && m_pending.size() < kFastChunkBytes && !limitReached())
        m_pending += nextTelegrams(state);
    return m_pending;
}

void NamurOutput::consumed(qsizetype bytes)
{
    m_pending.remove(0, bytes);
}

bool NamurOutput::wantsToWrite() const
{
    return m_active && m_fast && (!limitReached() || !m_pending.isEmpty());
}

bool NamurOutput::takeFinishedNotice()
{
    if (!m_active || !m_fast || m_finishedNoticed || wantsToWrite())
        return false;
    m_finishedNoticed = true;
    return true;
}

QByteArray NamurOutput::nextTelegrams(const DeviceState &state)
{
    QByteArray out;
    const auto add = [&](bool b) {
        if (limitReached())
            return;
        out += namurTelegram(state, b);
        ++m_sent;
        ++m_counter;
    };
    switch (state.record.telegramB) {
    case EveryHundredth: add((m_counter + 1) % kTelegramBEvery == 0); break;
    case Alternately: add(m_counter % 2 == 1); break;
    case Both: add(false); add(true); break;
    case Never:
    default: add(false); break;
    }
    return out;
}

} // namespace devsim
