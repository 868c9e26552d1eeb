#include "serverwatch.h"

#include <QSqlDriver>
#include <QVariant>

#include <algorithm>
#include <chrono>

#ifdef Q_OS_LINUX
#include <dlfcn.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#endif

namespace tavik7::book {

namespace {

constexpr auto kLookEvery = std::chrono::milliseconds(200);

#ifdef Q_OS_LINUX
using SocketOf = int (*)(const void *);
using TransactionStatusOf = int (*)(const void *);
constexpr int kRequestActive = 1; // PQTRANS_ACTIVE: a command is under way

// libpq's functions from the library QPSQL loaded already: linking libpq
// here would make its headers a build dependency for these two calls, both
// of which only read the connection's state.
template <typename Function>
Function libpqFunction(const char *name)
{
    void *library = dlopen("libpq.so.5", RTLD_NOW | RTLD_NOLOAD);
    if (!library)
        return nullptr;
    // The driver keeps the library loaded for as long as the program runs.
    auto found = reinterpret_cast<Function>(dlsym(library, name));
    dlclose(library);
    return found;
}

int socketOf(const void *connection)
{
    static const auto function = libpqFunction<SocketOf>("PQsocket");
    return connection && function ? function(connection) : -1;
}

bool requestActive(const void *connection)
{
    static const auto function = libpqFunction<TransactionStatusOf>("PQtransactionStatus");
    return function && function(connection) == kRequestActive;
}

// How long the server has sent nothing on socket while a request of
// connection waits for its answer: 0 when none waits, or when the answer
// lies unread (this program is the slow one); -1 when the socket tells
// nothing (not TCP).
long long unansweredMs(const void *connection, int socket)
{
    tcp_info info{};
    socklen_t length = sizeof info;
    if (getsockopt(socket, IPPROTO_TCP, TCP_INFO, &info, &length) != 0)
        return -1;
    int unread = 0;
    if (!requestActive(connection) || ioctl(socket, FIONREAD, &unread) != 0 || unread > 0)
        return 0;
    // A server that sent part of its answer (a prepared statement's bound
    // parameters) and then nothing is as silent as one that sent nothing.
    return std::min(info.tcpi_last_data_sent, info.tcpi_last_data_recv);
}
#else
int socketOf(const void *)
{
    return -1;
}
#endif

} // namespace

ServerWatch::ServerWatch(const QSqlDatabase &db, int silenceMs) : m_silenceMs(silenceMs)
{
    // The driver's handle is libpq's connection, named by its struct's tag.
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (db.driver() && db.driver()->dbmsType() == QSqlDriver::PostgreSQL && handle.isValid()
        && QByteArray(handle.typeName()).endsWith('*'))
        m_connection = *static_cast<void *const *>(handle.constData());
    m_socket = socketOf(m_connection);
    if (m_socket >= 0)
        m_thread = std::thread(&ServerWatch::watch, this);
}

ServerWatch::~ServerWatch()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void ServerWatch::watch()
{
#ifdef Q_OS_LINUX
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_wake.wait_for(lock, kLookEvery, [this] { return m_stop; })) {
        // A connection libpq dropped itself has given its socket's number back.
        if (socketOf(m_connection) != m_socket)
            return;
        const long long silent = unansweredMs(m_connection, m_socket);
        if (silent < 0)
            return;
        if (silent >= m_silenceMs) {
            m_cut = true;
            // The waiting read ends as on a connection the server closed.
            shutdown(m_socket, SHUT_RDWR);
            return;
        }
    }
#endif
}

} // namespace tavik7::book
