// Pushes NAMUR telegrams back to back from the simulated device through the
// NAMUR tab with logging on, and prints how fast they went, how much memory
// the program took compared with the idle connected window, and how long the
// event loop was kept from running at the worst moment.
//
//   tavik7-bench-namur [TELEGRAMS]     (default 350000)

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>

#include <cstdio>

#include <sys/resource.h>

#include "residentmemory.h"
#include "tavik7_bediensoftware.h"
#include "windowaccess.h"

namespace {

constexpr qint64 kDefaultTelegrams = 350000;
// The run counts as over when the console has not changed for this long
// after the simulator sent its last telegram.
constexpr qint64 kQuietMs = 1000;
constexpr qint64 kGiveUpMs = 600000;
constexpr int kTickMs = 10;

qint64 cpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}

qint64 peakRssKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void waitMs(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

qint64 countLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    qint64 lines = 0;
    while (!file.atEnd()) {
        const QByteArray chunk = file.read(1 << 20);
        lines += chunk.count('\n');
    }
    return lines;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    registerTavik7Resources();
    const qint64 telegrams = argc > 1 ? QByteArray(argv[1]).toLongLong() : kDefaultTelegrams;

    QTemporaryDir appData;
    qputenv("APPDATA", QFile::encodeName(appData.path()));

    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(QStringLiteral(TAVIK7_DEVSIM_PATH),
              {QStringLiteral("--namur-fast"), QStringLiteral("--namur-limit"), QString::number(telegrams)});
    if (!sim.waitForStarted() || !sim.waitForReadyRead(5000)) {
        std::fprintf(stderr, "bench: the simulator did not start\n");
        return 1;
    }
    const QString portPath = QString::fromUtf8(sim.readLine().trimmed());
    qputenv("TAVIK7_EXTRA_PORTS", QFile::encodeName(portPath));

    TAVIK7_Bediensoftware window;
    window.show();
    auto *devices = child<QComboBox>(window, "comboBoxDevice");
    devices->setCurrentIndex(devices->findText(portPath));
    child<QPushButton>(window, "pushButtonConnect")->click();
    child<QTabWidget>(window, "tabWidget")->setCurrentIndex(4);
    const QString logPath = appData.filePath(QStringLiteral("load.log"));
    child<QCheckBox>(window, "checkBoxNamurLogging")->setChecked(true);
    child<QLineEdit>(window, "lineEditNamurLogfile")->setText(logPath);
    waitMs(1000);
    const qint64 idleKb = residentKiB();

    QElapsedTimer clock;
    clock.start();
    qint64 lastChangeMs = 0;
    auto *console = child<QTextEdit>(window, "textEditConsoleNamur");
    QObject::connect(console->document(), &QTextDocument::contentsChanged, &window,
                     [&] { lastChangeMs = clock.elapsed(); });
    qint64 lastTickMs = 0;
    qint64 worstGapMs = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, &window, [&] {
        const qint64 now = clock.elapsed();
        worstGapMs = qMax(worstGapMs, now - lastTickMs);
        lastTickMs = now;
    });

    QByteArray simLog;
    const qint64 startMs = clock.elapsed();
    const qint64 startCpuMs = cpuMs();
    lastTickMs = startMs;
    ticker.start(kTickMs);
    child<QPushButton>(window, "pushButtonStartNamur")->click();
    // The window's own event loop runs, as in the program; a slow timer looks
    // whether the run is over.
    bool simDone = false;
    QEventLoop loop;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, &loop, [&] {
        simLog += sim.readAllStandardOutput();
        simDone = simDone || simLog.contains("INFO NAMUR fast output done");
        if ((simDone && clock.elapsed() - qMax(lastChangeMs, startMs) > kQuietMs) || clock.elapsed() > kGiveUpMs)
            loop.quit();
    });
    watcher.start(100);
    loop.exec();
    ticker.stop();
    const qint64 usedCpuMs = cpuMs() - startCpuMs;
    const qint64 elapsedMs = qMax<qint64>(1, lastChangeMs - startMs);
    child<QPushButton>(window, "pushButtonStopNamur")->click();
    const qint64 logged = countLines(logPath);
    const qint64 peakKb = peakRssKb();

    std::printf("telegrams sent:          %lld%s\n", static_cast<long long>(telegrams),
                simDone ? "" : " (the simulator did not finish!)");
    std::printf("telegrams logged:        %lld\n", static_cast<long long>(logged));
    std::printf("paragraphs on the tab:   %d\n", console->document()->blockCount());
    std::printf("time:                    %.2f s\n", elapsedMs / 1000.0);
    std::printf("telegrams per second:    %.0f\n", logged * 1000.0 / elapsedMs);
    std::printf("program's CPU time:      %.2f s\n", usedCpuMs / 1000.0);
    std::printf("idle window memory:      %.1f MB\n", idleKb / 1024.0);
    std::printf("peak memory:             %.1f MB (%.1f MB above idle)\n", peakKb / 1024.0,
                (peakKb - idleKb) / 1024.0);
    std::printf("longest event loop gap:  %lld ms\n", static_cast<long long>(worstGapMs));

    sim.write("quit\n");
    sim.waitForFinished(3000);
    return logged == telegrams ? 0 : 1;
}
