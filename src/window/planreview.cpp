#include "planreview.h"

#include <QAction>
#include <QCoreApplication>
#include <QMessageBox>
#include <QSettings>

#include "messagecatalogue.h"
#include "messageboxes.h"
#include "platform.h"

using tavik7::DeviceResult;
using tavik7::MessageId;

namespace {

constexpr char kReviewKey[] = "write/reviewBeforeWriting";

// Beside the logs in the per-user folder, so that a test's folder holds its own.
QString settingsPath()
{
    return tavik7::platform::appDataFolder() + QStringLiteral("/TAVIK7 PC Software.ini");
}

} // namespace

PlanReview::PlanReview(tavik7::DeviceLink *link, Window window, QObject *parent)
    : QObject(parent)
    , m_link(link)
    , m_window(std::move(window))
{
}

void PlanReview::watch(QAction *action)
{
    m_action = action;
    action->setCheckable(true);
    action->setChecked(QSettings(settingsPath(), QSettings::IniFormat).value(QLatin1String(kReviewKey)).toBool());
    connect(action, &QAction::toggled, this, [](bool on) {
        QSettings(settingsPath(), QSettings::IniFormat).setValue(QLatin1String(kReviewKey), on);
    });
}

bool PlanReview::isOn() const
{
    return m_action && m_action->isChecked();
}

void PlanReview::start(const tavik7::ParameterRecord &target, tavik7::DeviceReply *read)
{
    m_target = target;
    // Heard after the window's own handlers, which show the read as any read.
    connect(read, &tavik7::DeviceReply::finished, this, &PlanReview::onRead);
}

void PlanReview::onRead(const DeviceResult &result)
{
    if (!result.ok() || !result.record || !result.counter)
        return; // the window has said why
    const tavik7::ParameterRecord device = *result.record;
    const QByteArray counter = result.counter->digits;
    // Not from inside the port's slot: no answer is read while the box is open.
    QMetaObject::invokeMethod(this, [this, device, counter] { review(device, counter); }, Qt::QueuedConnection);
}

void PlanReview::review(const tavik7::ParameterRecord &device, const QByteArray &counter)
{
    m_window.showTable(m_target);
    m_plan = tavik7::makeDevicePlan(device, QString::fromLatin1(counter), m_target, m_link->portName(),
                                    QCoreApplication::applicationVersion());
    const int language = m_window.language();
    if (m_plan.changes.isEmpty()) {
        m_window.show(MessageId::NotePlanNoChange, true);
        return;
    }
    if (!m_box)
        m_box = new QMessageBox(m_window.parent);
    if (!tavik7::boxes::askYesNo(*m_box, tavik7::catalogueText(MessageId::NotePlanQuestion, language),
                                 tavik7::planChangeLines(m_plan, language).join(QLatin1Char('\n')), language))
        return;
    m_check = {};
    // The plan's check runs on the record the write session's own LP brought.
    tavik7::WriteSession *session = m_window.write([this](const tavik7::ParameterRecord &now) {
        m_check = tavik7::checkPlanAgainst(m_plan, now);
        return m_check.stale() ? std::nullopt : std::optional(m_check.record);
    });
    if (session)
        connect(session, &tavik7::WriteSession::finished, this, &PlanReview::onWritten);
    else if (m_link->portState() == tavik7::DeviceLink::PortState::Closed)
        m_window.show(MessageId::NoData, false);
}

void PlanReview::onWritten(const tavik7::WriteEnd &end)
{
    if (end.status != tavik7::WriteEnd::Status::Refused || !m_check.stale())
        return;
    m_window.show({MessageId::NotePlanStale, {tavik7::staleChangeText(m_plan, m_check, m_window.language())}}, true);
}
