#include <QtTest>

#include "texttable.h"

using namespace tavik7;

// Expected texts are typed again in UTF-8, independently of the table's
// Latin-1 octal escapes, so a slip in either one shows up here.
static QString u(const char *utf8) { return QString::fromUtf8(utf8); }

class TestTextTable : public QObject
{
    Q_OBJECT

private slots:
    void latin1Bytes();
    void wholeTableScan();
    void bilingualLabels();
    void nullSlotAndRanges();
    void trickyEntries_data();
    void trickyEntries();
};

void TestTextTable::latin1Bytes()
{
    // An umlaut typed as UTF-8 into the table would add a byte here.
    QCOMPARE(QByteArray(rawText(14, German)), QByteArray("Z\344hlwerksstand setzen"));
    QCOMPARE(QByteArray(rawText(63, German)), QByteArray("Ger\344tetyp"));
    QCOMPARE(QByteArray(rawText(195, German)),
             QByteArray("Keine g\374ltige Firmware-Datei ausgew\344hlt."));
    QCOMPARE(QByteArray(rawText(131, German)), QByteArray("Z\344hlwerksstand/Counter status"));
}

void TestTextTable::wholeTableScan()
{
    // Anything beyond printable ASCII, LF and the German letters is a slipped
    // escape or stray UTF-8; an unexpected empty entry is a lost text.
    const QByteArray allowedHigh("\344\366\374\304\326\334\337");
    QList<int> empty, withPlaceholder;
    for (int id = 0; id < kTextCount; ++id) {
        bool isEmpty[2] = {false, false};
        for (int lang : {German, English}) {
            const char *raw = rawText(id, lang);
            QVERIFY2(raw || (id == 131 && lang == English), qPrintable(QString::number(id)));
            if (!raw)
                continue;
            isEmpty[lang] = !*raw;
            for (const char *p = raw; *p; ++p) {
                const uchar c = uchar(*p);
                if (!((c >= 0x20 && c < 0x7F) || c == '\n' || allowedHigh.contains(char(c))))
                    QFAIL(qPrintable(QStringLiteral("TextId %1/%2: byte 0x%3")
                                         .arg(id).arg(lang).arg(c, 2, 16, QLatin1Char('0'))));
            }
        }
        QCOMPARE(isEmpty[German], isEmpty[English]);
        if (isEmpty[German])
            empty.append(id);
        if ((text(id, German) + text(id, English)).contains(QLatin1String("%1")))
            withPlaceholder.append(id);
    }
    QCOMPARE(empty, (QList<int>{79, 82, 85, 91}));
    QCOMPARE(withPlaceholder, (QList<int>{247, 248}));

    for (int m = 0; m < kMessageCount; ++m) {
        const bool space = messageText(m, German) == QLatin1String(" ")
                           && messageText(m, English) == QLatin1String(" ");
        const bool expected = m == 0 || (m >= 15 && m <= 50) || (m >= 76 && m <= 97);
        QVERIFY2(space == expected, qPrintable(QStringLiteral("MessageId %1").arg(m)));
    }
}

void TestTextTable::bilingualLabels()
{
    const char *const labels[] = {
        "Einheit/Unit", "Wertigkeit/Significance", "Führendes Plus/Leading plus",
        "Hersteller/Manufacturer", "Gerätetyp/Device type", "Seriennummer/Serial number",
        "Baujahr/Year of manufacture", "Softwareversion/Software version",
        "Software CRC/Software CRC", "Baudrate/Baud rate", "Sendemodus/Transmit mode",
        "Richtung/Direction", "Telegramm B/Telegram B", "CRC Startwert/CRC start value",
        "Zählwerksstand/Counter status",
    };
    static_assert(std::size(labels) == kBilingualLabelCount);
    for (int k = 0; k < kBilingualLabelCount; ++k) {
        QCOMPARE(bilingualLabel(k), u(labels[k]));
        // The labels run across the entries slot by slot, not as language pairs.
        QCOMPARE(text(kFirstBilingualTextId + k / 2, k % 2), u(labels[k]));
    }
}

void TestTextTable::nullSlotAndRanges()
{
    QCOMPARE(rawText(131, English), nullptr);
    QVERIFY(text(131, English).isEmpty());
    QVERIFY(bilingualLabel(kBilingualLabelCount).isEmpty());
    QVERIFY(bilingualLabel(-1).isEmpty());
    QCOMPARE(rawText(-1, German), nullptr);
    QCOMPARE(rawText(kTextCount, German), nullptr);
    QCOMPARE(rawText(0, 2), nullptr);
    QVERIFY(text(kTextCount, English).isEmpty());
    QVERIFY(messageText(kMessageCount, German).isEmpty());
    QVERIFY(messageText(-1, German).isEmpty());
    QCOMPARE(messageText(kMessageCount - 1, German), text(kTextCount - 1, German));
}

void TestTextTable::trickyEntries_data()
{
    // The source's typos, odd spacing and markup are kept on purpose.
    QTest::addColumn<int>("messageId");
    QTest::addColumn<QString>("german");
    QTest::addColumn<QString>("english");
    QTest::addRow("10") << 10
        << u("Flashtool \"AVRDude\" beendet. Flashen erfolgreich.\n -Nach Beendigung des "
             "Flashvorgang, das Servicemodul in \"Parameter\"-Modus schalten und Reset betätigen")
        << u("Flashtool \"AVRDude\" finished. Flashing successfully.\n -After flash process is "
             "finished, switch service module in \"parameter\"-mode and push reset");
    QTest::addRow("51") << 51
        << u("Während dem Lesen der Parameter vom Tavik7 ist ein Fehler ist aufgetreten.")
        << u("An error occured while reading the parameter from Tavik7.");
    QTest::addRow("98") << 98 << u("NAMUR Schnittstelle gestartet") << u("NAMUR Interface startet");
    QTest::addRow("99") << 99 << u("NAMUR Schnittstelle gestoppt") << u("NAMUR Inferface stopped");
    QTest::addRow("100") << 100 << u("--- START TAVIK7 PC SOFTWARE ---")
                         << u(" --- START TAVIK7 PC SOFTWARE ---");
    QTest::addRow("101") << 101
        << u("Flashvorgang:\n-Servicemodul in \"Firmware-Flash\"-Modus schalten\n-Button "
             "\"Flashen\" drücken\n-Nach Beendigung des Flashvorgang das Servicemodul in "
             "\"Parameter\"-Modus schalten und Reset betätigen")
        << u("Flash-process:\n-Switch service module in \"Firmware-Flash\"-mode\n-Push button "
             "\"Flashen\"\n-After flash process is finished, switch service module in "
             "\"parameter\"-mode and push reset");
    QTest::addRow("107") << 107 << u("<center>Falsche Firmwareversion !</center>")
                         << u("<center>Wrong  firmware version !</center>");
    QTest::addRow("111") << 111
        << u("<font color = blue><center><b>  Service Adapter auf  <br>\"Firmware-Flash\"<br>"
             "stellen</b></center></FONT>")
        << u("<font color = blue><b> >Switch service adapter to<br>\"Firmware-Flash\"</b></FONT>");
    QTest::addRow("113") << 113 << u("<font color = green><b>  Update erfolgreich !  </FONT>")
                         << u("<font color = green><b>  Update succesfull !  </b></FONT>");
    QTest::addRow("115") << 115
        << u("<font color = blue><center><b> Beide Typenschilder auf Firmware <br>v%1<br>"
             "überprüfen !<br>Gegebenenfalls Typenschilder austauschen</b></center></FONT>")
        << u("<font color = blue><center><b> Check both type plates for firmware <br>v%1<br>"
             "Exchange type plates if necessary</b></center></FONT>");
    QTest::addRow("116") << 116
        << u("<font color = blue><center><b> Möglicherweise inkompatible Wertigkeit \"%1\" "
             "eingestellt !<br>Bitte neu auswählen und in Tavik7 speichern</center></FONT>")
        << u("<font color = blue><center><b> Probably incompatible significance \"%1\" "
             "selected !<br>Please choose again and write to Tavik7</center></FONT>");
}

void TestTextTable::trickyEntries()
{
    QFETCH(int, messageId);
    QTEST(messageText(messageId, German), "german");
    QTEST(messageText(messageId, English), "english");
    QTEST(text(kFirstMessageTextId + messageId, English), "english");
}

QTEST_APPLESS_MAIN(TestTextTable)

#include "tst_texttable.moc"
