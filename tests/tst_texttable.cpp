#include <QByteArray>
#include <QString>
#include <QtTest>

#include "texttable.h"

using namespace tavik7;

// The expected texts below are typed again in UTF-8, independently of the
// Latin-1 octal escapes of the table, so a slip in either one shows up here.
static QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

class TestTextTable : public QObject
{
    Q_OBJECT

private slots:
    void latin1Bytes();
    void onlyLatin1Umlauts();
    void entries_data();
    void entries();
    void messages_data();
    void messages();
    void bilingualLabels_data();
    void bilingualLabels();
    void nullSlotAndRanges();
    void emptyEntries();
    void singleSpaceMessages();
    void placeholders();
};

void TestTextTable::latin1Bytes()
{
    // An umlaut typed as UTF-8 into the table would give two bytes here.
    const QByteArray setCounter(rawText(14, German));
    QCOMPARE(setCounter.size(), 21);
    QCOMPARE(quint8(setCounter.at(1)), quint8(0xE4));
    QCOMPARE(setCounter.mid(2), QByteArray("hlwerksstand setzen"));

    const QByteArray leadingPlus(rawText(61, German));
    QCOMPARE(leadingPlus.size(), 14);
    QCOMPARE(quint8(leadingPlus.at(1)), quint8(0xFC));

    const QByteArray deviceType(rawText(63, German));
    QCOMPARE(deviceType, QByteArray("Ger\344tetyp"));
    QCOMPARE(deviceType.size(), 9);

    // "Keine gültige Firmware-Datei ausgewählt."
    const QByteArray noFirmware(rawText(195, German));
    QCOMPARE(quint8(noFirmware.at(7)), quint8(0xFC));
    QCOMPARE(noFirmware.indexOf(char(0xE4)), 35);

    // "Serielle Schnittstelle erfolgreich geöffnet."
    const QByteArray opened(rawText(139, German));
    QCOMPARE(quint8(opened.at(37)), quint8(0xF6));
    QCOMPARE(opened.size(), 44);

    // The bilingual label of the counter, in the German slot of 131.
    const QByteArray counterLabel(rawText(131, German));
    QCOMPARE(quint8(counterLabel.at(1)), quint8(0xE4));
    QCOMPARE(counterLabel.size(), 29);
}

void TestTextTable::onlyLatin1Umlauts()
{
    // Every byte must be printable ASCII, a line feed or one of the German
    // letters in Latin-1; anything else is a slipped escape or UTF-8.
    const QByteArray allowedHigh("\344\366\374\304\326\334\337");
    for (int id = 0; id < kTextCount; ++id) {
        for (int lang : {German, English}) {
            const char *raw = rawText(id, lang);
            if (!raw)
                continue;
            for (const char *p = raw; *p; ++p) {
                const uchar c = uchar(*p);
                const bool ok = (c >= 0x20 && c < 0x7F) || c == '\n'
                                || allowedHigh.contains(char(c));
                if (!ok)
                    QFAIL(qPrintable(QStringLiteral("TextId %1 language %2: byte 0x%3")
                                         .arg(id)
                                         .arg(lang)
                                         .arg(c, 2, 16, QLatin1Char('0'))));
            }
        }
    }
}

void TestTextTable::entries_data()
{
    QTest::addColumn<int>("textId");
    QTest::addColumn<QString>("german");
    QTest::addColumn<QString>("english");

    QTest::addRow("0") << 0 << u("Sprache") << u("Language");
    QTest::addRow("5") << 5 << u("Dokumentation") << u("Documentation");
    QTest::addRow("8") << 8 << u("Einst. von Tavik7 lesen") << u("Read settings from Tavik7");
    QTest::addRow("12") << 12 << u("(Hinweis: 8-stellig)") << u("(Hint: 8 digits)");
    QTest::addRow("13") << 13 << u("(Hinweis: 9-stellig)") << u("(Hint: 9 digits)");
    QTest::addRow("14") << 14 << u("Zählwerksstand setzen") << u("Set counter");
    QTest::addRow("15") << 15 << u("Anzeige Rollenzählwerk:") << u("Counter status:");
    QTest::addRow("17") << 17 << u(",") << u(",");
    QTest::addRow("21") << 21 << u("100") << u("100");
    QTest::addRow("23") << 23 << u("Zusätzliche Notizen, die gedruckt werden sollen:")
                        << u("Additional notes to be printed:");
    QTest::addRow("24") << 24 << u("Einst. von Tavik7 lesen + PDF erstellen")
                        << u("Read settings from Tavik7 + Create PDF");
    QTest::addRow("26") << 26 << u("Gerät:") << u("Device:");
    QTest::addRow("30") << 30 << u("Parität:") << u("Parity:");
    QTest::addRow("39") << 39 << u("Logfile auswählen") << u("Select Logfile");
    QTest::addRow("42") << 42 << u("Datei auswählen") << u("Select file");
    QTest::addRow("47") << 47 << u("TAVIK7 PC Software") << u("TAVIK7 PC Software");
    QTest::addRow("48") << 48 << u("TAVIK7 PC Software: ") << u("TAVIK7 PC Software: ");
    QTest::addRow("49") << 49 << u("TAVIK7 PC Software: nicht verbunden")
                        << u("TAVIK7 PC Software: not connected");
    QTest::addRow("50") << 50 << u("TAVIK7 Wizard") << u("TAVIK7 Wizard");
    QTest::addRow("55") << 55 << u("Drehrichtung Tavik7") << u("Direction Tavik7");
    QTest::addRow("58") << 58 << u("Programmierhandbuch") << u("Programmer Manual");
    QTest::addRow("59") << 59 << u("Einheit") << u("Unit");
    QTest::addRow("61") << 61 << u("Führendes Plus") << u("Leading plus");
    QTest::addRow("63") << 63 << u("Gerätetyp") << u("Device type");
    QTest::addRow("65") << 65 << u("Baujahr") << u("Year of manufacture");
    QTest::addRow("66") << 66 << u("Softwareversion") << u("Software version");
    QTest::addRow("71") << 71 << u("Telegramm b") << u("Telegram b");
    QTest::addRow("74") << 74 << u("Wert") << u("Value");
    QTest::addRow("75") << 75 << u("Keine") << u("None");
    QTest::addRow("78") << 78 << u("Software") << u("Software");
    QTest::addRow("81") << 81 << u("links") << u("left");
    QTest::addRow("84") << 84 << u("9") << u("9");
    QTest::addRow("86") << 86 << u("0.01") << u("0.01");
    QTest::addRow("96") << 96 << u("x10") << u("x10");
    QTest::addRow("97") << 97 << u("-3") << u("-3");
    QTest::addRow("102") << 102 << u("2") << u("2");
    QTest::addRow("103") << 103 << u("0: 2400 Bps") << u("0: 2400 Bps");
    QTest::addRow("106") << 106 << u("0: alle 250 ms") << u("0: each 250 ms");
    QTest::addRow("111") << 111 << u("5: 1x Power-Down") << u("5: 1x Power-Down");
    QTest::addRow("113") << 113 << u("1: links") << u("1: left");
    QTest::addRow("116") << 116 << u("2: abwechselnd") << u("2: alternately");
    QTest::addRow("117") << 117 << u("3: Telegramm a+b") << u("3: Telegram a+b");
    QTest::addRow("119") << 119 << u("1: 0x7F") << u("1: 0x7F");
    QTest::addRow("122") << 122 << u("Einstellungen in PDF speichern")
                         << u("Save settings to pdf");
    QTest::addRow("123") << 123 << u("Datei auswählen") << u("Select file");
}

void TestTextTable::entries()
{
    QFETCH(int, textId);
    QFETCH(QString, german);
    QFETCH(QString, english);

    QCOMPARE(text(textId, German), german);
    QCOMPARE(text(textId, English), english);
}

void TestTextTable::messages_data()
{
    QTest::addColumn<int>("messageId");
    QTest::addColumn<QString>("german");
    QTest::addColumn<QString>("english");

    QTest::addRow("msg 1") << 1 << u("Parameter erfolgreich aus Tavik7 gelesen.")
                           << u("Parameter successfully read from Tavik7.");
    QTest::addRow("msg 4") << 4 << u("Zählwerksstand erfolgreich in Tavik7 geschrieben.")
                           << u("Counter successfully written to Tavik7.");
    QTest::addRow("msg 7") << 7 << u("Serielle Schnittstelle erfolgreich geöffnet.")
                           << u("Serial port successfully opened.");
    QTest::addRow("msg 9") << 9 << u("Flashtool \"AVRDude\" gestartet.")
                           << u("Flashtool \"AVRDude\" started.");
    QTest::addRow("msg 10")
        << 10
        << u("Flashtool \"AVRDude\" beendet. Flashen erfolgreich.\n -Nach Beendigung des "
             "Flashvorgang, das Servicemodul in \"Parameter\"-Modus schalten und Reset betätigen")
        << u("Flashtool \"AVRDude\" finished. Flashing successfully.\n -After flash process is "
             "finished, switch service module in \"parameter\"-mode and push reset");
    QTest::addRow("msg 13") << 13 << u("Richtung wurde geändert.") << u("Direction was changed.");
    QTest::addRow("msg 14") << 14 << u("NAMUR Schnittstelle beendet")
                            << u("NAMUR Interface stopped");
    QTest::addRow("msg 51")
        << 51 << u("Während dem Lesen der Parameter vom Tavik7 ist ein Fehler ist aufgetreten.")
        << u("An error occured while reading the parameter from Tavik7.");
    QTest::addRow("msg 57")
        << 57
        << u("Während dem Laden der Parameter aus der Datei ist ein Fehler aufgetreten. "
             "Parameter unvollständig. Daten teilweise oder gar nicht geladen.")
        << u("An error occured while loading the parameter from file. Parameter incomplete. "
             "Data partly or not loaded.");
    QTest::addRow("msg 61") << 61 << u("Serielle Schnittstelle konnte nicht geöffnet werden.")
                            << u("Serial port couldn't be opened.");
    QTest::addRow("msg 63") << 63 << u("Keine gültige Firmware-Datei ausgewählt.")
                            << u("No valid firmware-file selected.");
    QTest::addRow("msg 66")
        << 66
        << u("Flashtool \"AVRDude\" beendet. Flashtool \"AVRDude\" nicht erfolgreich.\n -Nach "
             "Beendigung des Flashvorgang, das Servicemodul in \"Parameter\"-Modus schalten "
             "und Reset betätigen")
        << u("Flashtool \"AVRDude\" finished. Flashtool \"AVRDude\" not successfull.\n -After "
             "flash process is finished, switch service module in \"parameter\"-mode and push "
             "reset");
    QTest::addRow("msg 70") << 70 << u("Keine bzw. unvollständige Daten von Tavik7 empfangen.")
                            << u("No or incomplete data received from Tavik7.");
    QTest::addRow("msg 75") << 75 << u("NAMUR Schnittstelle beendet. Fehler.")
                            << u("NAMUR Interface stopped. Error.");
    QTest::addRow("msg 98") << 98 << u("NAMUR Schnittstelle gestartet")
                            << u("NAMUR Interface startet");
    QTest::addRow("msg 99") << 99 << u("NAMUR Schnittstelle gestoppt")
                            << u("NAMUR Inferface stopped");
    QTest::addRow("msg 100") << 100 << u("--- START TAVIK7 PC SOFTWARE ---")
                             << u(" --- START TAVIK7 PC SOFTWARE ---");
    QTest::addRow("msg 101")
        << 101
        << u("Flashvorgang:\n-Servicemodul in \"Firmware-Flash\"-Modus schalten\n-Button "
             "\"Flashen\" drücken\n-Nach Beendigung des Flashvorgang das Servicemodul in "
             "\"Parameter\"-Modus schalten und Reset betätigen")
        << u("Flash-process:\n-Switch service module in \"Firmware-Flash\"-mode\n-Push button "
             "\"Flashen\"\n-After flash process is finished, switch service module in "
             "\"parameter\"-mode and push reset");
    QTest::addRow("msg 103")
        << 103 << u("Nach Bestätigung wird der Zählwerksstand in den Tavik7 geschrieben.")
        << u("Counter status is written to Tavik7 after this confirmation.");
    QTest::addRow("msg 106") << 106 << u("Flashen") << u("Flashen");
    QTest::addRow("msg 107") << 107 << u("<center>Falsche Firmwareversion !</center>")
                             << u("<center>Wrong  firmware version !</center>");
    QTest::addRow("msg 109") << 109 << u("<center>  Bitte Umflashen auf >V1.12  </center>")
                             << u("<center>  Please flash >V1.12  </center>");
    QTest::addRow("msg 111")
        << 111
        << u("<font color = blue><center><b>  Service Adapter auf  <br>\"Firmware-Flash\"<br>"
             "stellen</b></center></FONT>")
        << u("<font color = blue><b> >Switch service adapter to<br>\"Firmware-Flash\"</b></FONT>");
    QTest::addRow("msg 112")
        << 112
        << u("<font color = blue><center><b>  Service Adapter auf  <br>\"Parameter-IF (r/w)\"<br>"
             "stellen</b></center></FONT>")
        << u("<font color = blue><b> >Switch service adapter to<br>\"Parameter-IF (r/w)\"</b>"
             "</FONT>");
    QTest::addRow("msg 113") << 113 << u("<font color = green><b>  Update erfolgreich !  </FONT>")
                             << u("<font color = green><b>  Update succesfull !  </b></FONT>");
    QTest::addRow("msg 114")
        << 114 << u("<font color = red><b>  Update fehlgeschlagen !  </b></FONT>")
        << u("<font color = red><b>  Update failed !  </b></FONT>");
    QTest::addRow("msg 115")
        << 115
        << u("<font color = blue><center><b> Beide Typenschilder auf Firmware <br>v%1<br>"
             "überprüfen !<br>Gegebenenfalls Typenschilder austauschen</b></center></FONT>")
        << u("<font color = blue><center><b> Check both type plates for firmware <br>v%1<br>"
             "Exchange type plates if necessary</b></center></FONT>");
    QTest::addRow("msg 116")
        << 116
        << u("<font color = blue><center><b> Möglicherweise inkompatible Wertigkeit \"%1\" "
             "eingestellt !<br>Bitte neu auswählen und in Tavik7 speichern</center></FONT>")
        << u("<font color = blue><center><b> Probably incompatible significance \"%1\" "
             "selected !<br>Please choose again and write to Tavik7</center></FONT>");
}

void TestTextTable::messages()
{
    QFETCH(int, messageId);
    QFETCH(QString, german);
    QFETCH(QString, english);

    QCOMPARE(messageText(messageId, German), german);
    QCOMPARE(messageText(messageId, English), english);
    QCOMPARE(text(kFirstMessageTextId + messageId, English), english);
}

void TestTextTable::bilingualLabels_data()
{
    QTest::addColumn<int>("k");
    QTest::addColumn<QString>("label");

    const char *const labels[] = {
        "Einheit/Unit",
        "Wertigkeit/Significance",
        "Führendes Plus/Leading plus",
        "Hersteller/Manufacturer",
        "Gerätetyp/Device type",
        "Seriennummer/Serial number",
        "Baujahr/Year of manufacture",
        "Softwareversion/Software version",
        "Software CRC/Software CRC",
        "Baudrate/Baud rate",
        "Sendemodus/Transmit mode",
        "Richtung/Direction",
        "Telegramm B/Telegram B",
        "CRC Startwert/CRC start value",
        "Zählwerksstand/Counter status",
    };
    static_assert(sizeof(labels) / sizeof(labels[0]) == kBilingualLabelCount);
    for (int k = 0; k < kBilingualLabelCount; ++k)
        QTest::addRow("label %d", k) << k << u(labels[k]);
}

void TestTextTable::bilingualLabels()
{
    QFETCH(int, k);
    QFETCH(QString, label);

    QCOMPARE(bilingualLabel(k), label);
    // The labels run across the entries slot by slot, not as language pairs.
    QCOMPARE(text(kFirstBilingualTextId + k / 2, k % 2), label);
}

void TestTextTable::nullSlotAndRanges()
{
    QCOMPARE(rawText(131, English), nullptr);
    QVERIFY(text(131, English).isEmpty());
    QVERIFY(bilingualLabel(kBilingualLabelCount).isEmpty());
    QVERIFY(bilingualLabel(-1).isEmpty());

    // Every other slot holds a string, even if only an empty one.
    for (int id = 0; id < kTextCount; ++id) {
        for (int lang : {German, English}) {
            if (id == 131 && lang == English)
                continue;
            if (!rawText(id, lang))
                QFAIL(qPrintable(QStringLiteral("null slot at TextId %1 language %2")
                                     .arg(id)
                                     .arg(lang)));
        }
    }

    QCOMPARE(rawText(-1, German), nullptr);
    QCOMPARE(rawText(kTextCount, German), nullptr);
    QCOMPARE(rawText(0, 2), nullptr);
    QVERIFY(text(kTextCount, English).isEmpty());
    QVERIFY(messageText(kMessageCount, German).isEmpty());
    QVERIFY(messageText(-1, German).isEmpty());
    QCOMPARE(messageText(kMessageCount - 1, German), text(kTextCount - 1, German));
}

void TestTextTable::emptyEntries()
{
    // Exactly these four entries are empty; an empty string anywhere else
    // is a lost text.
    const QList<int> expected{79, 82, 85, 91};
    QList<int> empty;
    for (int id = 0; id < kTextCount; ++id) {
        const char *de = rawText(id, German);
        const char *en = rawText(id, English);
        const bool deEmpty = de && !*de;
        const bool enEmpty = en && !*en;
        QCOMPARE(deEmpty, enEmpty);
        if (deEmpty)
            empty.append(id);
    }
    QCOMPARE(empty, expected);
}

void TestTextTable::singleSpaceMessages()
{
    auto isSpace = [](int m) {
        return messageText(m, German) == QLatin1String(" ")
               && messageText(m, English) == QLatin1String(" ");
    };
    QList<int> spaces;
    for (int m = 0; m < kMessageCount; ++m) {
        if (isSpace(m))
            spaces.append(m);
    }

    QList<int> expected{0};
    for (int m = 15; m <= 50; ++m)
        expected.append(m);
    for (int m = 76; m <= 97; ++m)
        expected.append(m);
    QCOMPARE(spaces, expected);
}

void TestTextTable::placeholders()
{
    // Only the two firmware/significance hints are filled in with arg().
    QList<int> withPlaceholder;
    for (int id = 0; id < kTextCount; ++id) {
        if (text(id, German).contains(QLatin1String("%1"))
            || text(id, English).contains(QLatin1String("%1")))
            withPlaceholder.append(id);
    }
    QCOMPARE(withPlaceholder, (QList<int>{247, 248}));

    QVERIFY(messageText(115, German).arg(QStringLiteral("1.12")).contains(
        QLatin1String("<br>v1.12<br>")));
    QVERIFY(messageText(116, English).arg(QStringLiteral("-3")).contains(
        QLatin1String("significance \"-3\" selected")));
}

QTEST_APPLESS_MAIN(TestTextTable)

#include "tst_texttable.moc"
