// The wizard flow on a device link to the simulated device, with the stand-in
// flash tool and short time-outs: the walk through the steps as the page
// shows it, the firmware check and where each of its endings leads, and
// programming with the counter write that must wait for the parameters' answer.

#include <QtTest>

#include <QMetaEnum>

#include "devicelink.h"
#include "devsim.h"
#include "flashrun.h"
#include "samplerecord.h"
#include "wizardflow.h"

using tavik7::DeviceLink;
using tavik7::FlashRun;
using tavik7::WizardFlow;
using State = WizardFlow::State;
using Choice = WizardFlow::Choice;

namespace {

constexpr int kWaitMs = 8000;

enum Answer { NoQuestion, No, Yes };
// What happens while the check starts: a choice in an earlier row, or NAMUR listening.
enum Meanwhile { Nothing, EarlierRowChosen, PortLent };
enum Tool { Thanks, FailureExit, Missing };

QString nameOf(State state)
{
    return QString::fromLatin1(QMetaEnum::fromType<State>().valueToKey(int(state)));
}

} // namespace

class TestWizardFlow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void firmwareCheck_data();
    void firmwareCheck();
    void programming_data();
    void programming();
    void walkWithFixedDirection();

private:
    bool start(const QStringList &simArgs);
    void chooseTexts(const QStringList &texts);
    FlashRun::Request flashRequest(int tool);
    // The states the flow went through, by name, and the statuses of the link's requests.
    QStringList steps;
    QList<int> messages;
    QList<int> messagesAtQuestion;

    std::unique_ptr<QTemporaryDir> work;
    std::unique_ptr<DevSim> sim;
    std::unique_ptr<DeviceLink> link;
    FlashRun *run = nullptr;
    WizardFlow *flow = nullptr;
};

void TestWizardFlow::init()
{
    work = std::make_unique<QTemporaryDir>();
    sim = std::make_unique<DevSim>();
    link = std::make_unique<DeviceLink>();
    // Long enough for a parameter answer at 1200 baud, short for a quick suite.
    link->setTimeouts({1000, 500});
    run = new FlashRun(link.get(), link.get());
    flow = new WizardFlow(link.get(), run, link.get());
    steps.clear();
    messages.clear();
    messagesAtQuestion.clear();
    connect(flow, &WizardFlow::stateChanged, flow, [this](State state) { steps << nameOf(state); });
    connect(flow, &WizardFlow::requestSent, flow, [this](tavik7::DeviceReply *reply) {
        connect(reply, &tavik7::DeviceReply::stepFinished, flow,
                [this](const tavik7::DeviceResult &result) { messages << int(result.status); });
    });
}

void TestWizardFlow::cleanup()
{
    link.reset();
    sim.reset();
    work.reset();
}

bool TestWizardFlow::start(const QStringList &simArgs)
{
    return sim->start(simArgs) && link->open({sim->portPath()});
}

void TestWizardFlow::chooseTexts(const QStringList &texts)
{
    for (int choice = 0; choice < texts.size(); ++choice)
        flow->choose(Choice(choice), int(flow->view(0).choices.at(choice).items.indexOf(texts.at(choice))));
}

FlashRun::Request TestWizardFlow::flashRequest(int tool)
{
    FlashRun::Request request;
    request.firmwareFile = work->filePath(QStringLiteral("tavik_v1_12.hex"));
    // The run checks the image before anything reaches the device.
    QFile::remove(request.firmwareFile);
    QFile::copy(QStringLiteral(TAVIK7_FIRMWARE_DIR "/tavik_v1_12.hex"), request.firmwareFile);
    request.backupFolder = work->path() + QLatin1Char('/');
    request.tool = {QStringLiteral(TAVIK7_FAKEAVRDUDE_PATH), QStringLiteral("avrdude")};
    if (tool == Missing)
        request.tool.program = work->filePath(QStringLiteral("avrdude"));
    qputenv("FAKEAVRDUDE_OUTPUT", "avrdude done.  Thank you.\\n");
    qputenv("FAKEAVRDUDE_EXIT", tool == FailureExit ? "1" : "0");
    return request;
}

void TestWizardFlow::firmwareCheck_data()
{
    QTest::addColumn<QStringList>("simArgs");
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("tool");
    QTest::addColumn<QStringList>("wire");
    QTest::addColumn<QStringList>("trail"); // after Choosing, ReadingFirmware
    QTest::addColumn<int>("firmware");       // the device's, as the flow has it at the end
    QTest::addColumn<int>("meanwhile");

    const QStringList read{"LP", "L_ZLW"};
    const QStringList old{"--version", "111"};
    const QStringList asked{"AwaitingVerdict", "AskingFlash"};
    // The counter type checked (8, 0.01, 2) needs V1.12 or later.
    QTest::newRow("fits") << QStringList() << int(NoQuestion) << 0 << read
                          << QStringList{"AwaitingVerdict", "ChoosingDirection"} << 112 << int(Nothing);
    QTest::newRow("old firmware, flash declined")
        << old << int(No) << 0 << read << asked + QStringList{"Failed"} << 111 << int(Nothing);
    QTest::newRow("old firmware, flashed") << old << int(Yes) << int(Thanks) << read
                                           << asked + QStringList{"Flashing", "ChoosingDirection"} << 112
                                           << int(Nothing);
    QTest::newRow("old firmware, flash fails") << old << int(Yes) << int(FailureExit) << read
                                               << asked + QStringList{"Flashing", "Failed"} << 111 << int(Nothing);
    // A tool that never ran flashed nothing: no resuming as if it had.
    QTest::newRow("old firmware, tool missing") << old << int(Yes) << int(Missing) << read
                                                << asked + QStringList{"Flashing", "Failed"} << 111 << int(Nothing);
    // The verdict waits for the counter read, but does not depend on it.
    QTest::newRow("counter read fails") << QStringList{"--fault", "error=L_ZLW"} << int(NoQuestion) << 0
                                        << read << QStringList{"AwaitingVerdict", "ChoosingDirection"} << 112
                                        << int(Nothing);
    // An answer that fails its checksum must not be judged, no more than a
    // device error (the link ends both alike).
    QTest::newRow("bad checksum") << QStringList{"--fault", "badcrc=LP"} << int(NoQuestion) << 0
                                  << QStringList{"LP"} << QStringList{"Failed"} << 0 << int(Nothing);
    // A choice in an earlier row while the answer is on its way: it moves nothing.
    QTest::newRow("earlier row chosen during the read") << QStringList() << int(NoQuestion) << 0 << read
                                                        << QStringList{"Choosing"} << 0 << int(EarlierRowChosen);
    // NAMUR listening holds the port: no service command on its line.
    QTest::newRow("port lent") << QStringList() << int(NoQuestion) << 0 << QStringList()
                               << QStringList{"Failed"} << 0 << int(PortLent);
}

void TestWizardFlow::firmwareCheck()
{
    QFETCH(QStringList, simArgs);
    QFETCH(int, answer);
    QFETCH(int, tool);
    QFETCH(QStringList, wire);
    QFETCH(QStringList, trail);
    QFETCH(int, firmware);
    QFETCH(int, meanwhile);

    // The flow's turns, not how an answer trickles in (programming keeps the line's pace).
    QVERIFY(start(simArgs + QStringList{"--quick-answers"}));
    const FlashRun::Request request = flashRequest(tool);
    int questions = 0;
    connect(flow, &WizardFlow::question, flow, [&](WizardFlow::Question question) {
        ++questions;
        QCOMPARE(question, WizardFlow::Question::FlashFirmware);
        if (answer == Yes)
            flow->flash(request);
        else
            flow->keepFirmware();
    });

    if (meanwhile == PortLent)
        QVERIFY(link->lendPort());
    chooseTexts({"8", "0.01", "2"});
    if (meanwhile == EarlierRowChosen) {
        QCOMPARE(flow->state(), State::ReadingFirmware);
        flow->choose(Choice::NumberOfDigits, 2);
    }
    const auto progress = [&] {
        const bool idle = link->requestKind() == DeviceLink::NoRequest;
        return QStringList{sim->commands().join(QLatin1Char(',')), idle ? "idle" : "busy",
                           nameOf(flow->state())};
    };
    QTRY_COMPARE_WITH_TIMEOUT(progress(), (QStringList{wire.join(QLatin1Char(',')), "idle", trail.last()}), kWaitMs);
    QCoreApplication::processEvents(); // anything still queued would show now

    const QStringList begun{"Choosing", "ReadingFirmware"};
    const QStringList chosen{"Choosing", "Choosing"}; // digits, then Ua
    QCOMPARE(steps, chosen + (meanwhile == PortLent ? begun.mid(0, 1) : begun) + trail);
    QCOMPARE(questions, answer == NoQuestion ? 0 : 1);
    QCOMPARE(int(flow->record().deviceFirmware.value_or(0)), firmware);
    // The version as read or flashed, none after a read without an answer;
    // a refused check marks its row and leaves the page where it was.
    const tavik7::WizardView view = flow->view(0);
    QCOMPARE(view.firmware, firmware ? tavik7::softwareVersionText(quint16(firmware)) : QString());
    QCOMPARE(view.symbols[3] == tavik7::WizardSymbol::Failed, trail.last() == "Failed");
    const int step = trail.last() == "Choosing" ? 2 : trail.last() == "Failed" ? 4 : 5;
    QCOMPARE(flow->step(), meanwhile == PortLent ? 3 : step);
    // A type whose check did not pass is not programmed, nor led on to its counter.
    flow->showStep(6);
    const bool programmed = flow->prepareProgram(sampleRecord(), "12345678") && flow->step() == 7;
    QCOMPARE(programmed, trail.last() == "ChoosingDirection");
}

void TestWizardFlow::programming_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("write"); // the answer to the counter question
    QTest::addColumn<QStringList>("wire");
    QTest::addColumn<QList<int>>("beforeQuestion"); // the link's results when the counter question comes
    QTest::addColumn<QStringList>("trail");
    QTest::addColumn<bool>("programmed");

    const QStringList asked{"WritingParameters", "AskingCounterWrite"};
    const QStringList both{"SP", "S_ZLW"};
    const QList<int> answered{int(tavik7::DeviceResult::Status::Ok)};
    const QList<int> unanswered{int(tavik7::DeviceResult::Status::NoAnswer)};
    QTest::newRow("counter written") << QString() << true << both << answered
                                     << asked + QStringList{"WritingCounter", "Done"} << true;
    QTest::newRow("counter declined") << QString() << false << QStringList{"SP"} << answered
                                      << asked + QStringList{"Done"} << false;
    // The counter must not replace the telegram's request while its answer trickles in.
    QTest::newRow("telegram answered in pieces") << "pieces=SP" << true << both << answered
                                                 << asked + QStringList{"WritingCounter", "Done"} << true;
    QTest::newRow("telegram unanswered") << "silent=SP" << true << both << unanswered
                                         << asked + QStringList{"WritingCounter", "Done"} << true;
    QTest::newRow("counter unanswered") << "silent=S_ZLW" << true << both << answered
                                        << asked + QStringList{"WritingCounter", "Done"} << false;
}

void TestWizardFlow::programming()
{
    QFETCH(QString, fault);
    QFETCH(bool, write);
    QFETCH(QStringList, wire);
    QFETCH(QList<int>, beforeQuestion);
    QFETCH(QStringList, trail);
    QFETCH(bool, programmed);

    QVERIFY(start({}));
    if (!fault.isEmpty())
        QVERIFY(sim->control("fault " + fault.toLatin1()));
    connect(flow, &WizardFlow::question, flow, [&] {
        messagesAtQuestion = messages;
        if (write)
            QVERIFY(flow->writeCounter());
        else
            flow->skipCounterWrite();
    });
    QSignalSpy done(flow, &WizardFlow::programmed);

    QVERIFY(flow->program(sampleRecord(), "000000042"));
    QVERIFY(!flow->program(sampleRecord(), "000000042")); // one programming at a time
    QTRY_COMPARE_WITH_TIMEOUT(flow->state(), State::Done, kWaitMs);
    QCOMPARE(sim->commands(), wire);
    if (write)
        QCOMPARE(sim->received().at(1), QStringLiteral("RX S_ZLW 000000042"));
    QCOMPARE(messagesAtQuestion, beforeQuestion);
    QCOMPARE(steps, trail);
    QCoreApplication::processEvents(); // the report comes from the event loop
    QCOMPARE(done.count(), programmed ? 1 : 0);

    // Nothing is sent, and nothing changes, without a free link.
    link->close();
    QVERIFY(!flow->program(sampleRecord(), "000000042"));
    QCOMPARE(flow->state(), State::Done);
}

void TestWizardFlow::walkWithFixedDirection()
{
    // 8, ---, 2 needs V1.11: flashed, then on to the counter at once.
    QVERIFY(start({"--quick-answers", "--version", "112"}));
    const FlashRun::Request request = flashRequest(Thanks);
    QString reading = QStringLiteral("012345678");
    flow->setCounterReading([&reading] { return reading; });
    connect(flow, &WizardFlow::flashed, flow, [&reading] { reading = QStringLiteral("12345678"); });
    connect(flow, &WizardFlow::question, flow, [&](WizardFlow::Question question) {
        question == WizardFlow::Question::FlashFirmware ? flow->flash(request) : flow->skipCounterWrite();
    });
    chooseTexts({"8", "---", "2"});
    QTRY_COMPARE_WITH_TIMEOUT(flow->state(), State::EnteringCounter, kWaitMs);
    const tavik7::WizardView view = flow->view(0);
    QVERIFY(view.choices[3].current == 1 && !view.choices[3].enabled);
    // From the reading as the flash left it, laid out for the firmware flashed.
    QCOMPARE(view.entry.text, QStringLiteral("123456,78"));

    // While programming runs a choice is refused, and the list shows the one in force.
    QVERIFY(flow->prepareProgram(sampleRecord(), view.entry.text) && flow->step() == 7);
    QVERIFY(flow->program(flow->record().program.record, flow->record().program.counterDigits));
    flow->choose(Choice::NumberOfDigits, 2);
    QVERIFY(flow->view(0).choices[0].current == 1 && !flow->view(0).choices[0].enabled);
    QTRY_COMPARE_WITH_TIMEOUT(flow->state(), State::Done, kWaitMs);
    // Step 1 keeps the choices, as after a connect from the Interface tab.
    flow->showStep(1);
    QVERIFY(flow->step() == 1 && flow->view(0).choices[0].current == 1 && flow->view(0).choices[0].enabled);
}

QTEST_MAIN(TestWizardFlow)
#include "tst_wizardflow.moc"
