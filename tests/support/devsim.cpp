#include "devsim.h"

#include <QtTest>

#ifndef TAVIK7_DEVSIM_PATH
#error "Give the test target TAVIK7_DEVSIM_PATH=\"$<TARGET_FILE:tavik7-devsim>\""
#endif

namespace {

constexpr int kStartTimeoutMs = 5000;
constexpr int kKillTimeoutMs = 2000;

} // namespace

DevSim::DevSim()
{
    // The simulator's complaints belong in the test output.
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

DevSim::~DevSim()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(kKillTimeoutMs);
    }
}

bool DevSim::start(const QStringList &args)
{
    m_partial.clear();
    m_lines.clear();
    m_portPath.clear();
    m_error.clear();

    m_process.start(QString::fromUtf8(TAVIK7_DEVSIM_PATH), args);
    if (!m_process.waitForStarted(kStartTimeoutMs)) {
        m_error = QStringLiteral("tavik7-devsim did not start: %1").arg(m_process.errorString());
        return false;
    }
    const bool gotPath = QTest::qWaitFor(
        [this] {
            readOutput();
            return !m_lines.isEmpty() || m_process.state() == QProcess::NotRunning;
        },
        kStartTimeoutMs);
    if (!gotPath || m_lines.isEmpty()) {
        m_error = QStringLiteral("tavik7-devsim gave no port path (exit code %1)").arg(m_process.exitCode());
        return false;
    }
    m_portPath = m_lines.takeFirst();
    return true;
}

void DevSim::readOutput()
{
    // Picks up what the pipe holds even where no event has told QProcess yet.
    if (m_process.state() == QProcess::Running)
        m_process.waitForReadyRead(0);
    m_partial += m_process.readAllStandardOutput();
    qsizetype end;
    while ((end = m_partial.indexOf('\n')) >= 0) {
        m_lines.append(QString::fromUtf8(m_partial.left(end)));
        m_partial.remove(0, end + 1);
    }
}

QStringList DevSim::received()
{
    readOutput();
    QStringList rx;
    for (const QString &line : std::as_const(m_lines)) {
        if (line.startsWith(QLatin1String("RX ")))
            rx.append(line);
    }
    return rx;
}

void DevSim::clearLog()
{
    readOutput();
    m_lines.clear();
}

int DevSim::lineCount(const QString &prefix)
{
    readOutput();
    int count = 0;
    for (const QString &line : std::as_const(m_lines)) {
        if (line.startsWith(prefix))
            ++count;
    }
    return count;
}

bool DevSim::waitForReceived(int count, int timeoutMs)
{
    return waitForLines(QStringLiteral("RX "), count, timeoutMs);
}

bool DevSim::waitForSent(int count, int timeoutMs)
{
    return waitForLines(QStringLiteral("TX "), count, timeoutMs);
}

bool DevSim::waitForLine(const QString &prefix, int timeoutMs)
{
    return waitForLines(prefix, 1, timeoutMs);
}

QStringList DevSim::sent()
{
    readOutput();
    QStringList tx;
    for (const QString &line : std::as_const(m_lines)) {
        if (line.startsWith(QLatin1String("TX ")))
            tx.append(line);
    }
    return tx;
}

bool DevSim::waitForLines(const QString &prefix, int count, int timeoutMs)
{
    return QTest::qWaitFor([&] { return lineCount(prefix) >= count; }, timeoutMs);
}

bool DevSim::control(const QByteArray &line, int timeoutMs)
{
    if (m_process.state() != QProcess::Running)
        return false;
    const QString ack = QStringLiteral("CTL ");
    const int before = lineCount(ack);
    m_process.write(line + '\n');
    if (!waitForLines(ack, before + 1, timeoutMs))
        return false;
    int seen = 0;
    for (const QString &l : std::as_const(m_lines)) {
        if (l.startsWith(ack) && ++seen == before + 1)
            return l.startsWith(QLatin1String("CTL OK "));
    }
    return false;
}

bool DevSim::waitForFinished(int timeoutMs)
{
    return QTest::qWaitFor(
        [this] {
            readOutput();
            return m_process.state() == QProcess::NotRunning;
        },
        timeoutMs);
}
