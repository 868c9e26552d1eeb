#include "bookevent.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUuid>

#include <algorithm>
#include <array>
#include <iterator>

namespace tavik7::book {

namespace {

constexpr const char *kActionNames[] = {"read",   "write",   "setCounter", "flash", "report",
                                        "backup", "restore", "namur",      "import"};
constexpr int kActionCount = int(sizeof kActionNames / sizeof kActionNames[0]);

// Every field with its length in front: no separator character a value
// could hold can make two different events hash alike.
// Decimal digits written backwards from end, as QByteArray::number() gives
// them; where they start. Verifying hashes millions of these.
char *decimalBefore(char *end, qint64 number)
{
    const bool negative = number < 0;
    quint64 rest = negative ? 0 - quint64(number) : quint64(number);
    do {
        *--end = char('0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    if (negative)
        *--end = '-';
    return end;
}

void addField(QCryptographicHash &hash, QByteArrayView bytes)
{
    char buffer[24];
    char *const end = buffer + sizeof buffer;
    end[-1] = ':';
    const char *start = decimalBefore(end - 1, bytes.size());
    hash.addData(QByteArrayView(start, end - start));
    hash.addData(bytes);
}

void addNumberField(QCryptographicHash &hash, qint64 number)
{
    char buffer[24];
    char *const end = buffer + sizeof buffer;
    const char *start = decimalBefore(end, number);
    addField(hash, QByteArrayView(start, end - start));
}

constexpr char kTechnicianKey[] = "technician";
constexpr char kReasonKey[] = "reason";

// Who and why travel in the details: no column of their own, on a file as
// on a server, and the chain's hash covers them with the rest.
QJsonObject auditedDetails(const BookEvent &event)
{
    QJsonObject details = event.details;
    if (!event.technician.isEmpty())
        details.insert(QLatin1String(kTechnicianKey), event.technician);
    if (!event.reason.isEmpty())
        details.insert(QLatin1String(kReasonKey), event.reason);
    return details;
}

void takeAudit(BookEvent &event)
{
    event.technician = event.details.take(QLatin1String(kTechnicianKey)).toString();
    event.reason = event.details.take(QLatin1String(kReasonKey)).toString();
}

} // namespace

bool isAuditText(const QString &text)
{
    for (const QChar c : text) {
        const ushort u = c.unicode();
        const bool directionMark = (u >= 0x202a && u <= 0x202e) || (u >= 0x2066 && u <= 0x2069);
        if (c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line
            || c.category() == QChar::Separator_Paragraph || directionMark)
            return false;
    }
    return true;
}

QString whyText(const BookEvent &event)
{
    QStringList parts;
    if (!event.reason.isEmpty())
        parts.append(event.reason);
    for (const QJsonValue &note : event.details.value(QStringLiteral("notes")).toArray())
        parts.append(note.toString());
    return parts.join(QStringLiteral("; "));
}

QString actionName(BookAction action)
{
    const int index = int(action);
    return index >= 0 && index < kActionCount ? QLatin1String(kActionNames[index]) : QString::number(index);
}

bool actionFromName(const QString &name, BookAction *action)
{
    for (int index = 0; index < kActionCount; ++index) {
        if (name == QLatin1String(kActionNames[index])) {
            *action = BookAction(index);
            return true;
        }
    }
    return false;
}

QString frontEndName(FrontEnd frontEnd)
{
    return frontEnd == FrontEnd::Window ? QStringLiteral("window") : QStringLiteral("cli");
}

QString newEventUuid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QString isoTimeText(qint64 timeMs)
{
    return QDateTime::fromMSecsSinceEpoch(timeMs, Qt::UTC).toString(QStringLiteral("yyyy-MM-ddThh:mm:ss.zzzZ"));
}

QByteArray changesToJson(const QList<BookChange> &changes)
{
    QJsonArray array;
    for (const BookChange &change : changes)
        array.append(QJsonArray{change.key, change.oldValue, change.newValue});
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

QList<BookChange> changesFromJson(const QByteArray &json)
{
    QList<BookChange> changes;
    const QJsonArray array = QJsonDocument::fromJson(json).array();
    for (const QJsonValue &value : array) {
        const QJsonArray triple = value.toArray();
        changes.append({triple.at(0).toString(), triple.at(1).toString(), triple.at(2).toString()});
    }
    return changes;
}

QString changesText(const QList<BookChange> &changes)
{
    QStringList lines;
    for (const BookChange &change : changes)
        lines.append(change.key + QStringLiteral(": ") + change.oldValue + QStringLiteral(" -> ") + change.newValue);
    return lines.join(QLatin1Char('\n'));
}

StoredEvent storedForm(const BookEvent &event)
{
    return {event.id,
            event.timeMs,
            int(event.action),
            int(event.frontEnd),
            event.user,
            event.port,
            event.manufacturer,
            event.deviceType,
            event.serialNumber,
            event.status,
            changesToJson(event.changes),
            event.file,
            event.sha256,
            event.softwareVersion,
            event.counter,
            [&event] {
                const QJsonObject details = auditedDetails(event);
                return details.isEmpty() ? QByteArray() : QJsonDocument(details).toJson(QJsonDocument::Compact);
            }(),
            event.uuid,
            event.station,
            event.role};
}

BookEvent eventFromStored(const StoredEvent &stored)
{
    BookEvent event;
    event.id = stored.id;
    event.timeMs = stored.timeMs;
    event.action = BookAction(stored.action);
    event.frontEnd = FrontEnd(stored.frontEnd);
    event.user = stored.user;
    event.port = stored.port;
    event.manufacturer = stored.manufacturer;
    event.deviceType = stored.deviceType;
    event.serialNumber = stored.serialNumber;
    event.status = stored.status;
    event.changes = changesFromJson(stored.changes);
    event.file = stored.file;
    event.sha256 = stored.sha256;
    event.softwareVersion = stored.softwareVersion;
    event.counter = stored.counter;
    event.details = QJsonDocument::fromJson(stored.details).object();
    takeAudit(event);
    event.uuid = stored.uuid;
    event.station = stored.station;
    event.role = stored.role;
    return event;
}

namespace {

constexpr const char *kLineTexts[] = {"user",   "port", "manufacturer", "deviceType",      "serialNumber", "status",
                                      "file",   "sha256", "softwareVersion", "counter",       "uuid",         "station"};
constexpr size_t kLineTextCount = sizeof kLineTexts / sizeof kLineTexts[0];

std::array<QString *, kLineTextCount> lineTexts(BookEvent &e)
{
    return {&e.user, &e.port,          &e.manufacturer, &e.deviceType, &e.serialNumber, &e.status,
            &e.file, &e.sha256, &e.softwareVersion, &e.counter,    &e.uuid,         &e.station};
}

} // namespace

QByteArray eventToLine(const BookEvent &event)
{
    BookEvent e = event;
    QJsonObject line{{QStringLiteral("time"), QString::number(e.timeMs)},
                     {QStringLiteral("action"), int(e.action)},
                     {QStringLiteral("frontEnd"), int(e.frontEnd)},
                     {QStringLiteral("changes"), QString::fromUtf8(changesToJson(e.changes))},
                     {QStringLiteral("details"), auditedDetails(e)}};
    const std::array<QString *, kLineTextCount> texts = lineTexts(e);
    for (size_t i = 0; i < texts.size(); ++i)
        line.insert(QLatin1String(kLineTexts[i]), *texts[i]);
    return QJsonDocument(line).toJson(QJsonDocument::Compact);
}

bool eventFromLine(const QByteArray &line, BookEvent *event)
{
    QJsonParseError error;
    const QJsonObject object = QJsonDocument::fromJson(line, &error).object();
    if (error.error != QJsonParseError::NoError || object.isEmpty())
        return false;
    BookEvent e;
    bool timeOk = false;
    e.timeMs = object.value(QStringLiteral("time")).toString().toLongLong(&timeOk);
    const int action = object.value(QStringLiteral("action")).toInt(-1);
    const int frontEnd = object.value(QStringLiteral("frontEnd")).toInt(-1);
    if (!timeOk || action < 0 || action >= kActionCount || (frontEnd != 0 && frontEnd != 1))
        return false;
    e.action = BookAction(action);
    e.frontEnd = FrontEnd(frontEnd);
    e.changes = changesFromJson(object.value(QStringLiteral("changes")).toString().toUtf8());
    e.details = object.value(QStringLiteral("details")).toObject();
    takeAudit(e);
    const std::array<QString *, kLineTextCount> texts = lineTexts(e);
    for (size_t i = 0; i < texts.size(); ++i) {
        const QJsonValue value = object.value(QLatin1String(kLineTexts[i]));
        if (!value.isString())
            return false;
        *texts[i] = value.toString();
    }
    *event = e;
    return true;
}

QByteArray chainHash(const QByteArray &previousHash, const StoredEvent &e)
{
    const QByteArray texts[] = {e.user.toUtf8(),   e.port.toUtf8(),   e.manufacturer.toUtf8(), e.deviceType.toUtf8(),
                                e.serialNumber.toUtf8(), e.status.toUtf8(), e.changes,          e.file.toUtf8(),
                                e.sha256.toUtf8(), e.softwareVersion.toUtf8(), e.counter.toUtf8(), e.details,
                                e.uuid.toUtf8(),   e.station.toUtf8(), e.role.toUtf8()};
    ChainTexts views;
    std::copy(std::begin(texts), std::end(texts), views.begin());
    return chainHash(previousHash, {e.id, e.timeMs, qint64(e.action), qint64(e.frontEnd)}, views, e.hashesOrigin);
}

QByteArray chainHash(const QByteArray &previousHash, const std::array<qint64, 4> &numbers, const ChainTexts &texts,
                     bool hashesOrigin)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    addField(hash, previousHash);
    for (const qint64 number : numbers)
        addNumberField(hash, number);
    // uuid, station and role are the last three.
    const size_t hashed = hashesOrigin ? texts.size() : texts.size() - 3;
    for (size_t i = 0; i < hashed; ++i)
        addField(hash, texts[i]);
    return hash.result();
}

} // namespace tavik7::book
