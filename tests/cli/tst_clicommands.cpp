// The command line's parser and its one command table, in-process: what
// --help, the manual page and the README list must be what the parser takes.

#include <QtTest>

#include "clitexts.h"
#include "commandline.h"
#include "commandtable.h"
#include "parameterfields.h"
#include "readfile.h"
#include "samplerecord.h"
#include "settingsfile.h"
#include "writeplan.h"
#include "texttable.h"
#include "wiretrace.h"

using namespace tavik7;
using namespace tavik7::cli;

namespace {

QList<const CommandForm *> allCommands()
{
    int count = 0;
    const CommandForm *forms = commandForms(&count);
    QList<const CommandForm *> list;
    for (int i = 0; i < count; ++i)
        list.append(forms + i);
    return list;
}

// The manual page's SYNOPSIS as plain lines: macros and escapes dropped.
QString manSynopsis()
{
    const QString page = QString::fromUtf8(readFile(QStringLiteral(TAVIK7_SOURCE_DIR "/packaging/tavik7-cli.1")));
    const qsizetype start = page.indexOf(QLatin1String(".SH SYNOPSIS"));
    const qsizetype end = page.indexOf(QLatin1String(".SH"), start + 1);
    QString synopsis = page.mid(start, end - start);
    synopsis.replace(QLatin1String("\\-"), QLatin1String("-")).replace(QLatin1String(".B "), QString());
    return synopsis;
}

} // namespace

class TestCliCommands : public QObject
{
    Q_OBJECT

private slots:
    void init() { qputenv("LANG", "C"); qunsetenv("LC_ALL"); qunsetenv("LC_MESSAGES"); }
    void everyListingFollowsTheTable();
    void parse_data();
    void parse();
    void language_data();
    void language();
    void plannedWrite_data();
    void plannedWrite();
    void traceFileName_data();
    void traceFileName();
};

void TestCliCommands::everyListingFollowsTheTable()
{
    const QString help = helpText(English);
    const QString german = helpText(German);
    const QString man = manSynopsis();
    const QString readme = QString::fromUtf8(readFile(QStringLiteral(TAVIK7_SOURCE_DIR "/README.md")));
    const QString completion =
        QString::fromUtf8(readFile(QStringLiteral(TAVIK7_SOURCE_DIR "/packaging/completion/tavik7-cli")));
    for (const CommandForm *form : allCommands()) {
        const QString line = QStringLiteral("tavik7-cli ") + QLatin1String(form->synopsis);
        QVERIFY2(help.contains(line + QLatin1Char('\n')), qPrintable(line));
        QVERIFY2(german.contains(line + QLatin1Char('\n')), qPrintable(line));
        QVERIFY2(man.contains(line + QLatin1Char('\n')), qPrintable(line));
        QVERIFY2(readme.contains(QStringLiteral("    ") + line + QLatin1Char('\n')), qPrintable(line));
        QVERIFY2(completion.contains(QLatin1Char(' ') + QLatin1String(form->name) + QLatin1Char(' ')), form->name);
        // help COMMAND and COMMAND --help say the same, for that command alone.
        const ParsedCommandLine asked = parseCommandLine({"tavik7-cli", "help", QLatin1String(form->name)});
        const ParsedCommandLine flagged = parseCommandLine({"tavik7-cli", QLatin1String(form->name), "--help"});
        QCOMPARE(asked.outcome, ParsedCommandLine::ShowHelp);
        QCOMPARE(helpFor(asked), helpFor(flagged));
        QVERIFY(helpFor(asked).startsWith(QStringLiteral("  ") + line + QLatin1Char('\n')));
    }
    QVERIFY(german.contains(QLatin1String("Befehle:")) && !german.contains(QLatin1String("Commands:")));
    // The options of every port command are in no synopsis: each listing names them itself.
    QString page = QString::fromUtf8(readFile(QStringLiteral(TAVIK7_SOURCE_DIR "/packaging/tavik7-cli.1")));
    page.replace(QLatin1String("\\-"), QLatin1String("-"));
    for (const QString &option : {QStringLiteral("--wait"), QStringLiteral("--quiet"), QStringLiteral("--trace")}) {
        const QRegularExpression word(QStringLiteral("(?<![\\w-])%1(?![\\w-])").arg(option));
        for (const QString &listing : {help, german, page, readme, completion})
            QVERIFY2(listing.contains(word), qPrintable(option + QLatin1Char('\n') + listing.left(60)));
    }
}

void TestCliCommands::parse_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("complaint");

    const auto run = [](const char *name, const QStringList &args) {
        QTest::newRow(name) << args << int(ParsedCommandLine::Run) << QString();
    };
    const auto usage = [](const char *name, const QStringList &args, const char *complaint) {
        QTest::newRow(name) << args << int(ParsedCommandLine::UsageError) << QString::fromUtf8(complaint);
    };
    run("read two ports", {"read", "-p", "a", "-p", "b", "--json"});
    usage("empty port", {"read", "-p", ""}, "empty port name");
    run("check with keep", {"check", "-p", "a", "f.dat", "--keep", "year,serialNumber"});
    usage("keep of no field", {"check", "-p", "a", "f.dat", "--keep", "yr"}, "Unknown field 'yr'");
    usage("check without file", {"check", "-p", "a"}, "Missing: FILE.dat");
    usage("field on write", {"write", "-p", "a", "f.dat", "--field", "year"}, "--field does not belong");
    usage("duration zero", {"namur", "-p", "a", "--duration", "0"}, "--duration takes a positive");
    usage("help of no command", {"help", "frobnicate"}, "Unknown command");
    run("technician and reason",
        {"--technician", "Ann Example", "flash", "-p", "a", "f.hex", "--reason", "firmware 1.14: counter fix"});
    usage("reason on a read", {"read", "-p", "a", "--reason", "why"}, "--reason does not belong");
    usage("reason of two lines", {"set-counter", "-p", "a", "1", "--reason", "ok\nevent 9: ok"},
          "--reason takes one line of printable text");
    usage("reason empty", {"apply", "-p", "a", "p.json", "--reason", " "}, "--reason takes one line");
    usage("technician with escapes", {"read", "-p", "a", "--technician", "\x1b[2JAnn"}, "--technician takes one line");
    usage("reason turned around", {"write", "-p", "a", "f.dat", "--reason", "\u202eko"}, "--reason takes one line");
    usage("note with a tab", {"report", "-p", "a", "-o", "r.pdf", "--note", "a\tb"}, "--note takes one line");
    run("set without file", {"write", "-p", "a", "--set", "direction=1"});
    usage("set in words", {"write", "-p", "a", "--set", "significance=three"}, "--set 'significance=three'");
    usage("set of no field", {"write", "-p", "a", "--set", "colour=1"}, "--set");
    // The device keeps these whatever is sent: taken, the value would vanish and the run succeed.
    usage("set of the device's own", {"write", "-p", "a", "--set", "softwareVersion=2.00"},
          "softwareVersion is the device's own");
    usage("write with nothing", {"write", "-p", "a"}, "Missing: FILE.dat");
    QStringList sixNotes{"report", "-p", "a", "-o", "-"};
    for (int i = 0; i < 6; ++i)
        sixNotes << "--note" << QString::number(i);
    usage("six notes", sixNotes, "at most 5 --note");
    usage("port list missing", {"read", "-p", "@/nonexistent"}, "port list");
}

void TestCliCommands::parse()
{
    QFETCH(QStringList, args);
    QFETCH(QString, complaint);

    const ParsedCommandLine parsed = parseCommandLine(QStringList{"tavik7-cli"} + args);
    QTEST(int(parsed.outcome), "outcome");
    QVERIFY2(parsed.error.contains(complaint), qPrintable(parsed.error));
}

void TestCliCommands::language_data()
{
    QTest::addColumn<QByteArrayList>("environment"); // NAME=VALUE
    QTest::addColumn<int>("language");

    QTest::newRow("LANG alone") << QByteArrayList{"LANG=de_DE.UTF-8"} << int(German);
    QTest::newRow("LC_ALL before LANG") << QByteArrayList{"LANG=de_DE.UTF-8", "LC_ALL=C"} << int(English);
    QTest::newRow("LC_MESSAGES before LANG") << QByteArrayList{"LANG=C", "LC_MESSAGES=de_AT"} << int(German);
    QTest::newRow("empty LC_ALL ignored") << QByteArrayList{"LC_ALL=", "LANG=de_CH"} << int(German);
}

void TestCliCommands::language()
{
    QFETCH(QByteArrayList, environment);

    for (const QByteArray &variable : environment)
        qputenv(variable.left(variable.indexOf('=')).constData(), variable.mid(variable.indexOf('=') + 1));
    QTEST(languageFromEnvironment(), "language");
}

void TestCliCommands::plannedWrite_data()
{
    QTest::addColumn<bool>("withFile");
    QTest::addColumn<QStringList>("sets");
    QTest::addColumn<QStringList>("keep");
    QTest::addColumn<QStringList>("expected"); // key=value of the planned record, beside the file's

    // The device differs from the file in every field a write may change.
    QTest::newRow("file") << true << QStringList() << QStringList() << QStringList{"softwareVersion=1.11"};
    QTest::newRow("file, set") << true << QStringList{"direction=0", "year=2031"} << QStringList()
                               << QStringList{"direction=0", "year=2031"};
    QTest::newRow("file, kept") << true << QStringList() << QStringList{"serialNumber", "year"}
                                << QStringList{"serialNumber=987654321", "year=1999"};
    QTest::newRow("device, set") << false << QStringList{"unit=m3"} << QStringList()
                                 << QStringList{"unit=m3", "serialNumber=987654321", "direction=0"};
}

void TestCliCommands::plannedWrite()
{
    QFETCH(bool, withFile);
    QFETCH(QStringList, sets);
    QFETCH(QStringList, keep);
    QFETCH(QStringList, expected);

    const ParameterRecord file = sampleRecord();
    ParameterRecord device = sampleRecord();
    setFieldText(device.serialNumber, kSerialNumberWidth, QStringLiteral("987654321"));
    setFieldText(device.yearOfManufacture, kYearWidth, QStringLiteral("1999"));
    setFieldText(device.unit, kUnitWidth, QStringLiteral("l"));
    device.direction = 0;
    device.softwareVersion = 111;
    QTemporaryDir dir;
    CliOptions options;
    options.setValues = sets;
    options.keep = keep;
    if (withFile) {
        options.inputFile = dir.filePath(QStringLiteral("t.dat"));
        QVERIFY(writeFile(options.inputFile, settingsFileLines(file).join()));
    }
    const ParameterRecord planned = plannedWriteRecord(device, options);
    const ParameterRecord &base = withFile ? file : device;
    for (int field = 0; field < kParameterFieldCount; ++field) {
        const QString key = QLatin1String(kParameterFields[field].jsonKey);
        const QStringList given = expected.filter(QRegularExpression(QLatin1Char('^') + key + QLatin1Char('=')));
        const QByteArray value = given.isEmpty()
            ? settingsFileValue(field == FieldSoftwareVersion ? device : base, field)
            : given.constFirst().section(QLatin1Char('='), 1).toLatin1();
        QCOMPARE(settingsFileValue(planned, field), value);
    }
}


void TestCliCommands::traceFileName_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("ports");
    QTest::addColumn<QString>("expected");

    QTest::newRow("one port: as named") << "w.txt" << "/dev/ttyUSB0" << 1 << "w.txt";
    QTest::newRow("before the extension") << "log/w.txt" << "/dev/ttyUSB0" << 2 << "log/w-ttyUSB0.txt";
    QTest::newRow("pts keeps its folder") << "w.txt" << "/dev/pts/3" << 2 << "w-pts_3.txt";
    QTest::newRow("dot in a folder") << "run.d/w" << "COM3" << 2 << "run.d/w-COM3";
    QTest::newRow("hidden file") << "/tmp/.w" << "ttyS0" << 2 << "/tmp/.w-ttyS0";
}

void TestCliCommands::traceFileName()
{
    QFETCH(QString, file);
    QFETCH(QString, port);
    QFETCH(int, ports);

    QTEST(traceFileFor(file, port, ports), "expected");
}

QTEST_GUILESS_MAIN(TestCliCommands)
#include "tst_clicommands.moc"
