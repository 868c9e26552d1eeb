#include "jobrunner.h"

#include <QDeadlineTimer>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "clitexts.h"
#include "commandline.h"
#include "deviceoutput.h"
#include "exitcodes.h"
#include "exitwords.h"
#include "portjob.h"
#include "terminationsignal.h"

namespace tavik7::cli {

JobRunner::JobRunner(const CliOptions &options, QObject *parent)
    : QObject(parent)
    , m_language(options.language)
    , m_json(options.json)
    , m_quiet(options.quiet)
    , m_waitSeconds(options.waitSeconds)
{
}

// --wait: a port that is not there yet (an adapter still being plugged in)
// is looked for until the time is up; then the job finds it, or fails as a
// missing port.
void JobRunner::startWhenPresent(int index)
{
    PortJob *job = m_slots.at(index).job;
    if (m_waitSeconds <= 0 || classifyPortPath(job->port()) != PortPath::Missing) {
        job->start();
        return;
    }
    take(index, cliText(CliText::WaitingForPort, m_language).arg(m_waitSeconds).toLocal8Bit(), true);
    auto *poll = new QTimer(this);
    const QDeadlineTimer deadline(qint64(m_waitSeconds) * 1000);
    connect(poll, &QTimer::timeout, this, [job, poll, deadline] {
        if (job->isFinished()) { // interrupted meanwhile
            poll->deleteLater();
            return;
        }
        if (classifyPortPath(job->port()) == PortPath::Missing && !deadline.hasExpired())
            return;
        poll->deleteLater();
        job->start();
    });
    poll->start(kPortPollMs);
}

void JobRunner::add(PortJob *job)
{
    job->setParent(this);
    const int index = int(m_slots.size());
    Slot slot;
    slot.job = job;
    slot.port = job->port();
    m_slots.append(slot);
    connect(job, &PortJob::standardOutput, this, [this, index](const QByteArray &bytes) { take(index, bytes, false); });
    connect(job, &PortJob::diagnostics, this, [this, index](const QByteArray &bytes) { take(index, bytes, true); });
    connect(job, &PortJob::bookNotice, this, [this, index](const QByteArray &bytes) {
        m_slots[index].bookNotice += bytes;
        take(index, bytes, true);
    });
    connect(job, &PortJob::finished, this, [this, index] { onFinished(index); });
}

void JobRunner::addRefused(const QString &port, int exitCode, const QString &error, const QString &message)
{
    Slot slot;
    slot.port = port;
    slot.refusedExitCode = exitCode;
    slot.ended = true;
    slot.diagnostics = QStringLiteral("tavik7-cli: %1: %2\n").arg(port, message).toLocal8Bit();
    if (m_json)
        slot.standardOutput = failureJsonLine(port, error, exitCode, message);
    m_slots.append(slot);
    ++m_finished;
}

int JobRunner::run()
{
    platform::TerminationSignal termination;
    connect(&termination, &platform::TerminationSignal::received, this, [this] {
        for (const Slot &slot : std::as_const(m_slots)) {
            if (slot.job)
                slot.job->interrupt();
        }
    });
    m_progress = m_slots.size() > 1 && platform::isTerminal(2);
    drawProgress();
    for (int index = 0; index < m_slots.size(); ++index) {
        if (m_slots.at(index).job)
            startWhenPresent(index);
    }
    passOn();
    if (m_finished < m_slots.size())
        m_loop.exec();
    eraseProgress();
    int exitCode = m_outputFailed ? int(ExitOutput) : int(ExitDone);
    for (const Slot &slot : std::as_const(m_slots))
        exitCode = qMax(exitCode, JobRunner::exitCode(slot));
    return exitCode;
}

bool JobRunner::isFinished(const Slot &slot)
{
    return slot.ended;
}

int JobRunner::exitCode(const Slot &slot)
{
    return slot.job ? slot.job->exitCode() : slot.refusedExitCode;
}

// Every line on stderr names the program and the port, also the lines of a
// message that runs over several; avrdude's redrawn progress bars excepted.
QByteArray JobRunner::framed(Slot &slot, const QByteArray &bytes)
{
    const QByteArray prefix = QStringLiteral("tavik7-cli: %1: ").arg(slot.port).toLocal8Bit();
    if (bytes.contains('\r'))
        return bytes;
    QByteArray text;
    for (const QByteArray &line : bytes.split('\n')) {
        if (line.isEmpty())
            continue;
        const QByteArray message = line.startsWith(prefix) ? line.mid(prefix.size()) : line;
        slot.lastMessage = QString::fromLocal8Bit(message);
        text += prefix + message + '\n';
    }
    return text;
}

void JobRunner::take(int index, const QByteArray &bytes, bool diagnostic)
{
    Slot &slot = m_slots[index];
    const QByteArray text = diagnostic ? framed(slot, bytes) : bytes;
    slot.printed = slot.printed || !diagnostic;
    // --quiet: a port's lines on stderr wait for its end, and go only if it failed.
    if (index == m_next && !(diagnostic && m_quiet)) {
        put(index, text, diagnostic);
        return;
    }
    (diagnostic ? slot.diagnostics : slot.standardOutput).append(text);
}

void JobRunner::onFinished(int index)
{
    ++m_finished;
    Slot &slot = m_slots[index];
    slot.ended = true;
    const int code = exitCode(slot);
    // A book that missed the work is no success to keep quiet about.
    if (m_quiet && code == ExitDone)
        slot.diagnostics = slot.bookNotice.isEmpty() ? QByteArray() : framed(slot, slot.bookNotice);
    if (m_json && code != ExitDone && !slot.printed) {
        const QByteArray line = failureJsonLine(slot.port, errorWord(code, slot.port, slot.job->openFailure()), code, slot.lastMessage);
        take(index, slot.job->bookMissed().isEmpty() ? line : withBookMissed(line, slot.job->bookMissed(), slot.job->bookKept()), false);
    }
    passOn();
    drawProgress();
    if (m_finished == m_slots.size())
        m_loop.quit();
}

void JobRunner::passOn()
{
    while (m_next < m_slots.size()) {
        Slot &slot = m_slots[m_next];
        const bool finished = isFinished(slot);
        if (finished || !m_quiet) {
            put(m_next, slot.diagnostics, true);
            slot.diagnostics.clear();
        }
        put(m_next, slot.standardOutput, false);
        slot.standardOutput.clear();
        if (!finished)
            return;
        ++m_next;
    }
}

void JobRunner::put(int index, const QByteArray &bytes, bool diagnostic)
{
    if (bytes.isEmpty() || (!diagnostic && m_outputFailed))
        return;
    // A device's output opens with the empty line that separates it from the
    // one before; with nothing before (the first port failed) it is left out.
    const QByteArray text = !diagnostic && !m_anyOutput && bytes.startsWith('\n') ? bytes.mid(1) : bytes;
    if (text.isEmpty())
        return;
    m_anyOutput = m_anyOutput || !diagnostic;
    eraseProgress();
    FILE *stream = diagnostic ? stderr : stdout;
    errno = 0;
    const bool written = std::fwrite(text.constData(), 1, size_t(text.size()), stream) == size_t(text.size());
    if ((std::fflush(stream) != 0 || !written) && !diagnostic)
        outputFailed(index, errno);
    drawProgress();
}

// The devices' work goes on: a write already decided is finished and
// recorded, only its lines are lost, and the exit code says so.
void JobRunner::outputFailed(int index, int error)
{
    m_outputFailed = true;
    std::clearerr(stdout);
    const QString reason = error != 0 ? QString::fromLocal8Bit(std::strerror(error)) : QString();
    const QString line = QStringLiteral("tavik7-cli: %1: %2 (%3)\n")
                             .arg(m_slots.at(index).port, cliText(CliText::OutputFailed, m_language), reason);
    const QByteArray bytes = line.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

void JobRunner::drawProgress()
{
    if (!m_progress || m_finished == m_slots.size())
        return;
    const QByteArray line = QStringLiteral("tavik7-cli: ")
                                .append(cliText(CliText::DevicesDone, m_language)
                                            .arg(m_finished)
                                            .arg(m_slots.size()))
                                .toLocal8Bit();
    std::fprintf(stderr, "\r%s", line.constData());
    std::fflush(stderr);
    m_progressWidth = int(line.size());
}

void JobRunner::eraseProgress()
{
    if (m_progressWidth == 0)
        return;
    // Blanks rather than an escape sequence: every console understands them.
    std::fprintf(stderr, "\r%*s\r", m_progressWidth, "");
    std::fflush(stderr);
    m_progressWidth = 0;
}

} // namespace tavik7::cli
