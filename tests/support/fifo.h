#pragma once

#include <QFile>
#include <QSemaphore>
#include <QString>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// A named pipe without a reader where a file is expected.
inline bool makeFifo(const QString &path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0644) == 0;
}

// Runs action and tells whether it came back by itself. An open of the pipe
// at fifoPath would wait for good; after a while the other end comes to its
// rescue (opened with rescueFlags, held until action returns when holdOpen),
// so the test fails instead of hanging.
inline bool returnsUnrescued(const QString &fifoPath, int rescueFlags, bool holdOpen, const std::function<void()> &action)
{
    constexpr int kRescueAfterMs = 3000;
    const QByteArray path = QFile::encodeName(fifoPath);
    QSemaphore done;
    std::atomic<bool> rescued{false};
    std::unique_ptr<QThread> guard(QThread::create([&] {
        if (done.tryAcquire(1, kRescueAfterMs))
            return;
        rescued = true;
        const int other = ::open(path.constData(), rescueFlags | O_NONBLOCK);
        if (!holdOpen && other >= 0)
            ::close(other);
        done.acquire();
        if (holdOpen && other >= 0)
            ::close(other);
    }));
    guard->start();
    action();
    done.release();
    guard->wait();
    return !rescued;
}

// A write that waits for a reader of the pipe.
inline bool returnsWithoutAReader(const QString &fifoPath, const std::function<void()> &action)
{
    return returnsUnrescued(fifoPath, O_RDONLY, true, action);
}

// An open for reading: the writer that comes goes at once, so the reader
// sees an empty file instead of waiting.
inline bool readsWithoutAWriter(const QString &fifoPath, const std::function<void()> &action)
{
    return returnsUnrescued(fifoPath, O_RDWR, false, action);
}
