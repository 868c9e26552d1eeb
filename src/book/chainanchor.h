#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

#include "devicebook.h"

namespace tavik7::book {

// One event of a book's chain: its number and its hash.
struct ChainPoint
{
    qint64 id = 0;
    QByteArray hash;
};

// A book's chain proves itself only up to its own newest event: whoever can
// write the book can drop the newest events with the head row, or hash the
// whole chain again. So each workstation keeps, outside the book, the newest
// event it recorded or verified for each book location, and verify asks the
// book whether that event still stands with that hash.
class ChainAnchor
{
public:
    // folder: where this user's anchors are kept (the per-user folder).
    explicit ChainAnchor(const QString &location, const QString &folder = QString());

    [[nodiscard]] std::optional<ChainPoint> read() const;
    // Keeps whichever is newer, the point or the anchor another process
    // left meanwhile. False when the anchor could not be written.
    bool advance(const ChainPoint &point);
    // A new book began at the location (a damaged one was set aside): its
    // chain starts again, and the old book's anchor no longer applies.
    bool restart(const ChainPoint &point);

    [[nodiscard]] QString filePath() const { return m_path; }

private:
    bool store(const ChainPoint &point, bool onlyNewer);

    QString m_location; // the book's identity
    QString m_path;
    QString m_earlierKey, m_earlierPath; // where an earlier version kept a server book's anchor
};

// The hash of event id as the book holds it; nothing when the book has no
// such event. failure receives why the book could not be asked.
[[nodiscard]] std::optional<QByteArray> storedHash(const DeviceBook &book, qint64 id, BookStatus *failure = nullptr);

// The book's own verify, then this workstation's anchor for location: the
// anchored event must still be there with the same hash. An intact book
// moves the anchor up to its newest event.
[[nodiscard]] VerifyResult verifyAnchored(const DeviceBook &book, const QString &location,
                                          const QString &folder = QString(), const std::atomic<bool> *stop = nullptr);

// After a writer's commit: the event recorded becomes the anchor, unless a
// newer one is kept already. setAside: the book was started anew there.
void anchorRecorded(const DeviceBook &book, const QString &location, const BookResult &recorded);

} // namespace tavik7::book
