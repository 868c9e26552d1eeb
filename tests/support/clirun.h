#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QStringList>

// tavik7-cli (TAVIK7_CLI_PATH, set by the test's target) run as a process.
struct CliRun
{
    int exitCode = -1; // -1: it did not end in time, or died of a signal
    QByteArray out;
    QByteArray err;
};

inline QProcess *startCli(const QStringList &arguments, const QProcessEnvironment &environment,
                          QObject *parent = nullptr)
{
    auto *process = new QProcess(parent);
    process->setProcessEnvironment(environment);
    process->start(QStringLiteral(TAVIK7_CLI_PATH), arguments);
    return process;
}

inline CliRun finishCli(QProcess &process, int timeoutMs = 30000)
{
    CliRun result;
    // A run beside others may have ended already, while starting a simulator
    // ran the event loop; waitForFinished() would call that a failure.
    const bool ended = process.state() == QProcess::NotRunning ? process.error() != QProcess::FailedToStart
                                                               : process.waitForFinished(timeoutMs);
    if (ended && process.exitStatus() == QProcess::NormalExit)
        result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

inline CliRun cli(const QStringList &arguments,
                  const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(TAVIK7_CLI_PATH), arguments);
    return finishCli(process);
}

// Its exit code, -1 when it did not end within 30 s; output gets its stdout.
inline int runCli(const QStringList &arguments, QByteArray *output)
{
    const CliRun run = cli(arguments);
    *output = run.out;
    return run.exitCode;
}

// --book LOCATION book COMMAND...
inline QStringList bookArguments(const QString &location, const QStringList &command)
{
    return QStringList{QStringLiteral("--book"), location, QStringLiteral("book")} + command;
}

// One object per line of --json output.
inline QList<QJsonObject> jsonLines(const QByteArray &out)
{
    QList<QJsonObject> objects;
    for (const QByteArray &line : out.trimmed().split('\n')) {
        if (!line.isEmpty())
            objects.append(QJsonDocument::fromJson(line).object());
    }
    return objects;
}

// The last of book history --json's events with this action.
inline QJsonObject lastEvent(const QByteArray &history, const QString &action)
{
    QJsonObject found;
    for (const QJsonObject &event : jsonLines(history)) {
        if (event.value(QStringLiteral("action")).toString() == action)
            found = event;
    }
    return found;
}
