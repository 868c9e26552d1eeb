#include "devsim.h"

#include <QtTest>

#ifndef TAVIK7_DEVSIM_PATH
#error "Give the test target TAVIK7_DEVSIM_PATH=\"$<TARGET_FILE:tavik7-devsim>\""
#endif

namespace {

constexpr int kStartTimeoutMs = 5000;
constexpr int kKillTimeoutMs = 2000;

} // namespace

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

QStringList DevSim::commands()
{
    QStringList names;
    for (const QString &line : received())
        names.append(line.section(QLatin1Char(' '), 1, 1));
    return names;
}

QStringList DevSim::lines(const QString &prefix)
{
    readOutput();
    QStringList found;
    for (const QString &line : std::as_const(m_lines)) {
        if (line.startsWith(prefix))
            found.append(line);
    }
    return found;
}

void DevSim::clearLog()
{
    readOutput();
    m_lines.clear();
}

bool DevSim::waitForLines(const QString &prefix, int count, int timeoutMs)
{
    return QTest::qWaitFor([&] { return lines(prefix).size() >= count; }, timeoutMs);
}

bool DevSim::control(const QByteArray &line, int timeoutMs)
{
    if (m_process.state() != QProcess::Running)
        return false;
    const QString ack = QStringLiteral("CTL ");
    const qsizetype before = lines(ack).size();
    m_process.write(line + '\n');
    if (!waitForLines(ack, int(before) + 1, timeoutMs))
        return false;
    return lines(ack).at(before).startsWith(QLatin1String("CTL OK "));
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
