// The table of counter types and what the wizard derives from a row: the
// choices it offers, the entry it prepares and what programming writes.

#include <QtTest>

#include "countertext.h"
#include "texttable.h"
#include "wizardtable.h"

using namespace tavik7;

namespace {

// "6,2" for six digits, a comma and two digits; "8" for eight digits alone.
QString layoutOf(const QString &text)
{
    const int comma = int(text.indexOf(QLatin1Char(',')));
    if (comma < 0)
        return QString::number(text.size());
    return QStringLiteral("%1,%2").arg(comma).arg(text.size() - comma - 1);
}

} // namespace

class TestWizardTable : public QObject
{
    Q_OBJECT

private slots:
    void offeredChoicesAreTheSupportedRows();
    void offeredChoices_data();
    void offeredChoices();
    void firmwareCheck_data();
    void firmwareCheck();
    void rowPreparesEntryAndProgramming_data();
    void rowPreparesEntryAndProgramming();
    void shortCounterGivesShortEntry();
    void frameLines_data();
    void frameLines();
    void programmedRecord_data();
    void programmedRecord();
};

void TestWizardTable::offeredChoicesAreTheSupportedRows()
{
    // Row index = 5 * pair + decimal place: a row out of order is found under another index.
    QList<int> found;
    for (const QString &digits : {QStringLiteral("8"), QStringLiteral("9")}) {
        for (const QString &ua : uaItems(digits).mid(1)) {
            for (const QString &places : decimalPlacesItems(digits, ua).mid(1))
                found.append(findWizardRow(digits, ua, places));
        }
    }
    std::sort(found.begin(), found.end());
    QCOMPARE(found, (QList<int>{1, 2, 3, 4, 6, 11, 12, 17, 18, 23, 24, 29, 30, 36, 42, 48, 54}));
    // A texts' match, never a near one: no comma for the point, no unsupported first row.
    QCOMPARE(findWizardRow("8", "0,01", "2"), -1);
    QCOMPARE(findWizardRow("8", "---", "3"), -1);
    QCOMPARE(findWizardRow("", "", ""), -1);
}

void TestWizardTable::offeredChoices_data()
{
    QTest::addColumn<QString>("digits");
    QTest::addColumn<QString>("ua");
    QTest::addColumn<QStringList>("uaItems");
    QTest::addColumn<QStringList>("placesItems");

    const QStringList ua8{"", "---", "0.01", "0.1", "1", "10", "100"};
    const QStringList ua9{"", "0.01", "0.1", "1", "10", "100"};
    QTest::newRow("8/---") << "8" << "---" << ua8 << QStringList{"", "2", "1", "0", "x10"};
    QTest::newRow("8/10") << "8" << "10" << ua8 << QStringList{"", "0", "x10"};
    QTest::newRow("9/0.01") << "9" << "0.01" << ua9 << QStringList{"", "3"};
    QTest::newRow("9/--- is not offered") << "9" << "---" << ua9 << QStringList{""};
    QTest::newRow("nothing chosen") << "" << "" << QStringList{""} << QStringList{""};
}

void TestWizardTable::offeredChoices()
{
    QFETCH(QString, digits);
    QFETCH(QString, ua);
    QFETCH(QStringList, uaItems);
    QFETCH(QStringList, placesItems);
    QCOMPARE(tavik7::uaItems(digits), uaItems);
    QCOMPARE(decimalPlacesItems(digits, ua), placesItems);
}

void TestWizardTable::firmwareCheck_data()
{
    QTest::addColumn<int>("required");
    QTest::addColumn<int>("version");
    QTest::addColumn<bool>("fits");

    QTest::newRow("1.11 on 1.11") << 111 << 111 << true;
    QTest::newRow("1.11 on 1.12") << 111 << 112 << false;
    QTest::newRow("1.12 on 1.13") << 112 << 113 << true;
    QTest::newRow("1.12 on 1.11") << 112 << 111 << false;
    QTest::newRow("no row") << 0 << 112 << false;
}

void TestWizardTable::firmwareCheck()
{
    QFETCH(int, required);
    QFETCH(int, version);
    QFETCH(bool, fits);
    QCOMPARE(firmwareFits(quint16(required), quint16(version)), fits);
    QCOMPARE(firmwareFileName(quint16(required)),
             required == 111 ? QStringLiteral("tavik_v1_11.hex") : QStringLiteral("tavik_v1_12.hex"));
    QCOMPARE(firmwareFlashPlea(quint16(required)), required == 111 ? MessageId::PleaseFlashV111 : MessageId::PleaseFlashV112);
}

void TestWizardTable::rowPreparesEntryAndProgramming_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("entryLayout");
    QTest::addColumn<QString>("deviceLayout");
    QTest::addColumn<int>("significanceIndex");
    QTest::addColumn<int>("leadingPlus");
    QTest::addColumn<bool>("factor");
    QTest::addColumn<QString>("frame"); // digits framed after the comma, "+" one digit further right; "": none
    QTest::addColumn<bool>("hint");  // the entry's last digit is a graduation mark

    QTest::newRow("1: 8/---/2") << 1 << "6,2" << "6,2" << 1 << 0 << false << "2" << false;
    QTest::newRow("4: 8/---/x10") << 4 << "8" << "8" << 4 << 1 << true << "" << false;
    QTest::newRow("6: 8/0.01/2") << 6 << "6,3" << "6,3" << 0 << 0 << false << "3+" << true;
    QTest::newRow("18: 8/1/0") << 18 << "8,1" << "8,1" << 2 << 0 << false << "" << true;
    QTest::newRow("24: 8/10/x10") << 24 << "8,1" << "9" << 3 << 1 << true << "1+" << true;
    QTest::newRow("30: 9/0.01/3") << 30 << "6,3" << "6,3" << 0 << 0 << false << "3+" << false;
}

void TestWizardTable::rowPreparesEntryAndProgramming()
{
    QFETCH(int, row);
    QFETCH(QString, entryLayout);
    QFETCH(QString, deviceLayout);
    QFETCH(int, significanceIndex);
    QFETCH(int, leadingPlus);
    QFETCH(bool, factor);
    QFETCH(QString, frame);
    QFETCH(bool, hint);

    const WizardRow *r = wizardRow(row);
    QVERIFY(r);
    QCOMPARE(r->graduationMarkDigit == 1, hint);

    // Prefilled from a nine-digit reading with a comma in it: the comma
    // moves to where this counter type has it.
    const WizardEntry entry = prepareWizardEntry(*r, QStringLiteral("1234567,89"));
    QCOMPARE(layoutOf(entry.text), entryLayout);
    QCOMPARE(entry.maxLength, int(entry.text.size()));
    QCOMPARE(entry.showFactor, factor);
    QVERIFY(entry.text.startsWith(QStringLiteral("123456")));

    const std::optional<CounterFrame> framed = counterFrame(*r);
    const QString shown = framed ? QString::number(framed->fractionDigits) + (framed->shifted ? "+" : "") : QString();
    QCOMPARE(shown, frame);

    // What step 7 writes for an entry typed in full.
    const WizardSignificance written = wizardSignificance(r->significanceExponent);
    QCOMPARE(written.significanceIndex, significanceIndex);
    QCOMPARE(int(written.leadingPlus), leadingPlus);
    QString typed = entry.text;
    for (int i = 0, digit = 1; i < typed.size(); ++i) {
        if (typed.at(i) != QLatin1Char(','))
            typed[i] = QLatin1Char(char('0' + digit++ % 10));
    }
    const QString counter = wizardCounterTransfer(typed, written.decimals);
    QCOMPARE(layoutOf(counter), deviceLayout);
    QString digitsOnly = typed;
    QCOMPARE(QString(counter).remove(QLatin1Char(',')), digitsOnly.remove(QLatin1Char(',')));
}

void TestWizardTable::frameLines_data()
{
    // textRight < 0: on the grid for fraction digits (negative: shifted);
    // else around digits ending there, fraction pixels wide.
    QTest::addColumn<int>("textRight");
    QTest::addColumn<int>("fraction");
    QTest::addColumn<QRect>("above");
    QTest::addColumn<int>("verticalX");

    QTest::newRow("grid, one digit") << -1 << 1 << QRect(600, 319, 18, 20) << 601;
    QTest::newRow("grid, two, shifted") << -1 << -2 << QRect(601, 319, 31, 20) << 615;
    QTest::newRow("grid, three") << -1 << 3 << QRect(573, 319, 45, 20) << 601;
    // The lines keep a pixel before the digits and two after them.
    QTest::newRow("around, at the grid's edge") << 616 << 15 << QRect(600, 319, 18, 20) << 601;
    QTest::newRow("around, further right") << 630 << 22 << QRect(607, 319, 25, 20) << 615;
}

void TestWizardTable::frameLines()
{
    QFETCH(int, textRight);
    QFETCH(int, fraction);
    QFETCH(QRect, above);
    QFETCH(int, verticalX);
    const CounterFrameLines lines = textRight < 0
        ? counterFrameLinesAtGrid(CounterFrame{qAbs(fraction), fraction < 0})
        : counterFrameLinesAround(textRight, fraction);
    QCOMPARE(lines.above, above);
    QCOMPARE(lines.below, above.translated(0, 24));
    QCOMPARE(lines.vertical, QRect(verticalX, 330, 30, 23));
}

void TestWizardTable::shortCounterGivesShortEntry()
{
    // Read as eight digits while the row needs nine: the entry is what there is.
    const WizardEntry entry = prepareWizardEntry(*wizardRow(30), QStringLiteral("12345678"));
    QCOMPARE(entry.maxLength, 10);
    QCOMPARE(entry.text, QStringLiteral("123456,78"));
    QCOMPARE(prepareWizardEntry(*wizardRow(3), QString()).text, QString());
    QCOMPARE(prepareWizardEntry(kWizardTable[0], QStringLiteral("12345678")).integerDigits, 0);

    // Fewer digits than decimals still yields a comma, never a crash.
    QCOMPARE(wizardCounterTransfer(QStringLiteral("12"), 3), QStringLiteral(",12"));
    QCOMPARE(wizardCounterTransfer(QStringLiteral("12345678,9"), 0), QStringLiteral("123456789"));
}

void TestWizardTable::programmedRecord_data()
{
    QTest::addColumn<int>("row");       // -1: nothing chosen
    QTest::addColumn<int>("direction"); // the wizard's direction combo
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<int>("tableDirection");
    QTest::addColumn<int>("significance");
    QTest::addColumn<QString>("counter");

    // A counter without a Ua value counts to the right, whatever was chosen.
    QTest::newRow("Ua --- chosen left") << 1 << 2 << 111 << "123456,78" << 0 << 1 << "123456,78";
    QTest::newRow("Ua --- nothing chosen") << 3 << 0 << 111 << "12345678" << 0 << 3 << "12345678";
    QTest::newRow("Ua 0.1 left") << 11 << 2 << 111 << "123456,78" << 1 << 1 << "123456,78";
    // x10: exponent 0, no decimals, leading plus.
    QTest::newRow("x10") << 24 << 1 << 112 << "12345678,9" << 0 << 3 << "123456789";
    // The counter entry cuts what is longer than the counter.
    QTest::newRow("overlong entry cut") << 30 << 1 << 112 << "1234567,890" << 0 << 0 << "1234567,89";
    QTest::newRow("no row") << -1 << 1 << 112 << "" << 0 << 3 << "";
}

void TestWizardTable::programmedRecord()
{
    QFETCH(int, row);
    QFETCH(int, direction);
    QFETCH(int, version);
    QFETCH(QString, entry);
    QFETCH(int, tableDirection);
    QFETCH(int, significance);
    QFETCH(QString, counter);

    ParameterRecord table;
    initParameterRecord(table);
    table.direction = 1;
    table.softwareVersion = quint16(version);
    const WizardProgram program = wizardProgram(table, wizardRow(row), direction, entry);
    QCOMPARE(int(program.record.direction), tableDirection);
    QCOMPARE(int(program.record.significance), significance);
    QCOMPARE(int(program.record.leadingPlus), significance >= 3 ? 1 : 0);
    QCOMPARE(program.counterText, counter);
    QCOMPARE(program.counterDigits, counterDigitsForDevice(counter));
}

QTEST_APPLESS_MAIN(TestWizardTable)
#include "tst_wizardtable.moc"
