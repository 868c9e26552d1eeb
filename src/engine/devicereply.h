#pragma once

#include "devicejob.h"
#include "devicememory.h"

namespace tavik7 {

class DeviceLink;

// One request, or one chain of them, asked of the device link: it knows what
// it was asked for and ends once, so that whoever asked hears its own end
// and nobody else's. The link owns it and deletes it later, after
// finished(); keep no pointer to it past that signal.
class DeviceReply : public DeviceJob
{
    Q_OBJECT

public:
    // Why the request was made: the same read names the device for a write's
    // check or a backup, and is an action of its own when the technician asks.
    enum class Purpose { Read, Write, Counter, Verify, Backup, Report, Wizard };
    Q_ENUM(Purpose)

    // What a read button's sequence number asks for, as the window's three
    // buttons pass it: 2 the write, 5 the report, any other the read.
    [[nodiscard]] static Purpose purposeOfButton(int sequenceMode);

    [[nodiscard]] Purpose purpose() const { return m_purpose; }
    [[nodiscard]] bool isFinished() const { return m_finished; }
    // The end so far; the whole chain's once finished.
    [[nodiscard]] const DeviceResult &result() const { return m_result; }
    // The device as this program knew it when the first byte went out.
    [[nodiscard]] const DeviceState &before() const { return m_before; }

signals:
    // Once: what was read and written, with the last request's status.
    void finished(const tavik7::DeviceResult &result);

private:
    friend class DeviceLink;
    DeviceReply(Purpose purpose, DeviceLink *link);
    void finish(const DeviceResult &result);

    Purpose m_purpose;
    bool m_finished = false;
    DeviceResult m_result;
    DeviceState m_before;
};

} // namespace tavik7
