#pragma once

#include <QObject>

#include "deviceresult.h"

namespace tavik7 {

class DeviceReply;

// Whatever a front end asks of the device, one reply or a session of
// several: every front end shows its requests as they end and has the book
// take each reply before the job goes on, the same way for every job. Each
// job adds its own typed end.
class DeviceJob : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

signals:
    // Each request as it ends, for a front end to show.
    void stepFinished(const tavik7::DeviceResult &step);
    // Each reply as it ends, before the job goes on: the book's moment.
    void requestEnded(const tavik7::DeviceReply *reply);
    // A chain of requests has ended, as a front end words its end (a plan's
    // read, then its write); before the job's own typed end.
    void sequenceEnded(const tavik7::DeviceResult &result);

protected:
    // What start() answers. A job that sent nothing has said nothing and
    // goes at once: the caller keeps no pointer to it.
    bool started(bool sent)
    {
        if (!sent)
            deleteLater();
        return sent;
    }
    // reply's requests shown as this job's, and booked as they end.
    void forward(const DeviceReply *reply);
};

} // namespace tavik7
