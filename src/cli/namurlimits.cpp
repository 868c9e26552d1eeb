#include "namurlimits.h"

namespace tavik7::cli {

NamurLimits::NamurLimits(const CliOptions &options, QObject *parent)
    : QObject(parent)
    , m_count(options.count)
{
    m_duration.setSingleShot(true);
    m_duration.setTimerType(Qt::PreciseTimer);
    m_duration.setInterval(options.durationSeconds * 1000);
    m_silence.setSingleShot(true);
    m_silence.setInterval(kSilenceMs);
    connect(&m_duration, &QTimer::timeout, this, [this] { emit reached(Reason::Duration); });
    connect(&m_silence, &QTimer::timeout, this, [this] { emit reached(Reason::Silence); });
}

void NamurLimits::start()
{
    if (m_duration.interval() > 0)
        m_duration.start();
    if (m_count > 0)
        m_silence.start();
}

void NamurLimits::take(NamurListener::LineKind kind)
{
    if (kind != NamurListener::LineKind::Telegram)
        return;
    ++m_telegrams;
    if (m_count <= 0)
        return;
    m_silence.start();
    if (m_telegrams == m_count) {
        m_silence.stop();
        m_duration.stop();
        emit reached(Reason::Count);
    }
}

} // namespace tavik7::cli
