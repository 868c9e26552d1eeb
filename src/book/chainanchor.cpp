#include "chainanchor.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

#include "booklocation.h"
#include "platform.h"
#include "regularfile.h"

namespace tavik7::book {

namespace {

// Several processes of one user record into one book at once: each waits
// this long for the others' read-and-replace of the anchor.
constexpr int kAnchorLockTimeoutMs = 5000;

// The key anchors of server books were kept under before a book had one
// identity: the URL with its user and as its port was written. Such an
// anchor is still read, so that an update forgets no chain it saw.
QString earlierServerKey(const QString &location)
{
    QUrl url(location);
    url.setPassword(QString());
    url.setQuery(QString());
    url.setFragment(QString());
    url.setHost(url.host().toLower());
    return url.toString(QUrl::RemovePassword | QUrl::FullyEncoded);
}

QString anchorPath(const QString &folder, const QString &key)
{
    const QString base = QDir::fromNativeSeparators(folder.isEmpty() ? platform::appDataFolder() : folder);
    // A location holds characters no file name may; its hash names the file,
    // the location itself is kept inside.
    const QByteArray digest = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256).toHex();
    return QDir(base).filePath(QStringLiteral("devicebook-anchor-%1.json").arg(QLatin1String(digest.left(24))));
}

std::optional<ChainPoint> readAnchor(const QString &path, const QString &key)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonObject object = QJsonDocument::fromJson(file.read(4096)).object();
    bool numbered = false;
    const ChainPoint point{object.value(QStringLiteral("id")).toString().toLongLong(&numbered),
                           QByteArray::fromHex(object.value(QStringLiteral("hash")).toString().toLatin1())};
    // Another location whose name hashed alike, or no anchor at all.
    if (object.value(QStringLiteral("location")).toString() != key || !numbered || point.id <= 0
        || point.hash.isEmpty())
        return std::nullopt;
    return point;
}

} // namespace

ChainAnchor::ChainAnchor(const QString &location, const QString &folder)
    : m_location(bookIdentity(location)), m_path(anchorPath(folder, m_location))
{
    if (isServerLocation(location)) {
        m_earlierKey = earlierServerKey(location);
        m_earlierPath = anchorPath(folder, m_earlierKey);
    }
}

std::optional<ChainPoint> ChainAnchor::read() const
{
    const std::optional<ChainPoint> point = readAnchor(m_path, m_location);
    if (m_earlierPath.isEmpty() || m_earlierPath == m_path)
        return point;
    // The newer of the two: an earlier version may have run since.
    const std::optional<ChainPoint> earlier = readAnchor(m_earlierPath, m_earlierKey);
    return earlier && (!point || earlier->id > point->id) ? earlier : point;
}

bool ChainAnchor::advance(const ChainPoint &point)
{
    return store(point, true);
}

bool ChainAnchor::restart(const ChainPoint &point)
{
    return store(point, false);
}

bool ChainAnchor::store(const ChainPoint &point, bool onlyNewer)
{
    if (point.id <= 0 || point.hash.isEmpty())
        return false;
    platform::ensureAppDataFolder(QFileInfo(m_path).path());
    QLockFile lock(m_path + QStringLiteral(".lock"));
    if (!lock.tryLock(kAnchorLockTimeoutMs))
        return false;
    if (onlyNewer) {
        if (const std::optional<ChainPoint> kept = read(); kept && kept->id >= point.id)
            return true;
    }
    const QJsonObject object{{QStringLiteral("location"), m_location},
                             {QStringLiteral("id"), QString::number(point.id)},
                             {QStringLiteral("hash"), QString::fromLatin1(point.hash.toHex())}};
    return platform::saveWholeFile(m_path, QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n');
}

std::optional<QByteArray> storedHash(const DeviceBook &book, qint64 id, BookStatus *failure)
{
    QSqlQuery q(book.database());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT hash FROM events WHERE id = ?"));
    q.bindValue(0, id);
    if (!q.exec()) {
        if (failure)
            *failure = BookStatus::Failed;
        return std::nullopt;
    }
    if (!q.next())
        return std::nullopt;
    return q.value(0).toByteArray();
}

VerifyResult verifyAnchored(const DeviceBook &book, const QString &location, const QString &folder,
                            const std::atomic<bool> *stop)
{
    VerifyResult result = book.verify(stop);
    if (!result.intact())
        return result;
    ChainAnchor anchor(location, folder);
    // An intact chain numbers its events 1 to the count.
    const qint64 newest = result.events;
    if (const std::optional<ChainPoint> kept = anchor.read()) {
        if (kept->id > newest) {
            result.broken = ChainBreak::EventsMissing;
            result.firstBadId = newest + 1;
            result.lastMissingId = kept->id;
            return result;
        }
        BookStatus failure = BookStatus::Ok;
        const std::optional<QByteArray> hash = storedHash(book, kept->id, &failure);
        if (failure != BookStatus::Ok) {
            result.status = failure;
            return result;
        }
        if (hash != kept->hash) {
            result.broken = ChainBreak::Rewritten;
            result.firstBadId = kept->id;
            return result;
        }
    }
    if (newest > 0) {
        if (const std::optional<QByteArray> hash = storedHash(book, newest))
            anchor.advance({newest, *hash});
    }
    return result;
}

void anchorRecorded(const DeviceBook &book, const QString &location, const BookResult &recorded)
{
    if (!recorded.recorded || recorded.id <= 0)
        return;
    const std::optional<QByteArray> hash = storedHash(book, recorded.id);
    if (!hash)
        return;
    ChainAnchor anchor(location);
    if (recorded.setAsidePath.isEmpty())
        anchor.advance({recorded.id, *hash});
    else
        anchor.restart({recorded.id, *hash});
}

} // namespace tavik7::book
