#include "bookeventtext.h"

#include <QDateTime>

#include "changehistory.h"
#include "parameterfields.h"
#include "texttable.h"

namespace tavik7::book {

namespace {

// The captions first, in BookText's order, then the columns and words below.
enum class Word {
    // device list columns after the hidden id
    Serial = int(BookText::ModuleMissing) + 1, Manufacturer, DeviceType, LastSeen, SoftwareVersion, Counter, Events,
    // event columns
    Number, Time, Action, FrontEnd, User, Port, Result, Changes, File, Sha256, Technician, Reason,
    // actions, in the book's own order
    Read, Write, SetCounter, Flash, Report, Backup, Restore, Namur, Import,
    Window, CommandLine,
};

QString word(int id, int language)
{
    static const char *const texts[][2] = {
        {"Gerätebuch", "Device book"},
        {"Extras", "Tools"},
        {"Gerätebuch...", "Device book..."},
        {"Seriennummer, Hersteller oder Gerätetyp", "Serial number, manufacturer or device type"},
        {"Als CSV exportieren...", "Export CSV..."},
        {"Als PDF exportieren...", "Export PDF..."},
        {"%1 wurde nicht geschrieben.", "%1 was not written."},
        {"CSV-Dateien (*.csv)", "CSV files (*.csv)"},
        {"PDF-Dateien (*.pdf)", "PDF files (*.pdf)"},
        {"Grund (für das Gerätebuch)", "Reason (for the device book)"},
        {"Gerätebuch-Ort", "Book location"}, {"Techniker", "Technician"}, {"Prüfen", "Verify"},
        {"Gerätebuch wird geprüft...", "Verifying the device book..."},
        {"Das Gerätebuch lässt sich nicht öffnen, sein Programmteil fehlt oder ist beschädigt:\n%1",
         "The device book cannot be opened, its part of the program is missing or damaged:\n%1"},
        {"Seriennummer", "Serial number"}, {"Hersteller", "Manufacturer"}, {"Gerätetyp", "Device type"},
        {"Zuletzt gesehen (Ortszeit)", "Last seen (local time)"}, {"Softwareversion", "Software version"},
        {"Zählwerksstand", "Counter status"}, {"Einträge", "Events"},
        {"Nr.", "No."}, {"Zeit", "Time"}, {"Vorgang", "Action"}, {"Oberfläche", "Front end"},
        {"Benutzer", "User"}, {"Port", "Port"}, {"Ergebnis", "Result"}, {"Änderungen", "Changes"},
        {"Datei", "File"}, {"SHA-256", "SHA-256"}, {"Techniker", "Technician"}, {"Grund", "Reason"},
        {"Lesen", "Read"}, {"Schreiben", "Write"}, {"Zählwerksstand setzen", "Set counter"},
        {"Flashen", "Flash"}, {"Report", "Report"}, {"Sicherung", "Backup"},
        {"Sicherung geladen", "Backup loaded"}, {"NAMUR", "NAMUR"}, {"Import", "Import"},
        {"Programmfenster", "Window"}, {"Kommandozeile", "Command line"},
    };
    return QString::fromUtf8(texts[id][language == German ? 0 : 1]);
}

QStringList words(Word first, Word last, int language)
{
    QStringList list;
    for (int id = int(first); id <= int(last); ++id)
        list.append(word(id, language));
    return list;
}

// The result words the book stores (the command line's), as the window says them.
QString resultText(const QString &status, int language)
{
    static const char *const words[][3] = {
        {"ok", "in Ordnung", "ok"},
        {"noAnswer", "keine Antwort", "no answer"},
        {"wrongAnswer", "falsche Antwort", "wrong answer"},
        {"portMissing", "Port nicht vorhanden", "port missing"},
        {"portBusy", "Port belegt", "port busy"},
        {"notSerial", "keine serielle Schnittstelle", "not a serial port"},
        {"implausible", "Werte unplausibel", "values implausible"},
        {"flashFailed", "Flashen fehlgeschlagen", "flash failed"},
        {"badFile", "Datei fehlerhaft", "bad file"},
        {"outputFailed", "Ausgabe nicht geschrieben", "output not written"},
        {"interrupted", "abgebrochen", "interrupted"},
    };
    for (const auto &word : words) {
        if (status == QLatin1String(word[0]))
            return QString::fromUtf8(word[language == German ? 1 : 2]);
    }
    return status;
}

QString actionText(BookAction action, int language)
{
    const int index = int(action);
    if (index < 0 || index > int(BookAction::Import))
        return actionName(action);
    return word(int(Word::Read) + index, language);
}

// Local time with its offset from UTC, so a time read elsewhere is not mistaken.
QString localTimeText(qint64 timeMs)
{
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(timeMs);
    const int offset = local.offsetFromUtc();
    const int magnitude = qAbs(offset);
    return local.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))
        + QStringLiteral(" UTC%1%2:%3")
              .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
              .arg(magnitude / 3600, 2, 10, QLatin1Char('0'))
              .arg(magnitude % 3600 / 60, 2, 10, QLatin1Char('0'));
}

} // namespace

QString bookText(BookText id, int language)
{
    return word(int(id), language);
}

QStringList deviceHeaders(int language)
{
    return words(Word::Serial, Word::Events, language);
}

QStringList eventHeaders(int language)
{
    return words(Word::Number, Word::Reason, language);
}

QStringList eventCells(const BookEvent &event, int language)
{
    QStringList changes;
    for (const BookChange &change : event.changes)
        changes.append(fieldChangeText(change.key, change.oldValue, change.newValue, language));
    return {QString::number(event.id),
            localTimeText(event.timeMs),
            actionText(event.action, language),
            word(int(event.frontEnd == FrontEnd::Window ? Word::Window : Word::CommandLine), language),
            event.user,
            event.port,
            resultText(event.status, language),
            changes.join(QLatin1Char('\n')),
            event.file,
            event.sha256,
            event.technician,
            whyText(event)};
}

QList<int> eventPdfColumnWeights()
{
    return {3, 10, 7, 7, 5, 6, 6, 17, 10, 12, 7, 10};
}

EventTable eventTable(const QList<BookEvent> &events, int language)
{
    EventTable table{eventHeaders(language), {}};
    for (const BookEvent &event : events)
        table.rows.append(eventCells(event, language));
    return table;
}

QByteArray eventCsv(const EventTable &table)
{
    QByteArray csv = csvRow(table.headers);
    for (const QStringList &row : table.rows)
        csv += csvRow(row);
    return csv;
}

} // namespace tavik7::book
