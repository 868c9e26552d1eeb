// Times "Read settings" against the simulated device at 1200 baud and prints
// it as a ratio of the time the answers need on the wire: everything above
// 1.0 is the program's own think time between and after the answers.
//
//   tavik7-bench-read [rounds]      (needs tavik7-devsim; runs offscreen)

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>

#include <algorithm>
#include <cstdio>

#include "devsim.h"
#include "tavik7_bediensoftware.h"
#include "telegram.h"

namespace {

constexpr int kBaud = 1200;
constexpr int kBitsPerByte = 10;

// Checks the condition every millisecond from a timer, so the program under
// test keeps its event loop to itself in between.
bool waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    QEventLoop loop;
    QTimer poll;
    QElapsedTimer timer;
    timer.start();
    bool met = condition();
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        met = condition();
        if (met || timer.elapsed() > timeoutMs)
            loop.quit();
    });
    if (!met) {
        poll.start(1);
        loop.exec();
    }
    return met;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    registerTavik7Resources();
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 10;

    QTemporaryDir appData;
    qputenv("APPDATA", QFile::encodeName(appData.path()));
    DevSim sim;
    if (!sim.start()) {
        fprintf(stderr, "simulator did not start: %s\n", qPrintable(sim.errorString()));
        return 1;
    }
    qputenv("TAVIK7_EXTRA_PORTS", QFile::encodeName(sim.portPath()));

    TAVIK7_Bediensoftware window;
    window.show();
    auto *devices = window.findChild<QComboBox *>(QStringLiteral("comboBoxDevice"));
    devices->setCurrentIndex(devices->findText(sim.portPath()));
    window.findChild<QPushButton *>(QStringLiteral("pushButtonConnect"))->click();
    auto *read = window.findChild<QPushButton *>(QStringLiteral("pushButtonReadSettings"));
    auto *console = window.findChild<QTextEdit *>(QStringLiteral("textEditOutput"));
    auto *counter = window.findChild<QLineEdit *>(QStringLiteral("lineEditCounter"));

    QList<double> ratios;
    for (int i = 0; i < rounds; ++i) {
        console->clear();
        QElapsedTimer elapsed;
        elapsed.start();
        read->click();
        // The sequence has ended when both lines are there and Read is enabled again.
        if (!waitFor([&] { return console->document()->blockCount() >= 2 && read->isEnabled(); }, 10000)) {
            fprintf(stderr, "round %d: no answer\n", i);
            return 1;
        }
        const double ms = elapsed.nsecsElapsed() / 1e6;
        const int counterDigits = int(counter->text().remove(QLatin1Char(',')).size());
        const int answerBytes = tavik7::kParameterAnswerSize + counterDigits + 2;
        const double wireMs = answerBytes * kBitsPerByte * 1000.0 / kBaud;
        ratios.append(ms / wireMs);
        printf("round %2d: %.1f ms, wire %.1f ms, ratio %.4f\n", i, ms, wireMs, ms / wireMs);
    }
    std::sort(ratios.begin(), ratios.end());
    printf("read sequence: median %.4fx its wire time (goal <= 1.02)\n", ratios.at(ratios.size() / 2));
    return 0;
}
