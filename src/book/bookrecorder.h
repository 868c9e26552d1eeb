#pragma once

#include <QHash>
#include <QString>

#include "bookevent.h"
#include "bookwriter.h"
#include "parameterrecord.h"

namespace tavik7::book {

// What both front ends call after each device action, so that the window and
// the command line record the same event from the same results. status is
// "ok" or the command line's error word (noAnswer, wrongAnswer, ...). Each
// event's result comes from the writer's written(); one that is not recorded
// (or a damaged book set aside) is shown with message(); the device action's
// own outcome stays what it was.
class BookRecorder
{
public:
    // writer: where the events go; not owned.
    BookRecorder(FrontEnd frontEnd, BookWriter *writer);

    // record: null when nothing was read; counter: the digits, empty if none.
    // details: a production job's read-back names its job and row.
    void recordRead(const QString &port, const ParameterRecord *record, const QString &counter,
                          const QString &status, const QJsonObject &details = {});
    // before: the device as read before the write; after: what was sent.
    // counterWritten: the counter went along (a turned direction), a change
    // even when its digits stay. details: what a failed write left the device
    // with ("parameters": "sent" or "written", "counterNotWrittenBack").
    void recordWrite(const QString &port, const ParameterRecord &before, const ParameterRecord &after,
                     const QString &counterBefore, const QString &counterAfter, const QString &status,
                     bool counterWritten = false, const QJsonObject &details = {});
    void recordSetCounter(const QString &port, const QString &counterBefore, const QString &counterAfter,
                                const QString &status);
    // verdict: the flash tool's own word (its exit, "ok", "failed", ...).
    void recordFlash(const QString &port, const QString &imageFile, const QString &verdict,
                           const QString &versionBefore, const QString &versionAfter, const QString &status);
    // notes: the report's note lines as printed.
    void recordReport(const QString &port, const QString &pdfFile, const QString &status,
                      const QStringList &notes = {});
    void recordBackup(const QString &port, const QString &backupFile, const QString &status);
    void recordRestore(const QString &port, const QString &backupFile, const ParameterRecord &before,
                             const ParameterRecord &after, const QString &status);
    void recordNamur(const QString &port, qint64 startMs, qint64 endMs, int telegrams, const QString &logFile,
                           const QString &status);

    // The device's identity for the port's later events, from a read that
    // is not an event of its own (a write's or a report's LP).
    void rememberIdentity(const QString &port, const ParameterRecord &record);

    // Empty when nothing needs saying.
    [[nodiscard]] QString message(const BookResult &result, int language) const;

private:
    struct Identity
    {
        QString manufacturer = QLatin1String(kUnknownIdentity);
        QString deviceType = QLatin1String(kUnknownIdentity);
        QString serialNumber = QLatin1String(kUnknownIdentity);
    };

    BookEvent newEvent(BookAction action, const QString &port, const QString &status) const;
    void recordEvent(const BookEvent &event);

    FrontEnd m_frontEnd;
    BookWriter *m_writer;
    QHash<QString, Identity> m_identities; // as last read on each port
};

// Each field whose settings-file value differs, under its JSON key, with the
// counter as "counter" when its digits differ.
[[nodiscard]] QList<BookChange> recordChanges(const ParameterRecord &before, const ParameterRecord &after,
                                              const QString &counterBefore = QString(),
                                              const QString &counterAfter = QString());

// Lower-case hex SHA-256 of a file's content; empty when it cannot be read.
[[nodiscard]] QString fileSha256(const QString &path);

} // namespace tavik7::book
