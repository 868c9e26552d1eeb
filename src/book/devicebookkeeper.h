#pragma once

#include <QJsonValue>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

#include "bookrecorder.h"
#include "deviceresult.h"
#include "flashrun.h"

namespace tavik7 {
class DeviceJob;
class DeviceLink;
class DeviceReply;
struct DeviceState;
class NamurListener;
struct BackupResult;
} // namespace tavik7

namespace tavik7::book {

// The word a device result is recorded with: "ok" or the error word of the
// command line's JSON lines, as the status table gives it.
[[nodiscard]] QString deviceStatusWord(DeviceResult::Status status);
[[nodiscard]] QString flashStatusWord(FlashRun::Verdict verdict);

// Puts every device action of one front end into the device book. It hears
// nothing by itself: whoever asked the device, or ran the session, tells it
// each end through the calls below before telling the user, so that with a
// writer in this process an action reported as done is in the book by then.
class DeviceBookKeeper : public QObject
{
    Q_OBJECT

public:
    // The keeper takes writer over as its child. link: whose port and memory
    // the events name; the keeper does not listen to it.
    DeviceBookKeeper(DeviceLink *link, FrontEnd frontEnd, BookWriter *writer, QObject *parent = nullptr);

    // The keeper owner made, for the places that record what the owner does itself.
    [[nodiscard]] static DeviceBookKeeper *of(const QObject *owner);

    void setLanguage(int language) { m_language = language; }
    // A reply's end, as its purpose makes it an event: a read, a write, a
    // counter set. A read that only prepares another action (a write's
    // read-back, a flash's backup, a report) names the device for that
    // action's event instead, unless it failed.
    void recordReply(const DeviceReply *reply);
    // Every reply of job, as it ends and before the job goes on.
    void follow(const DeviceJob *job);
    // before: the device as known when the request went out.
    void recordRead(const QString &port, const DeviceResult &result, const DeviceState &before);
    void recordWrite(const QString &port, const DeviceResult &result, const DeviceState &before);
    void recordCounter(const QString &port, const DeviceResult &result, const DeviceState &before);
    // Backups a flash run writes; flash verdicts come through recordFlash().
    void watchFlashRun(FlashRun *run);
    // One NAMUR event per listening, from its start to its stop.
    void watchNamurListener(NamurListener *listener);
    // The session ends as a failure (a device gone silent): said before the stop.
    void setNamurStatus(const QString &status) { m_namur.status = status; }

    // A plan's write: its event names the plan by its hash and waits for the
    // read-back that follows, to hold the values read back (or how that read
    // ended); releaseWrite() records a write still waiting as it stands.
    void setPlanHash(const QString &hash) { m_planHash = hash; }
    // The plan's write refused: the device no longer held this field as planned.
    void setPlanStale(const QString &fieldKey) { m_planStale = fieldKey; }
    // A production job's write and read-back: both name the job's hash and
    // row, the read-back is booked at once with the values it found.
    void setJobRow(const QString &jobHash, int row) 
    {
        m_jobHash = jobHash;
        m_jobRow = row;
    }
    void releaseWrite();

    void recordFlash(const QString &imageFile, FlashRun::Verdict verdict);
    // pdfFile: empty when the page went elsewhere than a file.
    void recordReport(const QString &pdfFile, const QString &status = QLatin1String(kStatusOk),
                      const QStringList &notes = {});
    // A report page made from a plausible reading: in pdfFile, or "badFile"
    // when it could not be written there.
    void recordReportWritten(const QString &pdfFile, bool written, const QStringList &notes = {});
    void recordBackup(const BackupResult &result);
    // A backup's values loaded into what is to be written to the device.
    void recordRestore(const QString &backupFile, const ParameterRecord &before, const ParameterRecord &after);

    [[nodiscard]] BookRecorder &recorder() { return m_recorder; }
    [[nodiscard]] BookWriter *writer() const { return m_writer; }

signals:
    // After each event the book took.
    void recorded(qint64 eventId);
    // The book missed an event, or set a damaged file aside: said once per
    // reason, not once per event, until the book takes events again.
    void bookNotice(const QString &message);
    // The same notice in both languages, for a console that re-renders its
    // lines when the language changes.
    void bookNoticeWords(const QString &german, const QString &english);
    // After each event the book missed: why, as bookStatusWord() says it;
    // kept: the event waits in the outbox for the server.
    void missed(const QString &reason, bool kept);

private:
    void recordWriteWith(const QString &port, const DeviceResult &result, const DeviceState &before,
                         const QJsonValue &readBack);
    void onNamurStopped();
    void take(const BookResult &result);
    [[nodiscard]] QString port();

    DeviceLink *m_link;
    BookWriter *m_writer;
    BookRecorder m_recorder;
    QString m_planHash;
    QString m_planStale;
    QString m_jobHash;
    int m_jobRow = 0;
    std::function<void(const QJsonValue &readBack)> m_writeAwaitingReadBack;
    int m_language = 1;
    QString m_lastNotice;
    QString m_lastPort; // a flash closes the link, the event still names its port
    struct Namur
    {
        qint64 startMs = 0;
        int telegrams = 0;
        QString logFile;
        QString status;
    } m_namur;
};

} // namespace tavik7::book
