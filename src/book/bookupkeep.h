#pragma once

#include <QObject>
#include <QString>

#include "devicebook.h"

class QThread;
class QTimer;

namespace tavik7::book {

class BookWriterProcess;

// The events this workstation's outbox keeps for a book on a server, sent
// through a writer process of its own, again every few seconds while some
// wait: whoever shows the count never waits for the server.
class WaitingEvents : public QObject
{
    Q_OBJECT

public:
    explicit WaitingEvents(const QString &location, QObject *parent = nullptr);

    void setLocation(const QString &location);
    // Counts the events waiting and, when some do, sends them now.
    void check();
    [[nodiscard]] qint64 count() const { return m_count; }
    void setRetryIntervalMs(int ms);

signals:
    void counted(qint64 waiting);

private:
    void take(qint64 waiting);

    QString m_location;
    BookWriterProcess *m_sender;
    QTimer *m_again;
    qint64 m_count = 0;
};

// A book's chain verified as `tavik7-cli book verify` does it, with this
// workstation's anchor, on a thread and connection of its own: two million
// events take tens of seconds.
class ChainCheck : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    // Stops a check still running and waits for its thread, which reads the
    // book: closing the window must not wait out millions of events.
    ~ChainCheck() override;

    // False, nothing started, while a check runs.
    bool start(const QString &location);
    [[nodiscard]] bool running() const { return m_thread != nullptr; }

signals:
    void finished(const tavik7::book::VerifyResult &verified);

private:
    QThread *m_thread = nullptr;
    std::shared_ptr<std::atomic<bool>> m_stop;
};

} // namespace tavik7::book
