#pragma once

#include <QObject>

class QSocketNotifier;

namespace tavik7::platform {

// Turns SIGINT, SIGTERM and SIGHUP (Ctrl+C, Ctrl+Break and closing the console on
// Windows) into a signal on the event loop, so a program can finish what must
// not be cut in half before it ends. One instance per process; once it is
// gone the process is shutting down, and those signals are ignored.
class TerminationSignal : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignal(QObject *parent = nullptr);
    ~TerminationSignal() override;

signals:
    // Once per request to end; a second Ctrl+C arrives as a second signal.
    void received();

private:
    void drain();

    QSocketNotifier *m_notifier = nullptr;
};

// True when the stream (1 stdout, 2 stderr) is a terminal, where progress
// lines may be redrawn; false when it goes to a file or a pipe.
[[nodiscard]] bool isTerminal(int stream);

// A reader that goes away (`| head -1`) makes writes fail with EPIPE instead
// of killing the process, so that the work under way is finished and recorded.
void ignoreBrokenPipe();

} // namespace tavik7::platform
