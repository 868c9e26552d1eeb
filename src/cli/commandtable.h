#pragma once

#include <QString>

#include "commandline.h"

namespace tavik7::cli {

// How many ports a command takes: none, exactly one, or one and more.
enum class Ports { None, One, Many };

// Options that belong to some commands only.
enum OptionBit : unsigned {
    OptJson = 1u << 0,
    OptOutput = 1u << 1,
    OptDryRun = 1u << 2,
    OptCount = 1u << 3,
    OptLog = 1u << 4,
    OptDuration = 1u << 5,
    OptKeep = 1u << 6,
    OptSet = 1u << 7,
    OptVerify = 1u << 8,
    OptField = 1u << 9,
    OptCheck = 1u << 10,
    OptYes = 1u << 11,
    OptNoBackup = 1u << 12,
    OptNote = 1u << 13,
    OptTrace = 1u << 14,
    OptReason = 1u << 15,
    OptProvision = 1u << 16, // --defaults, --firmware, --report-dir, --station, --fresh, --status
};

// One command as the parser, --help, "help COMMAND", the manual page's
// synopsis and the README's list know it; they are checked against this.
struct CommandForm
{
    const char *name;
    Command command;
    Ports ports;
    const char *positional; // the argument after the options, or null
    bool positionalOptional; // write: a file, or --set alone
    unsigned options;
    const char *synopsis;   // what follows "tavik7-cli " in every listing
    const char *english;    // the help paragraph, lines indented by six blanks
    const char *german;
};

[[nodiscard]] const CommandForm *commandForms(int *count);
[[nodiscard]] const CommandForm *findCommand(const QString &name);

// The whole --help in the language (German 0, English otherwise).
[[nodiscard]] QString helpText(int language);
// One command's help: its synopsis and paragraph, and the common options.
[[nodiscard]] QString commandHelpText(const CommandForm &form, int language);

} // namespace tavik7::cli
