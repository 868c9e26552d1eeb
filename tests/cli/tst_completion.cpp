// The bash completion as bash runs it: the script sourced, a command line
// set in COMP_WORDS and COMP_CWORD, and what it offers. The helpers of the
// bash-completion package are stood in for, so that the test needs only bash.

#include <QtTest>

#include "parameterfields.h"

namespace {

const QString kScript = QStringLiteral(TAVIK7_SOURCE_DIR "/packaging/completion/tavik7-cli");

// _init_completion as the package sets the four variables when no word
// breaks apart; _filedir and the program's port list leave a mark instead.
const char kStandIns[] = R"(
_init_completion() {
    words=("${COMP_WORDS[@]}"); cword=$COMP_CWORD
    cur=${COMP_WORDS[COMP_CWORD]}; prev=${COMP_WORDS[COMP_CWORD-1]}
}
_filedir() { COMPREPLY=("FILES${1:+.$1}"); }
tavik7-cli() { echo ttyUSB0; }
)";

QString quoted(const QString &word)
{
    return QLatin1Char('\'') + QString(word).replace(QLatin1Char('\''), QStringLiteral("'\\''")) + QLatin1Char('\'');
}

} // namespace

class TestCompletion : public QObject
{
    Q_OBJECT

private slots:
    void offers_data();
    void offers();
};

void TestCompletion::offers_data()
{
    QTest::addColumn<QStringList>("words"); // after "tavik7-cli"; the last is the word completed
    QTest::addColumn<QStringList>("offered");

    // An option's value is no command.
    QTest::newRow("after --lang de") << QStringList{"--lang", "de", "read", "--fi"} << QStringList{"--field"};
    QTest::newRow("after -p PORT") << QStringList{"-p", "ttyUSB0", "read", "--ch"} << QStringList{"--check"};
    QTest::newRow("after --book FILE") << QStringList{"--book", "b.sqlite", "book", "h"} << QStringList{"history"};
    QTest::newRow("--book takes a file") << QStringList{"--book", ""} << QStringList{"FILES"};
    QTest::newRow("book subcommands") << QStringList{"book", ""}
                                      << QStringList{"devices", "export", "history", "import", "init", "sync", "verify"};
    QTest::newRow("book export's options") << QStringList{"book", "export", "123456789", "-"}
                                           << QStringList{"--output", "-o"};
    QTest::newRow("book devices' options") << QStringList{"book", "devices", "--"}
                                           << QStringList{"--json", "--serial"};
    // read --field names the counter; --keep takes parameters only.
    QTest::newRow("--field counter") << QStringList{"read", "--field", "cou"} << QStringList{"counter"};
    // The keys are the field table's, every one of them, and no counter.
    QStringList keys;
    for (int field = 0; field < tavik7::kParameterFieldCount; ++field)
        keys.append(QLatin1String(tavik7::kParameterFields[field].jsonKey));
    QTest::newRow("--keep, every key") << QStringList{"write", "--keep", ""} << keys;
    QTest::newRow("--keep, second key") << QStringList{"write", "--keep", "unit,dir"} << QStringList{"unit,direction"};
    QTest::newRow("settings file") << QStringList{"write", "-p", "ttyUSB0", ""} << QStringList{"FILES.dat"};
}

void TestCompletion::offers()
{
    QFETCH(QStringList, words);
    QFETCH(QStringList, offered);

    const QStringList all = QStringList{"tavik7-cli"} + words;
    QStringList quotedWords;
    for (const QString &word : std::as_const(all))
        quotedWords.append(quoted(word));
    const QString script = QString::fromLatin1(kStandIns) + QStringLiteral("source %1\n").arg(quoted(kScript))
        + QStringLiteral("COMP_WORDS=(%1); COMP_CWORD=%2\n").arg(quotedWords.join(QLatin1Char(' '))).arg(all.size() - 1)
        + QStringLiteral("_tavik7_cli; printf '%s\\n' \"${COMPREPLY[@]}\"\n");
    QProcess bash;
    bash.start(QStringLiteral("bash"), {QStringLiteral("--norc"), QStringLiteral("--noprofile"), QStringLiteral("-c"), script});
    QVERIFY(bash.waitForFinished(10000));
    QCOMPARE(bash.exitCode(), 0);
    QVERIFY2(bash.readAllStandardError().isEmpty(), "bash complained");
    QStringList got = QString::fromUtf8(bash.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    got.sort();
    offered.sort();
    QCOMPARE(got, offered);
}

QTEST_GUILESS_MAIN(TestCompletion)
#include "tst_completion.moc"
