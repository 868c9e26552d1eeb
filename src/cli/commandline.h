#pragma once

#include <QString>
#include <QStringList>

namespace tavik7::cli {

enum class Command { Ports, Read, Write, Check, SetCounter, Flash, Report, Namur, Book, Plan, Apply, Provision };

// Everything the command line asked for, checked against its command.
struct CliOptions
{
    Command command = Command::Ports;
    QString commandName;
    QStringList ports;   // as given, in order
    bool json = false;
    bool dryRun = false;
    QString outputFile;  // read: settings file; report: PDF
    QString inputFile;   // write, plan: settings file; flash: firmware image; apply: plan
    QString digits;      // set-counter
    int language = 1;    // English
    int count = 0;       // namur: telegrams to take, 0 for no limit
    QString logFile;     // namur; empty: the window's log in the per-user folder
    int durationSeconds = 0; // namur: listening time, 0 for no limit
    QStringList keep;    // write, check: field keys that keep the device's value
    QStringList setValues; // write: "KEY=VALUE", settings-file form
    QString field;       // read: the one field key to print
    bool check = false;  // read: implausible fields end the run with 5
    bool quiet = false;  // no stderr lines for a port that succeeds
    int waitSeconds = 0; // how long to wait for a port that is not there yet
    QStringList notes;   // report: up to five note lines
    bool verify = false; // write: read back and compare
    bool yes = false;    // flash: no waiting for the adapter's switch
    bool noBackup = false; // flash: no backup read, for a device that cannot answer
    QString traceFile;   // the bytes on the wire, per port; empty: none
    QString technician;  // --technician or TAVIK7_TECHNICIAN: recorded in every event; empty: none
    QString reason;      // write, set-counter, flash, apply: why, recorded with the change
    QString defaultsFile;  // provision: a settings file for the columns a job leaves out
    QString firmwareFile;  // provision: the image a device of another version is flashed with
    QString reportDir;     // provision: where each device's inspection report goes
    QString station;       // provision: this station's name in the book
    QString freshSerial;   // provision: the serial number a fresh device shows
    bool status = false;   // provision: each row's state, no port opened
    QString bookFile;    // --book, taken off before the command; empty: TAVIK7_BOOK or the per-user book
};

struct ParsedCommandLine
{
    enum Outcome { Run, ShowHelp, ShowVersion, UsageError } outcome = Run;
    CliOptions options;
    QString error;       // UsageError: the complaint, in the options' language
    QString helpCommand; // ShowHelp: the command asked about, or empty for all
};

// arguments[0] is the program's name.
[[nodiscard]] ParsedCommandLine parseCommandLine(const QStringList &arguments);

// The help asked for, in the options' language.
[[nodiscard]] QString helpFor(const ParsedCommandLine &parsed);

} // namespace tavik7::cli
