// tavik7-cli: the service tool's reads, writes, counter entry, flashing,
// report and NAMUR logging for scripts and workshops, without the window.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

#include "bookcommands.h"
#include "clitexts.h"
#include "commandline.h"
#include "devicejobs.h"
#include "enginejobs.h"
#include "exitcodes.h"
#include "exitwords.h"
#include "inputchecks.h"
#include "jobrunner.h"
#include "planjobs.h"
#include "portlist.h"
#include "provision.h"
#include "readjobs.h"
#include "terminationsignal.h"

using namespace tavik7;
using namespace tavik7::cli;

namespace {

// False when the text could not be written (a closed pipe, a full disk).
bool printText(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    const bool written = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream) == size_t(bytes.size());
    return std::fflush(stream) == 0 && written;
}

int printResult(const QString &text)
{
    return printText(stdout, text) ? ExitDone : ExitOutput;
}

PortJob *makeJob(const QString &port, const CliOptions &options)
{
    switch (options.command) {
    case Command::Read: return new CheckedReadJob(port, options);
    case Command::Check: return new CheckJob(port, options);
    case Command::Write: return new WriteJob(port, options);
    case Command::SetCounter: return new CounterJob(port, options);
    case Command::Flash: return new FlashJob(port, options);
    case Command::Namur: return new NamurJob(port, options);
    case Command::Report: return new ReportJob(port, options);
    case Command::Plan: return new PlanJob(port, options);
    case Command::Apply: return new ApplyJob(port, options);
    default: return nullptr;
    }
}

// Each port ends with its own result, refused ones too, so that a script
// finds one line per port in the order given.
int runPortJobs(const CliOptions &options)
{
    JobRunner runner(options);
    const QString complaint = checkInputFiles(options);
    for (const QString &port : options.ports) {
        if (!complaint.isEmpty()) {
            runner.addRefused(port, ExitUsage, QStringLiteral("badFile"), complaint);
            continue;
        }
        if (classifyPortPath(port) == PortPath::NotSerial) {
            runner.addRefused(port, ExitPort, QStringLiteral("notSerial"),
                              cliText(CliText::NotSerialPort, options.language));
            continue;
        }
        PortJob *job = makeJob(port, options);
        if (!job) {
            printText(stderr, QStringLiteral("tavik7-cli: %1\n")
                                  .arg(cliText(CliText::NotAvailable, options.language).arg(options.commandName)));
            return ExitUsage;
        }
        runner.add(job);
    }
    return runner.run();
}

// Qt Gui only where a page is drawn, and then without a display.
std::unique_ptr<QCoreApplication> makeApplication(const CliOptions &options, int &argc, char **argv)
{
    const bool drawsPages = options.command == Command::Report
        || (options.command == Command::Provision && !options.reportDir.isEmpty() && !options.status);
    if (!drawsPages)
        return std::make_unique<QCoreApplication>(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef Q_OS_UNIX
    // Without a session (cron, a service) Qt warns on stderr that it makes a
    // runtime folder of its own; a private one for this run says nothing.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        static QTemporaryDir runtimeFolder(QDir::tempPath() + QStringLiteral("/tavik7-cli-XXXXXX"));
        if (runtimeFolder.isValid())
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeFolder.path()));
    }
#endif
    return std::make_unique<QGuiApplication>(argc, argv);
}

QStringList argumentList(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

} // namespace

int main(int argc, char **argv)
{
    platform::ignoreBrokenPipe();
    // --book FILE is global: taken off before the command is parsed.
    QString bookFile;
    QString bookComplaint;
    const QStringList arguments = takeBookOption(argumentList(argc, argv), &bookFile, &bookComplaint);
    if (!bookComplaint.isEmpty()) {
        printText(stderr, QStringLiteral("tavik7-cli: %1\n").arg(bookComplaint));
        return ExitUsage;
    }
    // Its help comes from the command table, as every command's does.
    if (isBookCommand(arguments) && !arguments.contains(QLatin1String("--help")) && !arguments.contains(QLatin1String("-h"))) {
        const QCoreApplication app(argc, argv);
        return runBookCommand(arguments, bookFile);
    }
    const ParsedCommandLine parsed = parseCommandLine(arguments);
    switch (parsed.outcome) {
    case ParsedCommandLine::ShowHelp: return printResult(helpFor(parsed));
    case ParsedCommandLine::ShowVersion: return printResult(QStringLiteral("tavik7-cli " TAVIK7_VERSION "\n"));
    case ParsedCommandLine::UsageError:
        printText(stderr, QStringLiteral("tavik7-cli: %1\n").arg(parsed.error));
        return ExitUsage;
    case ParsedCommandLine::Run:
        break;
    }
    CliOptions options = parsed.options;
    options.bookFile = bookFile;
    const std::unique_ptr<QCoreApplication> app = makeApplication(options, argc, argv);
    if (options.command == Command::Ports)
        return printResult(portListText(options.json));
    if (options.command == Command::Provision)
        return runProvision(options);
    return runPortJobs(options);
}
