// The device link against the simulated device over a real pseudo-terminal,
// without a window: the requests and sequences on the wire, their answers,
// a bad line and a port that is not the link's to use.

#include <QtTest>

#include <csignal>

#include "devicelink.h"
#include "devsim.h"
#include "samplerecord.h"
#include "telegram.h"

using tavik7::DeviceLink;
using tavik7::MessageId;

Q_DECLARE_METATYPE(QList<int>)

namespace {

constexpr int kWaitMs = 5000;
// Waits long enough for a whole answer at 1200 baud; an answer in pieces
// spreads over a second and gets a longer one.
constexpr int kShortMs = 800;
constexpr int kPiecesMs = 2500;
// A row that writes the counter alone rather than running a sequence.
constexpr int kCounterOnly = -1;

// Records what a link reports, in order.
struct LinkLog
{
    explicit LinkLog(DeviceLink &link)
    {
        QObject::connect(&link, &DeviceLink::message, &link, [this](MessageId id, bool append) {
            messages.append(append ? int(id) : -int(id));
        });
        QObject::connect(&link, &DeviceLink::idle, &link, [this] { ++idles; });
        QObject::connect(&link, &DeviceLink::counterRead, &link,
                         [this](const QString &answer) { counterAnswers.append(answer); });
        QObject::connect(&link, &DeviceLink::counterWriteDue, &link, [&link, this] {
            link.writeCounter(sequenceCounter);
        });
    }
    bool waitIdle(int count = 1) { return QTest::qWaitFor([&] { return idles >= count; }, kWaitMs); }

    QList<int> messages; // negative: replaces the console, positive: appended
    QStringList counterAnswers;
    QByteArray sequenceCounter = "000000042";
    int idles = 0;
};

} // namespace

class TestDeviceLinkEngine : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void writeSequence_data();
    void writeSequence();
    void badAnswersEndTheRequest_data();
    void badAnswersEndTheRequest();
    void nothingIsSentUnlessTheLinkIsIdle();
    void aPortThatGoesAwayEndsTheRequest();
    void openFailureSaysWhy();
    void defaultWaitsAreTheDevicesOwn();

private:
    bool start(const QStringList &args = {});

    std::unique_ptr<DevSim> sim;
    std::unique_ptr<DeviceLink> link;
};

void TestDeviceLinkEngine::init()
{
    sim = std::make_unique<DevSim>();
    link = std::make_unique<DeviceLink>();
    link->setTimeouts({kShortMs, kShortMs / 2});
}

void TestDeviceLinkEngine::cleanup()
{
    link.reset();
    sim.reset();
}

bool TestDeviceLinkEngine::start(const QStringList &args)
{
    if (!sim->start(args))
        return false;
    return link->open({sim->portPath()});
}

void TestDeviceLinkEngine::writeSequence_data()
{
    QTest::addColumn<int>("direction");
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QList<int>>("messages");
    // The same direction: the parameters alone. Another one: the device's
    // reading is read and written back with them.
    QTest::newRow("direction kept") << 0 << QStringList({"LP", "SP"}) << QList<int>({-1, 2});
    QTest::newRow("direction changed") << 1 << QStringList({"LP", "L_ZLW", "SP", "S_ZLW"})
                                       << QList<int>({-1, 13, 3, 2, 4});
}

void TestDeviceLinkEngine::writeSequence()
{
    QFETCH(int, direction);
    QFETCH(QStringList, commands);
    QFETCH(QList<int>, messages);
    QVERIFY(start());
    LinkLog log(*link);
    tavik7::ParameterRecord table = sampleRecord();
    table.direction = qint8(direction);
    tavik7::setFieldText(table.unit, tavik7::kUnitWidth, QStringLiteral("kg"));

    QVERIFY(link->startWriteSequence(table, QStringLiteral("000000042")));
    QTRY_COMPARE_WITH_TIMEOUT(sim->commands(), commands, kWaitMs);
    QVERIFY(log.waitIdle());
    QCOMPARE(log.messages, messages);

    // The telegram as sent, byte for byte.
    const QString sentHex = sim->received().at(commands.indexOf("SP")).section(QLatin1Char(' '), 2);
    const QByteArray sent = QByteArray::fromHex(sentHex.toLatin1());
    QCOMPARE(sent, tavik7::buildWriteTelegram(table));
    if (direction == 1)
        QCOMPARE(sim->received().last(), QStringLiteral("RX S_ZLW 000000042"));
}

void TestDeviceLinkEngine::badAnswersEndTheRequest_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("sequence");
    QTest::addColumn<QList<int>>("messages");
    const int plain = DeviceLink::PlainRead;
    const int write = DeviceLink::WriteSequence;
    QTest::newRow("LP silent") << "silent=LP" << plain << QList<int>({-70});
    QTest::newRow("LP bad CRC") << "badcrc=LP" << plain << QList<int>({-52});
    QTest::newRow("LP Fehler!") << "error=LP" << plain << QList<int>({-51});
    QTest::newRow("LP in pieces") << "pieces=LP" << plain << QList<int>({-1, 3});
    QTest::newRow("LP garbage") << "garbage=LP" << plain << QList<int>({-70});
    QTest::newRow("L_ZLW Fehler!") << "error=L_ZLW" << plain << QList<int>({-1, -54});
    // In the report sequence a missing answer says that no report was made.
    QTest::newRow("report, L_ZLW silent") << "silent=L_ZLW" << int(DeviceLink::ReportSequence)
                                          << QList<int>({-1, -71});
    QTest::newRow("SP Fehler!") << "error=SP" << write << QList<int>({-1, -53});
    QTest::newRow("SP in pieces") << "pieces=SP" << write << QList<int>({-1, 2});
    // A counter is written only when the device echoes it.
    QTest::newRow("S_ZLW Fehler!") << "error=S_ZLW" << kCounterOnly << QList<int>({-55});
}

void TestDeviceLinkEngine::badAnswersEndTheRequest()
{
    QFETCH(QString, fault);
    QFETCH(int, sequence);
    QFETCH(QList<int>, messages);
    QVERIFY(start());
    QVERIFY(sim->control("fault " + fault.toLatin1()));
    if (fault.startsWith(QLatin1String("pieces")))
        link->setTimeouts({kPiecesMs, kShortMs / 2});
    LinkLog log(*link);
    tavik7::ParameterRecord table = sampleRecord();
    table.direction = 0; // as the device's: no counter in the sequence
    if (sequence == kCounterOnly)
        QVERIFY(link->writeCounter("000000043"));
    else if (sequence == DeviceLink::WriteSequence)
        QVERIFY(link->startWriteSequence(table, QStringLiteral("000000042")));
    else
        QVERIFY(link->readSettings(DeviceLink::SequenceMode(sequence)));
    QVERIFY(log.waitIdle());
    QCOMPARE(log.messages, messages);
    QCOMPARE(link->requestKind(), DeviceLink::NoRequest);
    // The line is usable again at once: nothing of the failed answer is left to spoil the next.
    QVERIFY(sim->control("clear-faults"));
    log.messages.clear();
    QVERIFY(link->readCounter());
    QVERIFY(log.waitIdle(2));
    QCOMPARE(log.counterAnswers.last(), QStringLiteral("012345678\r\n"));
}

void TestDeviceLinkEngine::nothingIsSentUnlessTheLinkIsIdle()
{
    // Closed: nothing to send on.
    QVERIFY(!link->readSettings());
    QVERIFY(!link->writeCounter("000000042"));
    QVERIFY(start());

    // Lent to another job (NAMUR listening): no service command on its line.
    QSerialPort *lent = link->lendPort();
    QVERIFY(lent);
    QCOMPARE(link->lendPort(), nullptr);
    QVERIFY(!link->readSettings());
    QVERIFY(!link->startWriteSequence(sampleRecord(), QStringLiteral("000000042")));
    QVERIFY(!link->writeParameters(sampleRecord()));
    QVERIFY(!link->readCounter());
    QVERIFY(!link->writeCounter("000000042"));
    link->takePortBack();

    // Busy: one request at a time.
    LinkLog log(*link);
    QVERIFY(link->readSettings());
    QCOMPARE(link->portState(), DeviceLink::PortState::Busy);
    QVERIFY(!link->readCounter());
    QVERIFY(log.waitIdle());
    QCOMPARE(sim->commands(), QStringList({"LP", "L_ZLW"}));
}

void TestDeviceLinkEngine::aPortThatGoesAwayEndsTheRequest()
{
    QVERIFY(start());
    QVERIFY(sim->control("fault silent=LP"));
    LinkLog log(*link);
    QSignalSpy lost(link.get(), &DeviceLink::portLost);
    link->setTimeouts({60000, 60000});
    QVERIFY(link->readSettings());
    QVERIFY(sim->waitForReceived(1));
    QCOMPARE(::kill(pid_t(sim->processId()), SIGKILL), 0);
    // Long before the time-out: the line's end ends the wait.
    QVERIFY(log.waitIdle());
    QCOMPARE(lost.count(), 1);
    QCOMPARE(log.messages, QList<int>({-70}));
    QVERIFY(!link->isOpen());
    QCOMPARE(link->portState(), DeviceLink::PortState::Closed);
}

void TestDeviceLinkEngine::openFailureSaysWhy()
{
    QSignalSpy failed(link.get(), &DeviceLink::openFailed);
    QTemporaryDir dir;
    QVERIFY(!link->open({dir.filePath(QStringLiteral("gone"))}));
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.at(0).at(0).value<DeviceLink::OpenFailure>().failure, tavik7::PortOpenFailure::NotFound);
    QVERIFY(!link->isOpen());
}

void TestDeviceLinkEngine::defaultWaitsAreTheDevicesOwn()
{
    // The device needs up to 5 s for a parameter or write request and answers
    // the counter request within half a second; only tests wait less.
    const DeviceLink::Timeouts waits = DeviceLink().timeouts();
    QCOMPARE(waits.longRequestMs, 5000);
    QCOMPARE(waits.counterRequestMs, 500);
}

QTEST_MAIN(TestDeviceLinkEngine)
#include "tst_devicelink_engine.moc"
