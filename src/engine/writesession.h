#pragma once

#include <QList>

#include <optional>

#include "devicejob.h"
#include "devicelink.h"

namespace tavik7 {

// How a write session ended, with all a front end or the book needs to say it.
struct WriteEnd
{
    enum class Status {
        Written,         // acknowledged, and as read back when asked
        Refused,         // the plan refused the device's record: nothing was written
        Failed,          // a request failed; failure() says which and how
        ReadBackDiffers, // acknowledged, but the device holds other values
    };
    Status status = Status::Failed;
    // The write sequence: the device as its LP read it, what went out, what
    // the device acknowledged.
    DeviceResult write;
    // The read after the write, when one was asked for and the write held.
    std::optional<DeviceResult> readBack;
    // The fields the write changed, against the device as read before it.
    QList<int> changed;
    // The fields the read-back holds otherwise than written.
    QList<int> differing;

    // The request whose failure ended the session.
    [[nodiscard]] const DeviceResult &failure() const
    {
        return readBack && !readBack->ok() ? *readBack : write;
    }
};

// The write a technician or a script asks for: read the device (LP), plan
// over its record, the write sequence with the counter written back when
// the direction turns, then, when asked, read back and compare. One end,
// typed; the session deletes itself after finished().
class WriteSession : public DeviceJob
{
    Q_OBJECT

public:
    explicit WriteSession(DeviceLink *link, QObject *parent = nullptr);

    // False, with nothing sent, while the link takes no request.
    bool start(const DeviceLink::WritePlan &plan, bool readBack);
    // The table's record as it stands, whatever the device holds.
    bool start(const ParameterRecord &record, bool readBack);
    // Until the write has ended: a run being interrupted leaves it out.
    void setReadBack(bool readBack) { m_readBack = readBack; }

signals:
    // The write sequence has ended, before any read-back.
    void written(const tavik7::WriteEnd &end);
    void finished(const tavik7::WriteEnd &end);

private:
    void onWritten(const DeviceReply *reply);
    void onReadBack(const DeviceReply *reply);
    void end(WriteEnd::Status status);

    DeviceLink *m_link;
    bool m_readBack = false;
    WriteEnd m_end;
};

} // namespace tavik7

Q_DECLARE_METATYPE(tavik7::WriteEnd)
