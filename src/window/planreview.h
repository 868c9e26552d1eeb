#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

#include "console.h"
#include "deviceplan.h"
#include "devicelink.h"
#include "devicereply.h"
#include "writesession.h"

class QAction;
class QMessageBox;
class QWidget;

// Write under review: the device read first, the plan of what the table
// would change shown as the table words it, and the write only after the
// technician confirms, through the write sequence with the plan's check of
// the device as that sequence reads it: a device changed meanwhile is
// refused as tavik7-cli apply refuses it.
class PlanReview : public QObject
{
    Q_OBJECT

public:
    struct Window
    {
        QWidget *parent;
        std::function<int()> language;
        std::function<void(const tavik7::ConsoleEntry &entry, bool append)> show;
        // The read refills the table: the technician's values go back into it.
        std::function<void(const tavik7::ParameterRecord &record)> showTable;
        // Starts the window's write session with plan; null when nothing was sent.
        std::function<tavik7::WriteSession *(const tavik7::DeviceLink::WritePlan &plan)> write;
    };

    PlanReview(tavik7::DeviceLink *link, Window window, QObject *parent = nullptr);

    // The menu's checkable action, remembered across runs; off by default.
    void watch(QAction *action);
    [[nodiscard]] bool isOn() const;

    // A write of target, reviewed once read, the device's read, has ended.
    void start(const tavik7::ParameterRecord &target, tavik7::DeviceReply *read);

private:
    void onRead(const tavik7::DeviceResult &result);
    void review(const tavik7::ParameterRecord &device, const QByteArray &counter);
    void onWritten(const tavik7::WriteEnd &end);

    tavik7::DeviceLink *m_link;
    Window m_window;
    QPointer<QAction> m_action;
    QMessageBox *m_box = nullptr;
    tavik7::ParameterRecord m_target{};
    tavik7::DevicePlan m_plan;
    tavik7::PlanCheck m_check; // the last check of the device the write read
};
