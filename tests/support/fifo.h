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

// Runs action and tells whether it came back by itself. A write that waits
// for a reader of the pipe at fifoPath would wait for good; after a while a
// reader comes to its rescue, so the test fails instead of hanging.
inline bool returnsWithoutAReader(const QString &fifoPath, const std::function<void()> &action)
{
    constexpr int kRescueAfterMs = 3000;
    const QByteArray path = QFile::encodeName(fifoPath);
    QSemaphore done;
    std::atomic<bool> rescued{false};
    std::unique_ptr<QThread> guard(QThread::create([&] {
        if (done.tryAcquire(1, kRescueAfterMs))
            return;
        rescued = true;
        const int reader = ::open(path.constData(), O_RDONLY | O_NONBLOCK);
        done.acquire();
        if (reader >= 0)
            ::close(reader);
    }));
    guard->start();
    action();
    done.release();
    guard->wait();
    return !rescued;
}

// The same for an open for reading: a writer comes to the rescue after a
// while and goes at once, so the reader sees an empty file instead of waiting.
inline bool readsWithoutAWriter(const QString &fifoPath, const std::function<void()> &action)
{
    constexpr int kRescueAfterMs = 3000;
    const QByteArray path = QFile::encodeName(fifoPath);
    QSemaphore done;
    std::atomic<bool> rescued{false};
    std::unique_ptr<QThread> guard(QThread::create([&] {
        if (done.tryAcquire(1, kRescueAfterMs))
            return;
        rescued = true;
        const int writer = ::open(path.constData(), O_RDWR | O_NONBLOCK);
        if (writer >= 0)
            ::close(writer);
        done.acquire();
    }));
    guard->start();
    action();
    done.release();
    guard->wait();
    return !rescued;
}
