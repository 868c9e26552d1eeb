#include "simulator.h"

#include "namur.h"
#include "telegram.h"

#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace devsim {

namespace {

// A command left incomplete this long is forgotten, so that a broken-off
// request does not swallow the next one.
constexpr qint64 kStaleInputMs = 2000;
constexpr qint64 kBootLoaderStaleInputMs = 500;
constexpr int kReadChunk = 4096;
constexpr int kMaxControlLine = 4096;
constexpr int kLineWatchMs = 50;
const QByteArray kGarbage("\x00\x7f#", 3);
const QByteArray kErrorAnswer = QByteArray(tavik7::kDeviceErrorAnswer) + "\r\n";
const QByteArray kOkAnswer("OK\r\n");

volatile std::sig_atomic_t g_terminate = 0;
int g_wakeWrite = -1;

extern "C" void onTerminateSignal(int)
{
    g_terminate = 1;
    if (g_wakeWrite >= 0) {
        const int saved = errno;
        [[maybe_unused]] const ssize_t n = ::write(g_wakeWrite, "x", 1);
        errno = saved;
    }
}

qint64 nowMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void logLine(const QByteArray &line)
{
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Printable ASCII as it is, everything else as \xNN, so one log line stays one line.
QByteArray escaped(const QByteArray &bytes)
{
    QByteArray out;
    for (const char c : bytes) {
        const auto u = quint8(c);
        if (u >= 0x20 && u < 0x7F && c != '\\')
            out += c;
        else
            out += "\\x" + QByteArray::number(u, 16).rightJustified(2, '0');
    }
    return out;
}

bool allDigits(const QByteArray &bytes)
{
    for (const char c : bytes) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// Drops what the PC program has not read yet, through a second handle on its
// side of the line. Without root rights a port the PC program holds
// exclusively cannot be opened again; the bytes then stay.
void discardUnread(const QByteArray &slavePath)
{
    const int fd = ::open(slavePath.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return;
    tcflush(fd, TCIFLUSH);
    ::close(fd);
}

bool makeNonBlocking(int fd)
{
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

bool installSignalHandlers(int *wakeRead)
{
    int fds[2];
    if (pipe(fds) != 0 || !makeNonBlocking(fds[0]) || !makeNonBlocking(fds[1]))
        return false;
    *wakeRead = fds[0];
    g_wakeWrite = fds[1];

    struct sigaction action {};
    action.sa_handler = onTerminateSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a sleeping send must notice at once
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    // A test that stops reading our log must not kill us with SIGPIPE.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
    return true;
}

} // namespace

LineMode lineModeForBaud(int baud)
{
    switch (baud) {
    case 1200: return LineMode::ParameterInterface;
    case 2400: return LineMode::NamurOutput;
    case 9600: return LineMode::BootLoader;
    default: return LineMode::Unsupported;
    }
}

const char *lineModeName(LineMode mode)
{
    switch (mode) {
    case LineMode::ParameterInterface: return "parameter-interface";
    case LineMode::NamurOutput: return "namur-output";
    case LineMode::BootLoader: return "boot-loader";
    case LineMode::Unsupported: return "unsupported";
    }
    return "unsupported";
}

Simulator::Simulator(const DeviceState &state, const FaultSet &faults, const QString &statePath)
    : m_state(state), m_faults(faults), m_statePath(statePath)
{
}

int Simulator::run()
{
    QByteArray error;
    if (!m_line.open(&error)) {
        std::fprintf(stderr, "tavik7-devsim: %s\n", error.constData());
        return 1;
    }
    int wakeRead = -1;
    if (!installSignalHandlers(&wakeRead)) {
        std::fprintf(stderr, "tavik7-devsim: cannot set up signal handling: %s\n", std::strerror(errno));
        return 1;
    }
    logLine(m_line.slavePath());

    char buffer[kReadChunk];
    while (!m_finished && !g_terminate) {
        const short lineEvents = short(POLLIN | (m_namur.wantsToWrite() ? POLLOUT : 0));
        pollfd fds[3] = {{m_line.masterFd(), lineEvents, 0}, {wakeRead, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        const nfds_t count = m_controlOpen ? 3 : 2;
        int timeout = -1;
        if (m_parser.hasPending())
            timeout = int(qMax<qint64>(0, m_lastInputMs + kStaleInputMs - nowMs()));
        const int namurTimeout = namurWakeMs();
        if (timeout < 0 || namurTimeout < timeout)
            timeout = namurTimeout;

        const int ready = poll(fds, count, timeout);
        if (g_terminate)
            break;
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            std::fprintf(stderr, "tavik7-devsim: poll: %s\n", std::strerror(errno));
            return 1;
        }

        if (fds[0].revents & POLLIN) {
            const ssize_t n = ::read(m_line.masterFd(), buffer, sizeof buffer);
            if (n > 0)
                onLineData(QByteArray(buffer, int(n)));
        } else if (fds[0].revents & (POLLHUP | POLLERR)) {
            // Not expected while the simulator holds the slave side itself;
            // a short rest keeps such a state from spinning the loop.
            usleep(50 * 1000);
        }
        if (m_finished)
            break;
        serviceNamurOutput(fds[0].revents & POLLOUT);

        if (count > 2 && (fds[2].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))) {
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n > 0)
                onControlData(QByteArray(buffer, int(n)));
            else if (n == 0 || errno != EINTR)
                m_controlOpen = false; // the device keeps running without control input
        }

        if (m_parser.hasPending() && nowMs() - m_lastInputMs >= kStaleInputMs) {
            logLine("INFO incomplete input dropped after " + QByteArray::number(kStaleInputMs)
                    + " ms: " + QByteArray::number(m_parser.pendingSize()) + " bytes");
            m_parser.clear();
        }
    }
    if (g_terminate)
        logLine("INFO terminated");
    m_line.close();
    return m_exitCode;
}

void Simulator::onLineData(const QByteArray &bytes)
{
    // The PC program may change the rate at any time; the rate in force when
    // the bytes arrive decides who listens.
    const int baud = m_line.baudRate();
    switchLineMode(baud);
    const LineMode mode = m_mode;
    m_lastInputMs = nowMs();

    switch (mode) {
    case LineMode::ParameterInterface:
        handleParameterInput(bytes);
        break;
    case LineMode::NamurOutput:
        handleNamurInput(bytes);
        break;
    case LineMode::BootLoader:
        handleBootLoaderInput(bytes);
        break;
    case LineMode::Unsupported:
        logLine("INFO ignored " + QByteArray::number(bytes.size()) + " bytes at "
                + QByteArray::number(baud) + " baud");
        break;
    }
}

void Simulator::handleParameterInput(const QByteArray &bytes)
{
    m_parser.feed(bytes);
    while (!m_finished && !g_terminate) {
        const std::optional<Request> request = m_parser.next();
        if (!request)
            break;
        handleRequest(*request);
    }
    if (const qsizetype dropped = m_parser.takeDropped())
        logLine("INFO dropped " + QByteArray::number(dropped) + " bytes without a command end");
}

void Simulator::handleNamurInput(const QByteArray &bytes)
{
    // The NAMUR output only talks.
    logLine("INFO ignored " + QByteArray::number(bytes.size()) + " bytes in NAMUR output mode");
}

void Simulator::setNamurOutput(bool fast, qint64 limit)
{
    m_namur = NamurOutput(fast, limit);
}

void Simulator::switchLineMode(int baud)
{
    const LineMode mode = lineModeForBaud(baud);
    if (mode == m_mode)
        return;
    const bool leftNamur = m_mode == LineMode::NamurOutput;
    m_mode = mode;
    m_parser.clear();
    logLine(QByteArray("MODE ") + lineModeName(mode) + ' ' + QByteArray::number(baud));
    if (mode == LineMode::NamurOutput) {
        m_namur.begin(nowMs());
    } else if (leftNamur) {
        logLine("INFO NAMUR output ended after " + QByteArray::number(m_namur.sentInSession()) + " telegrams");
        m_namur.end();
        // Telegrams still on their way at the old rate are lost, as on a real line.
        discardUnread(m_line.slavePath());
    }
}

int Simulator::namurWakeMs() const
{
    const int due = m_mode == LineMode::NamurOutput ? m_namur.msUntilDue(nowMs(), m_state) : -1;
    return due < 0 ? kLineWatchMs : qMin(due, kLineWatchMs);
}

void Simulator::serviceNamurOutput(bool lineWritable)
{
    switchLineMode(m_line.baudRate());
    if (m_mode != LineMode::NamurOutput || !m_namur.active())
        return;

    if (m_namur.fast()) {
        // Only what the line takes now: the loop must go on noticing a new
        // rate and control input while the PC program lags behind.
        const QByteArray &pending = lineWritable ? m_namur.fastPending(m_state) : QByteArray();
        if (!pending.isEmpty()) {
            const ssize_t n = ::write(m_line.masterFd(), pending.constData(), size_t(pending.size()));
            if (n > 0)
                m_namur.consumed(n);
        }
        if (m_namur.takeFinishedNotice())
            logLine("INFO NAMUR fast output done: " + QByteArray::number(m_namur.sentInSession()) + " telegrams");
        return;
    }

    const QByteArray due = m_namur.takeDue(nowMs(), m_state);
    if (due.isEmpty())
        return;
    if (m_line.send(due, tavik7::kNamurBaudRate, PtyLine::Pacing::Normal, &g_terminate))
        logLine("TX " + due.toHex());
    else if (!g_terminate)
        logLine("INFO NAMUR telegram not sent: the line is broken");
}

void Simulator::handleBootLoaderInput(const QByteArray &bytes)
{
    // The flash tool sends every command in one go; a rest of one that is
    // still waiting after a pause was broken off by a killed tool and must
    // not swallow the next session's first bytes.
    const qint64 now = nowMs();
    if (m_bootLoader.hasPendingInput() && now - m_bootLoaderInputMs >= kBootLoaderStaleInputMs) {
        logLine("INFO boot loader dropped an incomplete command");
        m_bootLoader.dropPendingInput();
    }
    m_bootLoaderInputMs = now;

    QList<BootLoader::Event> events;
    const QByteArray answer = m_bootLoader.feed(bytes, &events);
    bool sessionEnded = false;
    for (const BootLoader::Event &event : events) {
        logLine("BOOT " + event.description);
        sessionEnded = sessionEnded || event.sessionEnd;
    }
    if (!answer.isEmpty())
        sendAnswer(answer, m_quickAnswers ? PtyLine::Pacing::AtOnce : PtyLine::Pacing::Normal);

    // Leaving the boot loader starts the new firmware, which reports the
    // version its image carries from now on, also after a restart.
    if (!sessionEnded || !m_bootLoader.takeFlashChanged())
        return;
    const std::optional<quint16> version = firmwareVersionInImage(m_bootLoader.flash());
    if (!version) {
        logLine("INFO flashed image has no version marker; firmware version unchanged");
        return;
    }
    m_state.record.softwareVersion = *version;
    saveState();
    logLine("INFO firmware version " + QByteArray::number(*version) + " flashed");
}

void Simulator::handleRequest(const Request &request)
{
    if (!request.known) {
        // The device does not answer what it does not understand.
        logLine("RX ? " + request.raw.toHex());
        return;
    }
    if (request.command == Command::WriteParameters)
        logLine("RX SP " + request.raw.toHex());
    else
        logLine("RX " + escaped(request.raw));

    const FaultEffects effects = m_faults.take(request.command);
    const QStringList names = effects.names();
    if (!names.isEmpty())
        logLine("FAULT " + names.join(QLatin1Char(' ')).toLatin1());
    if (effects.hangup) {
        hangUp();
        return;
    }
    if (effects.silent) {
        logLine("INFO no answer");
        return;
    }

    QByteArray answer = effects.error ? kErrorAnswer : carryOut(request);
    if (effects.badCrc && !effects.error && request.command == Command::ReadParameters && !answer.isEmpty())
        answer[answer.size() - 1] = char(quint8(answer.back()) ^ 0xFF);
    if (effects.other)
        answer = "?\r\n";
    if (effects.padded && answer.endsWith("\r\n"))
        answer.insert(answer.size() - 2, ' ');
    if (effects.indented)
        answer.prepend(' ');
    if (effects.echo)
        answer.prepend(commandName(request.command).toLatin1() + ' ');
    if (effects.garbage)
        answer.prepend(kGarbage);

    // The device is busy meanwhile: later commands wait in the line.
    if (effects.late)
        QThread::msleep(kLateAnswerMs);
    // A disturbed answer keeps the line's pace: what trickles in after a
    // failure belongs to what a test of the failure checks.
    const bool quick = m_quickAnswers && names.isEmpty();
    PtyLine::Pacing pacing = quick ? PtyLine::Pacing::AtOnce : PtyLine::Pacing::Normal;
    if (effects.pieces)
        pacing = PtyLine::Pacing::Pieces;
    else if (effects.bytewise)
        pacing = PtyLine::Pacing::Bytewise;
    sendAnswer(answer, pacing);
}

QByteArray Simulator::carryOut(const Request &request)
{
    switch (request.command) {
    case Command::ReadParameters:
        return m_state.parameterAnswer();

    case Command::ReadCounter:
        return m_state.counterText() + "\r\n";

    case Command::WriteCounter: {
        const QByteArray &digits = request.argument;
        if (digits.isEmpty() || digits.size() > m_state.counterDigits() || !allDigits(digits))
            return kErrorAnswer;
        m_state.counter = digits.toULongLong();
        saveState();
        return digits + "\r\n";
    }

    case Command::WriteParameters: {
        const QByteArray &raw = request.raw;
        const tavik7::WriteTelegram telegram = tavik7::parseWriteTelegram(raw);
        if (!telegram.valid || raw.size() != tavik7::kWriteTelegramSize || !raw.endsWith("\r\n"))
            return kErrorAnswer;
        m_state.applyWrittenRecord(telegram.record);
        saveState();
        return kOkAnswer;
    }
    }
    return {};
}

void Simulator::sendAnswer(const QByteArray &answer, PtyLine::Pacing pacing)
{
    if (!m_line.send(answer, m_line.baudRate(), pacing, &g_terminate)) {
        if (!g_terminate)
            logLine("INFO answer not sent: the line is broken");
        return;
    }
    logLine("TX " + answer.toHex());
}

void Simulator::onControlData(const QByteArray &bytes)
{
    m_controlPending.append(bytes);
    for (;;) {
        const qsizetype end = m_controlPending.indexOf('\n');
        if (end < 0)
            break;
        QByteArray line = m_controlPending.left(end);
        m_controlPending.remove(0, end + 1);
        handleControlLine(line.trimmed());
        if (m_finished)
            return;
    }
    if (m_controlPending.size() > kMaxControlLine)
        m_controlPending.clear();
}

void Simulator::handleControlLine(const QByteArray &line)
{
    if (line.isEmpty())
        return;
    const qsizetype space = line.indexOf(' ');
    const QByteArray word = space < 0 ? line : line.left(space);
    const QString argument = space < 0 ? QString() : QString::fromUtf8(line.mid(space + 1)).trimmed();
    QString error;
    bool ok = true;

    if (word == "fault" || word == "fault-once") {
        ok = m_faults.add(argument, word == "fault-once", &error);
    } else if (word == "clear-faults" && argument.isEmpty()) {
        m_faults.clear();
    } else if (word == "set") {
        const int equals = argument.indexOf(QLatin1Char('='));
        if (equals < 0) {
            ok = false;
            error = QStringLiteral("set NAME=VALUE expected");
        } else {
            ok = m_state.setValue(argument.left(equals).trimmed(), argument.mid(equals + 1), &error);
            if (ok)
                saveState();
        }
    } else if (word == "state" && argument.isEmpty()) {
        for (const auto &[key, value] : m_state.values())
            logLine("STATE " + key.toUtf8() + '=' + value.toUtf8());
    } else if (word == "hangup" && argument.isEmpty()) {
        logLine("CTL OK " + line);
        hangUp();
        return;
    } else if (word == "quit" && argument.isEmpty()) {
        logLine("CTL OK " + line);
        m_finished = true;
        return;
    } else {
        ok = false;
        error = QStringLiteral("unknown control line (known: fault, fault-once, clear-faults, set, state, hangup, quit)");
    }

    if (ok)
        logLine("CTL OK " + line);
    else
        logLine("CTL ERROR " + line + ": " + error.toUtf8());
}

void Simulator::saveState()
{
    if (m_statePath.isEmpty())
        return;
    QString error;
    if (!m_state.save(m_statePath, &error)) {
        logLine("INFO state not saved: " + error.toUtf8());
        std::fprintf(stderr, "tavik7-devsim: state not saved: %s\n", qPrintable(error));
    }
}

void Simulator::hangUp()
{
    logLine("INFO hangup");
    m_line.close();
    m_finished = true;
    m_exitCode = 0;
}

} // namespace devsim
