// The device link against the simulated device over a real pseudo-terminal,
// without a window: the requests and sequences on the wire, their answers,
// a bad line and a port that is not the link's to use.

#include <QtTest>

#include <QElapsedTimer>

#include <csignal>

#include "devicelink.h"
#include "devsim.h"
#include "portenumerator.h"
#include "samplerecord.h"
#include "telegram.h"

using tavik7::DeviceLink;
using tavik7::DeviceReply;
using tavik7::DeviceResult;
using Purpose = tavik7::DeviceReply::Purpose;
using Kind = tavik7::DeviceResult::Kind;
using Status = tavik7::DeviceResult::Status;
using Sequence = tavik7::DeviceResult::Sequence;

Q_DECLARE_METATYPE(Kind)
Q_DECLARE_METATYPE(Status)

namespace {

constexpr int kWaitMs = 5000;
// Waits long enough for a whole answer at 1200 baud; an answer in pieces
// spreads over a second and gets a longer one.
constexpr int kShortMs = 800;
constexpr int kPiecesMs = 2500;
// The simulator's reading as "L_ZLW" answers it.
constexpr char kReading[] = "012345678";

enum Start { Read, Report, Write, CounterOnly };

} // namespace

class TestDeviceLinkEngine : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void badAnswersEndTheRequest_data();
    void badAnswersEndTheRequest();
    void cutWriteSaysWhatTheDeviceHolds_data();
    void cutWriteSaysWhatTheDeviceHolds();
    void lateAnswerIsNeverTakenForTheNext();
    void waitsNeverEndEarly_data();
    void waitsNeverEndEarly();
    void portComesBackWithTheLinksSettings_data();
    void portComesBackWithTheLinksSettings();
    void nothingIsAskedWhileClosedOrLent();
    void requestsWaitTheirTurn_data();
    void requestsWaitTheirTurn();
    void defaultWaitsAreTheDevicesOwn();
    void pickedPortStaysWhileListed();

private:
    bool start(const QStringList &args = {});
    // Keeps the reply the link handed out; false for none.
    bool ask(DeviceReply *reply);
    // The end of the reply last asked for.
    DeviceResult waitForEnd();

    QPointer<DeviceReply> asked;
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

bool TestDeviceLinkEngine::ask(DeviceReply *reply)
{
    asked = reply;
    return reply != nullptr;
}

DeviceResult TestDeviceLinkEngine::waitForEnd()
{
    if (asked && asked->isFinished())
        return asked->result();
    QSignalSpy finished(asked.data(), &DeviceReply::finished);
    if (asked && finished.wait(kWaitMs))
        return finished.at(0).at(0).value<DeviceResult>();
    QTest::qFail("the request never ended", __FILE__, __LINE__);
    DeviceResult none;
    none.status = Status::Closed;
    return none;
}

void TestDeviceLinkEngine::badAnswersEndTheRequest_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("begin");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<Status>("status");
    QTest::newRow("LP silent") << "silent=LP" << int(Read) << Kind::ReadParameters << Status::NoAnswer;
    QTest::newRow("LP bad CRC") << "badcrc=LP" << int(Read) << Kind::ReadParameters << Status::BadCrc;
    QTest::newRow("LP Fehler!") << "error=LP" << int(Read) << Kind::ReadParameters << Status::DeviceError;
    QTest::newRow("LP in pieces") << "pieces=LP" << int(Read) << Kind::ReadCounter << Status::Ok;
    QTest::newRow("LP garbage") << "garbage=LP" << int(Read) << Kind::ReadParameters << Status::WrongAnswer;
    QTest::newRow("L_ZLW Fehler!") << "error=L_ZLW" << int(Read) << Kind::ReadCounter << Status::DeviceError;
    QTest::newRow("L_ZLW garbage") << "garbage=L_ZLW" << int(Read) << Kind::ReadCounter << Status::WrongAnswer;
    QTest::newRow("report, L_ZLW silent") << "silent=L_ZLW" << int(Report) << Kind::ReadCounter << Status::NoAnswer;
    QTest::newRow("SP Fehler!") << "error=SP" << int(Write) << Kind::WriteParameters << Status::DeviceError;
    QTest::newRow("SP without OK") << "other=SP" << int(Write) << Kind::WriteParameters << Status::WrongAnswer;
    QTest::newRow("SP in pieces") << "pieces=SP" << int(Write) << Kind::WriteParameters << Status::Ok;
    QTest::newRow("S_ZLW Fehler!") << "error=S_ZLW" << int(CounterOnly) << Kind::WriteCounter << Status::DeviceError;
    QTest::newRow("S_ZLW other digits") << "other=S_ZLW" << int(CounterOnly) << Kind::WriteCounter << Status::NotEchoed;
}

void TestDeviceLinkEngine::badAnswersEndTheRequest()
{
    QFETCH(QString, fault);
    QFETCH(int, begin);
    QFETCH(Kind, kind);
    QFETCH(Status, status);
    // The disturbed answer comes at the line's pace, the undisturbed ones around it at once.
    QVERIFY(start({"--quick-answers"}));
    QVERIFY(sim->control("fault " + fault.toLatin1()));
    if (fault.startsWith(QLatin1String("pieces")))
        link->setTimeouts({kPiecesMs, kShortMs / 2});
    tavik7::ParameterRecord table = sampleRecord();
    table.direction = 0; // as the device's: no counter in the sequence
    switch (begin) {
    case CounterOnly: QVERIFY(ask(link->writeCounter("000000043"))); break;
    case Write: QVERIFY(ask(link->write(table))); break;
    default: QVERIFY(ask(link->read(begin == Report ? Purpose::Report : Purpose::Read))); break;
    }
    QCOMPARE(link->writeOnTheWire(), begin == Write || begin == CounterOnly);
    const DeviceResult result = waitForEnd();
    QVERIFY(!link->writeOnTheWire());
    QCOMPARE(result.kind, kind);
    QCOMPARE(result.status, status);
    QCOMPARE(link->requestKind(), DeviceLink::NoRequest);
    if (result.ok() && kind == Kind::ReadCounter)
        QCOMPARE(result.counter->digits, QByteArray(kReading));
    // The line is usable again at once: nothing of the failed answer is left to spoil the next.
    // A whole read: the counter is laid out by the record read with it.
    QVERIFY(sim->control("clear-faults"));
    QVERIFY(ask(link->read()));
    const DeviceResult next = waitForEnd();
    QVERIFY(next.counter);
    // A device that took the digits up counts from them, echoed or not.
    const bool counterSet = begin == CounterOnly && status != Status::DeviceError;
    QCOMPARE(next.counter->digits, QByteArray(counterSet ? "000000043" : kReading));
}

void TestDeviceLinkEngine::cutWriteSaysWhatTheDeviceHolds_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("cut"); // what ends the wait for the counter's echo
    QTest::addColumn<Status>("status");
    QTest::addColumn<bool>("acknowledged");
    QTest::newRow("telegram unanswered") << "silent=SP" << "" << Status::NoAnswer << false;
    QTest::newRow("telegram without OK") << "other=SP" << "" << Status::WrongAnswer << false;
    QTest::newRow("counter unanswered") << "silent=S_ZLW" << "" << Status::NoAnswer << true;
    QTest::newRow("counter not echoed") << "other=S_ZLW" << "" << Status::NotEchoed << true;
    QTest::newRow("disconnected") << "silent=S_ZLW" << "close" << Status::Closed << true;
    QTest::newRow("adapter pulled") << "silent=S_ZLW" << "kill" << Status::PortLost << true;
}

void TestDeviceLinkEngine::cutWriteSaysWhatTheDeviceHolds()
{
    QFETCH(QString, fault);
    QFETCH(QString, cut);
    QVERIFY(start({"--quick-answers"}));
    QVERIFY(sim->control("fault " + fault.toLatin1()));
    if (!cut.isEmpty())
        link->setTimeouts({60000, kShortMs});
    tavik7::ParameterRecord table = sampleRecord();
    table.direction = 1;
    QVERIFY(ask(link->write(table)));
    QSignalSpy finished(asked.data(), &DeviceReply::finished);
    QSignalSpy lost(link.get(), &DeviceLink::portLost);
    QSignalSpy writesEnded(link.get(), &DeviceLink::writesEnded);
    if (cut == QLatin1String("close")) {
        QVERIFY(sim->waitForReceived(4));
        link->close();
    } else if (cut == QLatin1String("kill")) {
        QVERIFY(sim->waitForReceived(4));
        QCOMPARE(::kill(pid_t(sim->processId()), SIGKILL), 0);
    }
    // The line's end ends the wait long before the time-out, and the link is closed.
    QVERIFY(finished.count() == 1 || finished.wait(kWaitMs));
    const DeviceResult result = finished.at(0).at(0).value<DeviceResult>();
    QTEST(result.status, "status");
    QCOMPARE(lost.count(), cut == QLatin1String("kill") ? 1 : 0);
    // A window waiting to close hears of the end however it came.
    QCOMPARE(writesEnded.count(), 1);
    QCOMPARE(link->portState(), cut.isEmpty() ? DeviceLink::PortState::Idle : DeviceLink::PortState::Closed);
    // What went out is known however the write ended.
    QVERIFY(result.sent);
    QCOMPARE(tavik7::buildWriteTelegram(*result.sent), tavik7::buildWriteTelegram(table));
    // What follows from these facts for the technician is the result's own test.
    QTEST(result.written.has_value(), "acknowledged");
    QVERIFY(result.directionChanged && !result.counterWritten);
    QCOMPARE(result.counter->digits, QByteArray(kReading));
}

void TestDeviceLinkEngine::lateAnswerIsNeverTakenForTheNext()
{
    // A CR LF inside the parameter answer: taken for the counter's, its
    // bytes up to there would make a reading.
    QVERIFY(start({"--serial", "1234\r\n678"}));
    QVERIFY(sim->control("fault-once late=LP"));
    QVERIFY(ask(link->read()));
    QCOMPARE(waitForEnd().status, Status::NoAnswer);
    // Read again at once: the late answer and the one to this read come in
    // behind each other. Whatever ends this read, none of their bytes is a
    // counter reading.
    QVERIFY(ask(link->read()));
    const DeviceResult read = waitForEnd();
    if (read.counter)
        QCOMPARE(read.counter->digits, QByteArray(kReading));
    QVERIFY(read.ok() || read.status == Status::WrongAnswer || read.status == Status::NoAnswer);
    // Once the device is quiet, the next read is whole.
    QVERIFY(sim->waitForSent(read.kind == Kind::ReadCounter ? 3 : 2));
    QVERIFY(ask(link->read()));
    const DeviceResult again = waitForEnd();
    QCOMPARE(again.status, Status::Ok);
    QCOMPARE(again.counter->digits, QByteArray(kReading));
}

void TestDeviceLinkEngine::waitsNeverEndEarly_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("timeoutMs");
    QTest::newRow("LP") << "silent=LP" << 300;
    QTest::newRow("L_ZLW") << "silent=L_ZLW" << 150;
}

void TestDeviceLinkEngine::waitsNeverEndEarly()
{
    QFETCH(QString, fault);
    QFETCH(int, timeoutMs);
    QVERIFY(start());
    QVERIFY(sim->control("fault " + fault.toLatin1()));
    link->setTimeouts({timeoutMs, timeoutMs});
    // A coarse timer fires up to 5 % early, depending on where its start
    // falls: a few waits in a row give it the chance. No upper bound.
    for (int i = 0; i < 4; ++i) {
        QElapsedTimer clock;
        clock.start();
        QVERIFY(fault.endsWith(QLatin1String("LP")) ? ask(link->read()) : ask(link->readCounter()));
        QCOMPARE(waitForEnd().status, Status::NoAnswer);
        QVERIFY2(clock.elapsed() >= timeoutMs, qPrintable(QString::number(clock.elapsed())));
    }
}

void TestDeviceLinkEngine::portComesBackWithTheLinksSettings_data()
{
    QTest::addColumn<DeviceLink::Loan>("loan");
    // A borrower reading the line (NAMUR listening) switches it; the one that
    // needs it closed (a flash tool) finds it as someone left it.
    QTest::newRow("lent open") << DeviceLink::Loan::Open;
    QTest::newRow("lent closed") << DeviceLink::Loan::Closed;
}

void TestDeviceLinkEngine::portComesBackWithTheLinksSettings()
{
    QFETCH(DeviceLink::Loan, loan);
    QVERIFY(sim->start());
    // As the Interface tab gives them; what does not parse keeps the service line's own.
    const auto unparsed = DeviceLink::PortSettings::fromTexts({}, QStringLiteral("0"), QStringLiteral("9"), 3);
    QVERIFY(unparsed.baudRate == 1200 && unparsed.dataBits == 8 && unparsed.flowControl == QSerialPort::NoFlowControl);
    QVERIFY(link->open(DeviceLink::PortSettings::fromTexts(sim->portPath(), QStringLiteral("1200"), QStringLiteral("8"), 2)));
    QSerialPort *port = link->serialPort();
    QSerialPort *lent = nullptr;
    if (loan == DeviceLink::Loan::Closed) {
        port->setBaudRate(2400);
        port->setFlowControl(QSerialPort::NoFlowControl);
        QVERIFY(!link->lendPort(loan));
        QVERIFY(!port->isOpen());
    } else {
        lent = link->lendPort(loan);
        QCOMPARE(lent, port);
        lent->setBaudRate(2400);
        lent->setFlowControl(QSerialPort::HardwareControl);
    }
    QCOMPARE(link->portState(), DeviceLink::PortState::Lent);
    QCOMPARE(link->takePortBack(), DeviceLink::Return::Opened);
    QCOMPARE(link->portState(), DeviceLink::PortState::Idle);
    QCOMPARE(port->baudRate(), 1200);
    QCOMPARE(port->dataBits(), QSerialPort::Data8);
    QCOMPARE(port->parity(), QSerialPort::NoParity);
    QCOMPARE(port->flowControl(), QSerialPort::SoftwareControl);
    QCOMPARE(link->portName(), sim->portPath());
}

void TestDeviceLinkEngine::nothingIsAskedWhileClosedOrLent()
{
    // Closed: nothing to send on.
    QVERIFY(!ask(link->read()));
    QVERIFY(!ask(link->writeCounter("000000042")));
    QVERIFY(start());
    QSignalSpy availability(link.get(), &DeviceLink::availabilityChanged);

    // Lent to another job (NAMUR listening): no service command on its line.
    QSerialPort *lent = link->lendPort();
    QVERIFY(lent);
    QCOMPARE(link->lendPort(), nullptr);
    QVERIFY(!ask(link->read()));
    QVERIFY(!ask(link->write(sampleRecord())));
    QVERIFY(!ask(link->writeParameters(sampleRecord())));
    QVERIFY(!ask(link->readCounter()));
    QVERIFY(!ask(link->writeCounter("000000042")));
    QCOMPARE(link->availability(), DeviceLink::Availability{});
    link->takePortBack();
    QCOMPARE(availability.count(), 2);

}

void TestDeviceLinkEngine::requestsWaitTheirTurn_data()
{
    QTest::addColumn<bool>("lost");
    QTest::newRow("port closed") << false;
    QTest::newRow("adapter pulled") << true;
}

void TestDeviceLinkEngine::requestsWaitTheirTurn()
{
    QFETCH(bool, lost);
    QVERIFY(start({"--quick-answers"}));
    // Asked behind each other: each waits for the one before, and each ends
    // on its own reply with its own purpose.
    QStringList ends;
    QList<DeviceResult> results;
    QList<tavik7::DeviceState> before;
    const auto follow = [&](DeviceReply *reply, const QString &name) {
        QVERIFY(reply);
        connect(reply, &DeviceReply::finished, this, [&, reply, name](const DeviceResult &result) {
            ends.append(name + QLatin1Char(' ') + QVariant::fromValue(reply->purpose()).toString());
            results.append(result);
            before.append(reply->before());
        });
    };
    follow(link->read(Purpose::Backup), QStringLiteral("read"));
    follow(link->readCounter(), QStringLiteral("counter"));
    QPointer<DeviceReply> set = link->writeCounter("000000043", Purpose::Wizard);
    follow(set, QStringLiteral("set"));
    QCOMPARE(link->portState(), DeviceLink::PortState::Busy);
    QVERIFY(!link->availability().read);
    QTRY_COMPARE_WITH_TIMEOUT(ends.size(), 3, kWaitMs);
    QCOMPARE(ends, QStringList({"read Backup", "counter Counter", "set Wizard"}));
    QCOMPARE(sim->commands(), QStringList({"LP", "L_ZLW", "L_ZLW", "S_ZLW"}));
    QCOMPARE(results.at(1).counter->digits, QByteArray(kReading));
    QCOMPARE(results.at(2).counterWritten->digits, QByteArray("000000043"));
    // The device as known when each went out; the memory holds the last word.
    QVERIFY(!before.at(0).record && before.at(1).record);
    QCOMPARE(before.at(2).counterDigits(), QString::fromLatin1(kReading));
    QCOMPARE(link->memory()->state().counterDigits(), QStringLiteral("000000043"));
    QCOMPARE(link->portState(), DeviceLink::PortState::Idle);
    QTRY_VERIFY(!set); // the link deletes a reply once it has ended

    // Still waiting when the line goes: it ends as the one on the wire, unsent.
    link->setTimeouts({60000, 60000});
    QVERIFY(sim->control("fault silent=LP"));
    follow(link->read(), QStringLiteral("silent"));
    follow(link->writeCounter("000000044"), QStringLiteral("waiting"));
    QVERIFY(sim->waitForReceived(5));
    lost ? link->closeLost() : link->close();
    QCOMPARE(ends.mid(3), QStringList({"silent Read", "waiting Counter"}));
    const Status cut = lost ? Status::PortLost : Status::Closed;
    QCOMPARE(results.at(3).status, cut);
    QCOMPARE(results.at(4).status, cut);
    QCOMPARE(results.at(4).kind, Kind::WriteCounter);
    QVERIFY(!results.at(4).counterWritten);
    QCOMPARE(sim->commands().size(), 5);
}

void TestDeviceLinkEngine::defaultWaitsAreTheDevicesOwn()
{
    // The device needs up to 5 s for a parameter or write request and answers
    // the counter request within half a second; only tests wait less.
    const DeviceLink::Timeouts waits = DeviceLink().timeouts();
    QCOMPARE(waits.longRequestMs, 5000);
    QCOMPARE(waits.counterRequestMs, 500);
}

void TestDeviceLinkEngine::pickedPortStaysWhileListed()
{
    // Another adapter coming or going leaves the pick; a pick that has gone falls back to the first.
    const QStringList listed{"ttyS0", "ttyUSB0", "ttyUSB1"};
    QCOMPARE(PortEnumerator::keptChoice(listed, QStringLiteral("ttyUSB1")), 2);
    QCOMPARE(PortEnumerator::keptChoice(listed, QStringLiteral("ttyUSB7")), 0);
}

QTEST_MAIN(TestDeviceLinkEngine)
#include "tst_devicelink_engine.moc"
