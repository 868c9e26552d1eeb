// NAMUR telegrams: splitting the byte stream, rendering, log lines and the
// numbering of suggested log file names.

#include <QtTest>

#include <QSet>

#include "namur.h"

using namespace tavik7;

namespace {

// FS 12345678 US m3, check byte 0x3f, CR LF.
const QByteArray kTelegram = QByteArrayLiteral("\x1c" "12345678" "\x1f" "m3" "\x3f\r\n");
const QString kRendered = QStringLiteral("[FS]12345678[US]m3[0x3f][CR][LF]");
const QString kStamp = QStringLiteral("07.12.2026 09:05:03.042;");

QStringList renderAll(const QList<QByteArray> &telegrams)
{
    QStringList texts;
    for (const QByteArray &t : telegrams)
        texts.append(renderNamurTelegram(t));
    return texts;
}

} // namespace

class TestNamur : public QObject
{
    Q_OBJECT

private slots:
    void telegramSplitOverReads();
    void renderingAndLogLines();
    void noiseIsCapped();
    void telegramOrNot_data();
    void telegramOrNot();
    void suggestionNumbering_data();
    void suggestionNumbering();
};

void TestNamur::telegramSplitOverReads()
{
    // CR and LF in different reads, too.
    QByteArray pending;
    QStringList shown;
    for (const QByteArray &piece : {kTelegram.left(3), kTelegram.mid(3, 10), kTelegram.mid(13, 1), kTelegram.mid(14)}) {
        pending += piece;
        shown += renderAll(takeNamurTelegrams(pending).telegrams);
        if (piece != kTelegram.mid(14))
            QVERIFY(shown.isEmpty());
    }
    QCOMPARE(shown, QStringList{kRendered});
    QVERIFY(pending.isEmpty());
}

void TestNamur::telegramOrNot_data()
{
    QTest::addColumn<QByteArray>("piece");
    QTest::addColumn<bool>("telegram");

    QTest::newRow("telegram") << kTelegram << true;
    QTest::newRow("check byte FS") << QByteArrayLiteral("\x1c" "1" "\x1f" "m" "\x1c\r\n") << true;
    QTest::newRow("check byte CR") << QByteArrayLiteral("\x1c" "1" "\x1f" "m" "\r\r\n") << true;
    // What a line without CR LF picked up before the telegram that ended it.
    QTest::newRow("noise glued in front") << QByteArray("x7#" + kTelegram) << false;
    QTest::newRow("cut telegram in front") << QByteArray(kTelegram.left(6) + kTelegram) << false;
    QTest::newRow("line end alone") << QByteArray("\r\n") << false;
    QTest::newRow("no US") << QByteArrayLiteral("\x1c" "12345678" "\x3f\r\n") << false;
}

void TestNamur::telegramOrNot()
{
    QFETCH(QByteArray, piece);
    QTEST(isNamurTelegram(piece), "telegram");
}

void TestNamur::renderingAndLogLines()
{
    // Check bytes that look like the control characters are still the check byte.
    QByteArray pending = QByteArrayLiteral("\x1c" "1" "\x1f" "m" "\x1c\r\n" "\x1c" "1" "\x1f" "m" "\r\r\n");
    NamurTelegrams taken = takeNamurTelegrams(pending);
    QCOMPARE(renderAll(taken.telegrams), QStringList({"[FS]1[US]m[0x1c][CR][LF]", "[FS]1[US]m[0xd][CR][LF]"}));
    QCOMPARE(namurLogLine(kStamp, taken.telegrams.at(1)), kStamp + QStringLiteral(";1;m[0xd];"));

    // Nothing before the CR: no check byte to show, nothing read before the buffer.
    pending = QByteArrayLiteral("\r\n") + kTelegram;
    taken = takeNamurTelegrams(pending);
    QCOMPARE(renderAll(taken.telegrams), QStringList({QStringLiteral("[CR][LF]"), kRendered}));
    QCOMPARE(namurLogLine(kStamp, taken.telegrams.first()), kStamp + QStringLiteral(";"));

    // A field that reads like a marker stays as it is in the log.
    const QByteArray literal = QByteArrayLiteral("\x1c" "[US]" "\x1f" "x" "\x01\r\n");
    QCOMPARE(namurLogLine(kStamp, literal), kStamp + QStringLiteral(";[US];x[0x1];"));
    QCOMPARE(namurTimeStamp(QDateTime(QDate(2026, 12, 7), QTime(9, 5, 3, 42))), kStamp);
}

void TestNamur::noiseIsCapped()
{
    QByteArray pending(1000, 'x');
    NamurTelegrams taken = takeNamurTelegrams(pending, 1000);
    QCOMPARE(taken.droppedBytes, 0);
    pending += QByteArray(10, 'y') + '\r';
    taken = takeNamurTelegrams(pending, 1000);
    QCOMPARE(taken.droppedBytes, 1011 - 500);
    // The newest bytes stay, so a telegram completed by the next read is not lost.
    QVERIFY(pending.endsWith(QByteArray(10, 'y') + '\r'));
    pending += '\n' + kTelegram;
    taken = takeNamurTelegrams(pending, 1000);
    QCOMPARE(taken.telegrams.size(), 2);
    QCOMPARE(taken.telegrams.at(1), kTelegram);
    // Noise that does end in CR LF is held to the same limit.
    pending = QByteArray(3000, 'z') + kTelegram;
    taken = takeNamurTelegrams(pending, 1000);
    QCOMPARE(taken.droppedBytes, 3000 + kTelegram.size() - 500);
    QCOMPARE(taken.telegrams, QList<QByteArray>{QByteArray(500 - kTelegram.size(), 'z') + kTelegram});
    QCOMPARE(namurDroppedLine(kStamp, 511), kStamp + QStringLiteral("[511 bytes without CR LF dropped]"));
}

void TestNamur::suggestionNumbering_data()
{
    QTest::addColumn<QList<int>>("present");
    QTest::addColumn<int>("expected");
    QTest::newRow("none") << QList<int>{} << 1;
    QTest::newRow("1 to 10") << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10} << 11;
    QTest::newRow("gap") << QList<int>{1, 3} << 2;
}

void TestNamur::suggestionNumbering()
{
    QFETCH(QList<int>, present);
    QFETCH(int, expected);
    const QString name = QStringLiteral("/d/123456789-Tavik7_2026-12-06_%1.log");
    QSet<QString> files;
    for (int n : present)
        files.insert(name.arg(n));
    const auto exists = [&](const QString &file) { return files.contains(file); };
    QCOMPARE(namurLogFileSuggestion("/d/", "123456789", QDate(2026, 12, 6), exists), name.arg(expected));
}

QTEST_GUILESS_MAIN(TestNamur)
#include "tst_namur.moc"
