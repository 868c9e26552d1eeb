#pragma once

#include <QSqlError>
#include <QSqlQuery>
#include <QVariantList>

#include "bookschema.h"
#include "devicebook.h"

namespace tavik7::book {

inline constexpr int kEventInsertColumns = 18;

// An insert of rows events at once, each with these columns in this order.
inline QString eventInsert(int rows)
{
    QString sql = QStringLiteral("INSERT INTO events(id, time, action, frontEnd, \"user\", port, device, status, "
                                 "changes, file, sha256, softwareVersion, counter, details, hash, uuid, station, role) "
                                 "VALUES");
    const QString row = QStringLiteral("(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    for (int i = 0; i < rows; ++i)
        sql += (i == 0 ? QStringLiteral(" ") : QStringLiteral(", ")) + row;
    return sql;
}

// The statements of one connection, prepared once: the generator runs them
// millions of times.
struct DeviceBook::Statements
{
    // A reader of an older file book prepares no insert: its events lack
    // version 4's columns until a writer lifts it.
    Statements(const QSqlDatabase &db, BookDriver driver, int version, bool prepare = true)
        : head(db), findDevice(db), addDevice(db), addEvent(db), setHead(db), imported(db), findEvent(db)
    {
        if (!prepare)
            return;
        const BookDialect &sql = dialect(driver);
        head.prepare(QLatin1String(sql.head));
        findDevice.prepare(
            QStringLiteral("SELECT id FROM devices WHERE serialNumber = ? AND manufacturer = ? AND deviceType = ?"));
        addDevice.prepare(QStringLiteral(
            "INSERT INTO devices(serialNumber, manufacturer, deviceType) VALUES(?, ?, ?) RETURNING id"));
        if (version >= 4)
            findEvent.prepare(QStringLiteral("SELECT id FROM events WHERE uuid = ?"));
        if (version >= 4)
            addEvent.prepare(eventInsert(1));
        setHead.prepare(QStringLiteral("INSERT INTO head(one, id, hash) VALUES(1, ?, ?) "
                                       "ON CONFLICT(one) DO UPDATE SET id = excluded.id, hash = excluded.hash"));
        // The key as an import event holds it (hex), or as a version 2 book
        // marked it.
        imported.prepare(QStringLiteral("SELECT 1 FROM events WHERE action = %1 AND %2 = ? "
                                        "UNION ALL SELECT 1 FROM imported WHERE key = ?")
                             .arg(int(BookAction::Import))
                             .arg(QLatin1String(sql.importedKey)));
    }
    // The first statement that did not prepare, if any.
    [[nodiscard]] QSqlError error() const
    {
        for (const QSqlQuery *q : {&head, &findDevice, &addDevice, &addEvent, &setHead, &imported, &findEvent}) {
            if (q->lastError().isValid())
                return q->lastError();
        }
        return {};
    }
    QSqlQuery head, findDevice, addDevice, addEvent, setHead, imported, findEvent;
};

inline bool bindAndRun(QSqlQuery &query, const QVariantList &values)
{
    // A null QString binds as NULL; every text column holds '' instead.
    for (int i = 0; i < values.size(); ++i) {
        const QVariant &value = values.at(i);
        const bool nullText = value.typeId() == QMetaType::QString && value.toString().isNull();
        query.bindValue(i, nullText ? QVariant(QStringLiteral("")) : value);
    }
    return query.exec();
}

} // namespace tavik7::book
