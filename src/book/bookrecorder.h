#pragma once

#include <QString>

#include "bookevent.h"
#include "bookwriter.h"
#include "parameterrecord.h"

namespace tavik7 {
class DeviceMemory;
}

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
    // writer: where the events go; memory: the device on the link's port,
    // which names the device for events that read none of their own (null:
    // such events name nobody). Neither is owned.
    BookRecorder(FrontEnd frontEnd, BookWriter *writer, const DeviceMemory *memory = nullptr);

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
                     bool counterWritten = false, const QJsonObject &details = {},
                     const ParameterRecord *named = nullptr);
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

    // Who works, in every event from now on; why, in the events of the
    // actions that change a device (write, counter, flash). Empty: not said.
    void setTechnician(const QString &name) { m_technician = name; }
    void setReason(const QString &reason) { m_reason = reason; }

    // Empty when nothing needs saying.
    [[nodiscard]] QString message(const BookResult &result, int language) const;

private:
    // device: the record the event read itself, else the memory's on that port.
    BookEvent newEvent(BookAction action, const QString &port, const QString &status,
                       const ParameterRecord *device = nullptr) const;
    void recordEvent(const BookEvent &event);

    FrontEnd m_frontEnd;
    BookWriter *m_writer;
    const DeviceMemory *m_memory;
    QString m_technician;
    QString m_reason;
};

// Each field whose settings-file value differs, under its JSON key, with the
// counter as "counter" when its digits differ.
[[nodiscard]] QList<BookChange> recordChanges(const ParameterRecord &before, const ParameterRecord &after,
                                              const QString &counterBefore = QString(),
                                              const QString &counterAfter = QString());

// Lower-case hex SHA-256 of a file's content; empty when it cannot be read.
[[nodiscard]] QString fileSha256(const QString &path);

} // namespace tavik7::book
