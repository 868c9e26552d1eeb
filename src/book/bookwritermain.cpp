// tavik7-bookwriter BOOK CHANGEHISTORY: the window's events into the device
// book. One event per line on stdin (eventToLine()), one result per line on
// stdout once the event is committed, kept in the outbox or missed; a line
// "send-waiting" sends the outbox's events and answers with one line too.
// Ends when stdin closes.

#include <QCoreApplication>
#include <QFile>

#include <csignal>
#include <cstdio>

#include "bookwriter.h"

using namespace tavik7::book;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3)
        return 1;
#ifdef SIGPIPE
    // A window gone is no reason to give up the events it sent before.
    std::signal(SIGPIPE, SIG_IGN);
#endif
#ifdef SIGHUP
    std::signal(SIGHUP, SIG_IGN);
#endif
    QFile in;
    QFile out;
    if (!in.open(stdin, QIODevice::ReadOnly) || !out.open(stdout, QIODevice::WriteOnly))
        return 1;
    DirectBookWriter writer(args.at(1), args.at(2), FrontEnd::Window);
    QObject::connect(&writer, &BookWriter::written, &writer, [&out](const BookResult &result) {
        out.write(resultToLine(result) + '\n');
        out.flush();
    });
    QObject::connect(&writer, &BookWriter::sent, &writer, [&out](const OutboxSent &outcome) {
        out.write(sentToLine(outcome) + '\n');
        out.flush();
    });
    while (true) {
        const QByteArray line = in.readLine();
        if (line.isEmpty())
            break;
        BookEvent event;
        if (line.trimmed() == kSendWaitingLine)
            writer.sendWaiting();
        else if (eventFromLine(line.trimmed(), &event))
            writer.write(event);
        else
            emit writer.written({BookStatus::Failed, false, {}, QStringLiteral("unreadable event"), 0});
    }
    return 0;
}
