#include "texttable.h"

#include <iterator>

#include "parameterfields.h"

namespace tavik7 {

namespace {

struct FieldLabel
{
    const char *german;    // the table row's name
    const char *english;
    const char *bilingual; // "German/English"
};

// One row per parameter field, in the order of ParameterFieldId. The text
// table below takes the row names and the bilingual labels of its entries
// from here.
constexpr FieldLabel kFieldLabels[] = {
    {"Einheit", "Unit", "Einheit/Unit"},
    {"Wertigkeit", "Significance", "Wertigkeit/Significance"},
    {"F\374hrendes Plus", "Leading plus", "F\374hrendes Plus/Leading plus"},
    {"Hersteller", "Manufacturer", "Hersteller/Manufacturer"},
    {"Ger\344tetyp", "Device type", "Ger\344tetyp/Device type"},
    {"Seriennummer", "Serial number", "Seriennummer/Serial number"},
    {"Baujahr", "Year of manufacture", "Baujahr/Year of manufacture"},
    {"Softwareversion", "Software version", "Softwareversion/Software version"},
    {"Software CRC", "Software CRC", "Software CRC/Software CRC"},
    {"Baudrate", "Baud rate", "Baudrate/Baud rate"},
    {"Sendemodus", "Transmit mode", "Sendemodus/Transmit mode"},
    {"Richtung", "Direction", "Richtung/Direction"},
    {"Telegramm b", "Telegram b", "Telegramm B/Telegram B"},
    {"CRC Startwert", "CRC start value", "CRC Startwert/CRC start value"},
};
static_assert(std::size(kFieldLabels) == kParameterFieldCount, "one label row per parameter field");

constexpr TextPair rowName(int field)
{
    return {kFieldLabels[field].german, kFieldLabels[field].english};
}

// Entries 124..130 hold the fields' bilingual labels two by two.
constexpr TextPair bilingualPair(int firstField)
{
    return {kFieldLabels[firstField].bilingual, kFieldLabels[firstField + 1].bilingual};
}

} // namespace

// The texts are Latin-1 bytes, written as octal escapes so that the file stays
// plain ASCII and no escape can run into a following letter (as \x would).
const TextPair kTextTable[kTextCount] = {
    // Menus, actions, tabs, labels and buttons of the main window.
    /* 0 */ {"Sprache", "Language"},
    /* 1 */ {"Deutsch", "German"},
    /* 2 */ {"Englisch", "English"},
    /* 3 */ {"Hilfe", "Help"},
    /* 4 */ {"Info", "Info"},
    /* 5 */ {"Dokumentation", "Documentation"},
    /* 6 */ {"Interface", "Interface"},
    /* 7 */ {"Einstellungen:", "Settings:"},
    /* 8 */ {"Einst. von Tavik7 lesen", "Read settings from Tavik7"},
    /* 9 */ {"Einst. in Tavik7 schreiben", "Write settings to Tavik7"},
    /* 10 */ {"Einst. aus Datei laden", "Load settings from file"},
    /* 11 */ {"Einst. in Datei speichern", "Save settings to file"},
    /* 12 */ {"(Hinweis: 8-stellig)", "(Hint: 8 digits)"},
    /* 13 */ {"(Hinweis: 9-stellig)", "(Hint: 9 digits)"},
    /* 14 */ {"Z\344hlwerksstand setzen", "Set counter"},
    /* 15 */ {"Anzeige Rollenz\344hlwerk:", "Counter status:"},
    /* 16 */ {"x", "x"},
    /* 17 */ {",", ","},
    /* 18 */ {"0", "0"},
    /* 19 */ {"00", "00"},
    /* 20 */ {"10", "10"},
    /* 21 */ {"100", "100"},
    /* 22 */ {"Parameter", "Parameter"},
    /* 23 */ {"Zus\344tzliche Notizen, die gedruckt werden sollen:",
              "Additional notes to be printed:"},
    /* 24 */ {"Einst. von Tavik7 lesen + PDF erstellen", "Read settings from Tavik7 + Create PDF"},
    /* 25 */ {"Report", "Report"},
    /* 26 */ {"Ger\344t:", "Device:"},
    /* 27 */ {"Baudrate:", "Baud rate:"},
    /* 28 */ {"Datenbits:", "Data bits:"},
    /* 29 */ {"Stopbits:", "Stop bits:"},
    /* 30 */ {"Parit\344t:", "Parity:"},
    /* 31 */ {"Flussteuerung:", "Flow control:"},
    /* 32 */ {"Verbinden", "Connect"},
    /* 33 */ {"Trennen", "Disconnect"},
    /* 34 */ {"NAMUR", "NAMUR"},
    /* 35 */ {"Konsole:", "Console:"},
    /* 36 */ {"Starten", "Start"},
    /* 37 */ {"Stoppen", "Stop"},
    /* 38 */ {"Logging", "Logging"},
    /* 39 */ {"Logfile ausw\344hlen", "Select Logfile"},
    /* 40 */ {"Flashen", "Flashen"},
    /* 41 */ {"Ausgew\344hlte Datei:", "Selected file:"},
    /* 42 */ {"Datei ausw\344hlen", "Select file"},
    /* 43 */ {"Flashen", "Flashen"},
    /* 44 */ {"Abbrechen", "Cancel"},
    /* 45 */ {"Konsole:", "Console:"},
    /* 46 */ {"Ausgabe:", "Output:"},
    /* 47 */ {"TAVIK7 PC Software", "TAVIK7 PC Software"},
    /* 48 */ {"TAVIK7 PC Software: ", "TAVIK7 PC Software: "},
    /* 49 */ {"TAVIK7 PC Software: nicht verbunden", "TAVIK7 PC Software: not connected"},
    /* 50 */ {"TAVIK7 Wizard", "TAVIK7 Wizard"},
    /* 51 */ {"Anzahl der Ziffern", "Number of Digits"},
    /* 52 */ {"Ua-Wert", "Value Ua"},
    /* 53 */ {"Nachkommastellen", "Decimal places"},
    /* 54 */ {"Schreibe Konfiguration in Tavik7", "Write config to Tavik7"},
    /* 55 */ {"Drehrichtung Tavik7", "Direction Tavik7"},
    /* 56 */ {"Kurzanleitung", "Quick Guide"},
    /* 57 */ {"Bedienungsanleitung", "Manual"},
    /* 58 */ {"Programmierhandbuch", "Programmer Manual"},
    // Parameter table: row names, then column headers.
    /* 59 */ rowName(0),
    /* 60 */ rowName(1),
    /* 61 */ rowName(2),
    /* 62 */ rowName(3),
    /* 63 */ rowName(4),
    /* 64 */ rowName(5),
    /* 65 */ rowName(6),
    /* 66 */ rowName(7),
    /* 67 */ rowName(8),
    /* 68 */ rowName(9),
    /* 69 */ rowName(10),
    /* 70 */ rowName(11),
    /* 71 */ rowName(12),
    /* 72 */ rowName(13),
    /* 73 */ {"Einstellung", "Setting"},
    /* 74 */ {"Wert", "Value"},
    // Combo box items: serial settings, wizard, then the parameter table's cell
    // widgets. Several of them are no longer shown but keep their place so that
    // the ids after them do not move.
    /* 75 */ {"Keine", "None"},
    /* 76 */ {"Keine", "None"},
    /* 77 */ {"Hardware", "Hardware"},
    /* 78 */ {"Software", "Software"},
    /* 79 */ {"", ""},
    /* 80 */ {"rechts", "right"},
    /* 81 */ {"links", "left"},
    /* 82 */ {"", ""},
    /* 83 */ {"8", "8"},
    /* 84 */ {"9", "9"},
    /* 85 */ {"", ""},
    /* 86 */ {"0.01", "0.01"},
    /* 87 */ {"0.1", "0.1"},
    /* 88 */ {"1", "1"},
    /* 89 */ {"10", "10"},
    /* 90 */ {"100", "100"},
    /* 91 */ {"", ""},
    /* 92 */ {"3", "3"},
    /* 93 */ {"2", "2"},
    /* 94 */ {"1", "1"},
    /* 95 */ {"0", "0"},
    /* 96 */ {"x10", "x10"},
    /* 97 */ {"-3", "-3"},
    /* 98 */ {"-2", "-2"},
    /* 99 */ {"-1", "-1"},
    /* 100 */ {"0", "0"},
    /* 101 */ {"1", "1"},
    /* 102 */ {"2", "2"},
    /* 103 */ {"0: 2400 Bps", "0: 2400 Bps"},
    /* 104 */ {"1: 4800 Bps", "1: 4800 Bps"},
    /* 105 */ {"2: 9600 Bps", "2: 9600 Bps"},
    /* 106 */ {"0: alle 250 ms", "0: each 250 ms"},
    /* 107 */ {"1: alle 500 ms", "1: each 500 ms"},
    /* 108 */ {"2: alle 1000 ms", "2: each 1000 ms"},
    /* 109 */ {"3: alle 2000 ms", "3: each 2000 ms"},
    /* 110 */ {"4: alle 5000 ms", "4: each 5000 ms"},
    /* 111 */ {"5: 1x Power-Down", "5: 1x Power-Down"},
    /* 112 */ {"0: rechts", "0: right"},
    /* 113 */ {"1: links", "1: left"},
    /* 114 */ {"0: alle 100", "0: each 100"},
    /* 115 */ {"1: nie", "1: never"},
    /* 116 */ {"2: abwechselnd", "2: alternately"},
    /* 117 */ {"3: Telegramm a+b", "3: Telegram a+b"},
    /* 118 */ {"0: 0x00", "0: 0x00"},
    /* 119 */ {"1: 0x7F", "1: 0x7F"},
    // File dialog captions.
    /* 120 */ {"Einstellungen aus Datei laden", "Load settings from file"},
    /* 121 */ {"Einstellungen in Datei speichern", "Save settings to file"},
    /* 122 */ {"Einstellungen in PDF speichern", "Save settings to pdf"},
    /* 123 */ {"Datei ausw\344hlen", "Select file"},

    // The fixed "German/English" labels of the settings file and the report. They
    // are read slot by slot across these entries, not as language pairs, so the
    // German/English columns here do not mean anything; the last slot is empty.
    /* 124 */ bilingualPair(0),
    /* 125 */ bilingualPair(2),
    /* 126 */ bilingualPair(4),
    /* 127 */ bilingualPair(6),
    /* 128 */ bilingualPair(8),
    /* 129 */ bilingualPair(10),
    /* 130 */ bilingualPair(12),
    /* 131 */ {"Z\344hlwerksstand/Counter status", nullptr},

    // Messages, addressed as message number + 132. The single-space entries are
    // unused numbers that keep the later messages at their place.
    /* 132 = msg 0 */ {" ", " "},
    /* 133 = msg 1 */ {"Parameter erfolgreich aus Tavik7 gelesen.",
                       "Parameter successfully read from Tavik7."},
    /* 134 = msg 2 */ {"Parameter erfolgreich in Tavik7 geschrieben.",
                       "Parameter successfully written to Tavik7."},
    /* 135 = msg 3 */ {"Z\344hlwerksstand erfolgreich aus Tavik7 gelesen.",
                       "Counter successfully read from Tavik7."},
    /* 136 = msg 4 */ {"Z\344hlwerksstand erfolgreich in Tavik7 geschrieben.",
                       "Counter successfully written to Tavik7."},
    /* 137 = msg 5 */ {"Parameter erfolgreich aus Datei geladen.",
                       "Parameter successfully loaded from file."},
    /* 138 = msg 6 */ {"Parameter erfolgreich in Datei gespeichert.",
                       "Parameter successfully saved to file."},
    /* 139 = msg 7 */ {"Serielle Schnittstelle erfolgreich ge\366ffnet.",
                       "Serial port successfully opened."},
    /* 140 = msg 8 */ {"Serielle Schnittstelle geschlossen.", "Serial port closed."},
    /* 141 = msg 9 */ {"Flashtool \"AVRDude\" gestartet.", "Flashtool \"AVRDude\" started."},
    /* 142 = msg 10 */ {"Flashtool \"AVRDude\" beendet. Flashen erfolgreich.\n"
                        " -Nach Beendigung des Flashvorgang, das Servicemodul in \"Parameter\"-Modus schalten und Reset bet\344tigen",
                        "Flashtool \"AVRDude\" finished. Flashing successfully.\n"
                        " -After flash process is finished, switch service module in \"parameter\"-mode and push reset"},
    /* 143 = msg 11 */ {"Werte in Tabelle und Z\344hlerstand plausibel.",
                        "Values in table and counter status plausible."},
    /* 144 = msg 12 */ {"PDF erfolgreich erstellt.", "PDF successfully created."},
    /* 145 = msg 13 */ {"Richtung wurde ge\344ndert.", "Direction was changed."},
    /* 146 = msg 14 */ {"NAMUR Schnittstelle beendet", "NAMUR Interface stopped"},
    /* 147-152 */ {" ", " "}, {" ", " "}, {" ", " "}, {" ", " "}, {" ", " "}, {" ", " "},
    /* 153-158 */ {" ", " "}, {" ", " "}, {" ", " "}, {" ", " "}, {" ", " "}, {" ", " "},
    /* 159-164 */ {" ", " "}, {" ", " "}, {" ", " "}, {" ", " "}, {" ", " "}, {" ", " "},
    /* 165-170 */ {" ", " "}, {" ", " "}, {" ", " "}, {" ", " "}, {" ", " "}, {" ", " "},
    /* 171-176 */ {" ", " "}, {" ", " "}, {" ", " "}, {" ", " "}, {" ", " "}, {" ", " "},
    /* 177-182 */ {" ", " "}, {" ", " "}, {" ", " "}, {" ", " "}, {" ", " "}, {" ", " "},
    /* 183 = msg 51 */ {"W\344hrend dem Lesen der Parameter vom Tavik7 ist ein Fehler ist aufgetreten.",
                        "An error occured while reading the parameter from Tavik7."},
    /* 184 = msg 52 */ {"W\344hrend dem Lesen der Parameter vom Tavik7 ist ein Fehler ist aufgetreten. CRC-Fehler.",
                        "An error occured while reading the parameter from Tavik7. CRC-Error."},
    /* 185 = msg 53 */ {"W\344hrend dem Schreiben der Parameter in den Tavik7 ist ein Fehler ist aufgetreten.",
                        "An error occured while writing the parameter to Tavik7."},
    /* 186 = msg 54 */ {"W\344hrend dem Lesen des Z\344hlwerksstandes vom Tavik7 ist ein Fehler ist aufgetreten.",
                        "An error occured while reading the counter from Tavik7."},
    /* 187 = msg 55 */ {"W\344hrend dem Schreiben des Z\344hlwerksstandes in den Tavik7 ist ein Fehler ist aufgetreten.",
                        "An error occured while writing the counter to Tavik7."},
    /* 188 = msg 56 */ {"W\344hrend dem Laden der Parameter aus der Datei ist ein Fehler aufgetreten. Header fehlerhaft. Keine Daten geladen.",
                        "An error occured while loading the parameter from file. Header is faulty. No settings loaded."},
    /* 189 = msg 57 */ {"W\344hrend dem Laden der Parameter aus der Datei ist ein Fehler aufgetreten. Parameter unvollst\344ndig. Daten teilweise oder gar nicht geladen.",
                        "An error occured while loading the parameter from file. Parameter incomplete. Data partly or not loaded."},
    /* 190 = msg 58 */ {"W\344hrend dem Speichern der Parameter in die Datei ist ein Fehler aufgetreten.",
                        "An error occured while saving the parameter to the file."},
    /* 191 = msg 59 */ {"Werte in Tabelle unplausibel. Schreiben der Werte in Tavik7 nicht m\366glich!",
                        "Values in table implausible. Write values to Tavik7 not possible!"},
    /* 192 = msg 60 */ {"Z\344hlerstand in Eingabefeld unplausibel.",
                        "Counter in input field implausible."},
    /* 193 = msg 61 */ {"Serielle Schnittstelle konnte nicht ge\366ffnet werden.",
                        "Serial port couldn't be opened."},
    /* 194 = msg 62 */ {"Serielle Schnittstelle konnte nicht geschlossen werden.",
                        "Serial port couldn't be closed."},
    /* 195 = msg 63 */ {"Keine g\374ltige Firmware-Datei ausgew\344hlt.",
                        "No valid firmware-file selected."},
    /* 196 = msg 64 */ {"Keine g\374ltige Parameter-Datei ausgew\344hlt.",
                        "No valid parameter-file selected."},
    /* 197 = msg 65 */ {"Flashtool \"AVRDude\" konnte nicht gestartet werden.",
                        "Flashtool \"AVRDude\" couldn't be started."},
    /* 198 = msg 66 */ {"Flashtool \"AVRDude\" beendet. Flashtool \"AVRDude\" nicht erfolgreich.\n"
                        " -Nach Beendigung des Flashvorgang, das Servicemodul in \"Parameter\"-Modus schalten und Reset bet\344tigen",
                        "Flashtool \"AVRDude\" finished. Flashtool \"AVRDude\" not successfull.\n"
                        " -After flash process is finished, switch service module in \"parameter\"-mode and push reset"},
    /* 199 = msg 67 */ {"Flashtool \"AVRDude\" beendet. Flashtool \"AVRDude\" hat einen Fehler.\n"
                        " -Nach Beendigung des Flashvorgang, das Servicemodul in \"Parameter\"-Modus schalten und Reset bet\344tigen",
                        "Flashtool \"AVRDude\" finished. Flashtool \"AVRDude\" has an error.\n"
                        " -After flash process is finished, switch service module in \"parameter\"-mode and push reset"},
    /* 200 = msg 68 */ {"Fehler beim Erstellen der PDF.", "Error while creating the PDF."},
    /* 201 = msg 69 */ {"PDF nicht erstellt, da nicht alle Werte valide sind.",
                        "PDF not created, because of invalid values."},
    /* 202 = msg 70 */ {"Keine bzw. unvollst\344ndige Daten von Tavik7 empfangen.",
                        "No or incomplete data received from Tavik7."},
    /* 203 = msg 71 */ {"PDF nicht erstellt, da keine bzw. unvollst\344ndige Daten von Tavik7 empfangen wurden.",
                        "PDF not created, because no or incomplete data received from Tavik7."},
    /* 204 = msg 72 */ {"PDF-Erstellung abgebrochen. Es wurde kein Dateiname angegeben.",
                        "PDF-creation aborted. No filename was given."},
    /* 205 = msg 73 */ {"PDF-Erstellung abgebrochen. Es wurde ein fehlerhafter Dateiname angegeben.",
                        "PDF-creation aborted. An incorrect filename was given."},
    /* 206 = msg 74 */ {"NAMUR Schnittstelle konnte nicht gestartet werden",
                        "NAMUR Interface could not be started"},
    /* 207 = msg 75 */ {"NAMUR Schnittstelle beendet. Fehler.", "NAMUR Interface stopped. Error."},
    /* 208-213 */ {" ", " "}, {" ", " "}, {" ", " "}, {" ", " "}, {" ", " "}, {" ", " "},
    /* 214-219 */ {" ", " "}, {" ", " "}, {" ", " "}, {" ", " "}, {" ", " "}, {" ", " "},
    /* 220-225 */ {" ", " "}, {" ", " "}, {" ", " "}, {" ", " "}, {" ", " "}, {" ", " "},
    /* 226-229 */ {" ", " "}, {" ", " "}, {" ", " "}, {" ", " "},
    /* 230 = msg 98 */ {"NAMUR Schnittstelle gestartet", "NAMUR Interface startet"},
    /* 231 = msg 99 */ {"NAMUR Schnittstelle gestoppt", "NAMUR Inferface stopped"},
    /* 232 = msg 100 */ {"--- START TAVIK7 PC SOFTWARE ---", " --- START TAVIK7 PC SOFTWARE ---"},
    /* 233 = msg 101 */ {"Flashvorgang:\n"
                         "-Servicemodul in \"Firmware-Flash\"-Modus schalten\n"
                         "-Button \"Flashen\" dr\374cken\n"
                         "-Nach Beendigung des Flashvorgang das Servicemodul in \"Parameter\"-Modus schalten und Reset bet\344tigen",
                         "Flash-process:\n"
                         "-Switch service module in \"Firmware-Flash\"-mode\n"
                         "-Push button \"Flashen\"\n"
                         "-After flash process is finished, switch service module in \"parameter\"-mode and push reset"},
    /* 234 = msg 102 */ {"Z\344hlwerksstand wirklich setzen?",
                         "Really want to set counter status?"},
    /* 235 = msg 103 */ {"Nach Best\344tigung wird der Z\344hlwerksstand in den Tavik7 geschrieben.",
                         "Counter status is written to Tavik7 after this confirmation."},
    /* 236 = msg 104 */ {"Ja", "Yes"},
    /* 237 = msg 105 */ {"Nein", "No"},
    /* 238 = msg 106 */ {"Flashen", "Flashen"},
    /* 239 = msg 107 */ {"<center>Falsche Firmwareversion !</center>",
                         "<center>Wrong  firmware version !</center>"},
    /* 240 = msg 108 */ {"<center>  Bitte Umflashen auf V1.11  </center>",
                         "<center>  Please flash V1.11  </center>"},
    /* 241 = msg 109 */ {"<center>  Bitte Umflashen auf >V1.12  </center>",
                         "<center>  Please flash >V1.12  </center>"},
    /* 242 = msg 110 */ {"Bitte letzten Teilstrich als Ziffer eingeben",
                         "Please input the last graduation mark as digit"},
    /* 243 = msg 111 */ {"<font color = blue><center><b>  Service Adapter auf  <br>\"Firmware-Flash\"<br>stellen</b></center></FONT>",
                         "<font color = blue><b> >Switch service adapter to<br>\"Firmware-Flash\"</b></FONT>"},
    /* 244 = msg 112 */ {"<font color = blue><center><b>  Service Adapter auf  <br>\"Parameter-IF (r/w)\"<br>stellen</b></center></FONT>",
                         "<font color = blue><b> >Switch service adapter to<br>\"Parameter-IF (r/w)\"</b></FONT>"},
    /* 245 = msg 113 */ {"<font color = green><b>  Update erfolgreich !  </FONT>",
                         "<font color = green><b>  Update succesfull !  </b></FONT>"},
    /* 246 = msg 114 */ {"<font color = red><b>  Update fehlgeschlagen !  </b></FONT>",
                         "<font color = red><b>  Update failed !  </b></FONT>"},
    /* 247 = msg 115 */ {"<font color = blue><center><b> Beide Typenschilder auf Firmware <br>v%1<br>\374berpr\374fen !<br>Gegebenenfalls Typenschilder austauschen</b></center></FONT>",
                         "<font color = blue><center><b> Check both type plates for firmware <br>v%1<br>Exchange type plates if necessary</b></center></FONT>"},
    /* 248 = msg 116 */ {"<font color = blue><center><b> M\366glicherweise inkompatible Wertigkeit \"%1\" eingestellt !<br>Bitte neu ausw\344hlen und in Tavik7 speichern</center></FONT>",
                         "<font color = blue><center><b> Probably incompatible significance \"%1\" selected !<br>Please choose again and write to Tavik7</center></FONT>"},
};

static_assert(sizeof(kTextTable) / sizeof(kTextTable[0]) == kTextCount,
              "the text table must have exactly one entry per text id");

const char *rawText(int textId, int language)
{
    if (textId < 0 || textId >= kTextCount)
        return nullptr;
    const TextPair &pair = kTextTable[textId];
    switch (language) {
    case German:
        return pair.german;
    case English:
        return pair.english;
    default:
        return nullptr;
    }
}

QString text(int textId, int language)
{
    const char *raw = rawText(textId, language);
    return raw ? QString::fromLatin1(raw) : QString();
}

QString messageText(int messageId, int language)
{
    if (messageId < 0 || messageId >= kMessageCount)
        return QString();
    return text(kFirstMessageTextId + messageId, language);
}

QString fieldLabel(int field, int language)
{
    if (field < 0 || field >= kParameterFieldCount)
        return QString();
    return QString::fromLatin1(language == German ? kFieldLabels[field].german : kFieldLabels[field].english);
}

QString bilingualFieldLabel(int field)
{
    if (field < 0 || field >= kParameterFieldCount)
        return QString();
    return QString::fromLatin1(kFieldLabels[field].bilingual);
}

QString bilingualLabel(int k)
{
    if (k < 0 || k >= kBilingualLabelCount)
        return QString();
    // Slot k lies in entry k / 2; even slots are the German column, odd slots the English one.
    return text(kFirstBilingualTextId + k / 2, k % 2 == 0 ? German : English);
}

} // namespace tavik7
