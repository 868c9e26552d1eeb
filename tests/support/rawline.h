#pragma once

#include <QByteArray>
#include <QString>
#include <QScopedPointer>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <atomic>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

// A pseudo-terminal whose far end the test drives itself, byte by byte:
// for line faults no simulated device would produce.
class RawLine
{
public:
    RawLine()
    {
        m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_master >= 0 && (grantpt(m_master) != 0 || unlockpt(m_master) != 0)) {
            ::close(m_master);
            m_master = -1;
        }
        if (m_master >= 0)
            m_port = QString::fromLocal8Bit(ptsname(m_master));
    }
    ~RawLine()
    {
        if (m_master >= 0)
            ::close(m_master);
    }
    RawLine(const RawLine &) = delete;
    RawLine &operator=(const RawLine &) = delete;

    [[nodiscard]] bool isOpen() const { return m_master >= 0; }
    [[nodiscard]] QString portPath() const { return m_port; }
    // The far end, non-blocking, for a test that plays the device on its own thread.
    [[nodiscard]] int masterFd() const { return m_master; }

    // Writes all bytes from a helper thread while this thread's event loop
    // runs, so the program under test reads as fast as the line carries them.
    bool send(const QByteArray &bytes, int timeoutMs = 20000)
    {
        std::atomic<bool> stop{false};
        const int fd = m_master;
        QScopedPointer<QThread> writer(QThread::create([&bytes, &stop, fd] {
            qsizetype done = 0;
            while (done < bytes.size() && !stop) {
                pollfd p{fd, POLLOUT, 0};
                if (::poll(&p, 1, 50) <= 0)
                    continue;
                const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
                done += n > 0 ? n : 0;
            }
        }));
        // A real event loop, not qWaitFor: its naps would slow the reader down.
        QSignalSpy finishedSpy(writer.get(), &QThread::finished);
        writer->start();
        const bool finished = finishedSpy.wait(timeoutMs);
        stop = true;
        writer->wait();
        return finished;
    }

private:
    int m_master = -1;
    QString m_port;
};
