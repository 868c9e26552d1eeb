#include "buttonavailability.h"

namespace tavik7 {

ButtonStates buttonStates(const ButtonInputs &in)
{
    using PortState = DeviceLink::PortState;
    // The link says Idle only while no request runs and neither NAMUR nor a
    // flash holds the port.
    const auto connected = [](PortState port) { return port == PortState::Idle || port == PortState::Busy; };
    // The service line is the technician's while connected and no other job has it.
    const bool serviceLine = connected(in.port);
    ButtonStates s;
    s.portChoice = in.port == PortState::Closed;
    s.connect = in.port == PortState::Closed;
    s.disconnect = serviceLine;
    // Without a port Read goes off; only the table's verdict turns it on again.
    s.read = in.can.read;
    s.write = in.can.write && in.fitToWrite;
    s.setCounter = in.can.setCounter && in.fitToWrite;
    // While values are implausible the report button keeps its state: a
    // request or a closed port turns it off, a connection turns it on, and
    // the report sequence itself refuses to print implausible values.
    const bool connectedNow = in.port == PortState::Idle && !connected(in.previousPort);
    if (!in.can.read || in.fitToPrint || connectedNow)
        s.report = in.can.read;
    // Programming writes what the wizard sets, whatever the table says.
    s.program = (in.port == PortState::Idle || in.port == PortState::Closed) && !in.programming;
    s.startNamur = in.can.namur;
    s.stopNamur = in.listening;
    s.namurLogging = serviceLine;
    s.namurLogFile = serviceLine && in.logging;
    // A flash run outlasts port changes; its Cancel stays reachable.
    s.chooseFirmware = !in.flashing;
    s.flash = in.can.flash && !in.flashing;
    s.cancelFlash = in.flashing;
    return s;
}

} // namespace tavik7
