#include "messagecatalogue.h"

#include "texttable.h"

namespace tavik7 {

namespace {

// Notes are UTF-8; unlike the text table's they were never Latin-1 bytes.
struct Note
{
    MessageId id;
    const char *german;
    const char *english;
};

// The port notes name "dialout", the group serial devices belong to on
// Debian and most distributions, when joining the device's own group would
// not help.
const Note kNotes[] = {
    {MessageId::NoteHistoryUnwritable,
     "Die Änderungshistorie %1 kann nicht geschrieben werden; das Gerät wurde trotzdem beschrieben.",
     "The change history %1 cannot be written; the device was written all the same."},
    {MessageId::NoteBackupFailed, "Sicherung der Geräteparameter vor dem Flashen fehlgeschlagen: %1",
     "Backing up the device's parameters before flashing failed: %1"},
    {MessageId::NoteBackupSaved, "Geräteparameter vor dem Flashen gesichert: %1",
     "Device parameters backed up before flashing: %1"},
    {MessageId::NoteBackupSavedWithCounter, "Geräteparameter vor dem Flashen gesichert: %1, Zählerstand %2 in %3",
     "Device parameters backed up before flashing: %1, counter status %2 in %3"},
    {MessageId::QuestionLoadBackup, "Die vor dem Flashen gesicherten Parameter jetzt in die Tabelle laden?",
     "Load the parameters backed up before flashing into the table now?"},
    {MessageId::NotePortNotInGroup,
     "Keine Berechtigung: Der Benutzer ist nicht in der Gruppe \"%1\", der das Gerät gehört. "
     "Abhilfe: sudo usermod -aG %1 %2 eingeben, dann ab- und wieder anmelden.",
     "Permission denied: the user is not in the group \"%1\" that owns the device. "
     "To fix: run sudo usermod -aG %1 %2, then log out and in again."},
    {MessageId::NotePortOwnerOnly,
     "Keine Berechtigung: Das Gerät ist nur für seinen Besitzer freigegeben (Gruppe \"%1\" "
     "ohne Lese- und Schreibrecht). Abhilfe: Der Administrator gibt es der Gruppe \"dialout\" frei "
     "(udev-Regel), dann sudo usermod -aG dialout %2 eingeben und ab- und wieder anmelden.",
     "Permission denied: only the device's owner may open it (its group \"%1\" may not read "
     "and write it). To fix: have the administrator give it to the group \"dialout\" (a udev "
     "rule), then run sudo usermod -aG dialout %2 and log out and in again."},
    {MessageId::NotePortBusy,
     "Der Port wird von einem anderen Programm benutzt (Terminal, zweite Instanz dieses Programms). "
     "Dieses Programm beenden und erneut verbinden.",
     "Another program holds the port (a terminal, a second instance of this tool). "
     "Close it and connect again."},
    {MessageId::NotePortGone,
     "Der Port ist nicht mehr vorhanden: Wurde der Adapter abgezogen? Adapter einstecken; "
     "die Liste folgt von selbst.",
     "The port is gone: was the adapter unplugged? Plug it in again; the list will follow."},
    {MessageId::NoteNamurLogReplaced,
     "Die NAMUR-Logdatei %1 wurde während der Aufzeichnung ersetzt oder entfernt. Die Telegramme gehen nur "
     "in die beim Starten geöffnete Datei, nicht in das, was jetzt unter diesem Namen steht.",
     "The NAMUR log file %1 was replaced or removed while logging. The telegrams go only into the file "
     "opened at Start, not into what now stands under that name."},
    {MessageId::NoteCounterNotWrittenBack,
     "Die Parameter wurden in den Tavik7 geschrieben, der Zählwerksstand %1 aber nicht zurückgeschrieben. "
     "Zählwerksstand prüfen und bei Bedarf setzen.",
     "The parameters were written to Tavik7, but its counter status %1 was not written back. "
     "Check the counter status and set it if needed."},
    {MessageId::NoteTelegramUnanswered,
     "Das Parametertelegramm wurde gesendet; ohne Antwort ist offen, ob der Tavik7 es übernommen hat.",
     "The parameter telegram was sent; without an answer it is unknown whether Tavik7 took it."},
    {MessageId::NoteFirmwareImageFault, "Firmware-Datei %1, Zeile %2: %3. Nichts an das Gerät gesendet.",
     "Firmware file %1, line %2: %4. Nothing was sent to the device."},
    {MessageId::NoteFirmwareFileFault, "Firmware-Datei %1: %2. Nichts an das Gerät gesendet.",
     "Firmware file %1: %3. Nothing was sent to the device."},
    {MessageId::NoteDeviceBook, "%1", "%2"},
    {MessageId::NoteClosingAfterWrite,
     "Das Fenster schließt, sobald der Schreibvorgang am Tavik7 beendet ist.",
     "The window closes once the write to Tavik7 has ended."},
    {MessageId::NotePlanQuestion, "Diese Änderungen in Tavik7 schreiben?", "Write these changes to Tavik7?"},
    {MessageId::NotePlanCounterGoesAlong,
     "Der Zählerstand geht mit: die Zählrichtung ändert sich, er wird nach den Parametern zurückgeschrieben.",
     "The counter goes along: the direction changes, so it is written back after the parameters."},
    {MessageId::NotePlanNoChange, "Nichts zu schreiben: die Tabelle gleicht Tavik7.",
     "Nothing to write: the table equals Tavik7."},
    {MessageId::NotePlanStale,
     "Tavik7 hat sich seit der Prüfung geändert (%1). Nichts geschrieben.",
     "Tavik7 changed since it was reviewed (%1). Nothing was written."},
    {MessageId::PlanMenuEntry, "Vor dem Schreiben prüfen", "Review before writing"},
};

} // namespace

QString catalogueText(MessageId id, int language)
{
    if (id < MessageId::NoteFirst)
        return messageText(int(id), language);
    for (const Note &note : kNotes) {
        if (note.id == id)
            return QString::fromUtf8(language == English ? note.english : note.german);
    }
    return QString();
}

QString renderMessage(MessageId id, const QStringList &arguments, int language)
{
    const QString pattern = catalogueText(id, language);
    QString rendered;
    rendered.reserve(pattern.size());
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        const int digit = i + 1 < pattern.size() ? pattern.at(i + 1).digitValue() : -1;
        if (c == QLatin1Char('%') && digit >= 1 && digit <= arguments.size()) {
            rendered += arguments.at(digit - 1);
            ++i;
        } else {
            rendered += c;
        }
    }
    return rendered;
}

} // namespace tavik7
