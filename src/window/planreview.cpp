#include "planreview.h"

#include <QAction>
#include <QCoreApplication>
#include <QMessageBox>

#include "devicebookkeeper.h"
#include "messagecatalogue.h"
#include "messageboxes.h"
#include "plansession.h"
#include "platform.h"

using tavik7::MessageId;

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
    action->setChecked(tavik7::platform::reviewBeforeWriting());
    connect(action, &QAction::toggled, this, &tavik7::platform::rememberReviewBeforeWriting);
}

bool PlanReview::isOn() const
{
    return m_action && m_action->isChecked();
}

bool PlanReview::start(const tavik7::ParameterRecord &target)
{
    auto *session = new tavik7::PlanSession(m_link, this);
    m_window.follow(session);
    connect(session, &tavik7::PlanSession::planned, this, [this, session, target](const tavik7::DevicePlan &plan) {
        m_window.showTable(target);
        if (plan.changes.isEmpty())
            return;
        if (!m_box)
            m_box = new QMessageBox(m_window.parent);
        const int language = m_window.language();
        QString reason;
        const bool yes = tavik7::boxes::askYesNoWithReason(
            *m_box, tavik7::catalogueText(MessageId::NotePlanQuestion, language),
            tavik7::planChangeLines(plan, language).join(QLatin1Char('\n')), language, &reason);
        // For the write's event, as the counter's confirmation gives its own.
        tavik7::book::DeviceBookKeeper::of(m_window.parent)->recorder().setReason(reason);
        session->answer(yes);
    });
    connect(session, &tavik7::PlanSession::finished, this, [this](const tavik7::PlanEnd &end) {
        const tavik7::PlanEndNote note = tavik7::planEndNote(end, m_link->portState(), m_window.language());
        if (note.entry.id != MessageId::None)
            m_window.show(note.entry, note.append);
    });
    return session->review(target, QCoreApplication::applicationVersion());
}
