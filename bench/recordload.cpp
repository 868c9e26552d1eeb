// tavik7-bench-record LOCATION WRITERS EVENTS [PAUSE_MS]: WRITERS book
// writer processes (the window's own, tavik7-bookwriter) record EVENTS
// events each into one book at once, one every PAUSE_MS (default 50, a
// device action's pace) after the last one's answer. Prints the time from
// an event sent to its answer (committed), over all writers: the login is
// made before the first timed event. Each writer is a workstation of its
// own (station name, data folder). Figures only; nothing here asserts a time.

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "bookevent.h"
#include "bookwriter.h"

using namespace tavik7::book;

namespace {

struct Writer
{
    std::unique_ptr<QProcess> process;
    QTemporaryDir home; // each writer a workstation of its own, with its own anchor
    QElapsedTimer sent;
    int left = 0;
    bool timed = false; // the first event opens the book and logs in: not timed
};

QByteArray eventLine(int writer, int n)
{
    BookEvent event;
    event.timeMs = QDateTime::currentMSecsSinceEpoch();
    event.action = BookAction::SetCounter;
    event.frontEnd = FrontEnd::Window;
    event.user = QStringLiteral("service");
    event.port = QStringLiteral("/dev/ttyUSB%1").arg(writer);
    event.manufacturer = QStringLiteral("KLA");
    event.deviceType = QStringLiteral("T7-01");
    event.serialNumber = QString::number(200000000 + writer * 1000 + n % 50);
    event.changes = {{QStringLiteral("counter"), QStringLiteral("000012345"), QStringLiteral("000000000")}};
    return eventToLine(event) + '\n';
}

double percentile(std::vector<double> samples, double share)
{
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    return samples.at(std::min(samples.size() - 1, size_t(double(samples.size()) * share)));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int writers = args.value(2).toInt();
    const int events = args.value(3).toInt();
    const int pauseMs = args.size() > 4 ? args.at(4).toInt() : 50;
    if (args.size() < 4 || args.size() > 5 || writers <= 0 || events <= 0 || pauseMs < 0) {
        std::fprintf(stderr, "usage: tavik7-bench-record LOCATION WRITERS EVENTS [PAUSE_MS]\n");
        return 1;
    }
    std::vector<double> samples;
    std::vector<Writer> all(static_cast<size_t>(writers));
    int running = writers;
    int failed = 0;
    for (int w = 0; w < writers; ++w) {
        Writer &writer = all[size_t(w)];
        writer.left = events;
        writer.process = std::make_unique<QProcess>();
        QProcess *process = writer.process.get();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TAVIK7_STATION"), QStringLiteral("bench-%1").arg(w + 1));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), writer.home.path());
        environment.insert(QStringLiteral("APPDATA"), writer.home.path());
        process->setProcessEnvironment(environment);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const auto sendNext = [&writer, w, events] {
            writer.sent.start();
            writer.process->write(eventLine(w, events - writer.left));
        };
        QObject::connect(process, &QProcess::readyReadStandardOutput, process, [&, w, sendNext] {
            Writer &me = all[size_t(w)];
            while (me.process->canReadLine()) {
                const double ms = me.sent.nsecsElapsed() / 1e6;
                const BookResult result = resultFromLine(me.process->readLine().trimmed());
                if (result.status != BookStatus::Ok || !result.outbox.isEmpty())
                    ++failed;
                if (me.timed)
                    samples.push_back(ms);
                else
                    me.timed = true;
                if (--me.left > 0) {
                    QTimer::singleShot(pauseMs, me.process.get(), sendNext);
                } else {
                    me.process->closeWriteChannel();
                    if (--running == 0)
                        app.quit();
                }
            }
        });
        // One event more than timed: the first one logs in.
        ++writer.left;
        process->start(QStringLiteral(TAVIK7_BOOKWRITER_PATH), {args.at(1), QString()});
        sendNext();
    }
    app.exec();
    for (Writer &writer : all)
        writer.process->waitForFinished(10000);
    std::printf("%d writer(s), %zu events: median %.2f ms, 90th percentile %.2f ms, %d not recorded\n", writers,
                samples.size(), percentile(samples, 0.5), percentile(samples, 0.9), failed);
    return failed == 0 ? 0 : 1;
}
