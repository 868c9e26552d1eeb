// tavik7-bookgen LOCATION DEVICES EVENTS: fills a device book (a file, or a
// server's database, made a book first) with generated devices and events in
// big transactions, then times the book's reads on it.
// Figures only; nothing here asserts a time.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSqlQueryModel>

#include <algorithm>
#include <cstdio>

#include "booklocation.h"
#include "devicebook.h"

using namespace tavik7::book;

namespace {

constexpr qint64 kStartMs = 1577836800000; // 2020-01-01
constexpr qint64 kSpanMs = 6LL * 365 * 24 * 3600 * 1000;
constexpr int kRecordSamples = 200;

QString serialOf(int device)
{
    return QString::number(100000000 + device);
}

void fillEvent(BookEvent &event, qint64 n, qint64 total, int devices, QRandomGenerator &random)
{
    const int device = int(random.bounded(devices));
    event = BookEvent();
    event.timeMs = kStartMs + kSpanMs * n / total;
    event.frontEnd = random.bounded(2) ? FrontEnd::Window : FrontEnd::Cli;
    event.user = QStringLiteral("service");
    event.port = QStringLiteral("/dev/ttyUSB%1").arg(random.bounded(4));
    event.manufacturer = QStringLiteral("KL%1").arg(QChar(u'A' + device % 3));
    event.deviceType = QStringLiteral("T7-%1").arg(device % 50, 2, 10, QLatin1Char('0'));
    event.serialNumber = serialOf(device);
    const int kind = int(random.bounded(20));
    if (kind < 10) {
        event.action = BookAction::Read;
        event.softwareVersion = QStringLiteral("1.12");
        event.counter = QStringLiteral("%1").arg(n % 1000000000, 9, 10, QLatin1Char('0'));
    } else if (kind < 15) {
        event.action = BookAction::Write;
        event.changes = {{QStringLiteral("direction"), QStringLiteral("0"), QStringLiteral("1")},
                         {QStringLiteral("baudRate"), QStringLiteral("2"), QStringLiteral("4")}};
    } else if (kind < 18) {
        event.action = BookAction::SetCounter;
        event.changes = {{QStringLiteral("counter"), QStringLiteral("000012345"), QStringLiteral("000000000")}};
    } else {
        event.action = kind == 18 ? BookAction::Flash : BookAction::Report;
        event.file = kind == 18 ? QStringLiteral("/srv/firmware/tavik7_v1_12.hex") : QStringLiteral("/home/service/report.pdf");
        event.sha256 = QStringLiteral("9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08");
        event.status = random.bounded(10) ? QStringLiteral("ok") : QStringLiteral("noAnswer");
    }
}

double elapsedMs(const QElapsedTimer &timer)
{
    return timer.nsecsElapsed() / 1e6;
}

void measure(DeviceBook &book, int devices)
{
    const QString serial = serialOf(devices / 2);
    QElapsedTimer timer;
    timer.start();
    const qsizetype events = book.history(serial).size();
    std::printf("history %s: %lld events in %.1f ms\n", qPrintable(serial), qint64(events), elapsedMs(timer));
    const QString prefix = serial.left(6);
    timer.start();
    const qsizetype found = book.devices(prefix).size();
    std::printf("devices --serial %s: %lld devices in %.1f ms\n", qPrintable(prefix), qint64(found), elapsedMs(timer));
    timer.start();
    QSqlQueryModel model;
    model.setQuery(book.deviceSearchQuery(serial.mid(2, 5)));
    std::printf("window search \"%s\": %d rows shown in %.1f ms\n", qPrintable(serial.mid(2, 5)), model.rowCount(),
                elapsedMs(timer));
}

void measureRecording(DeviceBook &book, int devices)
{
    QList<double> samples;
    QRandomGenerator random(7);
    for (int i = 0; i < kRecordSamples; ++i) {
        BookEvent event;
        fillEvent(event, i, kRecordSamples, devices, random);
        QElapsedTimer timer;
        timer.start();
        book.record(event);
        samples.append(elapsedMs(timer));
    }
    std::sort(samples.begin(), samples.end());
    std::printf("record one event: median %.2f ms, 90th percentile %.2f ms\n", samples.at(kRecordSamples / 2),
                samples.at(kRecordSamples * 9 / 10));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    // EVENTS 0 adds nothing: the reads are timed on the book as it is.
    if (args.size() != 4 || args.at(2).toInt() <= 0 || args.at(3).toLongLong() < 0) {
        std::fprintf(stderr, "usage: tavik7-bookgen LOCATION DEVICES EVENTS\n");
        return 1;
    }
    const int devices = args.at(2).toInt();
    const qint64 total = args.at(3).toLongLong();
    const QString location = args.at(1);
    DeviceBook book;
    const BookResult opened = isServerLocation(location) ? book.initServer(location) : book.open(location);
    if (!opened.recorded) {
        std::fprintf(stderr, "tavik7-bookgen: cannot open %s: %s\n", qPrintable(locationText(location)),
                     qPrintable(bookStatusText(opened.status, 1) + QLatin1Char(' ') + opened.detail));
        return 1;
    }
    QRandomGenerator random(1);
    qint64 n = 0;
    QElapsedTimer timer;
    timer.start();
    // Commits now and then, so that a server's work shows as it goes.
    const qint64 batch = 100000;
    BookResult filled{BookStatus::Ok, true, {}, {}, 0};
    while (filled.status == BookStatus::Ok && n < total) {
        const qint64 end = qMin(total, n + batch);
        filled = book.recordAll([&](BookEvent &event) {
            if (n >= end)
                return false;
            fillEvent(event, n++, total, devices, random);
            return true;
        });
        std::fprintf(stderr, "\r%lld events, %.0f s", n, elapsedMs(timer) / 1000);
    }
    std::fprintf(stderr, "\n");
    if (total > 0) {
        std::printf("generated %lld events for up to %d devices in %.1f s: %s\n", n, devices, elapsedMs(timer) / 1000,
                    qPrintable(bookStatusText(filled.status, 1) + QLatin1Char(' ') + filled.detail));
        if (!book.isServer()) {
            book.database().exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
            const qint64 bytes = QFileInfo(location).size();
            std::printf("file %lld bytes: %.0f bytes per event\n", bytes, double(bytes) / double(n));
        } else {
            // The planner needs the new rows' statistics before the reads are timed.
            book.database().exec(QStringLiteral("ANALYZE"));
        }
    }
    measure(book, devices);
    measureRecording(book, devices);
    timer.start();
    const VerifyResult verified = book.verify();
    std::printf("verify: %lld events, first bad id %lld, %.1f s\n", verified.events, verified.firstBadId,
                elapsedMs(timer) / 1000);
    return filled.status == BookStatus::Ok && verified.firstBadId == 0 ? 0 : 1;
}
