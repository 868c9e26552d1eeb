#pragma once

namespace tavik7::cli {

// What scripts test for; the same numbers in --help, the manual and the README.
// A run over several ports ends with the highest code of them all.
enum ExitCode : int {
    ExitDone = 0,
    ExitUsage = 1,        // usage, or a file that cannot be read or is invalid
    ExitPort = 2,         // the port cannot be opened, is missing or went away
    ExitNoAnswer = 3,     // no (complete) answer in time
    ExitWrongAnswer = 4,  // CRC, "Fehler!", no "OK", counter not echoed
    ExitImplausible = 5,  // refused before anything was sent
    ExitFlashFailed = 6,  // avrdude failed or could not start
    ExitDiffers = 7,      // the device holds other values than the file or the write
    ExitOutput = 8,       // standard output could not be written; the devices' work was done
    ExitBookServer = 9,   // book commands: the book's server unreachable, login refused, no usable book there
    ExitStale = 10,       // the device is no longer what the plan was made from
    ExitInterrupted = 130 // SIGINT or SIGTERM before the work was done
};

} // namespace tavik7::cli
