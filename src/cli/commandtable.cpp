#include "commandtable.h"

#include <iterator>

#include "texttable.h"

namespace tavik7::cli {

namespace {

constexpr CommandForm kCommands[] = {
    {"ports", Command::Ports, Ports::None, nullptr, false, OptJson, "ports [--json]",
     "      The serial ports, one per line; --json: one JSON array of objects with\n"
     "      port, description, manufacturer and serialNumber.\n",
     "      Die seriellen Ports, einer je Zeile; --json: ein JSON-Array von Objekten\n"
     "      mit port, description, manufacturer und serialNumber.\n"},
    {"read", Command::Read, Ports::Many, nullptr, false, OptJson | OptOutput | OptField | OptCheck | OptTrace,
     "read -p PORT... [--json] [-o FILE.dat] [--field KEY] [--check]",
     "      Reads parameters and counter. Plain: key=value lines, each device's\n"
     "      starting with port=, devices separated by an empty line. --json: one\n"
     "      JSON object per device and line. -o (one port only) also saves the\n"
     "      device as a settings file. --field KEY prints that value alone.\n"
     "      --check exits 5 when a field is implausible, naming each.\n",
     "      Liest Parameter und Zählerstand. Ohne Option: Zeilen key=value, je Gerät\n"
     "      beginnend mit port=, Geräte durch eine Leerzeile getrennt. --json: ein\n"
     "      JSON-Objekt je Gerät und Zeile. -o (nur ein Port) speichert das Gerät\n"
     "      auch als Einstellungsdatei. --field KEY gibt nur diesen Wert aus.\n"
     "      --check endet mit 5, wenn ein Feld unplausibel ist, und nennt jedes.\n"},
    {"write", Command::Write, Ports::Many, "FILE.dat", true,
     OptJson | OptDryRun | OptKeep | OptSet | OptVerify | OptTrace | OptReason,
     "write -p PORT... [FILE.dat] [--set KEY=VALUE]... [--keep KEY,...] [--verify] [--dry-run] [--reason TEXT] [--json]",
     "      Writes the parameters of a settings file to each device. The device's\n"
     "      software version and software CRC are kept, and the fields --keep\n"
     "      names. --set changes single fields, over the file or, without one,\n"
     "      over the device's own values. Every value must parse completely; a\n"
     "      file that does not is refused naming line and key. Implausible values\n"
     "      are refused before anything is sent. --dry-run: lists each field\n"
     "      whose device value differs (\"field: device -> file\"), sends nothing.\n"
     "      --verify reads the device again after its OK: exit 7 when it holds\n"
     "      other values. --json: port, changed (the keys written with another\n"
     "      value), verified.\n",
     "      Schreibt die Parameter einer Einstellungsdatei in jedes Gerät.\n"
     "      Softwareversion und Software-CRC des Geräts bleiben, ebenso die Felder,\n"
     "      die --keep nennt. --set ändert einzelne Felder, über der Datei oder,\n"
     "      ohne Datei, über den Werten des Geräts. Jeder Wert muss vollständig\n"
     "      lesbar sein; sonst wird die Datei mit Zeile und Schlüssel abgelehnt.\n"
     "      Unplausible Werte werden abgelehnt, bevor etwas gesendet wird.\n"
     "      --dry-run: nennt jedes abweichende Feld (\"Feld: Gerät -> Datei\")\n"
     "      und sendet nichts. --verify liest das Gerät nach seinem OK erneut: Ende\n"
     "      mit 7, wenn es andere Werte hält. --json: port, changed (die geänderten\n"
     "      Felder), verified.\n"},
    {"check", Command::Check, Ports::Many, "FILE.dat", false, OptJson | OptKeep | OptTrace,
     "check -p PORT... FILE.dat [--keep KEY,...] [--json]",
     "      Reads each device and compares it with a settings file (software\n"
     "      version and CRC are the device's own; --keep names more fields to\n"
     "      leave out). Exit 7 when it differs, listing \"key: device -> file\".\n"
     "      Sends nothing but the reads.\n",
     "      Liest jedes Gerät und vergleicht es mit einer Einstellungsdatei\n"
     "      (Softwareversion und CRC gehören dem Gerät; --keep nennt weitere\n"
     "      Felder, die nicht zählen). Ende mit 7, wenn es abweicht, mit den\n"
     "      Zeilen \"key: Gerät -> Datei\". Sendet nur die Leseanfragen.\n"},
    {"plan", Command::Plan, Ports::One, "FILE.dat", true, OptJson | OptOutput | OptKeep | OptSet | OptTrace,
     "plan -p PORT [FILE.dat] [--set KEY=VALUE]... [--keep KEY,...] -o PLAN.json|- [--json]",
     "      Reads the device and saves what write would change, for review: the\n"
     "      device's identity and every field as read, the changes (key, old,\n"
     "      new), whether the counter goes along (the direction changes) and the\n"
     "      SHA-256 of it all. Prints the changes (\"key: old -> new\"; --json:\n"
     "      one object per change), or why there are none.\n",
     "      Liest das Gerät und speichert, was write ändern würde, zur Prüfung:\n"
     "      Kennung und alle Felder des Geräts wie gelesen, die Änderungen (key,\n"
     "      old, new), ob der Zählerstand mitgeht (die Zählrichtung ändert sich)\n"
     "      und den SHA-256 des Ganzen. Nennt die Änderungen (\"key: alt -> neu\";\n"
     "      --json: ein Objekt je Änderung) oder, warum es keine gibt.\n"},
    {"apply", Command::Apply, Ports::One, "PLAN.json", false, OptJson | OptTrace | OptReason,
     "apply -p PORT PLAN.json [--reason TEXT] [--json]",
     "      Writes exactly a plan's changes. A plan that is none, of another\n"
     "      version, edited or naming unknown keys is refused (exit 1) before the\n"
     "      port opens. The write's own read of the device must still show the\n"
     "      plan's serial number, manufacturer, device type and each changed\n"
     "      field's old value: else exit 10, nothing written. Reads back after\n"
     "      the OK: exit 7 when the device holds other values.\n",
     "      Schreibt genau die Änderungen eines Plans. Ein Plan, der keiner ist,\n"
     "      eine andere Version hat, geändert wurde oder unbekannte Schlüssel nennt,\n"
     "      wird abgelehnt (Ende mit 1), bevor der Port öffnet. Das Lesen des\n"
     "      Schreibens muss noch Seriennummer, Hersteller, Gerätetyp und den alten\n"
     "      Wert jedes geänderten Feldes zeigen: sonst Ende mit 10, nichts\n"
     "      geschrieben. Liest nach dem OK zurück: Ende mit 7 bei anderen Werten.\n"},
    {"set-counter", Command::SetCounter, Ports::One, "DIGITS", false, OptJson | OptTrace | OptReason,
     "set-counter -p PORT DIGITS [--reason TEXT] [--json]",
     "      Sets the counter status; DIGITS has the device's digit count (8 up to\n"
     "      firmware 1.11, 9 from 1.12 on), a comma where the significance has one\n"
     "      may be given or left out. --json: port, counter (as read), newCounter.\n",
     "      Setzt den Zählerstand; DIGITS hat die Stellenzahl des Geräts (8 bis\n"
     "      Firmware 1.11, 9 ab 1.12), ein Komma an der Stelle der Wertigkeit darf\n"
     "      stehen oder fehlen. --json: port, counter (wie gelesen), newCounter.\n"},
    {"flash", Command::Flash, Ports::One, "HEXFILE", false, OptJson | OptYes | OptNoBackup | OptTrace | OptReason,
     "flash -p PORT HEXFILE [--yes] [--no-backup] [--reason TEXT] [--json]",
     "      Checks the firmware image (Intel HEX: every record, its checksum, the\n"
     "      end record, addresses below the boot loader), backs up the device's\n"
     "      parameters (exit 3 when it does not answer, unless --no-backup), asks\n"
     "      on a terminal to switch the adapter to \"Firmware-Flash\" and waits for\n"
     "      Enter (--yes: goes straight on), then flashes it with avrdude, whose\n"
     "      path it names.\n",
     "      Prüft das Firmware-Abbild (Intel HEX: jeder Datensatz, seine Prüfsumme,\n"
     "      der Endsatz, Adressen unterhalb des Bootloaders), sichert die Parameter\n"
     "      des Geräts (Ende mit 3, wenn es nicht antwortet, außer mit --no-backup),\n"
     "      bittet am Terminal, den Adapter auf \"Firmware-Flash\" zu stellen, und\n"
     "      wartet auf Enter (--yes: ohne zu warten), dann flasht es mit avrdude,\n"
     "      dessen Pfad es nennt.\n"},
    {"report", Command::Report, Ports::One, nullptr, false, OptJson | OptOutput | OptNote | OptTrace,
     "report -p PORT -o FILE.pdf|- [--note TEXT]... [--json]",
     "      Reads the device and writes its inspection report; -o - writes the PDF\n"
     "      to stdout. --note (up to five) fills the report's note lines.\n",
     "      Liest das Gerät und schreibt sein Prüfprotokoll; -o - schreibt das PDF\n"
     "      auf stdout. --note (bis zu fünf) füllt die Anmerkungszeilen.\n"},
    {"namur", Command::Namur, Ports::One, nullptr, false, OptJson | OptCount | OptLog | OptDuration | OptTrace,
     "namur -p PORT [--count N] [--duration SECONDS] [--log FILE] [--json]",
     "      Listens to the NAMUR output (2400 baud, 7E1) and prints one line per\n"
     "      telegram, appending it to the log (default: the window's NAMUR log in\n"
     "      the per-user folder; a log that cannot be written is refused). Ends\n"
     "      after N telegrams (exit 3 when none came for 10 s), after SECONDS, or\n"
     "      on SIGINT, SIGTERM or SIGHUP. --json: one line at the end with port,\n"
     "      telegrams and log.\n",
     "      Hört die NAMUR-Ausgabe ab (2400 Baud, 7E1), gibt je Telegramm eine\n"
     "      Zeile aus und hängt sie an das Log an (ohne Angabe das NAMUR-Log des\n"
     "      Fensters im Benutzerordner; ein nicht schreibbares Log wird abgelehnt).\n"
     "      Endet nach N Telegrammen (mit 3, wenn 10 s keines kam), nach SECONDS\n"
     "      oder bei SIGINT, SIGTERM oder SIGHUP. --json: am Ende eine Zeile mit\n"
     "      port, telegrams und log.\n"},
    {"provision", Command::Provision, Ports::Many, "JOB.csv", false, OptJson | OptProvision | OptTrace,
     "provision JOB.csv -p PORT... [--defaults FILE] [--firmware IMAGE.hex] [--report-dir DIR] [--station NAME] "
     "[--fresh TEXT] [--json]",
     "      Provisions a production job: JOB.csv has a header of JSON keys as\n"
     "      read --json names them (serialNumber required, counter optional) and\n"
     "      one row per device; empty cells and missing columns come from the\n"
     "      --defaults settings file, else stay the device's. A device whose\n"
     "      serial number is in the job takes that row; a fresh one (empty serial\n"
     "      number, or --fresh TEXT) the next row no station has claimed in the\n"
     "      device book; any other is left alone (notInJob). Per device: flash\n"
     "      when --firmware names another version, write the row, set its counter,\n"
     "      read back and compare, write the report into --report-dir. One line\n"
     "      per device: port, row, serialNumber, result. Run again, it does only\n"
     "      what is not verified. provision JOB.csv --status [--json]: each row's\n"
     "      state from the book, no port opened.\n",
     "      Bearbeitet einen Fertigungsauftrag: JOB.csv hat eine Kopfzeile mit den\n"
     "      JSON-Schlüsseln von read --json (serialNumber nötig, counter möglich)\n"
     "      und eine Zeile je Gerät; leere Zellen und fehlende Spalten kommen aus\n"
     "      der Einstellungsdatei --defaults, sonst bleiben sie, wie das Gerät sie\n"
     "      hat. Ein Gerät, dessen Seriennummer im Auftrag steht, nimmt diese\n"
     "      Zeile; ein neues (leere Seriennummer oder --fresh TEXT) die nächste\n"
     "      Zeile, die keine Station im Gerätebuch belegt hat; jedes andere bleibt\n"
     "      unberührt (notInJob). Je Gerät: flashen, wenn --firmware eine andere\n"
     "      Version nennt, die Zeile schreiben, den Zählerstand setzen,\n"
     "      zurücklesen und vergleichen, das Prüfprotokoll nach --report-dir.\n"
     "      Eine Zeile je Gerät: port, row, serialNumber, result. Erneut gestartet\n"
     "      tut er nur, was nicht geprüft ist. provision JOB.csv --status [--json]:\n"
     "      der Stand jeder Zeile aus dem Buch, ohne Port.\n"},
    {"book", Command::Book, Ports::None, nullptr, false, OptJson,
     "[--book LOCATION] book devices [--serial PREFIX] [--json]",
     "      The device book: every device action of the window and of this\n"
     "      program, by device. devices: one line (JSON object) per device whose\n"
     "      serial number starts with PREFIX. Also:\n"
     "        book history SERIAL [--since DATE] [--json]  the device's events\n"
     "        book export SERIAL -o FILE.csv               the same as CSV\n"
     "        book verify     exit 7 naming the first edited, deleted or moved event\n"
     "        book import FILE        a change-history file or a local book (each event once)\n"
     "        book init       makes a server's book (again: nothing changes)\n"
     "        book sync [--json]  sends the outbox's events (TAVIK7_OUTBOX) to the server\n"
     "      --book LOCATION (or TAVIK7_BOOK) names the book, before the command:\n"
     "      a file or postgresql://[USER[:PASSWORD]@]HOST[:PORT]/DBNAME.\n",
     "      Das Gerätebuch: jede Gerätehandlung des Fensters und dieses Programms,\n"
     "      nach Gerät. devices: eine Zeile (JSON-Objekt) je Gerät, dessen\n"
     "      Seriennummer mit PREFIX beginnt. Außerdem:\n"
     "        book history SERIAL [--since DATE] [--json]  die Ereignisse des Geräts\n"
     "        book export SERIAL -o FILE.csv               dieselben als CSV\n"
     "        book verify     Ende mit 7, nennt das erste geänderte, gelöschte oder\n"
     "                        verschobene Ereignis\n"
     "        book import FILE        eine Änderungshistorie oder ein lokales Buch\n"
     "        book init       legt das Buch auf einem Server an (erneut: keine Änderung)\n"
     "        book sync [--json]  sendet die Einträge des Postausgangs an den Server\n"
     "      --book LOCATION (oder TAVIK7_BOOK) nennt das Buch, vor dem Befehl:\n"
     "      eine Datei oder postgresql://[USER[:PASSWORD]@]HOST[:PORT]/DBNAME.\n"},
};
struct TextPair
{
    const char *german;
    const char *english;
};

constexpr TextPair kUsage{"Aufruf: tavik7-cli BEFEHL [OPTION]...\n\n"
                          "Liest, schreibt, setzt den Zähler, flasht, protokolliert und hört Tavik7-Geräte\n"
                          "ohne das Fenster ab, mit dessen Telegrammen, Zeitgrenzen, Prüfungen und Dateien.\n\n"
                          "Befehle:\n",
                          "Usage: tavik7-cli COMMAND [OPTION]...\n\n"
                          "Reads, writes, sets the counter of, flashes, reports on and listens to Tavik7\n"
                          "devices without the window, with the window's telegrams, time-outs, checks\n"
                          "and files.\n\n"
                          "Commands:\n"};

constexpr TextPair kOptions{
    "\nOptionen:\n"
    "  -p, --port PORT   ein serieller Port (ttyUSB0, /dev/ttyUSB0, COM3); read,\n"
    "                    write und check nehmen mehrere und arbeiten an allen zugleich;\n"
    "                    -p @DATEI: die Ports der Datei, einer je Zeile (# Kommentar)\n"
    "  --wait SEKUNDEN   so lange auf einen Port warten, der noch fehlt\n"
    "  --quiet           ein erfolgreicher Port schreibt nichts auf stderr\n"
    "  --trace DATEI     jedes Byte auf der Leitung, je Stück eine Zeile: Zeit (UTC),\n"
    "                    Port, > gesendet oder < empfangen, Hex; bei mehreren Ports\n"
    "                    eine Datei je Port, DATEI mit -PORT vor der Endung\n"
    "  --technician NAME der eigene Name des Technikers, in jedem Eintrag des\n"
    "                    Gerätebuchs (ohne Angabe: TAVIK7_TECHNICIAN)\n"
    "  --reason TEXT     write, set-counter, flash, apply: warum, im Eintrag der\n"
    "                    Änderung; eine Zeile ohne Steuerzeichen\n"
    "  --lang de|en      Sprache der Meldungen (ohne Angabe: Deutsch, wenn LC_ALL,\n"
    "                    LC_MESSAGES oder LANG, das erste gesetzte, mit \"de\" beginnt)\n"
    "  -h, --help        dieser Text; help BEFEHL oder BEFEHL --help: nur der Befehl\n"
    "  -v, --version     die Version des Programms\n",
    "\nOptions:\n"
    "  -p, --port PORT   a serial port (ttyUSB0, /dev/ttyUSB0, COM3); read, write\n"
    "                    and check take several and work on all at once;\n"
    "                    -p @FILE: the ports in FILE, one per line (# comments)\n"
    "  --wait SECONDS    wait that long for a port that is not there yet\n"
    "  --quiet           a port that succeeds writes nothing to stderr\n"
    "  --trace FILE      every byte on the wire, one line per chunk: time (UTC),\n"
    "                    port, > sent or < received, hex; over several ports one\n"
    "                    file each, FILE with -PORT before its extension\n"
    "  --technician NAME the technician's own name, in every event of the device\n"
    "                    book (default: TAVIK7_TECHNICIAN)\n"
    "  --reason TEXT     write, set-counter, flash, apply: why, in the change's\n"
    "                    event; one line without control characters\n"
    "  --lang de|en      language of messages (default: German when the first set\n"
    "                    of LC_ALL, LC_MESSAGES and LANG starts with \"de\")\n"
    "  -h, --help        this text; help COMMAND or COMMAND --help: that command\n"
    "  -v, --version     the program's version\n"};

constexpr TextPair kExitStatus{
    "\nErgebnisse gehen in der Reihenfolge der Ports auf stdout, Meldungen auf stderr.\n\n"
    "Rückgabewert (bei mehreren Ports der höchste):\n"
    "    0  erledigt\n"
    "    1  Aufruf, Datei unlesbar oder ungültig (Einstellungen, HEX, Plan), Log nicht schreibbar\n"
    "    2  Port fehlt, ist kein serieller Port, ist belegt oder verschwand\n"
    "    3  keine Antwort in der Zeit\n"
    "    4  falsche Antwort (CRC, \"Fehler!\", Gerätefehler, Zähler nicht zurückgesendet)\n"
    "    5  als unplausibel abgelehnt, nichts gesendet\n"
    "    6  Flashen fehlgeschlagen\n"
    "    7  das Gerät weicht von der Datei ab (check, write --verify, apply)\n"
    "    8  die Ausgabe konnte nicht geschrieben werden; die Geräte sind fertig\n"
    "    9  book: der Server des Gerätebuchs ist nicht erreichbar, lehnt die Anmeldung ab\n"
    "       oder hält kein nutzbares Gerätebuch; das Gerätebuch kann die Belegung\n"
    "       der Zeilen nicht halten (provision)\n"
    "   10  das Gerät ist nicht mehr das, für das der Plan erstellt wurde (apply),\n"
    "       oder kein Gerät, das der Auftrag nehmen kann (provision)\n"
    "  130  unterbrochen (SIGINT, SIGTERM, SIGHUP), bevor etwas geschrieben wurde\n",
    "\nResults go to stdout in the order the ports were given, messages to stderr.\n\n"
    "Exit status (over several ports: the highest):\n"
    "    0  done\n"
    "    1  usage, a file that cannot be read or is invalid (settings, HEX, plan), unwritable log\n"
    "    2  port missing, not a serial port, busy, or went away\n"
    "    3  no answer in time\n"
    "    4  wrong answer (CRC, \"Fehler!\", device error, counter not echoed)\n"
    "    5  refused as implausible, nothing sent\n"
    "    6  flashing failed\n"
    "    7  the device differs from the file (check, write --verify, apply)\n"
    "    8  output could not be written; the devices' work was done\n"
    "    9  book: the book's server cannot be reached, refuses the login or holds no\n"
    "       usable book; the device book cannot hold the job's claims (provision)\n"
    "   10  the device is no longer what the plan was made from (apply), or no\n"
    "       device the job can take (provision)\n"
    "  130  interrupted (SIGINT, SIGTERM, SIGHUP) before anything was written; a\n"
    "       write already on the line is completed first\n"};

QString pick(const TextPair &pair, int language)
{
    return QString::fromUtf8(language == German ? pair.german : pair.english);
}

QString paragraph(const CommandForm &form, int language)
{
    return QStringLiteral("  tavik7-cli ") + QLatin1String(form.synopsis) + QLatin1Char('\n')
        + QString::fromUtf8(language == German ? form.german : form.english);
}

} // namespace

const CommandForm *commandForms(int *count)
{
    *count = int(std::size(kCommands));
    return kCommands;
}

const CommandForm *findCommand(const QString &name)
{
    for (const CommandForm &form : kCommands) {
        if (name == QLatin1String(form.name))
            return &form;
    }
    return nullptr;
}

QString helpText(int language)
{
    QString text = pick(kUsage, language);
    for (const CommandForm &form : kCommands)
        text += paragraph(form, language);
    return text + pick(kOptions, language) + pick(kExitStatus, language);
}

QString commandHelpText(const CommandForm &form, int language)
{
    return paragraph(form, language) + pick(kOptions, language);
}

} // namespace tavik7::cli
