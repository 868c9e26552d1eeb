#pragma once

#include <optional>

#include "devicelink.h"

namespace tavik7 {

// Everything the device buttons of a front end depend on, as the engines
// and the parameter sheet report it at one moment.
struct ButtonInputs
{
    DeviceLink::PortState port = DeviceLink::PortState::Closed;
    // The port state the buttons followed last time: the report button
    // comes on when a connection is made, not when a request ends.
    DeviceLink::PortState previousPort = DeviceLink::PortState::Closed;
    DeviceLink::Availability can;
    bool flashing = false;      // a flash run is on its way
    bool fitToWrite = false;    // the sheet's verdict
    bool fitToPrint = false;
    bool programming = false;   // the wizard is programming the device
    bool listening = false;     // the NAMUR listener holds the port
    bool logging = false;       // a NAMUR log is asked for
};

// Which button may be pressed now.
struct ButtonStates
{
    bool portChoice = false;
    bool connect = false;
    bool disconnect = false;
    bool read = false;
    bool write = false;
    bool setCounter = false;
    // Unset: the report button keeps the state it has.
    std::optional<bool> report;
    bool program = false;
    bool startNamur = false;
    bool stopNamur = false;
    bool namurLogging = false;
    bool namurLogFile = false;
    bool chooseFirmware = false;
    bool flash = false;
    bool cancelFlash = false;
};

[[nodiscard]] ButtonStates buttonStates(const ButtonInputs &in);

} // namespace tavik7
