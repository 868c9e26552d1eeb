#include "bookcommands.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "booklocation.h"
#include "booksettings.h"
#include "chainanchor.h"
#include "changehistory.h"
#include "clitexts.h"
#include "devicebook.h"
#include "exitcodes.h"
#include "outbox.h"
#include "regularfile.h"
#include "texttable.h"

namespace tavik7::cli {

using namespace tavik7::book;

namespace {

enum class BookText { UnknownBookCommand, ArgumentMissing, TooManyArguments, BadDate, OutputMissing, BookUnusable,
                      Imported, CannotRead, CannotWrite, BookValueMissing, OutputFailed, Created, Ready, Indexed,
                      BadLocation, Sent, OutboxUnusable };

QString bookText(BookText id, int language)
{
    static const char *const texts[][2] = {
        {"unbekannter Gerätebuch-Befehl \"%1\" (devices, history, export, verify, import, init, sync)",
         "unknown book command \"%1\" (devices, history, export, verify, import, init, sync)"},
        {"%1 fehlt", "%1 is missing"},
        {"zu viele Argumente: %1", "too many arguments: %1"},
        {"kein Datum: %1 (JJJJ-MM-TT oder ISO 8601)", "not a date: %1 (YYYY-MM-DD or ISO 8601)"},
        {"-o DATEI.csv fehlt", "-o FILE.csv is missing"},
        {"Gerätebuch %1: %2", "device book %1: %2"},
        {"%1 Einträge übernommen", "%1 records imported"},
        {"%1: nicht lesbar", "%1: cannot be read"},
        {"%1: nicht schreibbar", "%1: cannot be written"},
        {"--book braucht eine Datei oder einen Server", "--book needs a file or a server"},
        {"Standardausgabe nicht schreibbar: %1", "standard output cannot be written: %1"},
        {"Gerätebuch %1 angelegt (Schema-Version %2)", "device book %1 created (schema version %2)"},
        {"Gerätebuch %1 ist bereit (Schema-Version %2), nichts geändert",
         "device book %1 is ready (schema version %2); nothing changed"},
        {"Gerätebuch %1 ist bereit (Schema-Version %2), Indizes ergänzt",
         "device book %1 is ready (schema version %2); indexes added"},
        {"Gerätebuch %1: %2", "device book %1: %2"},
        {"%1 Einträge gesendet, %2 warten", "%1 events sent, %2 waiting"},
        {"Postausgang %1: %2", "outbox %1: %2"},
    };
    return QString::fromUtf8(texts[int(id)][language == German ? 0 : 1]);
}

void print(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

int complain(const QString &text, int exitCode = ExitUsage)
{
    print(stderr, QStringLiteral("tavik7-cli: %1\n").arg(text));
    return exitCode;
}

// A script must not take a cut-off list (a closed pipe, a full disk) for
// the whole answer.
int putOut(const QByteArray &bytes, int language)
{
    errno = 0;
    const bool written = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) == size_t(bytes.size());
    if (std::fflush(stdout) == 0 && written)
        return ExitDone;
    const QString reason = errno != 0 ? QString::fromLocal8Bit(std::strerror(errno)) : QString();
    std::clearerr(stdout);
    return complain(bookText(BookText::OutputFailed, language).arg(reason), ExitOutput);
}

QByteArray jsonText(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

// Members in the given order; a value already JSON (number, array) is kept.
QByteArray jsonMembers(const QList<QPair<const char *, QByteArray>> &members)
{
    QByteArray object = "{";
    for (const auto &[name, value] : members)
        object += (object.size() > 1 ? "," : "") + jsonText(QLatin1String(name)) + ':' + value;
    return object + '}';
}

QByteArray changesJson(const QList<BookChange> &changes)
{
    QByteArrayList items;
    for (const BookChange &c : changes)
        items.append(jsonMembers({{"key", jsonText(c.key)}, {"old", jsonText(c.oldValue)}, {"new", jsonText(c.newValue)}}));
    return '[' + items.join(',') + ']';
}

QByteArray deviceJson(const DeviceSummary &d)
{
    return jsonMembers({{"manufacturer", jsonText(d.manufacturer)},
                        {"deviceType", jsonText(d.deviceType)},
                        {"serialNumber", jsonText(d.serialNumber)},
                        {"lastSeen", jsonText(isoTimeText(d.lastSeenMs))},
                        {"softwareVersion", jsonText(d.softwareVersion)},
                        {"counter", jsonText(d.counter)},
                        {"events", QByteArray::number(d.events)}});
}

QByteArray eventJson(const BookEvent &e)
{
    QList<QPair<const char *, QByteArray>> members{
        {"id", QByteArray::number(e.id)},       {"time", jsonText(isoTimeText(e.timeMs))},
        {"action", jsonText(actionName(e.action))}, {"frontEnd", jsonText(frontEndName(e.frontEnd))},
        {"user", jsonText(e.user)},             {"technician", jsonText(e.technician)},
        {"reason", jsonText(e.reason)},         {"port", jsonText(e.port)},
        {"manufacturer", jsonText(e.manufacturer)}, {"deviceType", jsonText(e.deviceType)},
        {"serialNumber", jsonText(e.serialNumber)}, {"status", jsonText(e.status)},
        {"changes", changesJson(e.changes)},    {"file", jsonText(e.file)},
        {"sha256", jsonText(e.sha256)},         {"uuid", jsonText(e.uuid)},
        {"station", jsonText(e.station)},       {"role", jsonText(e.role)}};
    // Flash verdict and versions, NAMUR times and telegrams, an import's source.
    if (!e.details.isEmpty())
        members.append({"details", QJsonDocument(e.details).toJson(QJsonDocument::Compact)});
    return jsonMembers(members);
}

QString changesLine(const QList<BookChange> &changes)
{
    return changesText(changes).replace(QLatin1Char('\n'), QStringLiteral("; "));
}

QString eventLine(const BookEvent &e)
{
    return QStringList{QString::number(e.id), isoTimeText(e.timeMs), actionName(e.action), frontEndName(e.frontEnd),
                       e.user, e.port, e.manufacturer, e.deviceType, e.serialNumber, e.status,
                       changesLine(e.changes), e.file, e.technician, whyText(e)}
        .join(QLatin1Char('\t'));
}

QByteArray csvEvent(const BookEvent &e)
{
    const QString details = e.details.isEmpty() ? QString()
                                                : QString::fromUtf8(QJsonDocument(e.details).toJson(QJsonDocument::Compact));
    return csvRow({QString::number(e.id), isoTimeText(e.timeMs), actionName(e.action), frontEndName(e.frontEnd), e.user,
                   e.port, e.manufacturer, e.deviceType, e.serialNumber, e.status, changesText(e.changes), e.file,
                   e.sha256, details, e.uuid, e.station, e.role, e.technician, e.reason});
}

// A date is midnight UTC; a time without zone is UTC too.
bool parseSince(const QString &text, qint64 *ms)
{
    const QDate date = QDate::fromString(text, Qt::ISODate);
    if (date.isValid()) {
        *ms = date.startOfDay(Qt::UTC).toMSecsSinceEpoch();
        return true;
    }
    QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!time.isValid())
        return false;
    if (time.timeSpec() == Qt::LocalTime)
        time.setTimeSpec(Qt::UTC);
    *ms = time.toMSecsSinceEpoch();
    return true;
}

struct BookRun
{
    QCommandLineParser parser;
    QCommandLineOption json{QStringLiteral("json")};
    QCommandLineOption serial{QStringLiteral("serial"), QString(), QStringLiteral("PREFIX")};
    QCommandLineOption since{QStringLiteral("since"), QString(), QStringLiteral("DATE")};
    QCommandLineOption output{{QStringLiteral("o"), QStringLiteral("output")}, QString(), QStringLiteral("FILE")};
    QCommandLineOption lang{QStringLiteral("lang"), QString(), QStringLiteral("LANG")};
    // Global: taken here too, though the book's readers record nothing.
    QCommandLineOption technician{QStringLiteral("technician"), QString(), QStringLiteral("NAME")};
    int language = English;
    QString path;
    QStringList rest; // after "book" and its command
    DeviceBook book;
};

// Any failure of a book on a server is the server's (reached, logged in,
// a book there): scripts tell it from a file book's.
int bookExitCode(const BookRun &run)
{
    return isServerLocation(run.path) ? int(ExitBookServer) : int(ExitUsage);
}

int bookUnusable(const BookRun &run, const BookResult &result)
{
    const QString why = bookStatusText(result.status, run.language)
        + (result.detail.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(result.detail));
    return complain(bookText(BookText::BookUnusable, run.language).arg(locationText(run.path), why), bookExitCode(run));
}

int runDevices(BookRun &run)
{
    const bool json = run.parser.isSet(run.json);
    BookResult failed;
    const QList<DeviceSummary> devices = run.book.devices(run.parser.value(run.serial), &failed);
    if (failed.status != BookStatus::Ok)
        return bookUnusable(run, failed);
    QByteArray out;
    for (const DeviceSummary &d : devices) {
        out += json ? deviceJson(d)
                    : QStringList{d.serialNumber, d.manufacturer, d.deviceType, isoTimeText(d.lastSeenMs),
                                  d.softwareVersion, d.counter, QString::number(d.events)}
                          .join(QLatin1Char('\t'))
                          .toUtf8();
        out += '\n';
    }
    return putOut(out, run.language);
}

int runHistory(BookRun &run)
{
    qint64 sinceMs = 0;
    const QString since = run.parser.value(run.since);
    if (run.parser.isSet(run.since) && !parseSince(since, &sinceMs))
        return complain(bookText(BookText::BadDate, run.language).arg(since));
    const bool json = run.parser.isSet(run.json);
    BookResult failed;
    const QList<BookEvent> events = run.book.history(run.rest.constFirst(), sinceMs, &failed);
    if (failed.status != BookStatus::Ok)
        return bookUnusable(run, failed);
    QByteArray out;
    for (const BookEvent &e : events)
        out += (json ? eventJson(e) : eventLine(e).toUtf8()) + '\n';
    return putOut(out, run.language);
}

int runExport(BookRun &run)
{
    const QString target = run.parser.value(run.output);
    if (target.isEmpty())
        return complain(bookText(BookText::OutputMissing, run.language));
    BookResult failed;
    const QList<BookEvent> events = run.book.history(run.rest.constFirst(), 0, &failed);
    if (failed.status != BookStatus::Ok)
        return bookUnusable(run, failed);
    QByteArray csv = csvRow({QStringLiteral("id"), QStringLiteral("time"), QStringLiteral("action"),
                             QStringLiteral("frontEnd"), QStringLiteral("user"), QStringLiteral("port"),
                             QStringLiteral("manufacturer"), QStringLiteral("deviceType"), QStringLiteral("serialNumber"),
                             QStringLiteral("status"), QStringLiteral("changes"), QStringLiteral("file"),
                             QStringLiteral("sha256"), QStringLiteral("details"), QStringLiteral("uuid"),
                             QStringLiteral("station"), QStringLiteral("role"),
                             QStringLiteral("technician"), QStringLiteral("reason")});
    for (const BookEvent &e : events)
        csv += csvEvent(e);
    if (platform::outputTarget(target, true) == platform::OutputTarget::StandardOutput) {
        const bool written = std::fwrite(csv.constData(), 1, size_t(csv.size()), stdout) == size_t(csv.size());
        return std::fflush(stdout) == 0 && written ? ExitDone : ExitOutput;
    }
    // Not renamed over a device or FIFO: "-o /dev/null" once replaced the
    // system's node with a plain file for every program.
    QString why;
    if (!platform::saveWholeFile(target, csv, &why))
        return complain(bookText(BookText::CannotWrite, run.language).arg(target) + QStringLiteral(" (%1)").arg(why));
    return ExitDone;
}

int runVerify(BookRun &run)
{
    // The workstation's anchor also catches the newest events dropped with
    // the head row, or a chain hashed anew.
    const VerifyResult verified = verifyAnchored(run.book, run.path);
    if (verified.status != BookStatus::Ok)
        return bookUnusable(run, {verified.status, false, {}, verified.detail, 0});
    const int printed = putOut(brokenChainText(verified, run.language).toUtf8() + '\n', run.language);
    return verified.intact() ? printed : int(ExitBookTampered);
}

// A local book's events join this book once each, by uuid, with their own
// time, station and user: a workshop moving to a server keeps every PC's history.
int runImportBook(BookRun &run, const QString &file)
{
    DeviceBook source;
    BookResult opened = source.openForReading(file);
    // A book from before uuids is lifted once, as any recording program would:
    // its events get theirs there, so that a second import finds them.
    if (opened.recorded) {
        if (const QList<BookEvent> first = source.events(0, 1); !first.isEmpty() && first.constFirst().uuid.isEmpty())
            opened = source.open(file);
    }
    if (!opened.recorded)
        return complain(bookText(BookText::CannotRead, run.language).arg(file)
                        + QStringLiteral(" (%1)").arg(bookStatusText(opened.status, run.language)));
    constexpr int kBatch = 500;
    qint64 imported = 0;
    for (qint64 after = 0;;) {
        BookResult failed;
        const QList<BookEvent> batch = source.events(after, kBatch, &failed);
        if (failed.status != BookStatus::Ok)
            return complain(bookText(BookText::CannotRead, run.language).arg(file)
                            + QStringLiteral(" (%1)").arg(bookStatusText(failed.status, run.language)));
        if (batch.isEmpty())
            break;
        after = batch.constLast().id;
        int added = 0;
        const BookResult result = run.book.recordUnique(batch, &added);
        if (result.status != BookStatus::Ok)
            return bookUnusable(run, result);
        imported += added;
    }
    return putOut(bookText(BookText::Imported, run.language).arg(imported).toUtf8() + '\n', run.language);
}

bool isSqliteFile(const QString &file)
{
    QFile input(file);
    return input.open(QIODevice::ReadOnly) && input.read(16) == QByteArray("SQLite format 3\0", 16);
}

int runImport(BookRun &run)
{
    int imported = 0;
    const QString file = run.rest.constFirst();
    if (isSqliteFile(file))
        return runImportBook(run, file);
    const BookResult result = run.book.importChangeHistory(file, FrontEnd::Cli, &imported);
    if (result.status == BookStatus::BadFile)
        return complain(bookText(BookText::CannotRead, run.language).arg(file));
    if (result.status != BookStatus::Ok)
        return complain(bookResultMessage(result, run.path, run.language), bookExitCode(run));
    return putOut(bookText(BookText::Imported, run.language).arg(imported).toUtf8() + '\n', run.language);
}

// The outbox's events for this book go to its server; a file book never
// has any waiting.
int runSync(BookRun &run)
{
    Outbox outbox;
    OutboxSent outcome;
    if (isServerLocation(run.path)) {
        const BookResult opened = run.book.open(run.path, QString(), FrontEnd::Cli);
        if (!opened.recorded)
            return bookUnusable(run, opened);
        outcome = outbox.send(run.book);
    } else {
        outcome.waiting = outbox.waiting(run.path, &outcome.result);
    }
    const QByteArray line = run.parser.isSet(run.json)
        ? jsonMembers({{"sent", QByteArray::number(outcome.sent)}, {"waiting", QByteArray::number(outcome.waiting)}})
        : bookText(BookText::Sent, run.language).arg(outcome.sent).arg(outcome.waiting).toUtf8();
    const int printed = putOut(line + '\n', run.language);
    if (outcome.result.status == BookStatus::Ok)
        return printed;
    if (outcome.bookFailed)
        return bookUnusable(run, outcome.result);
    const QString why = bookStatusText(outcome.result.status, run.language)
        + (outcome.result.detail.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(outcome.result.detail));
    return complain(bookText(BookText::OutboxUnusable, run.language).arg(QDir::toNativeSeparators(outbox.path()), why));
}

// A server's book is made here once; a file book makes itself when opened.
int runInit(BookRun &run)
{
    const bool server = isServerLocation(run.path);
    bool created = !server && !QFileInfo::exists(run.path);
    bool indexed = false;
    const BookResult result = server ? run.book.initServer(run.path, &created, &indexed)
                                     : run.book.open(run.path, userChangeHistoryPath(), FrontEnd::Cli);
    if (!result.recorded)
        return bookUnusable(run, result);
    const BookText said = created ? BookText::Created : indexed ? BookText::Indexed : BookText::Ready;
    return putOut(bookText(said, run.language).arg(locationText(run.path)).arg(kBookSchemaVersion).toUtf8() + '\n',
                  run.language);
}

struct BookCommand
{
    const char *name;
    const char *argument; // the one positional argument, or null
    int (*run)(BookRun &);
    bool writes; // may create or change the book; the others only read it
    bool opens = true; // false: the command opens the book itself
};

constexpr BookCommand kBookCommands[] = {
    {"devices", nullptr, runDevices, false}, {"history", "SERIAL", runHistory, false},
    {"export", "SERIAL", runExport, false},  {"verify", nullptr, runVerify, false},
    {"import", "FILE", runImport, true},     {"init", nullptr, runInit, true, false},
    {"sync", nullptr, runSync, true, false},
};

// The global options with a value of their own after them.
bool takesValue(const QString &argument)
{
    return argument == QLatin1String("--lang") || argument == QLatin1String("--technician");
}

} // namespace

QStringList takeBookOption(const QStringList &arguments, QString *file, QString *complaint)
{
    QStringList rest = arguments.mid(0, 1);
    bool commandSeen = false;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (!commandSeen && argument == QLatin1String("--book")) {
            if (i + 1 >= arguments.size())
                *complaint = bookText(BookText::BookValueMissing, languageFromEnvironment());
            else
                *file = arguments.at(++i);
        } else if (!commandSeen && argument.startsWith(QLatin1String("--book="))) {
            *file = argument.mid(7);
        } else {
            rest.append(argument);
            // The options before the command that take a value.
            if (!commandSeen && takesValue(argument) && i + 1 < arguments.size())
                rest.append(arguments.at(++i));
            else if (!argument.startsWith(QLatin1Char('-')))
                commandSeen = true;
        }
    }
    return rest;
}

bool isBookCommand(const QStringList &arguments)
{
    for (int i = 1; i < arguments.size(); ++i) {
        if (takesValue(arguments.at(i)))
            ++i;
        else if (!arguments.at(i).startsWith(QLatin1Char('-')))
            return arguments.at(i) == QLatin1String("book");
    }
    return false;
}

int runBookCommand(const QStringList &arguments, const QString &bookOption)
{
    BookRun run;
    run.language = languageFromEnvironment();
    run.parser.addOptions({run.json, run.serial, run.since, run.output, run.lang, run.technician});
    const bool understood = run.parser.parse(arguments);
    const QString lang = run.parser.value(run.lang);
    if (lang == QLatin1String("de") || lang == QLatin1String("en"))
        run.language = lang == QLatin1String("de") ? German : English;
    if (!understood)
        return complain(run.parser.errorText());
    const QStringList positionals = run.parser.positionalArguments(); // "book", its command, ...
    const QString name = positionals.value(1);
    for (const BookCommand &command : kBookCommands) {
        if (name != QLatin1String(command.name))
            continue;
        run.rest = positionals.mid(2);
        const int wanted = command.argument ? 1 : 0;
        if (run.rest.size() < wanted)
            return complain(bookText(BookText::ArgumentMissing, run.language).arg(QLatin1String(command.argument)));
        if (run.rest.size() > wanted)
            return complain(bookText(BookText::TooManyArguments, run.language).arg(run.rest.at(wanted)));
        run.path = bookPath(bookOption, !command.writes);
        if (!command.opens)
            return command.run(run);
        const BookResult opened = command.writes ? run.book.open(run.path, userChangeHistoryPath(), FrontEnd::Cli)
                                                 : run.book.openForReading(run.path);
        if (!opened.recorded)
            return bookUnusable(run, opened);
        if (!opened.setAsidePath.isEmpty())
            print(stderr, bookResultMessage(opened, run.path, run.language) + QLatin1Char('\n'));
        return command.run(run);
    }
    return complain(bookText(BookText::UnknownBookCommand, run.language).arg(name));
}

} // namespace tavik7::cli
