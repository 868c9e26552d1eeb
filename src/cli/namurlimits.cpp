#include "namurlimits.h"

#include "namur.h"

namespace tavik7::cli {

NamurLimits::NamurLimits(const CliOptions &options, QObject *parent)
    : QObject(parent)
    , m_count(options.count)
{
    // The dropped-bytes line's own form, its number left open.
    constexpr int kMarker = 987654321;
    QString form = QRegularExpression::escape(namurDroppedLine(QString(), kMarker));
    m_dropped.setPattern(form.replace(QString::number(kMarker), QStringLiteral("[0-9]+")) + QLatin1Char('$'));
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

void NamurLimits::take(const QString &line)
{
    if (m_dropped.match(line).hasMatch())
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
