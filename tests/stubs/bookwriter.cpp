// bookwriter BOOK WRITER COUNT: records COUNT events for serial number
// "W<WRITER>" (counter = the event's number) and prints "done WRITER N" once
// event N is committed, as a front end reports an action done.

#include <QCoreApplication>
#include <QDateTime>

#include <cstdio>

#include "devicebook.h"

using namespace tavik7::book;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4)
        return 1;
    DeviceBook book;
    if (!book.open(args.at(1)).recorded)
        return 2;
    for (int n = 0; n < args.at(3).toInt(); ++n) {
        BookEvent event;
        event.timeMs = QDateTime::currentMSecsSinceEpoch();
        event.action = BookAction::SetCounter;
        event.serialNumber = QStringLiteral("W") + args.at(2);
        event.counter = QString::number(n);
        const BookResult result = book.record(event);
        if (!result.recorded) {
            std::printf("missed %s\n", qPrintable(bookStatusText(result.status, 1) + QLatin1Char(' ') + result.detail));
            return 3;
        }
        std::printf("done %s %d\n", qPrintable(args.at(2)), n);
        std::fflush(stdout);
    }
    return 0;
}
