// The NAMUR listener on its own, against the simulated device or a line the
// test drives byte by byte: telegrams onto the console and into the log file
// by its policy, the flush every 30 lines with a file that changes under it,
// what Stop still takes from the port, and a port that goes away.

#include <QtTest>

#include <QMetaEnum>
#include <QRegularExpression>
#include <QSerialPort>
#include <QTemporaryDir>

#include <memory>

#include <poll.h>
#include <unistd.h>

#include "devicelink.h"
#include "devsim.h"
#include "namurlistener.h"
#include "rawline.h"
#include "readfile.h"

using tavik7::NamurListener;

namespace {

constexpr int kWaitMs = 10000;

// The simulator's two telegrams with its defaults; the check byte of the
// second one is 0x0a, an LF.
const QString kTelegramA = QStringLiteral("[FS]012345678[US]m3[0x65][CR][LF]");
const QString kTelegramB = QStringLiteral("[FS]012345678[US]123456789[0xa][CR][LF]");
const QRegularExpression kLogLine(QStringLiteral(
    R"(^\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\.\d{3};;012345678;(m3\[0x65\]|123456789\[0xa\]);$)"));

// The lines as the log file must hold them.
QByteArray asFile(const QStringList &lines)
{
    QByteArray bytes;
    for (const QString &line : lines)
        bytes += line.toLatin1() + "\r\n";
    return bytes;
}

} // namespace

class TestNamurListener : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void logFilePolicy_data();
    void logFilePolicy();
    void linesAcrossTheFlush_data();
    void linesAcrossTheFlush();
    void stopTakesWhatThePortHolds();
    void startDropsWhatCameBefore();
    void gluedNoiseIsNoTelegram();
    void portGoesAway();

private:
    // Opens the port on portPath at the service settings.
    bool openPort(const QString &portPath);
    bool openOnSim(const QStringList &args);
    // One Start to Stop that lasts until count more telegrams have come.
    void listen(const QString &logPath, int count);
    [[nodiscard]] QString path(const QString &name) const { return dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<DevSim> sim;
    std::unique_ptr<QSerialPort> port;
    std::unique_ptr<tavik7::DeviceLink> link; // the port's lender, where the simulator answers
    std::unique_ptr<NamurListener> listener;
    QStringList shown;    // telegramsReceived
    QStringList lines;    // logLineWritten
    QStringList troubles; // logTrouble, by name, and the paths noted
};

void TestNamurListener::init()
{
    dir = std::make_unique<QTemporaryDir>();
    sim = std::make_unique<DevSim>();
    port = std::make_unique<QSerialPort>();
    link = std::make_unique<tavik7::DeviceLink>();
    listener = std::make_unique<NamurListener>();
    shown.clear();
    lines.clear();
    troubles.clear();
    connect(listener.get(), &NamurListener::telegramsReceived, this,
            [this](const QStringList &rendered) { shown += rendered; });
    connect(listener.get(), &NamurListener::logLineWritten, this, [this](const QString &line) { lines += line; });
    connect(listener.get(), &NamurListener::logTrouble, this, [this](NamurListener::LogTrouble trouble) {
        troubles += QString::fromLatin1(QMetaEnum::fromType<NamurListener::LogTrouble>().valueToKey(int(trouble)));
    });
    // The console's note names the file by its path.
    connect(listener.get(), &NamurListener::noted, this, [this](const tavik7::ConsoleEntry &note) {
        troubles += QDir(dir->path()).relativeFilePath(note.arguments.value(0));
    });
}

void TestNamurListener::cleanup()
{
    listener.reset();
    link.reset();
    port.reset();
    sim.reset();
}

bool TestNamurListener::openPort(const QString &portPath)
{
    port->setPortName(portPath);
    port->setBaudRate(1200);
    return port->open(QIODevice::ReadWrite);
}

bool TestNamurListener::openOnSim(const QStringList &args)
{
    return sim->start(args) && link->open({sim->portPath()});
}

void TestNamurListener::listen(const QString &logPath, int count)
{
    const qsizetype before = shown.size();
    QVERIFY(listener->start(link.get(), logPath) && !listener->start(link.get(), logPath) && !link->read());
    QTRY_COMPARE_WITH_TIMEOUT(shown.size(), before + count, kWaitMs);
    sim->clearLog();
    // The link has its port back before anyone hears of the stop.
    auto back = tavik7::DeviceLink::PortState::Lent;
    QObject scope;
    connect(listener.get(), &NamurListener::stopped, &scope, [&] { back = link->portState(); });
    listener->stop();
    QCOMPARE(back, tavik7::DeviceLink::PortState::Idle);
    // The device starts over only once it has seen the service rate.
    QVERIFY(sim->waitForLine(QStringLiteral("MODE parameter-interface 1200")));
}

void TestNamurListener::logFilePolicy_data()
{
    QTest::addColumn<QString>("logName");    // what Start is given
    QTest::addColumn<QString>("chosenName"); // what the dialog chose before
    QTest::addColumn<int>("sessions");
    QTest::addColumn<bool>("earlierKept");

    QTest::newRow("no file name: no log") << "" << "" << 1 << true;
    // The dialog asked before it chose an existing file.
    QTest::newRow("chosen: emptied once") << "namur.log" << "namur.log" << 2 << false;
    QTest::newRow("another file chosen: appended") << "namur.log" << "other.log" << 1 << true;
}

void TestNamurListener::logFilePolicy()
{
    QFETCH(QString, logName);
    QFETCH(QString, chosenName);
    QFETCH(int, sessions);
    QFETCH(bool, earlierKept);
    const QString log = path(QStringLiteral("namur.log"));
    const QByteArray earlier = "01.01.2026 00:00:00.000;;earlier;m3[0x1];\r\n";
    QVERIFY(writeFile(log, earlier));

    QVERIFY(openOnSim({"--namur-fast", "--namur-limit", "2", "--telegram-b", "2"}));
    if (!chosenName.isEmpty())
        listener->logFileChosen(path(chosenName));
    QStringList expected;
    for (int i = 0; i < sessions; ++i) {
        listen(logName.isEmpty() ? QString() : path(logName), 2);
        expected << kTelegramA << kTelegramB;
    }
    QCOMPARE(shown, expected);
    QCOMPARE(lines.size(), logName.isEmpty() ? 0 : shown.size());
    for (const QString &line : std::as_const(lines))
        QVERIFY2(kLogLine.match(line).hasMatch(), qPrintable(line));
    // The signalled lines are the file's, each with CR LF.
    QCOMPARE(readFile(log), (earlierKept ? earlier : QByteArray()) + asFile(lines));
}

void TestNamurListener::linesAcrossTheFlush_data()
{
    QTest::addColumn<QString>("event"); // at the 10th line
    QTest::addColumn<int>("firstKept"); // index of the first line in the file
    QTest::addColumn<QStringList>("expectedTroubles");

    // The file moves away and a link to another file takes its name: the
    // log must neither follow it nor split in two.
    QTest::newRow("link swapped in") << "link" << 0 << QStringList{"Replaced", "namur.log"};
    // The folder is missing at Start and made meanwhile: the file opens at the 30th line.
    QTest::newRow("folder made late") << "folder" << 29 << QStringList{"Unwritable"};
}

void TestNamurListener::linesAcrossTheFlush()
{
    QFETCH(QString, event);
    QFETCH(int, firstKept);
    const QString log = path(event == QLatin1String("folder") ? "late/namur.log" : "namur.log");
    const QString moved = path(QStringLiteral("moved.log"));
    const QString target = path(QStringLiteral("target.log"));
    QVERIFY(QFile(target).open(QIODevice::WriteOnly));
    connect(listener.get(), &NamurListener::logLineWritten, this, [&] {
        if (lines.size() != 10)
            return;
        if (event == QLatin1String("link"))
            QVERIFY(QFile::rename(log, moved) && QFile::link(target, log));
        else if (event == QLatin1String("folder"))
            QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("late")));
    });

    QVERIFY(openOnSim({"--namur-fast", "--namur-limit", "70"}));
    QVERIFY(listener->start(link.get(), log));
    QTRY_COMPARE_WITH_TIMEOUT(lines.size(), 70, kWaitMs);
    // Before the 30th and the 60th line the ones before went to the disk.
    const QString owned = event == QLatin1String("link") ? moved : log;
    QCOMPARE(readFile(owned), asFile(lines.mid(firstKept, 59 - firstKept)));
    listener->stop();
    QCOMPARE(readFile(owned), asFile(lines.mid(firstKept)));
    QCOMPARE(readFile(target), QByteArray());
    QTEST(troubles, "expectedTroubles");
}

void TestNamurListener::stopTakesWhatThePortHolds()
{
    // A 7E1 telegram as a port left at 8N1 hears it: even parity in bit 7.
    QByteArray telegram = QByteArrayLiteral("\x1c" "012345678" "\x1f" "m3" "\x65\r\n");
    for (char &c : telegram) {
        if (qPopulationCount(quint8(c)) % 2)
            c = char(quint8(c) | 0x80);
    }
    RawLine line;
    QVERIFY(line.isOpen());
    QVERIFY(openPort(line.portPath()));
    const QString log = path(QStringLiteral("namur.log"));
    QVERIFY(listener->start(port.get(), log));

    // Written behind the event loop's back and waited for without it: the
    // port has not taken the bytes yet when Stop comes. A half telegram
    // follows the two complete ones.
    const QByteArray bytes = telegram + telegram + QByteArrayLiteral("\x1c" "0123");
    QCOMPARE(::write(line.masterFd(), bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
    pollfd readable{int(port->handle()), POLLIN, 0};
    QCOMPARE(::poll(&readable, 1, kWaitMs), 1);
    QVERIFY(shown.isEmpty());

    listener->stop();
    QCOMPARE(shown, QStringList({kTelegramA, kTelegramA}));
    QCOMPARE(readFile(log), asFile(lines));
    QCOMPARE(lines.size(), 2);
    // Let go: what comes now stays in the port for its owner.
    QCOMPARE(::write(line.masterFd(), "\r\n", 2), ssize_t(2));
    QTRY_VERIFY_WITH_TIMEOUT(port->bytesAvailable() > 0, kWaitMs);
    QCOMPARE(shown.size(), 2);
}

void TestNamurListener::startDropsWhatCameBefore()
{
    RawLine line;
    QVERIFY(openPort(line.portPath()));
    const QByteArray telegram = QByteArrayLiteral("\x1c" "012345678" "\x1f" "m3" "\x65\r\n");
    // In the driver, unread, when Start comes.
    QCOMPARE(::write(line.masterFd(), telegram.constData(), size_t(telegram.size())), ssize_t(telegram.size()));
    pollfd readable{int(port->handle()), POLLIN, 0};
    QCOMPARE(::poll(&readable, 1, kWaitMs), 1);
    QVERIFY(listener->start(port.get(), path(QStringLiteral("namur.log"))));

    QVERIFY(line.send(telegram + telegram));
    QTRY_COMPARE_WITH_TIMEOUT(shown.size(), 2, kWaitMs);
    QCOMPARE(lines.size(), 2);
}

// Noise without CR LF ends up in front of the next telegram: the line is
// logged as it came, but a run that counts telegrams must not count it.
void TestNamurListener::gluedNoiseIsNoTelegram()
{
    RawLine line;
    QVERIFY(openPort(line.portPath()));
    QList<NamurListener::LineKind> kinds;
    connect(listener.get(), &NamurListener::logLineWritten, this,
            [&kinds](const QString &, NamurListener::LineKind kind) { kinds += kind; });
    const QString log = path(QStringLiteral("namur.log"));
    QVERIFY(listener->start(port.get(), log));
    const QByteArray telegram = QByteArrayLiteral("\x1c" "012345678" "\x1f" "m3" "\x65\r\n");
    QVERIFY(line.send(QByteArrayLiteral("\x00\x7f#") + telegram.left(5)));
    QVERIFY(line.send(telegram + telegram));
    QTRY_COMPARE_WITH_TIMEOUT(kinds.size(), 2, kWaitMs);
    QCOMPARE(kinds, (QList<NamurListener::LineKind>{NamurListener::LineKind::Noise, NamurListener::LineKind::Telegram}));
    listener->stop();
    QCOMPARE(readFile(log), asFile(lines));
}

// Deleting the port closes it first: one path for both ways it can go.
void TestNamurListener::portGoesAway()
{
    QVERIFY(sim->start({"--namur-fast", "--namur-limit", "5"}) && openPort(sim->portPath()));
    const QString log = path(QStringLiteral("namur.log"));
    QVERIFY(listener->start(port.get(), log));
    QTRY_COMPARE_WITH_TIMEOUT(shown.size(), 5, kWaitMs);

    QSignalSpy stopped(listener.get(), &NamurListener::stopped);
    port.reset();
    QCOMPARE(stopped.size(), 1);
    QVERIFY(!listener->isListening());
    // The file is complete and closed: nothing waits in the listener.
    QCOMPARE(readFile(log), asFile(lines));
    QCOMPARE(lines.size(), 5);
}

QTEST_GUILESS_MAIN(TestNamurListener)
#include "tst_namurlistener.moc"
