#pragma once

#include <QSqlDatabase>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace tavik7::book {

// Once connected, libpq waits for a server's answer as long as the socket
// stays open: a server whose processes were stopped, or a network that drops
// every packet, would hold a device command or the window's writer for ever
// (the server's own time-outs stop with it). The watch cuts the connection
// when a request has gone unanswered for silenceMs; the query then fails as
// on a lost server, and the event goes to the outbox. Where the socket
// cannot be watched (not TCP, not Linux) the connection's keepalives are all.
class ServerWatch
{
public:
    ServerWatch(const QSqlDatabase &db, int silenceMs);
    // Stops watching: to be gone before the connection closes, whose socket's
    // number the system hands out again.
    ~ServerWatch();
    ServerWatch(const ServerWatch &) = delete;
    ServerWatch &operator=(const ServerWatch &) = delete;

    // True once the connection was cut for want of an answer.
    [[nodiscard]] bool cut() const { return m_cut; }
    [[nodiscard]] int silenceMs() const { return m_silenceMs; }

private:
    void watch();

    void *m_connection = nullptr; // libpq's PGconn
    int m_socket = -1;
    int m_silenceMs;
    std::atomic<bool> m_cut{false};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace tavik7::book
