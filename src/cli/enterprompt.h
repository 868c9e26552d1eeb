#pragma once

#include <QObject>

class QSocketNotifier;

namespace tavik7::cli {

// Waits for Enter on a terminal without blocking the event loop, so that
// the ports' time-outs and Ctrl+C keep working while the technician moves
// the adapter's switch.
class EnterPrompt : public QObject
{
    Q_OBJECT

public:
    explicit EnterPrompt(QObject *parent = nullptr);

    // Someone can answer: standard input and standard error are a terminal.
    [[nodiscard]] static bool available();
    void wait();

signals:
    // confirmed false: standard input ended (Ctrl+D) instead of a line.
    void answered(bool confirmed);

private:
    void onReadable();

    QSocketNotifier *m_notifier = nullptr;
};

} // namespace tavik7::cli
