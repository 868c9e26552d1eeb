#include "planreview.h"

#include <QAction>
#include <QCoreApplication>
#include <QMessageBox>
#include <QSettings>

#include "messagecatalogue.h"
#include "messageboxes.h"
#include "parameterfields.h"
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

QString keyOf(int field)
{
    return QLatin1String(tavik7::kParameterFields[field].jsonKey);
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

bool PlanReview::start(const tavik7::ParameterRecord &target)
{
    m_target = target;
    // Heard after the window's own handlers, which show the read as any read.
    const QMetaObject::Connection read =
        connect(m_link, &tavik7::DeviceLink::finished, this, &PlanReview::onRead, Qt::SingleShotConnection);
    if (m_link->readSettings(DeviceResult::Sequence::Read))
        return true;
    disconnect(read);
    return false;
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
    QStringList lines;
    for (const tavik7::PlannedChange &change : m_plan.changes)
        lines.append(tavik7::fieldChangeText(keyOf(change.field), change.oldValue, change.newValue, language));
    if (m_plan.counterGoesAlong)
        lines.append(tavik7::catalogueText(MessageId::NotePlanCounterGoesAlong, language));
    if (!m_box)
        m_box = new QMessageBox(m_window.parent);
    if (!tavik7::boxes::askYesNo(*m_box, tavik7::catalogueText(MessageId::NotePlanQuestion, language),
                                 lines.join(QLatin1Char('\n')), language))
        return;
    const QMetaObject::Connection written =
        connect(m_link, &tavik7::DeviceLink::finished, this, &PlanReview::onWritten, Qt::SingleShotConnection);
    m_check = {};
    // The plan's check runs on the record the write sequence's own LP brought.
    const bool sent = m_link->startWriteSequence([this](const tavik7::ParameterRecord &now) {
        m_check = tavik7::checkPlanAgainst(m_plan, now);
        return m_check.stale() ? std::nullopt : std::optional(m_check.record);
    });
    if (sent)
        return;
    disconnect(written);
    if (m_link->portState() == tavik7::DeviceLink::PortState::Closed)
        m_window.show(MessageId::NoData, false);
}

void PlanReview::onWritten(const DeviceResult &result)
{
    if (result.status != DeviceResult::Status::Refused || !m_check.stale())
        return;
    const int field = m_check.staleField;
    m_window.show({MessageId::NotePlanStale,
                   {tavik7::fieldChangeText(keyOf(field), m_plan.value(field), m_check.valueNow, m_window.language())}},
                  true);
}
