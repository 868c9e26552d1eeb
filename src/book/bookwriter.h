#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include "bookevent.h"
#include "devicebook.h"
#include "outbox.h"

class QProcess;

namespace tavik7::book {

// Where a front end's events go. Each event written gets exactly one
// written() with its result, in the order the events were written.
class BookWriter : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual void write(const BookEvent &event) = 0;
    [[nodiscard]] virtual QString bookPath() const = 0;
    // Sends the events waiting in the outbox for this book; sent() tells
    // how that went. Events written go along by themselves.
    virtual void sendWaiting() = 0;

signals:
    void written(const tavik7::book::BookResult &result);
    void sent(const tavik7::book::OutboxSent &outcome);
};

// The book in a small process of its own, tavik7-bookwriter beside this
// program: the window never holds the book open. SQLite's locks belong to a
// process, and any descriptor on the book that the window closes (a file
// dialog peeking at the folder) would drop them; another program could then
// remove the journal the window still writes into. The window also goes on
// while another program holds the book's write lock: results come later.
class BookWriterProcess : public BookWriter
{
    Q_OBJECT

public:
    BookWriterProcess(const QString &bookPath, const QString &changeHistoryPath, QObject *parent = nullptr);
    // Waits for the events still on their way, up to the busy time-out.
    ~BookWriterProcess() override;

    void write(const BookEvent &event) override;
    [[nodiscard]] QString bookPath() const override { return m_bookPath; }
    // The events from now on go to bookPath. Those given to the writer of the
    // old location still land there, their results no longer heard.
    void setBookPath(const QString &bookPath);
    void sendWaiting() override;
    // Events written whose result has not come yet.
    [[nodiscard]] int waiting() const { return m_waiting; }

    // tavik7-bookwriter next to the running program, else the one named by
    // TAVIK7_BOOKWRITER (the build tree's tests); empty when there is none.
    [[nodiscard]] static QString program();

private:
    bool startProcess();
    void onOutput();
    void onEnded();

    QString m_bookPath;
    QString m_changeHistoryPath;
    QProcess *m_process = nullptr;
    QByteArray m_partial;
    int m_waiting = 0;
};

inline constexpr char kBookWriterProgram[] = "tavik7-bookwriter";

// The writer process's answer to one event, as one line.
[[nodiscard]] QByteArray resultToLine(const BookResult &result);
[[nodiscard]] BookResult resultFromLine(const QByteArray &line);
// What the writer process reads as sendWaiting(), and its answer.
inline constexpr char kSendWaitingLine[] = "send-waiting";
[[nodiscard]] QByteArray sentToLine(const OutboxSent &outcome);
// False when line is an event's result rather than a sending's.
[[nodiscard]] bool sentFromLine(const QByteArray &line, OutboxSent *outcome);

} // namespace tavik7::book

Q_DECLARE_METATYPE(tavik7::book::BookResult)
Q_DECLARE_METATYPE(tavik7::book::OutboxSent)

// The book in this process, declared apart: a program that only hands its
// events to the writer process then links no database code.
#include "directbookwriter.h"
