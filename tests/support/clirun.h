#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStringList>

// Runs tavik7-cli (TAVIK7_CLI_PATH, set by the test's target) to its end:
// its exit code, -1 when it did not end within 30 s; output gets its stdout.
inline int runCli(const QStringList &arguments, QByteArray *output)
{
    QProcess cli;
    cli.start(QStringLiteral(TAVIK7_CLI_PATH), arguments);
    if (!cli.waitForFinished(30000))
        return -1;
    *output = cli.readAllStandardOutput();
    return cli.exitCode();
}
