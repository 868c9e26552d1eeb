// tavik7-devsim: a Tavik7 on a pseudo-terminal, for trying the service tool
// and for its GUI tests without a device. See usage() for what it does.

#include "devicestate.h"
#include "faults.h"
#include "parameterfields.h"
#include "simulator.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <cstdio>

namespace {

const char kUsage[] = R"(Usage: tavik7-devsim [OPTION]...

Simulates a Tavik7 on a pseudo-terminal. The first line written to stdout is
the path of the serial port to open in the service tool, e.g. /dev/pts/5.

The device listens at the baud rate the PC program sets:
  1200 baud  parameter interface: "LP", "SP" telegram, "L_ZLW", "S_ZLW"
  2400 baud  NAMUR output: telegrams sent on the device's own accord (below)
  9600 baud  AVR109 boot loader of an ATmega168, for avrdude -c avr109 (below)
Answers go out paced at the line's rate, 10 bits per byte, unless
--quick-answers is given. Lines the device does not understand get no
answer. A command left incomplete for 2 s is forgotten. "SP" keeps the
firmware's own version and checksum. A command answered "Fehler!" by an
error fault, a silent one and a hang-up are not carried out.

Device values (defaults in brackets):
%1  --counter DIGITS         counter status [12345678, sent as 012345678]
  --significance-text TEXT raw significance field of the "LP" answer, up to
                           3 characters, e.g. 01 [empty: from the record]
Index values may be anything from -128 to 127, to try out implausible devices.
Below firmware version 112 the counter has 8 digits, from 112 on 9.

NAMUR output: while the line is at 2400 baud the device sends, 7 bits per
byte (the pseudo-terminal keeps 8N1; a real device sends 7E1):
  1c <counter status> 1f <second field> <check byte> 0d 0a
e.g. for the defaults: 1c "012345678" 1f "m3" 65 0d 0a. The counter status has
the firmware's digits; telegram a has the unit as its second field, telegram b
the serial number. The check byte is the XOR of all bytes from 1c to the end
of the second field. --transmit-mode sets the interval: 0 250 ms, 1 500 ms,
2 1000 ms, 3 2000 ms, 4 5000 ms, the first one interval after the switch to
2400 baud; 5 power-down: one telegram 250 ms after the switch; other values:
none. --telegram-b: 0 every 100th telegram is b, 1 never, 2 a and b
alternately, 3 a and b together each time. Each telegram is logged as TX <hex>.
Telegrams not yet read when the rate changes again are lost.
  --namur-fast             telegrams back to back as fast as the line takes
                           them, for load tests; logs only "INFO NAMUR fast
                           output done: N telegrams" at the limit
  --namur-limit N          at most N telegrams per switch to 2400 baud [no limit]

Boot loader: at 9600 baud the device answers as an AVR109 boot loader with a
16 KiB flash; avrdude -p m168 -c avr109 -b 9600 can erase, write, read and
verify it. The top 2 KiB hold the boot loader itself and keep their content.
When avrdude leaves the boot loader ("E") after a session that erased or wrote
the flash, an image carrying the marker "TAVIKFW:" and a version with two
decimals (e.g. "TAVIKFW:1.12" as ASCII anywhere in the image) sets the
firmware version, which the state file keeps; without a marker the version
stays. Each command is logged as BOOT <command> (e.g. "BOOT B F 128 @0x0040"
for a block written at word address 0x40).

Other options:
  --quick-answers          answers of the parameter interface and the boot
                           loader in one write, without waiting for the
                           line's rate; an answer disturbed by a fault keeps
                           the line's pace
  --state FILE             load name=value lines (the names above, without
                           "--") at start and write them back after every
                           stored "SP", "S_ZLW", "set" or flashed firmware
                           version; a missing file means the defaults.
                           Options given here win over the file.
  --fault KIND[=CMD[,CMD]] disturb the answers to CMD (LP, SP, L_ZLW, S_ZLW;
                           default all) until cleared; repeatable. KIND:
                             silent    no answer at all
                             pieces    pieces of 1..3 bytes, 50 ms apart
                             badcrc    "LP" answer with its last byte flipped
                             error     "Fehler!" instead of the answer
                             garbage   the bytes 00 7f 23 before the answer
                             hangup    close the line and exit with status 0
                             bytewise  one byte per write
                             late      the answer 1000 ms after the command
                             padded    a blank before the answer's line end
                             indented  a blank before the answer
                             echo      the command's name and a blank before
                                       the answer ("S_ZLW 000000042")
                             other     "?" instead of the answer (the command
                                       is carried out)
  --fault-once KIND[=CMD]  the same for the next matching command only
  -h, --help               this text

Control lines on stdin (end of input is no reason to stop):
  fault KIND[=CMD]   fault-once KIND[=CMD]   clear-faults
  set NAME=VALUE     state (prints STATE lines)   hangup   quit
Each is confirmed with "CTL OK <line>" or "CTL ERROR <line>: <reason>".

Log on stdout, one line each: RX <command> (RX SP <hex of the telegram>,
RX ? <hex> for an unknown line), TX <hex of the answer>, FAULT <kinds>,
MODE <mode> <baud>, BOOT <command>, STATE <name=value>, CTL ..., INFO <text>.

SIGTERM or SIGINT ends the simulator with status 0.
)";

// The parameter fields' lines of the usage, from the field table.
QString fieldUsage()
{
    QString lines;
    for (int field = 0; field < tavik7::kParameterFieldCount; ++field) {
        const tavik7::ParameterField &f = tavik7::kParameterFields[field];
        QString argument = QStringLiteral("VALUE");
        QString what = QStringLiteral("as a settings file holds it");
        switch (f.kind) {
        case tavik7::FieldKind::Text:
            argument = QStringLiteral("TEXT");
            what = QStringLiteral("up to %1 characters").arg(f.width - 1);
            break;
        case tavik7::FieldKind::Combo:
            argument = QStringLiteral("IDX");
            what = QStringLiteral("item 0..%1").arg(f.itemCount - 1);
            break;
        case tavik7::FieldKind::Check:
            argument = QStringLiteral("0|1");
            what = QStringLiteral("no or yes");
            break;
        case tavik7::FieldKind::Version:
            argument = QStringLiteral("N");
            what = QStringLiteral("in hundredths");
            break;
        case tavik7::FieldKind::Crc: argument = QStringLiteral("HEX"); break;
        default: break;
        }
        if (f.kind == tavik7::FieldKind::Crc)
            what = tavik7::fieldLabel(field, tavik7::English);
        else
            what = tavik7::fieldLabel(field, tavik7::English) + QStringLiteral(", ") + what;
        const QString option = QStringLiteral("--%1 %2").arg(QLatin1String(f.simulatorKey), argument);
        lines += QStringLiteral("  %1 %2 [%3]\n").arg(option, -24).arg(what, QLatin1String(f.simulatorValue));
    }
    return lines;
}

int usageError(const QString &text)
{
    std::fprintf(stderr, "tavik7-devsim: %s\nTry 'tavik7-devsim --help'.\n", qPrintable(text));
    return 2;
}

// What the command line asks for, before any of it is checked against the device.
struct Options
{
    QString statePath;
    QList<QPair<QString, QString>> values;
    QList<QPair<QString, bool>> faults;
    bool namurFast = false;
    bool quickAnswers = false;
    qint64 namurLimit = -1;
};

// A flag of its own, without a value: true when option is one.
bool takeFlag(const QString &option, Options *options)
{
    if (option == QLatin1String("--namur-fast"))
        options->namurFast = true;
    else if (option == QLatin1String("--quick-answers"))
        options->quickAnswers = true;
    else
        return false;
    return true;
}

// -1: go on; otherwise the exit status (0 after --help).
int parseArguments(const QStringList &args, Options *options)
{
    const QStringList keys = devsim::stateKeys();
    for (int i = 0; i < args.size(); ++i) {
        QString option = args.at(i);
        if (option == QLatin1String("-h") || option == QLatin1String("--help")) {
            std::fputs(QString::fromLatin1(kUsage).arg(fieldUsage()).toLocal8Bit().constData(), stdout);
            return 0;
        }
        if (takeFlag(option, options))
            continue;
        if (!option.startsWith(QLatin1String("--")))
            return usageError(QStringLiteral("unexpected argument \"%1\"").arg(option));
        option = option.mid(2);
        QString value;
        const int equals = option.indexOf(QLatin1Char('='));
        if (equals >= 0) {
            value = option.mid(equals + 1);
            option = option.left(equals);
        } else if (i + 1 < args.size()) {
            value = args.at(++i);
        } else {
            return usageError(QStringLiteral("--%1 needs a value").arg(option));
        }

        if (option == QLatin1String("state")) {
            options->statePath = value;
        } else if (option == QLatin1String("namur-limit")) {
            bool ok = false;
            options->namurLimit = value.toLongLong(&ok);
            if (!ok || options->namurLimit < 0)
                return usageError(QStringLiteral("--namur-limit needs a count of telegrams"));
        } else if (option == QLatin1String("fault") || option == QLatin1String("fault-once")) {
            options->faults.append({value, option == QLatin1String("fault-once")});
        } else if (keys.contains(option)) {
            options->values.append({option, value});
        } else {
            return usageError(QStringLiteral("unknown option \"--%1\"").arg(option));
        }
    }
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    Options options;
    if (const int status = parseArguments(args, &options); status >= 0)
        return status;

    devsim::DeviceState state;
    QString error;
    if (!options.statePath.isEmpty() && !state.load(options.statePath, &error))
        return usageError(error);
    for (const auto &[key, value] : options.values) {
        if (!state.setValue(key, value, &error))
            return usageError(QStringLiteral("--%1").arg(error));
    }
    devsim::FaultSet faultSet;
    for (const auto &[description, once] : options.faults) {
        if (!faultSet.add(description, once, &error))
            return usageError(error);
    }

    devsim::Simulator simulator(state, faultSet, options.statePath);
    simulator.setNamurOutput(options.namurFast, options.namurLimit);
    simulator.setQuickAnswers(options.quickAnswers);
    return simulator.run();
}
