#pragma once

#include <QByteArray>

#include <csignal>

namespace devsim {

// The device's end of the serial line: the master side of a pseudo-terminal.
// The PC program opens the slave side like a serial port.
class PtyLine
{
public:
    PtyLine() = default;
    PtyLine(const PtyLine &) = delete;
    PtyLine &operator=(const PtyLine &) = delete;
    ~PtyLine();

    // Opens the pseudo-terminal and sets the slave side to raw 1200 baud.
    bool open(QByteArray *error);

    [[nodiscard]] int masterFd() const { return m_master; }
    [[nodiscard]] QByteArray slavePath() const { return m_slavePath; }

    // The baud rate the PC program last set on its side (0 if unreadable).
    [[nodiscard]] int baudRate() const;

    enum class Pacing {
        Normal,   // a few bytes per write, as a UART with a small FIFO delivers them
        Bytewise, // one byte per write
        Pieces,   // 1..3 bytes per write with an extra pause after each piece
        AtOnce,   // the whole answer in one write, with no wait for the line's rate
    };

    // Sends at the given rate with 10 bits per byte (start, 8 data, stop):
    // each write happens when its last byte would have left a real UART, so
    // the final byte arrives after size * 10 / baud seconds. Returns false
    // when stop became non-zero or the line broke.
    bool send(const QByteArray &data, int baud, Pacing pacing, const volatile std::sig_atomic_t *stop);

    // Pulls the cable: the PC program sees the line hang up.
    void close();

private:
    bool writeAll(const char *data, int size, const volatile std::sig_atomic_t *stop);

    int m_master = -1;
    // Kept open so that the master never sees a hang-up when the PC program
    // closes the port, and to read the line settings the PC program made.
    int m_slave = -1;
    QByteArray m_slavePath;
};

} // namespace devsim
