#pragma once

#include <QList>

#include "devicejob.h"
#include "devicelink.h"

namespace tavik7 {

// The reading an inspection report is made from, and the verdict on it.
struct ReportEnd
{
    DeviceResult read;
    QList<int> implausibleFields; // as the parameter sheet judges them
    bool counterPlausible = false;
    // Only plausible values go on a report.
    [[nodiscard]] bool plausible() const
    {
        return read.ok() && implausibleFields.isEmpty() && counterPlausible;
    }
};

// A report's reading: LP and L_ZLW, then the parameter sheet's verdict on
// what came. The page itself is the caller's, who has the means to draw it.
// The session deletes itself after finished().
class ReportSession : public DeviceJob
{
    Q_OBJECT

public:
    explicit ReportSession(DeviceLink *link, QObject *parent = nullptr);

    // False, with nothing sent, while the link takes no request.
    bool start();

signals:
    void finished(const tavik7::ReportEnd &end);

private:
    DeviceLink *m_link;
};

} // namespace tavik7

Q_DECLARE_METATYPE(tavik7::ReportEnd)
