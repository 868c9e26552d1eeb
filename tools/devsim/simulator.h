#pragma once

#include "bootloader.h"
#include "commandparser.h"
#include "devicestate.h"
#include "faults.h"
#include "namuroutput.h"
#include "ptyline.h"

#include <QByteArray>
#include <QString>

namespace devsim {

// The device serves different interfaces on the same line, told apart by the
// baud rate the PC program chose.
enum class LineMode {
    ParameterInterface, // 1200 baud: "LP", "SP", "L_ZLW", "S_ZLW"
    NamurOutput,        // 2400 baud: NAMUR telegrams sent on the device's own accord
    BootLoader,         // 9600 baud: AVR109 boot loader of an ATmega168 (avrdude -c avr109)
    Unsupported,        // any other rate: the device hears nothing it understands
};

[[nodiscard]] LineMode lineModeForBaud(int baud);
[[nodiscard]] const char *lineModeName(LineMode mode);

// The simulated device: one poll() loop over the line, the control input and
// a wake-up pipe for signals. Everything it hears and says is logged to
// stdout, one line each, flushed at once:
//   first line        the path of the serial port to open
//   RX <command>      a request of the parameter interface ("RX LP",
//                     "RX S_ZLW 123", "RX SP <hex of all 48 bytes>");
//                     "RX ? <hex>" for a line the device does not know
//   TX <hex>          an answer, once its last byte is on the line
//   CTL OK <line>     a control line carried out ("CTL ERROR <line>: why")
//   FAULT <kinds>     faults applied to the request just logged
//   MODE <mode> <baud> the line mode changed
//   BOOT <command>    a boot loader command carried out ("BOOT e", "BOOT B F 128 @0x0040")
//   STATE <key=value> the device state, on request
//   INFO <text>       anything else worth knowing
class Simulator
{
public:
    Simulator(const DeviceState &state, const FaultSet &faults, const QString &statePath);

    // NAMUR output back to back instead of at the record's interval, and at
    // most limit telegrams per switch to 2400 baud (-1: no limit).
    void setNamurOutput(bool fast, qint64 limit);
    // Answers at once instead of at the line's rate, for tests that check
    // what a program makes of an answer, not how it gathers one. Answers
    // disturbed by a fault and NAMUR output keep the line's pace.
    void setQuickAnswers(bool quick) { m_quickAnswers = quick; }

    // Runs until "quit", a hang-up, SIGTERM or SIGINT; returns the exit status.
    int run();

private:
    void onLineData(const QByteArray &bytes);
    // The PC program sets the rate on its side of the line; the device only
    // learns of it by looking.
    void switchLineMode(int baud);
    // The NAMUR output sends without being asked: it is serviced from the
    // poll loop, which wakes up at least every kLineWatchMs to notice a new rate.
    [[nodiscard]] int namurWakeMs() const;
    void serviceNamurOutput(bool lineWritable);
    void handleParameterInput(const QByteArray &bytes);
    // Later work: the NAMUR output. Until then the device ignores what it
    // hears in this mode.
    void handleNamurInput(const QByteArray &bytes);
    // The boot loader answers avrdude; leaving it starts the flashed firmware.
    void handleBootLoaderInput(const QByteArray &bytes);

    void handleRequest(const Request &request);
    QByteArray carryOut(const Request &request);
    void sendAnswer(const QByteArray &answer, PtyLine::Pacing pacing);

    void onControlData(const QByteArray &bytes);
    void handleControlLine(const QByteArray &line);

    void saveState();
    void hangUp();

    PtyLine m_line;
    DeviceState m_state;
    FaultSet m_faults;
    QString m_statePath;
    CommandParser m_parser;
    LineMode m_mode = LineMode::ParameterInterface;
    NamurOutput m_namur{false, -1};
    qint64 m_lastInputMs = 0;
    bool m_controlOpen = true;
    QByteArray m_controlPending;
    BootLoader m_bootLoader;
    qint64 m_bootLoaderInputMs = 0;
    bool m_finished = false;
    bool m_quickAnswers = false;
    int m_exitCode = 0;
};

} // namespace devsim
