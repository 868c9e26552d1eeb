#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

#include "console.h"
#include "devicelink.h"
#include "devicereply.h"

class QAction;
class QMessageBox;
class QWidget;
namespace tavik7 {
class DeviceJob;
}

// Write under review, as the window shows it: the plan session reads the
// device and plans what the table would change; the window shows the
// changes as the table words them and writes only after the technician
// confirms. A device changed meanwhile is refused as tavik7-cli apply
// refuses it.
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
        // Shows and books the read's and the write's steps as the window's own.
        std::function<void(tavik7::DeviceJob *job)> follow;
    };

    PlanReview(tavik7::DeviceLink *link, Window window, QObject *parent = nullptr);

    // The menu's checkable action, remembered across runs; off by default.
    void watch(QAction *action);
    [[nodiscard]] bool isOn() const;

    // A write of target, reviewed once read; false when nothing was sent.
    bool start(const tavik7::ParameterRecord &target);

private:
    tavik7::DeviceLink *m_link;
    Window m_window;
    QPointer<QAction> m_action;
    QMessageBox *m_box = nullptr;
};
