#include "clitexts.h"

#include <QRegularExpression>

#include <iterator>

#include "texttable.h"

namespace tavik7::cli {

namespace {

struct TextPair
{
    const char *german;
    const char *english;
};

// In the order of CliText. UTF-8, unlike the window's Latin-1 catalogue.
constexpr TextPair kTexts[] = {
    {"%1\nSiehe 'tavik7-cli --help'.", "%1\nTry 'tavik7-cli --help'."},
    {"Unbekannter Befehl '%1'.", "Unknown command '%1'."},
    {"Unbekannte Option: %1.", "Unknown option: %1."},
    {"Kein Befehl angegeben.", "No command given."},
    {"Die Option %1 gehört nicht zum Befehl '%2'.", "Option %1 does not belong to command '%2'."},
    {"Der Befehl '%1' braucht einen Port: -p PORT.", "Command '%1' needs a port: -p PORT."},
    {"Der Befehl '%1' arbeitet mit genau einem Port.", "Command '%1' works on exactly one port."},
    {"Der Port %1 ist mehrfach angegeben.", "Port %1 is given more than once."},
    {"Es fehlt: %1.", "Missing: %1."},
    {"Zu viele Argumente: '%1'.", "Too many arguments: '%1'."},
    {"--lang erwartet de oder en, nicht '%1'.", "--lang takes de or en, not '%1'."},
    {"%1 erwartet eine positive ganze Zahl, nicht '%2'.", "%1 takes a positive whole number, not '%2'."},
    {"-o speichert genau ein Gerät: nur ein -p.", "-o saves exactly one device: give one -p only."},
    {"Der Befehl braucht eine Ausgabedatei: -o DATEI.", "The command needs an output file: -o FILE."},
    {"nichts gesendet; unplausibel: %1", "nothing sent; implausible: %1"},
    {"Nichts gesendet. Das Gerät erwartet %1 Ziffern (mit Komma an seiner Stelle, falls die Wertigkeit eines hat).",
     "Nothing sent. The device takes %1 digits (with the comma in its place where the significance has one)."},
    {"Abgebrochen, bevor etwas geschrieben wurde.", "Interrupted before anything was written."},
    {"Die Verbindung zum Port ist verloren (Adapter abgezogen?).", "The port went away (adapter unplugged?)."},
    {"Der Befehl '%1' ist in dieser Version noch nicht verfügbar.",
     "Command '%1' is not available in this version yet."},
    {"%1 von %2 Geräten fertig", "%1 of %2 devices done"},
    {"Das NAMUR-Log %1 kann nicht (mehr) geschrieben werden; die Zeilen erscheinen nur hier.",
     "The NAMUR log %1 cannot be written (any more); the lines appear here only."},
    {"Die Standardausgabe kann nicht geschrieben werden; die Geräte werden fertig bearbeitet und aufgezeichnet",
     "standard output cannot be written; the devices' work is finished and recorded"},
    {"Seit %1 s kein NAMUR-Telegramm.", "No NAMUR telegram for %1 s."},
    {"%1 ist keine gewöhnliche Datei; nichts gesendet.", "%1 is not a regular file; nothing sent."},
    {"Das NAMUR-Log %1 kann nicht geschrieben werden; der Port wurde nicht geöffnet.",
     "The NAMUR log %1 cannot be written; the port was not opened."},
    {"Ein leerer Portname ist kein Port.", "An empty port name is no port."},
    {"Unbekanntes Feld '%1'; die Feldnamen sind die von read --json.",
     "Unknown field '%1'; the field names are those of read --json."},
    {"Die Portliste nach -p @ kann nicht gelesen werden.", "The port list after -p @ cannot be read."},
    {"kein serieller Port", "not a serial port"},
    {"unplausibel: %1", "implausible: %1"},
    {"weicht von der Datei ab: %1", "differs from the file: %1"},
    {"Dann Enter drücken (Strg+C bricht ab, nichts geflasht).", "Then press Enter (Ctrl+C stops, nothing flashed)."},
    {"Ohne Sicherung wird nicht geflasht; --no-backup flasht ein Gerät, das nicht antwortet.",
     "Not flashed without a backup; --no-backup flashes a device that does not answer."},
    {"--set '%1': erwartet KEY=VALUE mit einem Feldnamen von read --json und einem Wert, wie ihn die "
     "Einstellungsdatei schreibt.",
     "--set '%1': takes KEY=VALUE with a field name of read --json and a value as the settings file writes it."},
    {"Das Protokoll hat %1 Anmerkungszeilen: höchstens %1 --note.",
     "The report has %1 note lines: at most %1 --note."},
    {"Port fehlt noch; bis zu %1 s wird auf ihn gewartet.", "port not there yet; waiting for it up to %1 s."},
    {"kein Protokoll; unplausibel: %1", "no report; implausible: %1"},
    {"geschrieben, aber das Gerät hält andere Werte: %1", "written, but the device holds other values: %1"},
    {"-o - und --json schließen sich aus: stdout nimmt entweder das PDF oder die JSON-Zeile.",
     "-o - and --json exclude each other: stdout takes either the PDF or the JSON line."},
    {"Die Mitschrift %1 kann nicht geschrieben werden; der Port wurde nicht geöffnet.",
     "The trace file %1 cannot be written; the port was not opened."},
    {"Die Mitschrift %1 konnte nicht vollständig geschrieben werden (%2); ihr fehlen Bytes.",
     "The trace file %1 could not be written completely (%2); it lacks bytes."},
    {"Das NAMUR-Log %1 konnte nicht vollständig geschrieben werden; die Telegramme stehen nur in der Ausgabe.",
     "The NAMUR log %1 could not be written completely; the telegrams are in the output only."},
    {"%1 ist größer als %2 kB und keine Einstellungsdatei; nichts gesendet.",
     "%1 is larger than %2 kB, not a settings file; nothing sent."},
    {"--set '%1': %2 ist der eigene Wert des Geräts und wird nicht geschrieben.",
     "--set '%1': %2 is the device's own and is not written."},
    {"Abgebrochen nach dem Schreiben: Tavik7 hat die Werte bestätigt, wurde aber nicht zurückgelesen.",
     "Interrupted after the write: Tavik7 acknowledged the values but was not read back."},
    {"%1 nimmt eine Zeile lesbaren Text, nicht leer; Steuerzeichen und Schreibrichtungszeichen werden abgelehnt.",
     "%1 takes one line of printable text, not empty; control characters and direction marks are refused."},
};
static_assert(std::size(kTexts) == size_t(CliText::BadAuditText) + 1, "one text pair per CliText");

} // namespace

QString cliText(CliText id, int language)
{
    const TextPair &pair = kTexts[int(id)];
    return QString::fromUtf8(language == German ? pair.german : pair.english);
}

int languageFromEnvironment()
{
    for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QString value = qEnvironmentVariable(name);
        if (!value.isEmpty())
            return value.startsWith(QLatin1String("de")) ? German : English;
    }
    return English;
}

QString plainText(QString text)
{
    static const QRegularExpression lineBreak(QStringLiteral("<br\\s*/?>"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
    text.replace(lineBreak, QStringLiteral("\n"));
    text.remove(tag);
    return text.trimmed();
}

} // namespace tavik7::cli
