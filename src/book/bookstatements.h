#pragma once

#include <QSqlError>
#include <QSqlQuery>
#include <QVariantList>

#include "devicebook.h"

namespace tavik7::book {

// The statements of one connection, prepared once: the generator runs them
// millions of times.
struct DeviceBook::Statements
{
    explicit Statements(const QSqlDatabase &db)
        : head(db), findDevice(db), addDevice(db), addEvent(db), updateDevice(db), setHead(db), imported(db),
          addImported(db)
    {
        head.prepare(QStringLiteral("SELECT id, hash FROM head"));
        findDevice.prepare(
            QStringLiteral("SELECT id FROM devices WHERE serialNumber = ? AND manufacturer = ? AND deviceType = ?"));
        addDevice.prepare(QStringLiteral("INSERT INTO devices(serialNumber, manufacturer, deviceType) VALUES(?, ?, ?)"));
        addEvent.prepare(QStringLiteral(
            "INSERT INTO events(id, time, action, frontEnd, user, port, device, status, changes, file, sha256, "
            "softwareVersion, counter, details, hash) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        // An imported event is older than what the device last showed.
        updateDevice.prepare(QStringLiteral(
            "UPDATE devices SET events = events + 1, lastSeen = max(lastSeen, ?), "
            "softwareVersion = CASE WHEN ? <> '' AND ? >= lastSeen THEN ? ELSE softwareVersion END, "
            "counter = CASE WHEN ? <> '' AND ? >= lastSeen THEN ? ELSE counter END WHERE id = ?"));
        setHead.prepare(QStringLiteral("INSERT OR REPLACE INTO head(one, id, hash) VALUES(1, ?, ?)"));
        imported.prepare(QStringLiteral("SELECT 1 FROM imported WHERE key = ?"));
        addImported.prepare(QStringLiteral("INSERT INTO imported(key) VALUES(?)"));
    }
    // The first statement that did not prepare, if any.
    [[nodiscard]] QSqlError error() const
    {
        for (const QSqlQuery *q : {&head, &findDevice, &addDevice, &addEvent, &updateDevice, &setHead, &imported,
                                   &addImported}) {
            if (q->lastError().isValid())
                return q->lastError();
        }
        return {};
    }
    QSqlQuery head, findDevice, addDevice, addEvent, updateDevice, setHead, imported, addImported;
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
