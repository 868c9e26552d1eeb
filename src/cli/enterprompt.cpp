#include "enterprompt.h"

#include <QSocketNotifier>

#include <cstring>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

#include "terminationsignal.h"

namespace tavik7::cli {

EnterPrompt::EnterPrompt(QObject *parent)
    : QObject(parent)
{
}

bool EnterPrompt::available()
{
#ifdef Q_OS_UNIX
    return platform::isTerminal(0) && platform::isTerminal(2);
#else
    // A console handle cannot be watched by the event loop here: the flash
    // goes on as with --yes.
    return false;
#endif
}

void EnterPrompt::wait()
{
#ifdef Q_OS_UNIX
    m_notifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &EnterPrompt::onReadable);
#else
    emit answered(true);
#endif
}

void EnterPrompt::onReadable()
{
#ifdef Q_OS_UNIX
    char bytes[256];
    const ssize_t count = ::read(STDIN_FILENO, bytes, sizeof bytes);
    if (count > 0 && !std::memchr(bytes, '\n', size_t(count)))
        return;
    m_notifier->setEnabled(false);
    emit answered(count > 0);
#endif
}

} // namespace tavik7::cli
