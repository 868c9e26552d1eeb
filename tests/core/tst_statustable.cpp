#include <QtTest>

#include "statustable.h"

using namespace tavik7;

Q_DECLARE_METATYPE(tavik7::DeviceStatus)
Q_DECLARE_METATYPE(tavik7::RequestKind)
Q_DECLARE_METATYPE(tavik7::RequestSequence)
Q_DECLARE_METATYPE(tavik7::ConsolePlacement)
Q_DECLARE_METATYPE(tavik7::StatusWording)

class TestStatusTable : public QObject
{
    Q_OBJECT

private slots:
    void wording_data();
    void wording();
    void everyEndHasItsRow();
    void flashEnds_data();
    void flashEnds();
};

// Each end as the manual's exit status, the --json error words and the
// console's numbered messages describe it.
void TestStatusTable::wording_data()
{
    QTest::addColumn<DeviceStatus>("status");
    QTest::addColumn<RequestKind>("kind");
    QTest::addColumn<RequestSequence>("sequence");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("word");
    QTest::addColumn<int>("message");
    QTest::addColumn<ConsolePlacement>("placement");

    using S = DeviceStatus;
    using K = RequestKind;
    using Q = RequestSequence;
    using P = ConsolePlacement;
    const auto row = [](const char *name, S status, K kind, Q sequence, int exitCode, const char *word, int message,
                        P placement) {
        QTest::newRow(name) << status << kind << sequence << exitCode << QString::fromLatin1(word) << message
                            << placement;
    };
    // Done: the read's first line replaces the console, the chain appends.
    row("read: parameters", S::Ok, K::ReadParameters, Q::Read, 0, "ok", 1, P::Replace);
    row("read: counter after them", S::Ok, K::ReadCounter, Q::Read, 0, "ok", 3, P::Append);
    row("counter read alone", S::Ok, K::ReadCounter, Q::None, 0, "ok", 3, P::Replace);
    row("write: telegram", S::Ok, K::WriteParameters, Q::Write, 0, "ok", 2, P::Append);
    row("write: counter written back", S::Ok, K::WriteCounter, Q::Write, 0, "ok", 4, P::Append);
    row("set counter", S::Ok, K::WriteCounter, Q::None, 0, "ok", 4, P::Replace);

    // Nothing usable came: "no data" (the report's own) once the chain is over.
    row("silent read", S::NoAnswer, K::ReadParameters, Q::Read, 3, "noAnswer", 70, P::LastReplace);
    row("silent report", S::NoAnswer, K::ReadCounter, Q::Report, 3, "noAnswer", 71, P::LastReplace);
    row("telegram unanswered", S::NoAnswer, K::WriteParameters, Q::Write, 3, "noAnswer", 70, P::LastReplace);
    row("closed during a read", S::Closed, K::ReadParameters, Q::Read, 3, "noAnswer", 70, P::LastAppend);
    row("closed during a report", S::Closed, K::ReadParameters, Q::Report, 3, "noAnswer", 71, P::LastAppend);
    row("adapter pulled", S::PortLost, K::ReadCounter, Q::Read, 2, "portMissing", 70, P::LastReplace);
    row("adapter pulled in a report", S::PortLost, K::ReadParameters, Q::Report, 2, "portMissing", 71,
        P::LastReplace);
    row("garbled parameters", S::WrongAnswer, K::ReadParameters, Q::Read, 4, "wrongAnswer", 70, P::LastReplace);
    row("garbled counter", S::WrongAnswer, K::ReadCounter, Q::None, 4, "wrongAnswer", 70, P::LastReplace);
    row("garbled in a report", S::WrongAnswer, K::ReadParameters, Q::Report, 4, "wrongAnswer", 71,
        P::LastReplace);

    // The device answered, wrongly: the request's own error replaces the console.
    row("checksum", S::BadCrc, K::ReadParameters, Q::Read, 4, "wrongAnswer", 52, P::Replace);
    row("Fehler! to LP", S::DeviceError, K::ReadParameters, Q::Read, 4, "wrongAnswer", 51, P::Replace);
    row("Fehler! to L_ZLW", S::DeviceError, K::ReadCounter, Q::Read, 4, "wrongAnswer", 54, P::Replace);
    row("no OK to SP", S::WrongAnswer, K::WriteParameters, Q::Write, 4, "wrongAnswer", 53, P::Replace);
    row("Fehler! to SP", S::DeviceError, K::WriteParameters, Q::None, 4, "wrongAnswer", 53, P::Replace);
    row("write: counter not echoed", S::NotEchoed, K::WriteCounter, Q::Write, 4, "wrongAnswer", 55, P::Append);
    row("set counter not echoed", S::NotEchoed, K::WriteCounter, Q::None, 4, "wrongAnswer", 55, P::Replace);

    row("refused before writing", S::Refused, K::ReadParameters, Q::Write, 5, "implausible", 59, P::Replace);
}

void TestStatusTable::wording()
{
    QFETCH(DeviceStatus, status);
    QFETCH(RequestKind, kind);
    QFETCH(RequestSequence, sequence);

    const StatusWording wording = statusWording(status, kind, sequence);
    QTEST(int(wording.exitCode), "exitCode");
    QTEST(wording.word, "word");
    QTEST(int(wording.message), "message");
    QTEST(wording.placement, "placement");
    // A script reads the word for the exit code; the book stores the status's.
    QCOMPARE(exitWord(wording.exitCode), wording.word);
}

// A status added without its rows would be worded as nothing in particular;
// the command line's exit code and the book's word must not depend on which
// request of a chain ended it.
void TestStatusTable::everyEndHasItsRow()
{
    for (int s = 0; s < kDeviceStatusCount; ++s) {
        const auto status = DeviceStatus(s);
        const StatusWording first = statusWording(status, RequestKind::ReadParameters, RequestSequence::None);
        QCOMPARE(first.exitCode == cli::ExitDone, status == DeviceStatus::Ok);
        for (int k = 0; k < kRequestKindCount; ++k) {
            for (int q = 0; q < kRequestSequenceCount; ++q) {
                const QByteArray where = QByteArray::number(s) + '/' + QByteArray::number(k) + '/'
                    + QByteArray::number(q);
                QVERIFY2(hasStatusRow(status, RequestKind(k), RequestSequence(q)), where.constData());
                const StatusWording wording = statusWording(status, RequestKind(k), RequestSequence(q));
                QVERIFY2(wording.exitCode == first.exitCode && wording.word == first.word, where.constData());
                QVERIFY2(wording.message != MessageId::None, where.constData());
            }
        }
    }
}

// A flash that failed or never started is exit 6 either way; the window has
// named a tool that would not start before the run ended. A file that is no
// firmware image is the caller's mistake (exit 1, nothing sent); a tool that
// failed is a failed flash, as its verdict is.
void TestStatusTable::flashEnds_data()
{
    QTest::addColumn<StatusWording>("wording");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("word");
    QTest::addColumn<int>("message");
    QTest::addColumn<ConsolePlacement>("placement");

    using P = ConsolePlacement;
    QTest::newRow("succeeded") << flashWording(FlashVerdict::Succeeded) << 0 << "ok" << 10 << P::Replace;
    QTest::newRow("failed") << flashWording(FlashVerdict::Failed) << 6 << "flashFailed" << 66 << P::Replace;
    QTest::newRow("not started") << flashWording(FlashVerdict::NotStarted) << 6 << "flashFailed" << 65 << P::Elsewhere;
    QTest::newRow("no firmware file") << flashErrorWording(FlashError::NoFirmwareFile) << 1 << "badFile" << 63
                                      << P::Replace;
    QTest::newRow("bad image") << flashErrorWording(FlashError::BadFirmwareImage) << 1 << "badFile" << 63 << P::Replace;
    QTest::newRow("tool error") << flashErrorWording(FlashError::ToolError) << 6 << "flashFailed" << 67 << P::Replace;
    QTest::newRow("tool not started") << flashErrorWording(FlashError::ToolNotStarted) << 6 << "flashFailed" << 65
                                      << P::Replace;
}

void TestStatusTable::flashEnds()
{
    QFETCH(StatusWording, wording);
    QTEST(int(wording.exitCode), "exitCode");
    QTEST(wording.word, "word");
    QTEST(int(wording.message), "message");
    QTEST(wording.placement, "placement");
}

QTEST_GUILESS_MAIN(TestStatusTable)
#include "tst_statustable.moc"
