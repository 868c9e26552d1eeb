#include "ptyline.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace devsim {

namespace {

constexpr int kBitsPerByte = 10;
constexpr qint64 kNsPerSecond = 1000000000;
// A real UART FIFO hands over a few bytes at a time; about 20 ms worth.
constexpr qint64 kNormalChunkNs = 20 * 1000000;
constexpr qint64 kPiecePauseNs = 50 * 1000000;
// How long a write may stay blocked before the queued bytes count as lost:
// nobody reads the slave side, so, as on a real line, they are gone.
constexpr int kBlockedWriteMs = 200;

struct BaudEntry
{
    speed_t code;
    int baud;
};

constexpr BaudEntry kBaudRates[] = {
    {B50, 50},       {B75, 75},         {B110, 110},       {B134, 134},
    {B150, 150},     {B200, 200},       {B300, 300},       {B600, 600},
    {B1200, 1200},   {B1800, 1800},     {B2400, 2400},     {B4800, 4800},
    {B9600, 9600},   {B19200, 19200},   {B38400, 38400},   {B57600, 57600},
    {B115200, 115200}, {B230400, 230400},
};

int baudFromCode(speed_t code)
{
    for (const BaudEntry &e : kBaudRates) {
        if (e.code == code)
            return e.baud;
    }
    return 0;
}

qint64 nowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * kNsPerSecond + ts.tv_nsec;
}

// Sleeps until the monotonic deadline; false if stop became set meanwhile.
bool sleepUntil(qint64 deadlineNs, const volatile std::sig_atomic_t *stop)
{
    timespec ts{};
    ts.tv_sec = time_t(deadlineNs / kNsPerSecond);
    ts.tv_nsec = long(deadlineNs % kNsPerSecond);
    for (;;) {
        if (stop && *stop)
            return false;
        const int rc = clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
        if (rc == 0)
            return !(stop && *stop);
        if (rc != EINTR)
            return true;
    }
}

bool appendError(QByteArray *error, const char *what)
{
    if (error)
        *error = QByteArray(what) + ": " + std::strerror(errno);
    return false;
}

} // namespace

PtyLine::~PtyLine()
{
    close();
}

bool PtyLine::open(QByteArray *error)
{
    m_master = posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0)
        return appendError(error, "posix_openpt");
    if (grantpt(m_master) != 0)
        return appendError(error, "grantpt");
    if (unlockpt(m_master) != 0)
        return appendError(error, "unlockpt");
    const char *name = ptsname(m_master);
    if (!name)
        return appendError(error, "ptsname");
    m_slavePath = name;

    m_slave = ::open(name, O_RDWR | O_NOCTTY);
    if (m_slave < 0)
        return appendError(error, "open slave");
    termios tio{};
    if (tcgetattr(m_slave, &tio) != 0)
        return appendError(error, "tcgetattr");
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&tio, B1200);
    cfsetospeed(&tio, B1200);
    if (tcsetattr(m_slave, TCSANOW, &tio) != 0)
        return appendError(error, "tcsetattr");

    // Writes must never hang the simulator when nobody reads the other side.
    const int flags = fcntl(m_master, F_GETFL);
    if (flags < 0 || fcntl(m_master, F_SETFL, flags | O_NONBLOCK) != 0)
        return appendError(error, "fcntl");
    return true;
}

int PtyLine::baudRate() const
{
    termios tio{};
    if (m_slave < 0 || tcgetattr(m_slave, &tio) != 0)
        return 0;
    speed_t code = cfgetospeed(&tio);
    if (code == B0)
        code = cfgetispeed(&tio);
    return baudFromCode(code);
}

void PtyLine::close()
{
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
    if (m_slave >= 0) {
        ::close(m_slave);
        m_slave = -1;
    }
}

bool PtyLine::writeAll(const char *data, int size, const volatile std::sig_atomic_t *stop)
{
    int written = 0;
    while (written < size) {
        if (stop && *stop)
            return false;
        const ssize_t n = ::write(m_master, data + written, size_t(size - written));
        if (n > 0) {
            written += int(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{m_master, POLLOUT, 0};
            if (poll(&p, 1, kBlockedWriteMs) == 0 && m_slave >= 0)
                tcflush(m_slave, TCIFLUSH);
            continue;
        }
        return false;
    }
    return true;
}

bool PtyLine::send(const QByteArray &data, int baud, Pacing pacing, const volatile std::sig_atomic_t *stop)
{
    if (m_master < 0)
        return false;
    if (pacing == Pacing::AtOnce)
        return writeAll(data.constData(), int(data.size()), stop);
    if (baud <= 0)
        baud = 1200;
    const qint64 byteNs = kBitsPerByte * kNsPerSecond / baud;
    const int normalChunk = int(qMax<qint64>(1, kNormalChunkNs / byteNs));
    static constexpr int kPieceSizes[] = {1, 3, 2, 1, 2, 3, 3, 1};

    const qint64 start = nowNs();
    qint64 extraNs = 0;
    int sent = 0;
    int piece = 0;
    while (sent < data.size()) {
        int chunk = 1;
        if (pacing == Pacing::Normal)
            chunk = normalChunk;
        else if (pacing == Pacing::Pieces)
            chunk = kPieceSizes[piece++ % int(std::size(kPieceSizes))];
        chunk = qMin(chunk, int(data.size()) - sent);
        if (!sleepUntil(start + extraNs + (sent + chunk) * byteNs, stop))
            return false;
        if (!writeAll(data.constData() + sent, chunk, stop))
            return false;
        sent += chunk;
        if (pacing == Pacing::Pieces)
            extraNs += kPiecePauseNs;
    }
    return true;
}

} // namespace devsim
