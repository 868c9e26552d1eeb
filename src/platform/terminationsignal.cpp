#include "terminationsignal.h"

#include <QMetaObject>
#include <QSocketNotifier>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace tavik7::platform {

#ifdef Q_OS_WIN

namespace {

TerminationSignal *g_instance = nullptr;

// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI consoleHandler(DWORD)
{
    if (g_instance)
        QMetaObject::invokeMethod(g_instance, &TerminationSignal::received, Qt::QueuedConnection);
    return TRUE;
}

} // namespace

TerminationSignal::TerminationSignal(QObject *parent)
    : QObject(parent)
{
    g_instance = this;
    SetConsoleCtrlHandler(consoleHandler, TRUE);
}

TerminationSignal::~TerminationSignal()
{
    SetConsoleCtrlHandler(consoleHandler, FALSE);
    g_instance = nullptr;
}

void TerminationSignal::drain() {}

void ignoreBrokenPipe() {}

bool isTerminal(int stream)
{
    return _isatty(stream) != 0;
}

#else

namespace {

// The handler may only write a byte; the event loop reads it at the other end.
int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[0], &byte, 1);
}

} // namespace

TerminationSignal::TerminationSignal(QObject *parent)
    : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return;
    for (int fd : g_signalPipe)
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    m_notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignal::drain);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    // A closed terminal or a dropped ssh session is one more way to be told
    // to end, not a reason to leave a write half done or unrecorded.
    for (int number : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(number, &action, nullptr);
}

TerminationSignal::~TerminationSignal()
{
    // The work is over and its outcome decided: a request to end that comes
    // while the process shuts down must not turn a completed, recorded write
    // into a death by signal.
    for (int number : {SIGINT, SIGTERM, SIGHUP})
        ::signal(number, SIG_IGN);
    for (int &fd : g_signalPipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void TerminationSignal::drain()
{
    char bytes[16];
    while (::read(g_signalPipe[1], bytes, sizeof bytes) > 0)
        emit received();
}

bool isTerminal(int stream)
{
    return ::isatty(stream) != 0;
}

void ignoreBrokenPipe()
{
    ::signal(SIGPIPE, SIG_IGN);
}

#endif

} // namespace tavik7::platform
