#pragma once

#include <QObject>
#include <QTimer>

#include "commandline.h"
#include "namurlistener.h"

namespace tavik7::cli {

// When namur's listening ends by itself: after --count telegrams (the log's
// lines of dropped bytes or noise are no telegrams), after --duration, or
// when a device counted on stays silent.
class NamurLimits : public QObject
{
    Q_OBJECT

public:
    enum class Reason { Count, Duration, Silence };
    Q_ENUM(Reason)

    // A counted run ends as silent after this long without a telegram.
    static constexpr int kSilenceMs = 10000;

    NamurLimits(const CliOptions &options, QObject *parent = nullptr);

    // Tests wait for a silent device far less long than a run does.
    void setSilenceMs(int ms) { m_silence.setInterval(ms); }
    [[nodiscard]] int silenceMs() const { return m_silence.interval(); }

    // Listening has begun: the clocks start.
    void start();
    // A log line as the listener wrote it.
    void take(NamurListener::LineKind kind);
    [[nodiscard]] int telegrams() const { return m_telegrams; }

signals:
    void reached(tavik7::cli::NamurLimits::Reason reason);

private:
    int m_count;
    int m_telegrams = 0;
    QTimer m_duration;
    QTimer m_silence;
};

} // namespace tavik7::cli
