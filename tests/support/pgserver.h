#pragma once

// A PostgreSQL server of the test's own: initdb and pg_ctl in a temporary
// folder, on 127.0.0.1 and a free port, stopped when this object goes (also
// when a test failed). As root the server runs as the "postgres" user, as
// initdb refuses root. Role "book" logs in without a password (a superuser,
// for setting up); every other role needs its password.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "clirun.h"

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

class PgServer
{
public:
    ~PgServer() { stop(); }

    // Stops the server and starts it again on the same port, dropping
    // every connection as a restarted server does.
    bool restart(QString *log)
    {
        stop();
        return startServer(log);
    }

    // False with what went wrong (initdb's or pg_ctl's log) in log.
    bool start(QString *log)
    {
        const QString bin = binFolder();
        if (bin.isEmpty() || !m_dir.isValid())
            return fail(log, QStringLiteral("no initdb under /usr/lib/postgresql (postgresql-15)"));
        m_port = freePort();
        m_data = m_dir.filePath(QStringLiteral("data"));
        if (geteuid() == 0) {
            const passwd *pw = ::getpwnam("postgres");
            if (!pw || ::chown(QFile::encodeName(m_dir.path()).constData(), pw->pw_uid, pw->pw_gid) != 0)
                return fail(log, QStringLiteral("no \"postgres\" user to run the server as"));
        }
        QByteArray out;
        if (!run(bin + "/initdb", {"-D", m_data, "-U", "book", "-A", "trust", "-E", "UTF8", "--locale=C", "--no-sync"},
                 &out))
            return fail(log, QStringLiteral("initdb failed:\n") + QString::fromLocal8Bit(out));
        QFile hba(m_data + QStringLiteral("/pg_hba.conf"));
        if (!hba.open(QIODevice::WriteOnly | QIODevice::Truncate)
            || hba.write("local all all trust\nhost all book 127.0.0.1/32 trust\n"
                         "host all all 127.0.0.1/32 scram-sha-256\n") < 0)
            return fail(log, QStringLiteral("pg_hba.conf cannot be written"));
        hba.close();
        return startServer(log);
    }

    void stop()
    {
        if (!m_running)
            return;
        m_running = false;
        QByteArray out;
        run(binFolder() + "/pg_ctl", {"-D", m_data, "-m", "immediate", "-w", "stop"}, &out);
    }

    // SIGSTOP or SIGCONT to the server and every process of it: stopped, it
    // keeps its connections open and answers nothing, as a server that hangs.
    bool signalAll(int signal) const
    {
        QFile pidFile(m_data + QStringLiteral("/postmaster.pid"));
        const pid_t server = pidFile.open(QIODevice::ReadOnly) ? pidFile.readLine().trimmed().toInt() : 0;
        if (server <= 0 || ::kill(server, signal) != 0)
            return false;
        for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
            // "pid (name) state ppid ...": the name may hold spaces, not ")".
            const QByteArray line = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
            if (entry.toInt() > 0 && line.mid(line.lastIndexOf(')') + 2).split(' ').value(1).toInt() == server)
                ::kill(entry.toInt(), signal);
        }
        return true;
    }

    [[nodiscard]] int port() const { return m_port; }
    [[nodiscard]] QString url(const QString &database, const QString &userInfo = QStringLiteral("book")) const
    {
        return QStringLiteral("postgresql://%1@127.0.0.1:%2/%3").arg(userInfo).arg(m_port).arg(database);
    }

private:
    bool startServer(QString *log)
    {
        const QString bin = binFolder();
        QByteArray out;
        const QString logFile = m_dir.filePath(QStringLiteral("server.log"));
        const QString options = QStringLiteral("-h 127.0.0.1 -p %1 -k %2 -F -c max_connections=60").arg(m_port).arg(m_dir.path());
        if (!run(bin + "/pg_ctl", {"-D", m_data, "-l", logFile, "-o", options, "-w", "-t", "30", "start"}, &out)) {
            QFile serverLog(logFile);
            serverLog.open(QIODevice::ReadOnly);
            return fail(log, QStringLiteral("pg_ctl start failed:\n") + QString::fromLocal8Bit(out + serverLog.readAll()));
        }
        m_running = true;
        return true;
    }

public:
    // A new database made a book by "book init"; the first error, if any.
    QString initBook(const QString &name,
                     const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment()) const
    {
        if (QString error = sql(QStringLiteral("postgres"), {QStringLiteral("CREATE DATABASE %1").arg(name)});
            !error.isEmpty())
            return error;
        const CliRun run = cli(bookArguments(url(name), {QStringLiteral("init")}), environment);
        return run.exitCode == 0 ? QString() : QString::fromUtf8(run.err);
    }

    // Runs statements as the superuser "book" in database; the first error, if any.
    QString sql(const QString &database, const QStringList &statements) const
    {
        QString error;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("pgserver-admin"));
            db.setHostName(QStringLiteral("127.0.0.1"));
            db.setPort(m_port);
            db.setDatabaseName(database);
            db.setUserName(QStringLiteral("book"));
            if (!db.open()) {
                error = db.lastError().text();
            } else {
                QSqlQuery q(db);
                for (const QString &statement : statements) {
                    if (!q.exec(statement)) {
                        error = statement + QStringLiteral(": ") + q.lastError().text();
                        break;
                    }
                }
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("pgserver-admin"));
        return error;
    }

private:
    static QString binFolder()
    {
        for (const char *version : {"15", "16", "17", "14", "13"}) {
            const QString folder = QStringLiteral("/usr/lib/postgresql/%1/bin").arg(QLatin1String(version));
            if (QFile::exists(folder + QStringLiteral("/initdb")))
                return folder;
        }
        return {};
    }

    static int freePort()
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        int port = 0;
        if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
            && ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
            port = ntohs(address.sin_port);
        ::close(fd);
        return port;
    }

    // As the postgres user when root, else as this user.
    static bool run(const QString &program, const QStringList &arguments, QByteArray *output)
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setWorkingDirectory(QDir::tempPath());
        if (geteuid() == 0)
            process.start("runuser", QStringList{"-u", "postgres", "--", program} + arguments);
        else
            process.start(program, arguments);
        const bool ended = process.waitForFinished(60000);
        *output = process.readAll();
        return ended && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    static bool fail(QString *log, const QString &why)
    {
        *log = why;
        return false;
    }

    QTemporaryDir m_dir;
    QString m_data;
    int m_port = 0;
    bool m_running = false;
};
