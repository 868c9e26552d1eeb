// Which device buttons a front end offers in each state of the port, the
// flash run, the NAMUR listener, the wizard and the table's verdict.

#include <QtTest>

#include "buttonavailability.h"

Q_DECLARE_METATYPE(tavik7::ButtonInputs)

using namespace tavik7;
using PortState = DeviceLink::PortState;

namespace {

DeviceLink::Availability all() { return {true, true, true, true, true}; }

// The buttons that are on, by short name; the report's kept state as "report?".
QStringList on(const ButtonStates &s)
{
    const std::pair<const char *, bool> named[] = {
        {"port", s.portChoice}, {"connect", s.connect}, {"disconnect", s.disconnect}, {"read", s.read},
        {"write", s.write}, {"counter", s.setCounter}, {"program", s.program}, {"namur", s.startNamur},
        {"stop", s.stopNamur}, {"logging", s.namurLogging}, {"logfile", s.namurLogFile},
        {"firmware", s.chooseFirmware}, {"flash", s.flash}, {"cancel", s.cancelFlash},
    };
    QStringList names;
    for (const auto &[name, enabled] : named) {
        if (enabled)
            names.append(QLatin1String(name));
    }
    names.append(!s.report ? QStringLiteral("report?") : *s.report ? QStringLiteral("report") : QString());
    names.removeAll(QString());
    return names;
}

} // namespace

class TestButtonAvailability : public QObject
{
    Q_OBJECT

private slots:
    void buttons_data();
    void buttons();
};

void TestButtonAvailability::buttons_data()
{
    QTest::addColumn<ButtonInputs>("in");
    QTest::addColumn<QString>("expected");

    const ButtonInputs closed{PortState::Closed, PortState::Closed, {}, false, true, true, false, false, false};
    QTest::newRow("closed") << closed << "port connect program firmware";
    ButtonInputs implausibleClosed = closed;
    implausibleClosed.fitToWrite = implausibleClosed.fitToPrint = false;
    // A closed port turns the report off even while the values keep it.
    QTest::newRow("closed, implausible") << implausibleClosed << "port connect program firmware";

    const ButtonInputs idle{PortState::Idle, PortState::Idle, all(), false, true, true, false, false, false};
    QTest::newRow("idle") << idle
                          << "disconnect read write counter program namur logging firmware flash report";
    ButtonInputs implausible = idle;
    implausible.fitToWrite = implausible.fitToPrint = false;
    // Write and the counter wait for plausible values; the report keeps its state.
    QTest::newRow("idle, implausible") << implausible << "disconnect read program namur logging firmware flash report?";
    ButtonInputs justConnected = implausible;
    justConnected.previousPort = PortState::Closed;
    QTest::newRow("just connected, implausible")
        << justConnected << "disconnect read program namur logging firmware flash report";
    ButtonInputs afterRequest = implausible;
    afterRequest.previousPort = PortState::Busy;
    QTest::newRow("request ended, implausible")
        << afterRequest << "disconnect read program namur logging firmware flash report?";
    ButtonInputs logging = idle;
    logging.logging = true;
    QTest::newRow("log asked for")
        << logging << "disconnect read write counter program namur logging logfile firmware flash report";

    const ButtonInputs busy{PortState::Busy, PortState::Idle, {}, false, true, true, false, false, true};
    QTest::newRow("busy") << busy << "disconnect logging logfile firmware";
    ButtonInputs programming = idle;
    programming.programming = true;
    QTest::newRow("programming") << programming
                                 << "disconnect read write counter namur logging firmware flash report";

    const ButtonInputs listening{PortState::Lent, PortState::Idle, {}, false, true, true, false, true, true};
    QTest::newRow("listening") << listening << "stop firmware";
    const ButtonInputs flashing{PortState::Lent, PortState::Idle, {}, true, true, true, false, false, false};
    QTest::newRow("flashing") << flashing << "cancel";
    ButtonInputs flashingClosed = flashing;
    flashingClosed.port = PortState::Closed;
    // The port given up during a run: Connect is offered, another run is not.
    QTest::newRow("flashing, port closed") << flashingClosed << "port connect program cancel";
}

void TestButtonAvailability::buttons()
{
    QFETCH(ButtonInputs, in);
    QTEST(on(buttonStates(in)).join(QLatin1Char(' ')), "expected");
}

QTEST_GUILESS_MAIN(TestButtonAvailability)
#include "tst_buttonavailability.moc"
