#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <array>

namespace tavik7::book {

// The stored numbers go into every event's hash: append, never renumber.
enum class BookAction : int { Read, Write, SetCounter, Flash, Report, Backup, Restore, Namur, Import };
enum class FrontEnd : int { Window, Cli };

inline constexpr char kUnknownIdentity[] = "unknown";
inline constexpr char kStatusOk[] = "ok";

// One changed value: the JSON key of read --json ("counter" for the counter)
// with the settings file's value strings.
struct BookChange
{
    QString key;
    QString oldValue;
    QString newValue;
    friend bool operator==(const BookChange &a, const BookChange &b)
    {
        return a.key == b.key && a.oldValue == b.oldValue && a.newValue == b.newValue;
    }
};

struct BookEvent
{
    qint64 id = 0;        // given by the book when recorded
    qint64 timeMs = 0;    // UTC, milliseconds since the epoch
    BookAction action = BookAction::Read;
    FrontEnd frontEnd = FrontEnd::Cli;
    QString user;
    QString technician;   // the person's own name beside the login; may be empty
    QString reason;       // why a device was changed, as the technician gave it
    QString port;
    QString manufacturer = QLatin1String(kUnknownIdentity);
    QString deviceType = QLatin1String(kUnknownIdentity);
    QString serialNumber = QLatin1String(kUnknownIdentity);
    QString status = QLatin1String(kStatusOk); // "ok" or the command line's error word
    QList<BookChange> changes;
    QString file;         // flash image, report PDF, backup file
    QString sha256;       // of file, lower-case hex
    QString softwareVersion; // as read during the action; empty: not read
    QString counter;         // digits as read or set; empty: not read
    // flash: verdict, versionBefore, versionAfter; namur: start, end,
    // telegrams, log; import: source.
    QJsonObject details;
    QString uuid;    // made with the action: the same event arriving twice is one
    QString station; // the workstation (stationName())
    QString role;    // on a server, the database role that wrote it; given by the book
};

[[nodiscard]] QString actionName(BookAction action);
[[nodiscard]] bool actionFromName(const QString &name, BookAction *action);
[[nodiscard]] QString frontEndName(FrontEnd frontEnd);
// A new event's uuid (random, version 4, lower-case with dashes).
[[nodiscard]] QString newEventUuid();

// A technician's name or a reason as an event may hold it: one line of
// printable text. Control characters, line breaks and the marks that turn
// text direction would let one event's words pass for another's in every
// listing, so such input is refused, not cleaned.
[[nodiscard]] bool isAuditText(const QString &text);
// Why in one line: the reason, then a report's notes.
[[nodiscard]] QString whyText(const BookEvent &event);

// Time as the book's readers print it: 2026-12-07T16:27:07.123Z.
[[nodiscard]] QString isoTimeText(qint64 timeMs);

// The changes as stored: a compact JSON array of [key, old, new] arrays.
[[nodiscard]] QByteArray changesToJson(const QList<BookChange> &changes);
[[nodiscard]] QList<BookChange> changesFromJson(const QByteArray &json);
// Each change as "key: old -> new", one per line.
[[nodiscard]] QString changesText(const QList<BookChange> &changes);

// The columns of one stored event in the order they are hashed. Built from
// the stored text, so that verifying never depends on re-encoding JSON.
struct StoredEvent
{
    qint64 id = 0;
    qint64 timeMs = 0;
    int action = 0;
    int frontEnd = 0;
    QString user, port, manufacturer, deviceType, serialNumber, status;
    QByteArray changes;
    QString file, sha256, softwareVersion, counter;
    QByteArray details;
    QString uuid, station, role;
    // Events recorded before books knew uuid and station were hashed
    // without them; those fields were filled in later, outside the chain.
    bool hashesOrigin = true;
};

[[nodiscard]] StoredEvent storedForm(const BookEvent &event);
[[nodiscard]] BookEvent eventFromStored(const StoredEvent &stored);

// One event as one compact JSON line without its id, for the writer process;
// false when line is not such an event (nothing is recorded from it).
[[nodiscard]] QByteArray eventToLine(const BookEvent &event);
[[nodiscard]] bool eventFromLine(const QByteArray &line, BookEvent *event);

// SHA-256 of the previous event's hash followed by this event's content, its
// id included, so that an edited, removed or moved row breaks the chain.
[[nodiscard]] QByteArray chainHash(const QByteArray &previousHash, const StoredEvent &event);
// The same hash from the stored bytes, for reading millions of events:
// id, time, action and frontEnd; then the UTF-8 of user, port, manufacturer,
// deviceType, serialNumber, status, changes, file, sha256, softwareVersion,
// counter, details, uuid, station and role (the last three hashed only
// when hashesOrigin).
using ChainTexts = std::array<QByteArrayView, 15>;
[[nodiscard]] QByteArray chainHash(const QByteArray &previousHash, const std::array<qint64, 4> &numbers,
                                   const ChainTexts &texts, bool hashesOrigin);

} // namespace tavik7::book
