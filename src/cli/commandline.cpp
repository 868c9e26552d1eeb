#include "commandline.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include "bookevent.h"
#include "booklocation.h"
#include "clitexts.h"
#include "commandtable.h"
#include "deviceoutput.h"
#include "writeplan.h"
#include "planjobs.h"
#include "parameterfields.h"
#include "messageid.h"
#include "platform.h"
#include "settingsfileio.h"
#include "texttable.h"

namespace tavik7::cli {

namespace {

// The Report tab's note lines.
constexpr int kReportNoteLines = 5;

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
    QCommandLineOption keep{QStringLiteral("keep"), QString(), QStringLiteral("KEYS")};
    QCommandLineOption field{QStringLiteral("field"), QString(), QStringLiteral("KEY")};
    QCommandLineOption check{QStringLiteral("check")};
    QCommandLineOption set{QStringLiteral("set"), QString(), QStringLiteral("KEY=VALUE")};
    QCommandLineOption verify{QStringLiteral("verify")};
    QCommandLineOption yes{QStringLiteral("yes")};
    QCommandLineOption note{QStringLiteral("note"), QString(), QStringLiteral("TEXT")};
    QCommandLineOption quiet{QStringLiteral("quiet")};
    QCommandLineOption wait{QStringLiteral("wait"), QString(), QStringLiteral("SECONDS")};
    QCommandLineOption noBackup{QStringLiteral("no-backup")};
    QCommandLineOption trace{QStringLiteral("trace"), QString(), QStringLiteral("FILE")};
    QCommandLineOption technician{QStringLiteral("technician"), QString(), QStringLiteral("NAME")};
    QCommandLineOption reason{QStringLiteral("reason"), QString(), QStringLiteral("TEXT")};
    QCommandLineOption defaults{QStringLiteral("defaults"), QString(), QStringLiteral("FILE")};
    QCommandLineOption firmware{QStringLiteral("firmware"), QString(), QStringLiteral("IMAGE")};
    QCommandLineOption reportDir{QStringLiteral("report-dir"), QString(), QStringLiteral("DIR")};
    QCommandLineOption station{QStringLiteral("station"), QString(), QStringLiteral("NAME")};
    QCommandLineOption fresh{QStringLiteral("fresh"), QString(), QStringLiteral("TEXT")};
    QCommandLineOption status{QStringLiteral("status")};

    // The options that belong to some commands only, with their bits.
    [[nodiscard]] QList<QPair<const QCommandLineOption *, unsigned>> commandOptions() const
    {
        return {{&json, OptJson}, {&output, OptOutput}, {&dryRun, OptDryRun}, {&count, OptCount}, {&log, OptLog},
                {&duration, OptDuration}, {&keep, OptKeep}, {&field, OptField}, {&check, OptCheck},
                {&set, OptSet}, {&yes, OptYes}, {&noBackup, OptNoBackup}, {&note, OptNote},
                {&verify, OptVerify}, {&trace, OptTrace}, {&reason, OptReason},
                {&defaults, OptProvision}, {&firmware, OptProvision}, {&reportDir, OptProvision},
                {&station, OptProvision}, {&fresh, OptProvision}, {&status, OptProvision}};
    }
};

ParsedCommandLine usageError(ParsedCommandLine parsed, const QString &complaint)
{
    parsed.outcome = ParsedCommandLine::UsageError;
    parsed.error = cliText(CliText::TryHelp, parsed.options.language).arg(complaint);
    return parsed;
}


// The first port named twice: the same system location (in any case, as
// Windows takes it), or the same device file reached through a link or a
// relative path. Each name is resolved once: compared pair by pair, 32 ports
// took a thousand path lookups before the first port opened.
QString portNamedTwice(const QStringList &ports)
{
    QSet<QString> seen;
    for (const QString &port : ports) {
        const QString location = platform::portSystemLocation(port);
        const QString canonical = QFileInfo(location).canonicalFilePath();
        const QString byLocation = QLatin1Char('L') + location.toCaseFolded();
        const QString byFile = QLatin1Char('F') + canonical;
        if (seen.contains(byLocation) || (!canonical.isEmpty() && seen.contains(byFile)))
            return port;
        seen.insert(byLocation);
        if (!canonical.isEmpty())
            seen.insert(byFile);
    }
    return {};
}

QString checkPorts(const CommandForm &form, const QStringList &ports, int language, bool bookOnly)
{
    const QString name = QLatin1String(form.name);
    if (bookOnly)
        return ports.isEmpty() ? QString() : cliText(CliText::OptionNotForCommand, language)
                                    .arg(QStringLiteral("-p"), QStringLiteral("provision --status"));
    if (form.ports == Ports::None && !ports.isEmpty())
        return cliText(CliText::OptionNotForCommand, language).arg(QStringLiteral("-p"), name);
    if (form.ports != Ports::None && ports.isEmpty())
        return cliText(CliText::PortMissing, language).arg(name);
    if (form.ports == Ports::One && ports.size() > 1)
        return cliText(CliText::OnePortOnly, language).arg(name);
    if (ports.contains(QString()))
        return cliText(CliText::EmptyPort, language);
    if (const QString twice = portNamedTwice(ports); !twice.isEmpty())
        return cliText(CliText::SamePortTwice, language).arg(twice);
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
    if (rest.size() < wanted && !form.positionalOptional)
        return cliText(CliText::ArgumentMissing, language).arg(QLatin1String(form.positional));
    if (rest.size() > wanted)
        return cliText(CliText::TooManyArguments, language).arg(rest.at(wanted));
    return {};
}

// Who and why go into the book as given: a line that could pass for
// another event's, or a name that is none, is refused before any port opens.
QString checkAuditTexts(const CliOptions &o, const QCommandLineParser &parser, const OptionSet &set)
{
    const QString refused = cliText(CliText::BadAuditText, o.language);
    if (!book::isAuditText(o.technician) || (parser.isSet(set.technician) && o.technician.isEmpty()))
        return refused.arg(parser.isSet(set.technician) ? QStringLiteral("--technician")
                                                         : QLatin1String(book::kTechnicianEnvironmentVariable));
    if (!book::isAuditText(o.reason) || (parser.isSet(set.reason) && o.reason.isEmpty()))
        return refused.arg(QStringLiteral("--reason"));
    for (const QString &note : o.notes) {
        if (!book::isAuditText(note))
            return refused.arg(QStringLiteral("--note"));
    }
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
    if ((o.command == Command::Report || o.command == Command::Plan) && o.outputFile.isEmpty())
        return cliText(CliText::OutputMissing, o.language);
    // Both would be JSON on stdout.
    if (o.command == Command::Plan && o.json && o.outputFile == QLatin1String("-"))
        return planText(PlanText::JsonAndStandardOutput, o.language);
    if (o.command == Command::Report && o.json && o.outputFile == QLatin1String("-"))
        return cliText(CliText::PdfAndJson, o.language);
    if (parser.isSet(set.count) && o.count <= 0)
        return cliText(CliText::BadCount, o.language).arg(QStringLiteral("--count"), parser.value(set.count));
    // read --json names the counter too; --keep takes parameters only.
    if (!o.field.isEmpty() && o.field != QLatin1String("counter") && fieldByKey(o.field) < 0)
        return cliText(CliText::UnknownField, o.language).arg(o.field);
    for (const QString &key : o.keep) {
        if (!key.isEmpty() && fieldByKey(key) < 0)
            return cliText(CliText::UnknownField, o.language).arg(key);
    }
    for (const QString &argument : o.setValues) {
        if (const QString complaint = checkSetArgument(argument, o.language); !complaint.isEmpty())
            return complaint;
    }
    if ((o.command == Command::Write || o.command == Command::Plan) && o.inputFile.isEmpty() && o.setValues.isEmpty())
        return cliText(CliText::ArgumentMissing, o.language).arg(QStringLiteral("FILE.dat / --set KEY=VALUE"));
    if (o.notes.size() > kReportNoteLines)
        return cliText(CliText::TooManyNotes, o.language).arg(kReportNoteLines);
    if (parser.isSet(set.wait) && o.waitSeconds <= 0)
        return cliText(CliText::BadCount, o.language).arg(QStringLiteral("--wait"), parser.value(set.wait));
    if (parser.isSet(set.duration) && o.durationSeconds <= 0)
        return cliText(CliText::BadCount, o.language).arg(QStringLiteral("--duration"), parser.value(set.duration));
    return checkAuditTexts(o, parser, set);
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
    o.keep = parser.value(set.keep).split(QLatin1Char(','), Qt::SkipEmptyParts);
    o.field = parser.value(set.field);
    o.check = parser.isSet(set.check);
    o.setValues = parser.values(set.set);
    o.verify = parser.isSet(set.verify);
    o.yes = parser.isSet(set.yes);
    o.notes = parser.values(set.note);
    o.quiet = parser.isSet(set.quiet);
    o.waitSeconds = parser.isSet(set.wait) ? parser.value(set.wait).toInt() : 0;
    o.noBackup = parser.isSet(set.noBackup);
    o.traceFile = parser.value(set.trace);
    o.technician = (parser.isSet(set.technician) ? parser.value(set.technician)
                                                 : qEnvironmentVariable(book::kTechnicianEnvironmentVariable))
                       .trimmed();
    o.reason = parser.value(set.reason).trimmed();
    o.defaultsFile = parser.value(set.defaults);
    o.firmwareFile = parser.value(set.firmware);
    o.reportDir = parser.value(set.reportDir);
    o.station = parser.value(set.station);
    o.freshSerial = parser.value(set.fresh);
    o.status = parser.isSet(set.status);
    const QStringList rest = parser.positionalArguments().mid(1);
    if (form.positional && !rest.isEmpty()) {
        if (form.command == Command::SetCounter)
            o.digits = rest.constFirst();
        else
            o.inputFile = rest.constFirst();
    }
}

// "help COMMAND" and "COMMAND --help" alike.
ParsedCommandLine showHelp(ParsedCommandLine parsed, const QString &command)
{
    if (!command.isEmpty() && !findCommand(command))
        return usageError(parsed, cliText(CliText::UnknownCommand, parsed.options.language).arg(command));
    parsed.outcome = ParsedCommandLine::ShowHelp;
    parsed.helpCommand = command;
    return parsed;
}

// -p @FILE: the ports of a line's list, one per line, '#' starting a comment.
bool expandPortLists(QStringList &ports)
{
    QStringList expanded;
    for (const QString &port : std::as_const(ports)) {
        if (!port.startsWith(QLatin1Char('@'))) {
            expanded.append(port);
            continue;
        }
        QFile list(port.mid(1));
        if (!QFileInfo(list.fileName()).isFile() || !list.open(QIODevice::ReadOnly | QIODevice::Text))
            return false;
        for (const QByteArray &line : list.readAll().split('\n')) {
            const qsizetype comment = line.indexOf('#');
            const QString name = QString::fromLocal8Bit(comment < 0 ? line : line.left(comment)).trimmed();
            if (!name.isEmpty())
                expanded.append(name);
        }
    }
    ports = expanded;
    return true;
}

ParsedCommandLine checkCommand(ParsedCommandLine parsed, const QCommandLineParser &parser, const OptionSet &set)
{
    const QStringList positionals = parser.positionalArguments();
    if (positionals.isEmpty())
        return usageError(parsed, cliText(CliText::NoCommand, parsed.options.language));
    if (positionals.constFirst() == QLatin1String("help"))
        return showHelp(parsed, positionals.value(1));
    const CommandForm *form = findCommand(positionals.constFirst());
    const int language = parsed.options.language;
    if (!form)
        return usageError(parsed, cliText(CliText::UnknownCommand, language).arg(positionals.constFirst()));
    if (parser.isSet(set.help))
        return showHelp(parsed, QLatin1String(form->name));
    takeValues(parsed.options, *form, parser, set);
    if (!expandPortLists(parsed.options.ports))
        return usageError(parsed, cliText(CliText::PortListUnreadable, language));
    for (const QString &complaint :
         {checkPorts(*form, parsed.options.ports, language, parsed.options.status), checkOptions(*form, parser, set, language),
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
                       set.log, set.duration, set.keep, set.field, set.check, set.set,
                       set.yes, set.noBackup, set.note, set.quiet, set.wait,
                       set.verify, set.trace, set.technician, set.reason, set.defaults,
                       set.firmware, set.reportDir, set.station, set.fresh, set.status});
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
    if (parser.isSet(set.help) && parser.positionalArguments().isEmpty())
        return showHelp(parsed, QString());
    if (parser.isSet(set.version)) {
        parsed.outcome = ParsedCommandLine::ShowVersion;
        return parsed;
    }
    return checkCommand(parsed, parser, set);
}

} // namespace tavik7::cli

namespace tavik7::cli {

QString helpFor(const ParsedCommandLine &parsed)
{
    const int language = parsed.options.language;
    if (const CommandForm *form = findCommand(parsed.helpCommand))
        return commandHelpText(*form, language);
    return helpText(language);
}

} // namespace tavik7::cli
