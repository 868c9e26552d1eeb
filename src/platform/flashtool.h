#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// The flash tool avrdude: where it is, how it is called, how its end is judged.
namespace tavik7::flashtool {

// The system whose conventions apply; the functions below take it as an
// argument so that both forms can be checked on either system.
enum class System { Windows, Linux };

#ifdef Q_OS_WIN
constexpr System kThisSystem = System::Windows;
#else
constexpr System kThisSystem = System::Linux;
#endif

// Overrides the flash tool: the program named by this environment variable is
// run instead of avrdude, whatever the folder below the working directory
// holds. The tests point it at a stub; a service PC can point it at another
// avrdude installation.
constexpr char kToolEnvironmentVariable[] = "TAVIK7_AVRDUDE";

// The tool below the working directory: "AVRDude\avrdude.exe" or "AVRDude/avrdude".
[[nodiscard]] QString defaultToolPath(System system);

// The tool to run and the form in which the command line shows it.
struct Tool
{
    QString program; // what QProcess starts
    QString shown;   // the same, as the technician knows it
};

// The environment variable's program if set; else the tool in the "AVRDude"
// folder below the working directory if it is there; else "avrdude" found on
// the search path (an installed avrdude on Linux); else the folder's tool all
// the same, which then fails to start and is reported as such.
[[nodiscard]] Tool locateTool();

// The port as avrdude must be given it: "\\.\COM3" on Windows, the device node
// ("/dev/ttyUSB0") on Linux, where the serial port's own name lacks "/dev/".
[[nodiscard]] QString portArgument(System system, const QString &portName);

// The arguments: safe mode off, ATmega168, 9600 baud, the AVR109 boot loader
// protocol, verbose, the port and a write of the flash from an Intel HEX file.
// "flash:w:PATH:i" is one argument without quotes, so a path with blanks or
// quotes reaches the tool as it is.
[[nodiscard]] QStringList arguments(const QString &portArgument, const QString &hexPath);

// The command line as shown to the technician, with the program and the path in quotes.
[[nodiscard]] QString commandLine(const QString &shownProgram, const QString &portArgument,
                                  const QString &hexPath);

// avrdude ends every run with "Thank you.", also a failed one; only a normal
// exit with code 0 and that text is a successful flash.
[[nodiscard]] bool runSucceeded(QProcess::ExitStatus status, int exitCode, const QString &output);

} // namespace tavik7::flashtool
