// The rules behind the parameter table's colouring and the counter entry: the
// row rules at their boundaries, the counter check for every comma position,
// the counter answer as the entry shows it,
// and the overwrite-mode editing of the wizard's counter entry.

#include <QtTest>

#include "countertext.h"
#include "plausibility.h"

using namespace tavik7;

namespace {

constexpr int kRowUnit = 0;
constexpr int kRowManufacturer = 3;
constexpr int kRowDeviceType = 4;
constexpr int kRowSerialNumber = 5;
constexpr int kRowYear = 6;
constexpr int kRowSoftwareVersion = 7;
constexpr int kRowSoftwareCrc = 8;
constexpr int kRowBaudRate = 9;

// Key presses by their characters: digits, "<" for Left, ">" for Right,
// "B" for Backspace, "D" for Delete, anything else as its own key code.
CounterKeyEdit typeKeys(QString text, int cursor, int maxLength, const QString &keys)
{
    const QHash<QChar, int> named{{u'<', Qt::Key_Left}, {u'>', Qt::Key_Right}, {u'B', Qt::Key_Backspace},
                                  {u'D', Qt::Key_Delete}};
    CounterKeyEdit edit{text, cursor};
    for (const QChar c : keys)
        edit = applyCounterEntryKey(edit.text, edit.cursor, maxLength, named.value(c, c.toUpper().unicode()));
    return edit;
}

} // namespace

class TestPlausibility : public QObject
{
    Q_OBJECT

private slots:
    void rowRules_data();
    void rowRules();
    void rowsWithoutRule();
    void counterCheck_data();
    void counterCheck();
    void readingMovedToOtherDigitCount();
    void counterAnswer_data();
    void counterAnswer();
    void keyFilter_data();
    void keyFilter();
};

void TestPlausibility::rowRules_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("kept");
    QTest::addColumn<bool>("plausible");

    QTest::newRow("unit with blank") << kRowUnit << "m 3" << "m 3" << false;
    QTest::newRow("unit empty") << kRowUnit << "" << "" << false;
    QTest::newRow("unit cut to three") << kRowUnit << "m3ab" << "m3a" << true;
    QTest::newRow("unit umlaut") << kRowUnit << QString::fromUtf8("m\u00b3") << QString::fromUtf8("m\u00b3") << false;

    QTest::newRow("manufacturer _ and &") << kRowManufacturer << "A&_" << "A&_" << true;
    QTest::newRow("manufacturer digit") << kRowManufacturer << "AB1" << "AB1" << false;

    QTest::newRow("device type printable, cut to 6") << kRowDeviceType << "T-7 /xy" << "T-7 /x" << true;
    QTest::newRow("device type tab") << kRowDeviceType << "TA\tV" << "TA\tV" << false;
    QTest::newRow("device type DEL") << kRowDeviceType << QString(QChar(0x7F)) << QString(QChar(0x7F)) << false;
    QTest::newRow("serial cut to 9") << kRowSerialNumber << "1234567890" << "123456789" << true;

    QTest::newRow("year 1949") << kRowYear << "1949" << "1949" << false;
    QTest::newRow("year 1950") << kRowYear << "1950" << "1950" << true;
    QTest::newRow("year 2049") << kRowYear << "2049" << "2049" << true;
    QTest::newRow("year 2050") << kRowYear << "2050" << "2050" << false;

    QTest::newRow("version 1.1") << kRowSoftwareVersion << "1.1" << "1.1" << false;
    QTest::newRow("version cut 1.123") << kRowSoftwareVersion << "1.123" << "1.12" << true;
    QTest::newRow("version 1,12") << kRowSoftwareVersion << "1,12" << "1,12" << false;
}

void TestPlausibility::rowRules()
{
    QFETCH(int, row);
    QFETCH(QString, text);

    const CellVerdict verdict = checkParameterCell(row, text);
    QTEST(verdict.text, "kept");
    QTEST(verdict.plausible, "plausible");
    QVERIFY(verdict.flag >= 0 && verdict.flag < kCounterPlausibilityFlag);
}

void TestPlausibility::rowsWithoutRule()
{
    // The CRC cell is cut but never judged; combo rows are neither.
    const CellVerdict crc = checkParameterCell(kRowSoftwareCrc, QStringLiteral("1a2b3"));
    QCOMPARE(crc.text, QStringLiteral("1a2b"));
    QCOMPARE(crc.flag, -1);
    QVERIFY(crc.plausible);
    // Taken from a longer text, its last four digits would be a checksum the firmware never had.
    QCOMPARE(parseSoftwareCrc(QStringLiteral("10a3f")), quint16(0));
    const QString longText(40, QLatin1Char('x'));
    QCOMPARE(checkParameterCell(kRowBaudRate, longText).text, longText);
    QCOMPARE(checkParameterCell(kRowBaudRate, longText).flag, -1);
    // Each checked row has a flag of its own: mending one must not clear another's.
    QSet<int> flags;
    for (int row : {kRowUnit, kRowManufacturer, kRowDeviceType, kRowSerialNumber, kRowYear, kRowSoftwareVersion})
        flags.insert(plausibilityFlagOfRow(row));
    QCOMPARE(flags, QSet<int>({0, 2, 3, 4, 5, 6}));
}

void TestPlausibility::counterCheck_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("significance");
    QTest::addColumn<int>("version");
    QTest::addColumn<bool>("plausible");

    // Eight digits: the comma after 5, 6 or 7 of them.
    QTest::newRow("8 -3 ok") << "12345,678" << 0 << 111 << true;
    QTest::newRow("8 -3 comma late") << "123456,78" << 0 << 111 << false;
    QTest::newRow("8 -1 ok") << "1234567,8" << 2 << 111 << true;
    QTest::newRow("8 0 ok") << "12345678" << 3 << 111 << true;
    QTest::newRow("8 0 short") << "1234567" << 3 << 111 << false;
    QTest::newRow("8 +1 comma") << "1234567,8" << 4 << 111 << false;

    // Nine digits: the comma after 6, 7 or 8 of them.
    QTest::newRow("9 -3 ok") << "123456,789" << 0 << 112 << true;
    // A digit of another script is no digit the device takes.
    QTest::newRow("9 -1 Arabic digit before comma") << QString::fromUtf8("1234567\u0663,9") << 2 << 112 << false;
    // An empty significance combo (an index from a file) asks for no comma.
    QTest::newRow("no significance") << "123456789" << -1 << 112 << true;
}

void TestPlausibility::counterCheck()
{
    QFETCH(QString, text);
    QFETCH(int, significance);
    QFETCH(int, version);

    // The entry's maximum length is the counter length, as the table sets it.
    const int length = counterLength(qint8(significance), quint16(version));
    QTEST(counterTextPlausible(text, length, length, qint8(significance)), "plausible");
}

void TestPlausibility::readingMovedToOtherDigitCount()
{
    // A leading zero more or less keeps the value; the comma follows the significance.
    QCOMPARE(relayCounterReading(QStringLiteral("12345678"), 3, 112), QStringLiteral("012345678"));
    QCOMPARE(relayCounterReading(QStringLiteral("012345678"), 3, 111), QStringLiteral("12345678"));
    QCOMPARE(relayCounterReading(QStringLiteral("12345,678"), 1, 112), QStringLiteral("0123456,78"));
    // Dropping a digit that counts would change the reading: no layout for it.
    QVERIFY(relayCounterReading(QStringLiteral("123456789"), 3, 111).isEmpty());
}

void TestPlausibility::counterAnswer_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("significance");
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("digits");

    const auto row = [](const char *name, const QByteArray &answer, int significance, int version,
                        const QString &text, const QByteArray &digits = {}) {
        QTest::newRow(name) << answer << significance << version << text << digits;
    };
    // Every significance with both digit counts; the expected texts are what
    // the counter entry showed for these answers.
    const char *const eight[] = {"12345,678", "123456,78", "1234567,8", "12345678", "12345678", "12345678"};
    const char *const nine[] = {"123456,789", "1234567,89", "12345678,9", "123456789", "123456789", "123456789"};
    for (int significance = 0; significance < 6; ++significance) {
        const QByteArray tag = ", significance " + QByteArray::number(significance);
        row(("8 digits" + tag).constData(), "12345678\r\n", significance, 111, eight[significance], "12345678");
        row(("9 digits" + tag).constData(), "123456789\r\n", significance, 112, nine[significance], "123456789");
    }
    // The entry's length cuts the answer, and cuts again once the comma is in.
    row("short", "1234\r\n", 0, 111, QStringLiteral("1234\r,\n"));
    row("one digit short", "1234567\r\n", 2, 111, QStringLiteral("1234567,\r"));
    row("overlong", "1234567890123\r\n", 3, 111, QStringLiteral("12345678"), "12345678");
    row("overlong with comma", "1234567890123\r\n", 0, 112, QStringLiteral("123456,789"), "123456789");
    row("comma in the answer", "1234,5678\r\n", 3, 111, QStringLiteral("1234567"), "1234567");
    row("letters", "ABCDEFGH\r\n", 3, 111, QStringLiteral("ABCDEFGH"));
    row("CR LF only", "\r\n", 3, 112, QStringLiteral("\r\n"));
    row("empty", QByteArray(), 2, 111, QString());
    row("control bytes", "12\x01\x02" "345678\r\n", 3, 111, QStringLiteral("12\x01\x02" "3456"));
    row("NUL", QByteArray("1234\0" "5678\r\n", 11), 3, 112, QString::fromLatin1("1234\0" "5678", 9));
    row("no significance", "123456789\r\n", -1, 112, QStringLiteral("123456789"), "123456789");
}

void TestPlausibility::counterAnswer()
{
    QFETCH(QByteArray, answer);
    QFETCH(int, significance);
    QFETCH(int, version);

    const CounterReading reading = parseCounterAnswer(answer, qint8(significance), quint16(version));
    QTEST(reading.text, "text");
    QTEST(reading.digits, "digits");
}

void TestPlausibility::keyFilter_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<int>("maxLength");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("expectedText");
    QTest::addColumn<int>("expectedCursor");

    QTest::newRow("typing across the comma and wrapping")
        << "1234567,8" << 0 << 9 << "99999999" << "9999999,9" << 0;
    QTest::newRow("seventh digit jumps the comma")
        << "1234567,8" << 0 << 9 << "9999999" << "9999999,8" << 8;
    QTest::newRow("left from 0 wraps to the end") << "1234567,8" << 0 << 9 << "<" << "1234567,8" << 8;
    QTest::newRow("left skips the comma") << "1234567,8" << 8 << 9 << "<" << "1234567,8" << 6;
    QTest::newRow("digit on the comma replaces it") << "1234567,8" << 7 << 9 << "0" << "123456708" << 8;
    QTest::newRow("other keys change nothing") << "1234567,8" << 3 << 9 << "BDx .-" << "1234567,8" << 3;
    QTest::newRow("digit at the end grows the text") << "1234" << 4 << 9 << "5" << "12345" << 5;
    QTest::newRow("full entry cannot grow") << "123" << 3 << 3 << "9" << "123" << 0;
}

void TestPlausibility::keyFilter()
{
    QFETCH(QString, text);
    QFETCH(int, cursor);
    QFETCH(int, maxLength);
    QFETCH(QString, keys);

    const CounterKeyEdit edit = typeKeys(text, cursor, maxLength, keys);
    QTEST(edit.text, "expectedText");
    QTEST(edit.cursor, "expectedCursor");
}

QTEST_APPLESS_MAIN(TestPlausibility)
#include "tst_plausibility.moc"
