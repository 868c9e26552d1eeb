// The sessions against the simulated device over a real pseudo-terminal, a
// fault at each step: what goes out on the wire, and the one end each gives.

#include <QtTest>

#include "devicelink.h"
#include "devsim.h"
#include "flashsession.h"
#include "messagecatalogue.h"
#include "parameterfields.h"
#include "plansession.h"
#include "reportsession.h"
#include "texttable.h"
#include "writesession.h"

using namespace tavik7;
using Status = DeviceResult::Status;
using End = WriteEnd::Status;
using PlanStatus = PlanEnd::Status;

Q_DECLARE_METATYPE(Status)
Q_DECLARE_METATYPE(End)
Q_DECLARE_METATYPE(PlanStatus)

namespace {

constexpr int kWaitMs = 8000;
constexpr char kReading[] = "012345678";

QStringList keysOf(const QList<int> &fields)
{
    QStringList keys;
    for (int field : fields)
        keys.append(QLatin1String(kParameterFields[field].jsonKey));
    return keys;
}

} // namespace

class TestSessions : public QObject
{
    Q_OBJECT

private slots:
    void writeSession_data();
    void writeSession();
    void planSession_data();
    void planSession();
    void reportSession_data();
    void reportSession();
    void flashSessionFlashesNothingWithoutItsBackup();
    void whatAFailedWriteLeaves_data();
    void whatAFailedWriteLeaves();
};

void TestSessions::writeSession_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("set"); // key=value over the device's record; "refuse": the plan gives nothing
    QTest::addColumn<bool>("readBack");
    QTest::addColumn<QStringList>("wire");
    QTest::addColumn<End>("end");
    QTest::addColumn<Status>("status");
    // What the device acknowledged as changed, or for a read-back that differs, what differs.
    QTest::addColumn<QStringList>("keys");

    QTest::newRow("written") << "" << "unit=kg" << false << QStringList{"LP", "SP"} << End::Written << Status::Ok
                             << QStringList{"unit"};
    QTest::newRow("written, read back") << "" << "unit=kg" << true << QStringList{"LP", "SP", "LP", "L_ZLW"}
                                        << End::Written << Status::Ok << QStringList{"unit"};
    QTest::newRow("turned, counter along") << "" << "direction=1" << true
                                           << QStringList{"LP", "L_ZLW", "SP", "S_ZLW", "LP", "L_ZLW"}
                                           << End::Written << Status::Ok << QStringList{"direction"};
    QTest::newRow("plan refuses") << "" << "refuse" << true << QStringList{"LP"} << End::Refused << Status::Refused
                                  << QStringList();
    // A reading that could not be written back: the device is not turned.
    QTest::newRow("reading without digits") << "echo=L_ZLW" << "direction=1" << true << QStringList{"LP", "L_ZLW"}
                                            << End::Failed << Status::WrongAnswer << QStringList();
    QTest::newRow("no answer to LP") << "silent=LP" << "unit=kg" << true << QStringList{"LP"} << End::Failed
                                     << Status::NoAnswer << QStringList();
    QTest::newRow("Fehler! to SP") << "error=SP" << "unit=kg" << true << QStringList{"LP", "SP"} << End::Failed
                                   << Status::DeviceError << QStringList();
    // The line goes once the device took the parameters of its new direction.
    QTest::newRow("cut before S_ZLW") << "cut" << "direction=1" << true << QStringList{"LP", "L_ZLW", "SP"}
                                      << End::Failed << Status::PortLost << QStringList{"direction"};
    // A negative exponent has no leading plus: the device keeps none.
    QTest::newRow("read-back differs") << "" << "leadingPlus=1" << true << QStringList{"LP", "SP", "LP", "L_ZLW"}
                                       << End::ReadBackDiffers << Status::Ok << QStringList{"leadingPlus"};
}

void TestSessions::writeSession()
{
    QFETCH(QString, fault);
    QFETCH(QString, set);
    QFETCH(bool, readBack);
    QFETCH(QStringList, wire);
    QFETCH(End, end);
    QFETCH(Status, status);
    QFETCH(QStringList, keys);
    DevSim sim;
    QVERIFY(sim.start({"--quick-answers"}));
    DeviceLink link;
    link.setTimeouts({800, 400});
    QVERIFY(link.open({sim.portPath()}));
    if (!fault.isEmpty() && fault != QLatin1String("cut"))
        QVERIFY(sim.control("fault " + fault.toLatin1()));

    auto *session = new WriteSession(&link);
    QPointer<WriteSession> alive = session;
    QStringList told; // the book's moments and the write's end, in order
    connect(session, &WriteSession::requestEnded, this, [&](const DeviceReply *reply) {
        told << QVariant::fromValue(reply->purpose()).toString();
    });
    connect(session, &WriteSession::written, this, [&] { told << QStringLiteral("written"); });
    if (fault == QLatin1String("cut")) {
        connect(session, &WriteSession::stepFinished, this, [&](const DeviceResult &step) {
            if (step.written)
                link.closeLost();
        });
    }
    QSignalSpy finished(session, &WriteSession::finished);
    const QString key = set.section(QLatin1Char('='), 0, 0);
    const QString value = set.section(QLatin1Char('='), 1);
    QVERIFY(session->start(
        [&](const ParameterRecord &device) -> std::optional<ParameterRecord> {
            if (set == QLatin1String("refuse"))
                return std::nullopt;
            ParameterRecord planned = device;
            if (key == QLatin1String("unit"))
                setFieldText(planned.unit, kUnitWidth, value);
            else if (key == QLatin1String("direction"))
                planned.direction = qint8(value.toInt());
            else
                planned.leadingPlus = quint8(value.toInt());
            if (key == QLatin1String("leadingPlus"))
                planned.significance = 0;
            return planned;
        },
        readBack));
    QVERIFY(finished.wait(kWaitMs));
    const WriteEnd result = finished.at(0).at(0).value<WriteEnd>();
    QCOMPARE(sim.commands(), wire);
    QCOMPARE(result.status, end);
    QCOMPARE(result.failure().status, status);
    QCOMPARE(keysOf(end == End::ReadBackDiffers ? result.differing : result.changed), keys);
    // The write is told before the read-back goes out, the book before each telling.
    QStringList expected{"Write", "written"};
    if (wire.size() > 4 || (wire.size() == 4 && wire.at(2) == QLatin1String("LP")))
        expected << "Verify";
    QCOMPARE(told, expected);
    QCOMPARE(result.readBack.has_value(), expected.size() == 3);
    if (fault == QLatin1String("cut"))
        QCOMPARE(result.write.counterNotWrittenBack()->digits, QByteArray(kReading));
    QTRY_VERIFY(!alive); // one end, then gone
}

void TestSessions::planSession_data()
{
    QTest::addColumn<QString>("unit");      // the unit the plan asks for
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<QByteArray>("meanwhile"); // the device changed between plan and answer
    QTest::addColumn<QStringList>("wire");
    QTest::addColumn<PlanStatus>("end");

    QTest::newRow("confirmed") << "kg" << true << QByteArray() << QStringList{"LP", "L_ZLW", "LP", "SP"}
                               << PlanStatus::Ended;
    QTest::newRow("declined") << "kg" << false << QByteArray() << QStringList{"LP", "L_ZLW"} << PlanStatus::Declined;
    // Nothing to ask: the plan equals the device.
    QTest::newRow("no change") << "" << true << QByteArray() << QStringList{"LP", "L_ZLW"} << PlanStatus::NoChange;
    // The write's own read finds the plan's old value gone: no telegram.
    QTest::newRow("changed meanwhile") << "kg" << true << QByteArray("set unit=t") << QStringList{"LP", "L_ZLW", "LP"}
                                       << PlanStatus::Stale;
    QTest::newRow("other device meanwhile") << "kg" << true << QByteArray("set serial=987654321")
                                            << QStringList{"LP", "L_ZLW", "LP"} << PlanStatus::Stale;
}

void TestSessions::planSession()
{
    QFETCH(QString, unit);
    QFETCH(bool, confirm);
    QFETCH(QByteArray, meanwhile);
    QFETCH(QStringList, wire);
    QFETCH(PlanStatus, end);
    DevSim sim;
    QVERIFY(sim.start({"--quick-answers"}));
    DeviceLink link;
    link.setTimeouts({800, 400});
    QVERIFY(link.open({sim.portPath()}));
    // The target: the device's record, as a first read finds it, with the unit asked for.
    DeviceReply *first = link.read(DeviceReply::Purpose::Read);
    QVERIFY(first);
    QSignalSpy firstRead(first, &DeviceReply::finished);
    QVERIFY(firstRead.wait(kWaitMs));
    ParameterRecord target = *link.memory()->record();
    if (!unit.isEmpty())
        setFieldText(target.unit, kUnitWidth, unit);
    sim.clearLog();

    auto *session = new PlanSession(&link);
    QPointer<PlanSession> alive = session;
    QList<DevicePlan> asked;
    connect(session, &PlanSession::planned, this, [&](const DevicePlan &plan) {
        asked.append(plan);
        if (plan.changes.isEmpty())
            return;
        if (!meanwhile.isEmpty())
            QVERIFY(sim.control(meanwhile));
        session->answer(confirm);
    });
    QSignalSpy finished(session, &PlanSession::finished);
    QVERIFY(session->review(target, QStringLiteral("test")));
    QVERIFY(finished.wait(kWaitMs));
    const PlanEnd result = finished.at(0).at(0).value<PlanEnd>();
    QCOMPARE(sim.commands(), wire);
    QCOMPARE(result.status, end);
    QCOMPARE(asked.size(), 1);
    QCOMPARE(asked.at(0).changes.size(), unit.isEmpty() ? 0 : 1);
    QCOMPARE(result.check.stale(), end == PlanStatus::Stale);
    if (end == PlanStatus::Ended) {
        QCOMPARE(result.write->status, End::Written);
        QCOMPARE(keysOf(result.write->changed), QStringList{"unit"});
    }
    QTRY_VERIFY(!alive); // one end, then gone
}

void TestSessions::reportSession_data()
{
    QTest::addColumn<QStringList>("device");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<Status>("status");
    QTest::addColumn<QStringList>("implausible");
    QTest::addColumn<bool>("plausible");
    QTest::newRow("plausible") << QStringList() << "" << Status::Ok << QStringList() << true;
    QTest::newRow("a year the table refuses") << QStringList{"--year", "1900"} << "" << Status::Ok
                                              << QStringList{"year"} << false;
    QTest::newRow("no answer to LP") << QStringList() << "silent=LP" << Status::NoAnswer << QStringList() << false;
    QTest::newRow("Fehler! to L_ZLW") << QStringList() << "error=L_ZLW" << Status::DeviceError << QStringList()
                                      << false;
}

void TestSessions::reportSession()
{
    QFETCH(QStringList, device);
    QFETCH(QString, fault);
    QFETCH(Status, status);
    QFETCH(QStringList, implausible);
    QFETCH(bool, plausible);
    DevSim sim;
    QVERIFY(sim.start(QStringList{"--quick-answers"} + device));
    DeviceLink link;
    link.setTimeouts({800, 400});
    QVERIFY(link.open({sim.portPath()}));
    if (!fault.isEmpty())
        QVERIFY(sim.control("fault " + fault.toLatin1()));
    auto *session = new ReportSession(&link);
    QStringList told;
    connect(session, &ReportSession::requestEnded, this, [&](const DeviceReply *reply) {
        told << QVariant::fromValue(reply->purpose()).toString();
    });
    QSignalSpy finished(session, &ReportSession::finished);
    QVERIFY(session->start());
    QVERIFY(finished.wait(kWaitMs));
    const ReportEnd end = finished.at(0).at(0).value<ReportEnd>();
    QCOMPARE(told, QStringList{"Report"});
    QCOMPARE(end.read.status, status);
    QCOMPARE(end.read.sequence, DeviceResult::Sequence::Report);
    QCOMPARE(keysOf(end.implausibleFields), implausible);
    QCOMPARE(end.plausible(), plausible);
}

void TestSessions::flashSessionFlashesNothingWithoutItsBackup()
{
    DevSim sim;
    QVERIFY(sim.start({"--quick-answers"}));
    DeviceLink link;
    link.setTimeouts({800, 400});
    QVERIFY(link.open({sim.portPath()}));
    QVERIFY(sim.control("fault silent=LP"));
    FlashRun run(&link);
    auto *session = new FlashSession(&link, &run);
    QSignalSpy ready(session, &FlashSession::readyToFlash);
    QSignalSpy finished(session, &FlashSession::finished);
    FlashRun::Request request;
    request.firmwareFile = QStringLiteral("never-started.hex");
    QVERIFY(session->start(request, true));
    QVERIFY(finished.wait(kWaitMs));
    const FlashEnd end = finished.at(0).at(0).value<FlashEnd>();
    QCOMPARE(end.read->status, Status::NoAnswer);
    QCOMPARE(end.verdict, FlashRun::Verdict::None);
    QCOMPARE(ready.count(), 0);
    // The port stays the link's: no tool was handed it.
    QCOMPARE(link.portState(), DeviceLink::PortState::Idle);
    QCOMPARE(sim.commands(), QStringList{"LP"});
}

// What the device may hold after a write that ended short, as both front
// ends add it below the failure's own line (numbered as in the manual).
void TestSessions::whatAFailedWriteLeaves_data()
{
    QTest::addColumn<Status>("status");
    QTest::addColumn<QString>("steps"); // s: telegram sent, w: acknowledged, c: counter echoed, t: turned
    QTest::addColumn<int>("message");   // the end's own line
    QTest::addColumn<QString>("note");  // English, empty when nothing is added

    const QString unanswered = QStringLiteral("The parameter telegram was sent; without an answer it is unknown "
                                              "whether Tavik7 took it.");
    QTest::newRow("written whole") << Status::Ok << "swct" << 4 << "";
    QTest::newRow("silent before the telegram") << Status::NoAnswer << "" << 70 << "";
    QTest::newRow("telegram unanswered") << Status::NoAnswer << "s" << 70 << unanswered;
    QTest::newRow("no OK to the telegram") << Status::WrongAnswer << "s" << 53 << unanswered;
    // "Fehler!" is the device's verdict: it did not take the telegram.
    QTest::newRow("Fehler! to the telegram") << Status::DeviceError << "s" << 53 << "";
    QTest::newRow("turned, counter not written back")
        << Status::PortLost << "swt" << 70
        << "The parameters were written to Tavik7, but its counter status 1234567,8 was not written back. "
           "Check the counter status and set it if needed.";
    QTest::newRow("same direction, counter not along") << Status::PortLost << "sw" << 70 << "";
}

void TestSessions::whatAFailedWriteLeaves()
{
    QFETCH(Status, status);
    QFETCH(QString, steps);
    QFETCH(QString, note);
    DeviceResult result;
    result.status = status;
    result.sequence = DeviceResult::Sequence::Write;
    result.kind = steps.contains(QLatin1Char('w')) ? DeviceResult::Kind::WriteCounter
                  : steps.contains(QLatin1Char('s')) ? DeviceResult::Kind::WriteParameters
                                                     : DeviceResult::Kind::ReadParameters;
    result.counter = CounterReading{QStringLiteral("1234567,8"), QByteArray(kReading)};
    if (steps.contains(QLatin1Char('s')))
        result.sent = ParameterRecord{};
    if (steps.contains(QLatin1Char('w')))
        result.written = ParameterRecord{};
    if (steps.contains(QLatin1Char('c')))
        result.counterWritten = result.counter;
    result.directionChanged = steps.contains(QLatin1Char('t'));
    QTEST(int(result.wording().message), "message");
    const ConsoleEntry added = result.deviceMayHold();
    QCOMPARE(added.id == MessageId::None ? QString() : renderMessage(added.id, added.arguments, English), note);
}

QTEST_GUILESS_MAIN(TestSessions)
#include "tst_sessions.moc"
