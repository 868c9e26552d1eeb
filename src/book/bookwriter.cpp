#include "bookwriter.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>

#include <utility>

#include "booklocation.h"
#include "chainanchor.h"

namespace tavik7::book {

namespace {

// The writer process waits this long for the book beyond its busy time-out
// before the window, closing, gives up on it.
constexpr int kWriterExitGraceMs = 5000;

BookResult writerEnded()
{
    return {BookStatus::Failed, false, {}, QStringLiteral("%1 ended").arg(QLatin1String(kBookWriterProgram)), 0};
}

} // namespace

QByteArray resultToLine(const BookResult &result)
{
    const QJsonObject line{{QStringLiteral("status"), int(result.status)},
                           {QStringLiteral("recorded"), result.recorded},
                           {QStringLiteral("aside"), result.setAsidePath},
                           {QStringLiteral("detail"), result.detail},
                           {QStringLiteral("id"), QString::number(result.id)},
                           {QStringLiteral("outbox"), result.outbox},
                           {QStringLiteral("waiting"), QString::number(result.waiting)},
                           {QStringLiteral("outboxStatus"), int(result.outboxStatus)},
                           {QStringLiteral("outboxDetail"), result.outboxDetail}};
    return QJsonDocument(line).toJson(QJsonDocument::Compact);
}

QByteArray sentToLine(const OutboxSent &outcome)
{
    QJsonObject line = QJsonDocument::fromJson(resultToLine(outcome.result)).object();
    line.insert(QStringLiteral("sent"), QString::number(outcome.sent));
    line.insert(QStringLiteral("stillWaiting"), QString::number(outcome.waiting));
    return QJsonDocument(line).toJson(QJsonDocument::Compact);
}

bool sentFromLine(const QByteArray &line, OutboxSent *outcome)
{
    const QJsonObject object = QJsonDocument::fromJson(line).object();
    if (!object.contains(QStringLiteral("sent")))
        return false;
    outcome->result = resultFromLine(line);
    outcome->sent = object.value(QStringLiteral("sent")).toString().toLongLong();
    outcome->waiting = object.value(QStringLiteral("stillWaiting")).toString().toLongLong();
    return true;
}

BookResult resultFromLine(const QByteArray &line)
{
    const QJsonObject object = QJsonDocument::fromJson(line).object();
    const int status = object.value(QStringLiteral("status")).toInt(-1);
    const int outboxStatus = object.value(QStringLiteral("outboxStatus")).toInt(0);
    const auto known = [](int value) { return value >= int(BookStatus::Ok) && value <= int(BookStatus::BadLocation); };
    if (!known(status) || !known(outboxStatus))
        return writerEnded();
    BookResult result{BookStatus(status), object.value(QStringLiteral("recorded")).toBool(),
                      object.value(QStringLiteral("aside")).toString(), object.value(QStringLiteral("detail")).toString(),
                      object.value(QStringLiteral("id")).toString().toLongLong()};
    result.outbox = object.value(QStringLiteral("outbox")).toString();
    result.waiting = object.value(QStringLiteral("waiting")).toString().toLongLong();
    result.outboxStatus = BookStatus(outboxStatus);
    result.outboxDetail = object.value(QStringLiteral("outboxDetail")).toString();
    return result;
}

// ---------------------------------------------------------------- in the writer process

BookWriterProcess::BookWriterProcess(const QString &bookPath, const QString &changeHistoryPath, QObject *parent)
    : BookWriter(parent), m_bookPath(bookPath), m_changeHistoryPath(changeHistoryPath)
{
}

BookWriterProcess::~BookWriterProcess()
{
    if (!m_process)
        return;
    // Nobody is left to hear the results; the events themselves must land.
    disconnect(m_process, nullptr, this, nullptr);
    m_process->closeWriteChannel();
    if (!m_process->waitForFinished(kBookBusyTimeoutMs + kWriterExitGraceMs))
        m_process->kill();
}

QString BookWriterProcess::program()
{
    const QString beside =
        QStandardPaths::findExecutable(QLatin1String(kBookWriterProgram), {QCoreApplication::applicationDirPath()});
    if (!beside.isEmpty())
        return beside;
    const QString named = qEnvironmentVariable("TAVIK7_BOOKWRITER");
    return !named.isEmpty() && QFileInfo(named).isExecutable() ? named : QString();
}

bool BookWriterProcess::startProcess()
{
    const QString path = program();
    if (path.isEmpty())
        return false;
    m_process = new QProcess(this);
    m_process->setStandardErrorFile(QProcess::nullDevice());
    connect(m_process, &QProcess::readyReadStandardOutput, this, &BookWriterProcess::onOutput);
    connect(m_process, &QProcess::finished, this, &BookWriterProcess::onEnded);
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            onEnded();
    });
    // A password on the command line would show in every process list.
    QString location = m_bookPath;
    BookLocation server;
    QString complaint;
    if (isServerLocation(m_bookPath) && BookLocation::parse(m_bookPath, &server, &complaint)
        && !server.password.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PGPASSWORD"), server.password);
        m_process->setProcessEnvironment(environment);
        location = server.withoutPassword();
    }
    m_process->start(path, {location, m_changeHistoryPath});
    return true;
}

void BookWriterProcess::setBookPath(const QString &bookPath)
{
    m_bookPath = bookPath;
    if (!m_process)
        return;
    QProcess *old = std::exchange(m_process, nullptr);
    // Not this writer's child: a window closing meanwhile must not kill it mid-event.
    disconnect(old, nullptr, this, nullptr);
    old->setParent(nullptr);
    connect(old, &QProcess::finished, old, &QObject::deleteLater);
    old->closeWriteChannel();
    m_waiting = 0;
    m_partial.clear();
}

void BookWriterProcess::write(const BookEvent &event)
{
    if (!m_process && !startProcess()) {
        emit written({BookStatus::Failed, false, {},
                      QStringLiteral("%1 not found").arg(QLatin1String(kBookWriterProgram)), 0});
        return;
    }
    ++m_waiting;
    m_process->write(eventToLine(event) + '\n');
}

void BookWriterProcess::sendWaiting()
{
    if (!m_process && !startProcess()) {
        emit sent({{BookStatus::Failed, false, {}, QStringLiteral("%1 not found").arg(QLatin1String(kBookWriterProgram)), 0},
                   0, 0});
        return;
    }
    m_process->write(QByteArray(kSendWaitingLine) + '\n');
}

void BookWriterProcess::onOutput()
{
    m_partial += m_process->readAllStandardOutput();
    qsizetype end;
    while ((end = m_partial.indexOf('\n')) >= 0) {
        const QByteArray line = m_partial.left(end);
        m_partial.remove(0, end + 1);
        if (OutboxSent outcome; sentFromLine(line, &outcome)) {
            emit sent(outcome);
            continue;
        }
        if (m_waiting == 0)
            continue;
        --m_waiting;
        emit written(resultFromLine(line));
    }
}

void BookWriterProcess::onEnded()
{
    if (!m_process)
        return;
    onOutput();
    QProcess *ended = m_process;
    m_process = nullptr;
    disconnect(ended, nullptr, this, nullptr);
    ended->deleteLater();
    m_partial.clear();
    // Sent, but never answered: the book may or may not hold them, and the
    // user is told it missed them. The next event starts a new writer.
    for (; m_waiting > 0; --m_waiting)
        emit written(writerEnded());
}

} // namespace tavik7::book
