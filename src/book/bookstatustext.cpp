// A status in words: kept apart from the queries, so that a program that
// only hears of statuses (the window, through the writer process) links no
// database code.
#include <QDir>

#include "booklocation.h"
#include "booksettings.h"
#include "devicebook.h"
#include "outbox.h"
#include "texttable.h"

namespace tavik7::book {

QString bookStatusText(BookStatus status, int language)
{
    static const char *const texts[][2] = {
        {"in Ordnung", "ok"},
        {"keine SQLite-Datenbank", "not an SQLite database"},
        {"beschädigt", "corrupt"},
        {"schreibgeschützt", "read-only"},
        {"kein Platz (Datenträger voll)", "no room to write (disk full)"},
        {"ein Link oder keine reguläre Datei", "a link or not a regular file"},
        {"länger als 10 s von einem anderen Programm belegt", "busy for longer than 10 s"},
        {"von einer neueren Programmversion", "written by a newer version"},
        {"Datei nicht lesbar", "file cannot be read"},
        {"Datenbankfehler", "database error"},
        {"nicht vorhanden", "does not exist"},
        {"kein Gerätebuch", "not a device book"},
        {"Ordner fehlt", "folder missing"},
        {"Server nicht erreichbar", "server unreachable"},
        {"Anmeldung abgelehnt", "login refused"},
        {"noch kein Gerätebuch auf dem Server (tavik7-cli book init)",
         "no device book on the server yet (tavik7-cli book init)"},
        {"die Datenbankrolle darf das Gerätebuch nicht lesen oder schreiben",
         "the database role may not read or write the book"},
        {"Ort nicht lesbar", "location does not parse"},
    };
    static_assert(std::size(texts) == size_t(BookStatus::BadLocation) + 1, "one text per status");
    return QString::fromUtf8(texts[int(status)][language == German ? 0 : 1]);
}

QString bookStatusWord(BookStatus status)
{
    static const char *const words[] = {"ok",   "notSqlite", "corrupt", "readOnly", "diskFull", "link",
                                        "busy", "tooNew",    "badFile", "failed",   "missing",
                                        "notBook", "noFolder", "unreachable", "loginRefused", "noSchema",
                                        "noRights", "badLocation"};
    static_assert(std::size(words) == size_t(BookStatus::BadLocation) + 1, "one word per status");
    return QLatin1String(words[int(status)]);
}

QString bookResultMessage(const BookResult &result, const QString &bookPath, int language)
{
    if (!result.outbox.isEmpty())
        return outboxResultMessage(result, bookPath, language);
    const bool german = language == German;
    const QString why = bookStatusText(result.status, language)
        + (result.detail.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(result.detail));
    if (result.recorded && !result.setAsidePath.isEmpty()) {
        return (german ? QStringLiteral("Gerätebuch %1 war %2; aufbewahrt als %3, neues Gerätebuch begonnen.")
                       : QStringLiteral("Device book %1 was %2; kept as %3, a new book was started."))
            .arg(locationText(bookPath), why, result.setAsidePath);
    }
    if (result.recorded)
        return {};
    return (german ? QStringLiteral("Gerätebuch %1 hat diesen Vorgang nicht aufgenommen: %2.")
                   : QStringLiteral("Device book %1 missed this action: %2."))
        .arg(locationText(bookPath), why);
}

QString bookOpenText(const BookResult &opened, const QString &bookPath, int language)
{
    if (opened.recorded)
        return bookResultMessage(opened, bookPath, language);
    const QString where = isServerLocation(bookPath) ? locationText(bookPath) : QDir::toNativeSeparators(bookPath);
    return where + QStringLiteral(": ") + bookStatusText(opened.status, language);
}

QString outboxResultMessage(const BookResult &result, const QString &bookPath, int language)
{
    if (result.outbox.isEmpty())
        return {};
    const bool german = language == German;
    const QString where = locationText(bookPath);
    const QString why = bookStatusText(result.status, language)
        + (result.detail.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(result.detail));
    const QString outbox = QDir::toNativeSeparators(result.outbox);
    if (!result.recorded) {
        const QString outboxWhy = bookStatusText(result.outboxStatus, language)
            + (result.outboxDetail.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(result.outboxDetail));
        return (german ? QStringLiteral("Gerätebuch %1 nicht erreichbar: %2; der Postausgang %3 hat diesen Vorgang "
                                        "auch nicht aufgenommen: %4.")
                       : QStringLiteral("Device book %1 is unreachable: %2; the outbox %3 could not keep this action "
                                        "either: %4."))
            .arg(where, why, outbox, outboxWhy);
    }
    return german ? QStringLiteral("Gerätebuch %1 nicht erreichbar: %2; %3 im Postausgang %4, gesendet mit dem "
                                   "nächsten Vorgang, der den Server erreicht, oder mit tavik7-cli book sync.")
                        .arg(where, why, waitingText(result.waiting, language), outbox)
                  : QStringLiteral("Device book %1 is unreachable: %2; %3 in the outbox %4, sent with the next "
                                   "action that reaches the server or by tavik7-cli book sync.")
                        .arg(where, why, waitingText(result.waiting, language), outbox);
}

} // namespace tavik7::book
