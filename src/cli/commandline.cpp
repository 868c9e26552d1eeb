#include "commandline.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include "clitexts.h"
#include "messageid.h"
#include "platform.h"
#include "settingsfileio.h"
#include "texttable.h"

namespace tavik7::cli {

namespace {

enum OptionBit : unsigned { OptJson = 1, OptOutput = 2, OptDryRun = 4, OptCount = 8, OptLog = 16, OptDuration = 32 };

// How many ports a command takes: none, exactly one, or one and more.
enum class Ports { None, One, Many };

struct CommandForm
{
    const char *name;
    Command command;
    Ports ports;
    const char *positional; // the one argument after the options, or null
    unsigned options;
};

constexpr CommandForm kCommands[] = {
    {"ports", Command::Ports, Ports::None, nullptr, OptJson},
    {"read", Command::Read, Ports::Many, nullptr, OptJson | OptOutput},
    {"write", Command::Write, Ports::Many, "FILE", OptDryRun},
    {"set-counter", Command::SetCounter, Ports::One, "DIGITS", 0},
    {"flash", Command::Flash, Ports::One, "HEXFILE", 0},
    {"report", Command::Report, Ports::One, nullptr, OptOutput},
    {"namur", Command::Namur, Ports::One, nullptr, OptCount | OptLog | OptDuration},
};

struct OptionSet
{
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")}};
    QCommandLineOption port{{QStringLiteral("p"), QStringLiteral("port")}, QString(), QStringLiteral("PORT")};
    QCommandLineOption json{QStringLiteral("json")};
    QCommandLineOption output{{QStringLiteral("o"), QStringLiteral("output")}, QString(), QStringLiteral("FILE")};
    QCommandLineOption dryRun{QStringLiteral("dry-run")};
    QCommandLineOption lang{QStringLiteral("lang"), QString(), QStringLiteral("LANG")};
    QCommandLineOption count{QStringLiteral("count"), QString(), QStringLiteral("N")};
    QCommandLineOption log{QStringLiteral("log"), QString(), QStringLiteral("FILE")};
    QCommandLineOption duration{QStringLiteral("duration"), QString(), QStringLiteral("SECONDS")};

    // The options that belong to some commands only, with their bits.
    [[nodiscard]] QList<QPair<const QCommandLineOption *, unsigned>> commandOptions() const
    {
        return {{&json, OptJson}, {&output, OptOutput}, {&dryRun, OptDryRun}, {&count, OptCount}, {&log, OptLog}, {&duration, OptDuration}};
    }
};

ParsedCommandLine usageError(ParsedCommandLine parsed, const QString &complaint)
{
    parsed.outcome = ParsedCommandLine::UsageError;
    parsed.error = cliText(CliText::TryHelp, parsed.options.language).arg(complaint);
    return parsed;
}

const CommandForm *findCommand(const QString &name)
{
    for (const CommandForm &form : kCommands) {
        if (name == QLatin1String(form.name))
            return &form;
    }
    return nullptr;
}

// Two names of one port: the same system location, or the same device file
// reached through a link or a relative path.
bool samePortPath(const QString &a, const QString &b)
{
    const QString locationA = platform::portSystemLocation(a);
    const QString locationB = platform::portSystemLocation(b);
    if (platform::samePort(locationA, locationB))
        return true;
    const QString canonicalA = QFileInfo(locationA).canonicalFilePath();
    return !canonicalA.isEmpty() && canonicalA == QFileInfo(locationB).canonicalFilePath();
}

QString checkPorts(const CommandForm &form, const QStringList &ports, int language)
{
    const QString name = QLatin1String(form.name);
    if (form.ports == Ports::None && !ports.isEmpty())
        return cliText(CliText::OptionNotForCommand, language).arg(QStringLiteral("-p"), name);
    if (form.ports != Ports::None && ports.isEmpty())
        return cliText(CliText::PortMissing, language).arg(name);
    if (form.ports == Ports::One && ports.size() > 1)
        return cliText(CliText::OnePortOnly, language).arg(name);
    for (int i = 0; i < ports.size(); ++i) {
        for (int j = 0; j < i; ++j) {
            if (samePortPath(ports.at(i), ports.at(j)))
                return cliText(CliText::SamePortTwice, language).arg(ports.at(i));
        }
    }
    return {};
}

QString checkOptions(const CommandForm &form, const QCommandLineParser &parser, const OptionSet &set, int language)
{
    for (const auto &[option, bit] : set.commandOptions()) {
        if (parser.isSet(*option) && !(form.options & bit)) {
            const QString shown = QStringLiteral("--") + option->names().constLast();
            return cliText(CliText::OptionNotForCommand, language).arg(shown, QLatin1String(form.name));
        }
    }
    return {};
}

QString checkPositionals(const CommandForm &form, const QStringList &rest, int language)
{
    const int wanted = form.positional ? 1 : 0;
    if (rest.size() < wanted)
        return cliText(CliText::ArgumentMissing, language).arg(QLatin1String(form.positional));
    if (rest.size() > wanted)
        return cliText(CliText::TooManyArguments, language).arg(rest.at(wanted));
    return {};
}

// Rules that tie one option to another or to the ports.
QString checkCombinations(const CliOptions &o, const QCommandLineParser &parser, const OptionSet &set)
{
    if (o.command == Command::Read && !o.outputFile.isEmpty()) {
        if (o.ports.size() != 1)
            return cliText(CliText::OutputNeedsOnePort, o.language);
        if (!isSettingsFileName(o.outputFile))
            return plainText(messageText(int(MessageId::NoParameterFile), o.language));
    }
    if (o.command == Command::Report && o.outputFile.isEmpty())
        return cliText(CliText::OutputMissing, o.language);
    if (parser.isSet(set.count) && o.count <= 0)
        return cliText(CliText::BadCount, o.language).arg(QStringLiteral("--count"), parser.value(set.count));
    if (parser.isSet(set.duration) && o.durationSeconds <= 0)
        return cliText(CliText::BadCount, o.language).arg(QStringLiteral("--duration"), parser.value(set.duration));
    return {};
}

void takeValues(CliOptions &o, const CommandForm &form, const QCommandLineParser &parser, const OptionSet &set)
{
    o.command = form.command;
    o.commandName = QLatin1String(form.name);
    o.ports = parser.values(set.port);
    o.json = parser.isSet(set.json);
    o.dryRun = parser.isSet(set.dryRun);
    o.outputFile = parser.value(set.output);
    o.logFile = parser.value(set.log);
    o.count = parser.isSet(set.count) ? parser.value(set.count).toInt() : 0;
    o.durationSeconds = parser.isSet(set.duration) ? parser.value(set.duration).toInt() : 0;
    const QStringList rest = parser.positionalArguments().mid(1);
    if (form.positional && !rest.isEmpty()) {
        if (form.command == Command::SetCounter)
            o.digits = rest.constFirst();
        else
            o.inputFile = rest.constFirst();
    }
}

ParsedCommandLine checkCommand(ParsedCommandLine parsed, const QCommandLineParser &parser, const OptionSet &set)
{
    const QStringList positionals = parser.positionalArguments();
    if (positionals.isEmpty())
        return usageError(parsed, cliText(CliText::NoCommand, parsed.options.language));
    const CommandForm *form = findCommand(positionals.constFirst());
    const int language = parsed.options.language;
    if (!form)
        return usageError(parsed, cliText(CliText::UnknownCommand, language).arg(positionals.constFirst()));
    takeValues(parsed.options, *form, parser, set);
    for (const QString &complaint :
         {checkPorts(*form, parsed.options.ports, language), checkOptions(*form, parser, set, language),
          checkPositionals(*form, positionals.mid(1), language), checkCombinations(parsed.options, parser, set)}) {
        if (!complaint.isEmpty())
            return usageError(parsed, complaint);
    }
    return parsed;
}

} // namespace

ParsedCommandLine parseCommandLine(const QStringList &arguments)
{
    ParsedCommandLine parsed;
    parsed.options.language = languageFromEnvironment();
    const OptionSet set;
    QCommandLineParser parser;
    parser.addOptions({set.help, set.version, set.port, set.json, set.output, set.dryRun, set.lang, set.count,
                       set.log, set.duration});
    const bool understood = parser.parse(arguments);
    // The language first, so that every complaint is made in it.
    const QString lang = parser.value(set.lang);
    if (lang == QLatin1String("de"))
        parsed.options.language = German;
    else if (lang == QLatin1String("en"))
        parsed.options.language = English;
    else if (parser.isSet(set.lang))
        return usageError(parsed, cliText(CliText::BadLanguage, parsed.options.language).arg(lang));
    if (!understood && !parser.unknownOptionNames().isEmpty()) {
        const QString names = parser.unknownOptionNames().join(QStringLiteral(", "));
        return usageError(parsed, cliText(CliText::UnknownOption, parsed.options.language).arg(names));
    }
    if (!understood)
        return usageError(parsed, parser.errorText());
    if (parser.isSet(set.help)) {
        parsed.outcome = ParsedCommandLine::ShowHelp;
        return parsed;
    }
    if (parser.isSet(set.version)) {
        parsed.outcome = ParsedCommandLine::ShowVersion;
        return parsed;
    }
    return checkCommand(parsed, parser, set);
}

} // namespace tavik7::cli

namespace tavik7::cli {

namespace {

constexpr char kHelpText[] = R"(Usage: tavik7-cli COMMAND [OPTION]...

Reads, writes, sets the counter of, flashes, reports on and listens to Tavik7
devices without the window, with the window's telegrams, time-outs, checks
and files.

Commands:
  ports [--json]
      The serial ports, one per line; --json: one JSON array of objects with
      port, description, manufacturer and serialNumber.
  read -p PORT [-p PORT]... [--json] [-o FILE.dat]
      Reads parameters and counter. Plain: key=value lines, each device's
      starting with port=, devices separated by an empty line. --json: one
      JSON object per device and line. -o (one port only) also saves the
      device as a settings file.
  write -p PORT [-p PORT]... FILE.dat [--dry-run]
      Writes the parameters of a settings file to each device. The device's
      software version and software CRC are kept; the counter is left to
      set-counter. Implausible values are refused before anything is sent.
      --dry-run: lists each field whose device value differs from the file
      ("field: device -> file") and sends nothing.
  set-counter -p PORT DIGITS
      Sets the counter status; DIGITS has the device's digit count (8 up to
      firmware 1.11, 9 from 1.12 on), a comma where the significance has one
      may be given or left out.
  flash -p PORT HEXFILE
      Flashes a firmware image with avrdude, after backing up the device's
      parameters when it answers.
  report -p PORT -o FILE.pdf
      Reads the device and writes its inspection report.
  namur -p PORT [--count N] [--log FILE]
      Listens to the NAMUR output (2400 baud, 7E1) and prints one line per
      telegram, appending it to the log (default: the window's NAMUR log in
      the per-user folder). Ends after N telegrams or on SIGINT or SIGTERM.

Options:
  -p, --port PORT   a serial port (ttyUSB0, /dev/ttyUSB0, COM3); read and
                    write take several and work on all at once
  --lang de|en      language of messages (default: German when LANG starts
                    with "de", else English)
  -h, --help        this text
  -v, --version     the program's version

Results go to stdout in the order the ports were given, messages to stderr.
On a terminal, runs over several devices show their progress on stderr.

Exit status (over several ports: the highest):
    0  done
    1  usage, or a file that cannot be read or is invalid
    2  port cannot be opened, is missing, a directory or a FIFO, or went away
    3  no answer in time
    4  wrong answer (CRC, "Fehler!", device error, counter not echoed)
    5  refused as implausible, nothing sent
    6  flashing failed
  130  interrupted (SIGINT, SIGTERM) before anything was written; a write
       already on the line is completed first
)";

} // namespace

QString helpText()
{
    return QString::fromUtf8(kHelpText);
}

} // namespace tavik7::cli
