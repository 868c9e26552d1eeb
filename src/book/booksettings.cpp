#include "booksettings.h"

#include <QFileInfo>
#include <QSettings>

#include "bookeventtext.h"
#include "booklocation.h"
#include "devicebookkeeper.h"
#include "platform.h"
#include "texttable.h"

namespace tavik7::book {

namespace {

constexpr char kLocationKey[] = "book/location";
constexpr char kTechnicianKey[] = "book/technician";

enum class Said { NoPassword, BadTechnician, Intact, Tampered, EventMissing, EventsMissing, HeadMissing, ImportMarks, Rewritten,
                  Waiting, WaitingOne };

QString said(Said id, int language)
{
    static const char *const texts[][2] = {
        {"Ein Passwort wird nicht in den Einstellungen gespeichert: bitte in ~/.pgpass eintragen und den Ort "
         "ohne Passwort angeben.",
         "A password is not kept in the settings: put it in ~/.pgpass and give the location without it."},
        {"Der Name des Technikers muss eine Zeile druckbarer Text sein.",
         "The technician's name must be one line of printable text."},
        {"Gerätebuch unversehrt: %1 Einträge", "device book intact: %1 events"},
        {"Eintrag %1 wurde geändert, gelöscht oder umgestellt (%2 Einträge geprüft)",
         "event %1 was edited, deleted or reordered (%2 events checked)"},
        {"Eintrag %1 fehlt (%2 Einträge geprüft)", "event %1 is missing (%2 events checked)"},
        {"Einträge %1 bis %2 fehlen (%3 Einträge geprüft)", "events %1 to %2 are missing (%3 events checked)"},
        {"der Vermerk des letzten Eintrags (Nummer und Hash) fehlt (%1 Einträge geprüft)",
         "the record of the newest event (its number and hash) is missing (%1 events checked)"},
        {"die Vermerke übernommener Einträge passen nicht zu den Einträgen (%1 Einträge geprüft)",
         "the marks of imported records do not match the import events (%1 events checked)"},
        {"Eintrag %1 trägt nicht mehr den Hash, den dieser Arbeitsplatz aufgenommen oder geprüft hat: "
         "die Kette wurde neu geschrieben (%2 Einträge geprüft)",
         "event %1 no longer has the hash this workstation recorded or verified: the chain was rewritten "
         "(%2 events checked)"},
        {"%1 Einträge warten", "%1 events waiting"},
        {"1 Eintrag wartet", "1 event waiting"},
    };
    return QString::fromUtf8(texts[int(id)][language == German ? 0 : 1]);
}

QSettings settings()
{
    return platform::windowSettings();
}

} // namespace

bool bookLocationFromEnvironment()
{
    return !qEnvironmentVariableIsEmpty(kBookEnvironmentVariable);
}

QString windowBookLocation()
{
    const QString chosen = settings().value(QLatin1String(kLocationKey)).toString();
    return bookLocationFromEnvironment() || chosen.isEmpty() ? bookPath() : chosen;
}

QString rememberBookLocation(const QString &text, int language)
{
    BookLocation location;
    QString complaint;
    if (!BookLocation::parse(text, &location, &complaint))
        return bookStatusText(BookStatus::BadLocation, language) + QStringLiteral(": ") + complaint;
    if (!location.password.isEmpty())
        return said(Said::NoPassword, language);
    // The window may start from another folder next time.
    const QString kept = text.isEmpty() || location.isServer() ? text : QFileInfo(text).absoluteFilePath();
    QSettings stored = settings();
    if (kept.isEmpty())
        stored.remove(QLatin1String(kLocationKey));
    else
        stored.setValue(QLatin1String(kLocationKey), kept);
    return QString();
}

DeviceBookKeeper *makeWindowKeeper(DeviceLink *link, QObject *owner)
{
    auto *keeper = new DeviceBookKeeper(
        link, FrontEnd::Window, new BookWriterProcess(windowBookLocation(), userChangeHistoryPath()), owner);
    keeper->recorder().setTechnician(windowTechnician());
    return keeper;
}

void followWindowChoice(QObject *owner)
{
    DeviceBookKeeper *keeper = DeviceBookKeeper::of(owner);
    if (!keeper)
        return;
    if (auto *writer = qobject_cast<BookWriterProcess *>(keeper->writer()))
        writer->setBookPath(windowBookLocation());
    keeper->recorder().setTechnician(windowTechnician());
}

QString windowTechnician()
{
    const QString named = technicianFromEnvironment();
    return named.isEmpty() ? settings().value(QLatin1String(kTechnicianKey)).toString() : named;
}

QString rememberTechnician(const QString &name, int language)
{
    if (!name.isEmpty() && !isAuditText(name))
        return said(Said::BadTechnician, language);
    settings().setValue(QLatin1String(kTechnicianKey), name);
    return QString();
}

QString bookTitle(const QString &location, int language)
{
    return bookText(BookText::Title, language) + QLatin1Char(' ') + locationText(location);
}

QString waitingText(qint64 events, int language)
{
    return events == 1 ? said(Said::WaitingOne, language) : said(Said::Waiting, language).arg(events);
}

QString brokenChainText(const VerifyResult &v, int language)
{
    const QString checked = QString::number(v.events);
    if (v.status != BookStatus::Ok)
        return bookStatusText(v.status, language) + (v.detail.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(v.detail));
    switch (v.broken) {
    case ChainBreak::None: break;
    case ChainBreak::Event: return said(Said::Tampered, language).arg(v.firstBadId).arg(checked);
    case ChainBreak::EventsMissing:
        return v.firstBadId == v.lastMissingId
            ? said(Said::EventMissing, language).arg(QString::number(v.firstBadId), checked)
            : said(Said::EventsMissing, language)
                  .arg(QString::number(v.firstBadId), QString::number(v.lastMissingId), checked);
    case ChainBreak::HeadMissing: return said(Said::HeadMissing, language).arg(checked);
    case ChainBreak::ImportMarkers: return said(Said::ImportMarks, language).arg(checked);
    case ChainBreak::Rewritten: return said(Said::Rewritten, language).arg(v.firstBadId).arg(checked);
    }
    return said(Said::Intact, language).arg(checked);
}

} // namespace tavik7::book
