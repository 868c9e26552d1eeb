// Faults on the line, in the device and in the per-user folder, through the
// real window. After each one the program must be idle again, say what
// happened, have left every earlier file whole, and read normally next time.

#include <QtTest>

#include <QComboBox>
#include <QDirIterator>
#include <QFile>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <memory>
#include <optional>
#include <thread>
#include <vector>


#include "crc16.h"
#include "filehooks.h"
#include "filesizelimit.h"
#include "rawline.h"
#include "residentmemory.h"
#include "samplerecord.h"
#include "telegram.h"
#include "windowtest.h"

namespace {

// A 5000 ms time-out on a machine shared with other builds.
constexpr int kLongWaitMs = 9000;

struct Step
{
    int delayMs;
    QByteArray bytes;
};
using Script = QList<Step>;

QPushButton *readButton(QWidget &window)
{
    return child<QPushButton>(window, "pushButtonReadSettings");
}

// Waits until the request has ended with these messages and the program is
// idle again; empty then, else what the console shows.
QString endedWith(QWidget &window, const QList<int> &ids)
{
    const QStringList expected = germanMessages(ids);
    if (QTest::qWaitFor([&] { return consoleMessages(window) == expected && readButton(window)->isEnabled(); },
                        kLongWaitMs))
        return {};
    return QStringLiteral("console: ") + consoleMessages(window).join(QLatin1String(" | "))
        + (readButton(window)->isEnabled() ? QString() : QStringLiteral(" (Read disabled)"));
}

#define VERIFY_ENDED_WITH(window, ...)                                      \
    do {                                                                    \
        const QString why = endedWith(window, __VA_ARGS__);                 \
        QVERIFY2(why.isEmpty(), qPrintable(why));                           \
    } while (false)

// A plausible device's "LP" answer whose length byte announces length; the
// device sends that many bytes (all of the answer where it announces 0).
QByteArray parameterAnswer(int length = tavik7::kParameterAnswerSize)
{
    QByteArray answer = tavik7::buildParameterAnswer(sampleRecord());
    answer[0] = char(length);
    const quint16 crc = tavik7::crc16(answer.left(tavik7::kParameterAnswerCrcOffset));
    answer[tavik7::kParameterAnswerCrcOffset] = char(crc & 0xFF);
    answer[tavik7::kParameterAnswerCrcOffset + 1] = char(crc >> 8);
    answer.resize(length == 0 ? answer.size() : length, '\0');
    return answer;
}

Script inPieces(const QByteArray &bytes, int size, int pauseMs)
{
    Script script;
    for (qsizetype i = 0; i < bytes.size(); i += size)
        script.append({i == 0 ? 0 : pauseMs, bytes.mid(i, size)});
    return script;
}

// Plays the device at the far end of a RawLine on its own thread: answers
// "LP" and "L_ZLW" as a sound device does, except the first request for
// faultCommand, which gets the script instead or, on a loop-back line, its
// own bytes back.
class LineDevice
{
public:
    explicit LineDevice(int fd, QByteArray faultCommand = {}, Script script = {}, bool echo = false)
        : m_fd(fd), m_faultCommand(std::move(faultCommand)), m_script(std::move(script)), m_echo(echo),
          m_thread([this] { run(); })
    {
    }
    ~LineDevice()
    {
        m_stop = true;
        m_thread.join();
    }
    LineDevice(const LineDevice &) = delete;
    LineDevice &operator=(const LineDevice &) = delete;

    // The faulty answer is all on the line.
    [[nodiscard]] bool faultPlayed() const { return m_faultPlayed; }
    // Waits for it without running the event loop, so that what comes late
    // stays in the driver, as it does while the program is busy elsewhere.
    // Only for answers that fit into the line's buffer.
    bool waitPlayedUnread(int timeoutMs) const
    {
        for (int waited = 0; !m_faultPlayed && waited < timeoutMs; waited += 5)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return m_faultPlayed;
    }

private:
    void run()
    {
        bool armed = !m_faultCommand.isEmpty();
        QByteArray pending;
        char buffer[4096];
        while (!m_stop) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n <= 0)
                continue;
            pending.append(buffer, n);
            for (qsizetype end; (end = pending.indexOf('\r')) >= 0;) {
                const QByteArray request = pending.left(end + 1);
                pending.remove(0, end + 1);
                const QByteArray command = request.trimmed();
                if (armed && command == m_faultCommand) {
                    armed = false;
                    if (m_echo)
                        write(request);
                    for (const Step &step : std::as_const(m_script)) {
                        for (int waited = 0; waited < step.delayMs && !m_stop; waited += 10)
                            std::this_thread::sleep_for(std::chrono::milliseconds(10));
                        write(step.bytes);
                    }
                    m_faultPlayed = true;
                } else if (command == "LP") {
                    write(parameterAnswer());
                } else if (command == "L_ZLW") {
                    write("012345678\r\n");
                }
            }
        }
    }

    void write(const QByteArray &bytes)
    {
        for (qsizetype done = 0; done < bytes.size() && !m_stop;) {
            pollfd p{m_fd, POLLOUT, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            const ssize_t n = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
            done += n > 0 ? n : 0;
        }
    }

    const int m_fd;
    const QByteArray m_faultCommand;
    const Script m_script;
    const bool m_echo;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_faultPlayed{false};
    std::thread m_thread; // last: starts once everything above is set
};

// One window on one line with its device.
struct Bench
{
    QString name;
    RawLine line;
    std::unique_ptr<LineDevice> device;
    std::unique_ptr<TAVIK7_Bediensoftware> window;
};

} // namespace

Q_DECLARE_METATYPE(Script)

class TestFaultInjection : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void noiseWhileIdleIsNotHoarded();
    void answersThatEndTheRequest_data();
    void answersThatEndTheRequest();
    void answersThatNeverCompleteTimeOut();
    void simulatorStopsMidAnswer_data();
    void simulatorStopsMidAnswer();
    void readAfterNamurNoise();
    void unusablePerUserFolder_data();
    void unusablePerUserFolder();
    void savingWhereItCannotBeWritten_data();
    void savingWhereItCannotBeWritten();

private:
    std::unique_ptr<Bench> soloBench(const QByteArray &command = {}, const Script &script = {});
    void connectBench(Bench &bench, const QByteArray &command, const Script &script, bool echo = false);
    std::unique_ptr<TAVIK7_Bediensoftware> connectedWindow(const QString &port);
    void snapshotFiles();
    QString damagedFile() const;

    QScopedPointer<QTemporaryDir> appData;
    QMap<QString, QByteArray> filesBefore;
    QString chosenName; // what the user picks in every file dialog
    int fileDialogs = 0;
};

void TestFaultInjection::initTestCase()
{
    registerTavik7Resources();
    appData.reset(new QTemporaryDir);
    QVERIFY(appData->isValid());
    tavik7::fileNameHook = [this](const tavik7::FileNameRequest &) {
        ++fileDialogs;
        return chosenName;
    };
    tavik7::openUrlHook = [](const QUrl &) {};
}

void TestFaultInjection::init()
{
    // The output logs of the tests before are the files that must stay whole.
    qputenv("APPDATA", QFile::encodeName(appData->path()));
    snapshotFiles();
}

void TestFaultInjection::snapshotFiles()
{
    filesBefore.clear();
    for (QDirIterator it(appData->path(), QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next();
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        filesBefore.insert(path, file.readAll());
    }
}

void TestFaultInjection::cleanup()
{
    QVERIFY(noModalLeft());
    QVERIFY2(damagedFile().isEmpty(), qPrintable(damagedFile()));
}

// One window on its own line, with a device behind it that misbehaves as told.
std::unique_ptr<Bench> TestFaultInjection::soloBench(const QByteArray &command, const Script &script)
{
    auto bench = std::make_unique<Bench>();
    qputenv("TAVIK7_EXTRA_PORTS", QFile::encodeName(bench->line.portPath()));
    connectBench(*bench, command, script);
    return bench;
}

// Connects a window to the bench's line and starts its device; no window where that fails.
void TestFaultInjection::connectBench(Bench &bench, const QByteArray &command, const Script &script, bool echo)
{
    bench.window = connectedWindow(bench.line.portPath());
    if (bench.window)
        bench.device = std::make_unique<LineDevice>(bench.line.masterFd(), command, script, echo);
}

// Opens a window on port and connects it, on the tab of the device buttons.
std::unique_ptr<TAVIK7_Bediensoftware> TestFaultInjection::connectedWindow(const QString &port)
{
    auto window = openWindowOn();
    if (!connectWindow(*window, port))
        return nullptr;
    child<QTabWidget>(*window, "tabWidget")->setCurrentIndex(2);
    return window;
}

// Earlier files may have grown (the logs), never lost a byte.
QString TestFaultInjection::damagedFile() const
{
    for (auto it = filesBefore.cbegin(); it != filesBefore.cend(); ++it) {
        QFile file(it.key());
        if (!file.open(QIODevice::ReadOnly) || !file.readAll().startsWith(it.value()))
            return it.key();
    }
    return {};
}

void TestFaultInjection::noiseWhileIdleIsNotHoarded()
{
    const auto bench = soloBench();
    QVERIFY(bench->window);
    TAVIK7_Bediensoftware &window = *bench->window;

    // 16 MB of noise with no request outstanding and NAMUR off.
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("AddressSanitizer keeps freed memory in quarantine: resident memory tells nothing here");
#endif
    const qint64 before = residentKiB();
    const QByteArray chunk(1024 * 1024, '\x55');
    for (int i = 0; i < 16; ++i)
        QVERIFY(bench->line.send(chunk));
    QTest::qWait(200); // the last bytes reach the program
    const qint64 grownKiB = residentKiB() - before;
    QVERIFY2(grownKiB < 8 * 1024, qPrintable(QStringLiteral("grew by %1 KiB").arg(grownKiB)));

    readButton(window)->click();
    VERIFY_ENDED_WITH(window, {1, 3});
}

void TestFaultInjection::answersThatEndTheRequest_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<Script>("script");
    QTest::addColumn<QList<int>>("messages");

    const QByteArray answer = parameterAnswer();
    QByteArray badCrc = answer;
    badCrc[badCrc.size() - 1] = char(badCrc.back() ^ 0x01);

    QTest::newRow("LP in 1-byte pieces") << QByteArray("LP") << inPieces(answer, 1, 5) << QList<int>{1, 3};
    QTest::newRow("LP with long pauses") << QByteArray("LP") << inPieces(answer, 17, 1500) << QList<int>{1, 3};
    QTest::newRow("LP length 1") << QByteArray("LP") << Script{{0, parameterAnswer(1)}} << QList<int>{52};
    QTest::newRow("LP length 127") << QByteArray("LP") << Script{{0, parameterAnswer(127)}} << QList<int>{1, 3};
    QTest::newRow("LP bad CRC") << QByteArray("LP") << Script{{0, badCrc}} << QList<int>{52};
    QTest::newRow("LP Fehler!") << QByteArray("LP") << Script{{0, "Fehler!\r\n"}} << QList<int>{51};
    QTest::newRow("L_ZLW Fehler!") << QByteArray("L_ZLW") << Script{{0, "Fehler!\r\n"}} << QList<int>{54};
    QTest::newRow("L_ZLW trailing garbage") << QByteArray("L_ZLW") << Script{{0, "012345678\r\n\x00\x7f#"}}
                                            << QList<int>{1, 3};
    QTest::newRow("L_ZLW no answer") << QByteArray("L_ZLW") << Script{} << QList<int>{70};
    QTest::newRow("L_ZLW answer after the time-out")
        << QByteArray("L_ZLW") << Script{{900, "012345678\r\n"}} << QList<int>{70};
}

// The counter read's 500 ms time-out keeps the rows that wait it out short.
void TestFaultInjection::answersThatEndTheRequest()
{
    QFETCH(QByteArray, command);
    QFETCH(Script, script);
    QFETCH(QList<int>, messages);
    const auto bench = soloBench(command, script);
    QVERIFY(bench->window);
    TAVIK7_Bediensoftware &window = *bench->window;

    readButton(window)->click();
    QVERIFY(!readButton(window)->isEnabled());
    VERIFY_ENDED_WITH(window, messages);
    QVERIFY(bench->device->waitPlayedUnread(kLongWaitMs));

    readButton(window)->click();
    VERIFY_ENDED_WITH(window, {1, 3});
}

// Each of these waits out the parameter read's 5000 ms: they run side by side,
// one window and line each.
void TestFaultInjection::answersThatNeverCompleteTimeOut()
{
    const QByteArray answer = parameterAnswer();
    const QByteArray garbage("\x00\x7f#", 3);
    const QList<std::pair<const char *, Script>> faults = {
        {"leading garbage", {{0, garbage + answer}}},
        {"trailing garbage", {{0, answer + garbage}}},
        {"megabytes of garbage", {{0, QByteArray(4 * 1024 * 1024, '\xaa')}}},
        {"length 0", {{0, parameterAnswer(0)}}},
        {"length 128", {{0, parameterAnswer(128)}}},
        {"length 255", {{0, parameterAnswer(255)}}},
        {"loop-back", {}},
    };
    std::vector<std::unique_ptr<Bench>> benches;
    QStringList ports;
    for (const auto &fault : faults) {
        benches.push_back(std::make_unique<Bench>());
        benches.back()->name = QLatin1String(fault.first);
        ports.append(benches.back()->line.portPath());
    }
    // Every window must keep seeing every line, or it would let go of its own.
    qputenv("TAVIK7_EXTRA_PORTS", QFile::encodeName(ports.join(QLatin1Char(':'))));
    for (qsizetype i = 0; i < faults.size(); ++i) {
        Bench &bench = *benches[i];
        connectBench(bench, "LP", faults[i].second, bench.name == QLatin1String("loop-back"));
        QVERIFY2(bench.window, qPrintable(bench.name));
    }

    for (auto &bench : benches)
        readButton(*bench->window)->click();
    // The waits overlap: the first one takes the time, the others find their end.
    for (auto &bench : benches) {
        const QString why = endedWith(*bench->window, {70});
        QVERIFY2(why.isEmpty(), qPrintable(bench->name + QStringLiteral(", ") + why));
        QTRY_VERIFY2_WITH_TIMEOUT(bench->device->faultPlayed(), qPrintable(bench->name), kLongWaitMs);
    }

    for (auto &bench : benches)
        readButton(*bench->window)->click();
    for (auto &bench : benches) {
        const QString why = endedWith(*bench->window, {1, 3});
        QVERIFY2(why.isEmpty(), qPrintable(bench->name + QStringLiteral(", ") + why));
    }
}

void TestFaultInjection::simulatorStopsMidAnswer_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("frozen") << int(SIGSTOP);
    QTest::newRow("killed, restarted on a new port") << int(SIGKILL);
}

void TestFaultInjection::simulatorStopsMidAnswer()
{
    QFETCH(int, signal);
    auto sim = std::make_unique<DevSim>();
    QVERIFY2(sim->start(), qPrintable(sim->errorString()));
    qputenv("TAVIK7_EXTRA_PORTS", QFile::encodeName(sim->portPath()));
    auto window = connectedWindow(sim->portPath());
    QVERIFY(window);
    // Pieces spread the answer over a second: the signal lands in its middle.
    QVERIFY(sim->control("fault-once pieces=LP"));

    readButton(*window)->click();
    QVERIFY(sim->waitForReceived(1));
    QTest::qWait(300);
    QCOMPARE(::kill(pid_t(sim->processId()), signal), 0);
    if (signal == SIGSTOP) {
        VERIFY_ENDED_WITH(*window, {70});
        // Thawed, it sends the rest of its answer to a program that no longer waits.
        QCOMPARE(::kill(pid_t(sim->processId()), SIGCONT), 0);
        QVERIFY(sim->waitForSent(1));
    } else {
        // The port closed with the line: no device buttons to re-enable. The
        // port leaves the list; the request still ends by its time-out.
        QVERIFY(sim->waitForFinished());
        QTRY_COMPARE_WITH_TIMEOUT(window->windowTitle(), QStringLiteral("TAVIK7 PC Software: nicht verbunden"),
                                  2000);
        auto *devices = child<QComboBox>(*window, "comboBoxDevice");
        QTRY_VERIFY_WITH_TIMEOUT(devices->findText(sim->portPath()) < 0, 2000);
        QVERIFY(devices->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(consoleMessages(*window), germanMessages({70}), kLongWaitMs);
        // A new adapter appears in the list and can be opened.
        sim = std::make_unique<DevSim>();
        QVERIFY2(sim->start(), qPrintable(sim->errorString()));
        qputenv("TAVIK7_EXTRA_PORTS", QFile::encodeName(sim->portPath()));
        QTRY_VERIFY_WITH_TIMEOUT(devices->findText(sim->portPath()) >= 0, 3000);
        QVERIFY(connectWindow(*window, sim->portPath()));
    }

    readButton(*window)->click();
    VERIFY_ENDED_WITH(*window, {1, 3});
}

// What the NAMUR tests leave out: the parameter interface after a noisy
// listening that ended in the middle of a telegram.
void TestFaultInjection::readAfterNamurNoise()
{
    const auto bench = soloBench();
    QVERIFY(bench->window);
    TAVIK7_Bediensoftware &window = *bench->window;
    child<QPushButton>(window, "pushButtonStartNamur")->click();
    QVERIFY(bench->line.send(QByteArray(64 * 1024, 'x') + "\x1c" "0123"));
    child<QPushButton>(window, "pushButtonStopNamur")->click();

    readButton(window)->click();
    VERIFY_ENDED_WITH(window, {1, 3});
}

void TestFaultInjection::unusablePerUserFolder_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("a file where the folder should be") << "folder is a file";
    QTest::newRow("APPDATA a regular file") << "APPDATA is a file";
    QTest::newRow("disk full") << "full";
}

// The logs are the program's own business: the technician's work goes on,
// silently without them, and no byte of what was there is lost.
void TestFaultInjection::unusablePerUserFolder()
{
    QFETCH(QString, kind);
    QTemporaryDir base;
    QVERIFY(base.isValid());
    QString blocker = base.filePath(QStringLiteral("APPDATA"));
    if (kind == QLatin1String("folder is a file")) {
        QVERIFY(QDir(base.path()).mkdir(QStringLiteral("APPDATA")));
        blocker += QStringLiteral("/KLV TAVIK7 PC Software");
    }
    if (kind != QLatin1String("full")) {
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write("the technician's own file\r\n") > 0);
        qputenv("APPDATA", QFile::encodeName(base.filePath(QStringLiteral("APPDATA"))));
    }

    const auto bench = soloBench();
    QVERIFY(bench->window);
    TAVIK7_Bediensoftware &window = *bench->window;

    // Full: no log can grow by a single record. Room for part of a record
    // in the smallest log, none in the others.
    std::optional<FileSizeLimit> full;
    if (kind == QLatin1String("full")) {
        snapshotFiles();
        QVERIFY(!filesBefore.isEmpty());
        rlim_t room = RLIM_INFINITY;
        for (const QByteArray &content : std::as_const(filesBefore))
            room = std::min<rlim_t>(room, rlim_t(content.size()) + 10);
        QVERIFY(full.emplace(room).active());
    }
    readButton(window)->click();
    const QString why = endedWith(window, {1, 3});
    full.reset();
    QVERIFY2(why.isEmpty(), qPrintable(why));

    for (auto it = filesBefore.cbegin(); it != filesBefore.cend(); ++it) {
        QFile file(it.key());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY2(file.readAll() == it.value(), qPrintable(it.key())); // not even grown
    }
    if (kind != QLatin1String("full"))
        QCOMPARE(readFile(blocker), QByteArray("the technician's own file\r\n"));
}

void TestFaultInjection::savingWhereItCannotBeWritten_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<bool>("diskFull");
    QTest::addColumn<QList<int>>("messages");
    QTest::newRow("settings file into a folder that is a file") << QByteArray("pushButtonSaveSettings") << false
                                                                << QList<int>{58};
    QTest::newRow("report over an old one on a full disk") << QByteArray("pushButtonCreatePdf") << true
                                                           << QList<int>{1, 3};
}

void TestFaultInjection::savingWhereItCannotBeWritten()
{
    QFETCH(QByteArray, button);
    QFETCH(bool, diskFull);
    QFETCH(QList<int>, messages);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QByteArray old("an earlier file the technician keeps\r\n");
    const QString oldPath = folder.filePath(diskFull ? QStringLiteral("old.pdf") : QStringLiteral("blocker"));
    QVERIFY(writeFile(oldPath, old));
    chosenName = diskFull ? oldPath : oldPath + QStringLiteral("/new.dat");
    fileDialogs = 0;

    const auto bench = soloBench();
    QVERIFY(bench->window);
    TAVIK7_Bediensoftware &window = *bench->window;
    readButton(window)->click();
    VERIFY_ENDED_WITH(window, {1, 3});

    std::optional<FileSizeLimit> full;
    if (diskFull)
        QVERIFY(full.emplace(rlim_t(old.size())).active());
    child<QPushButton>(window, button.constData())->click();
    // The report is written once its name is chosen, before the next event.
    const bool asked = QTest::qWaitFor([this] { return fileDialogs == 1; }, kLongWaitMs);
    QTest::qWait(0);
    full.reset();
    QVERIFY(asked);

    // Both have run to their end by now.
    QCOMPARE(readFile(oldPath), old);
    QCOMPARE(consoleMessages(window), germanMessages(messages));
    QVERIFY(readButton(window)->isEnabled());

    readButton(window)->click();
    VERIFY_ENDED_WITH(window, {1, 3});
}

QTEST_MAIN(TestFaultInjection)
#include "tst_faultinjection.moc"
