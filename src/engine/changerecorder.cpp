#include "changerecorder.h"

#include <QDateTime>
#include <QDir>

#include "countertext.h"

namespace tavik7 {

ChangeRecorder::ChangeRecorder(DeviceLink *link, const QString &historyPath, QObject *parent)
    : QObject(parent)
    , m_link(link)
    , m_historyPath(historyPath)
{
    // One record per reply, after its last answer: the parameters with the
    // counter written after them, or without it when that failed.
    connect(link, &DeviceLink::requestAsked, this, [this](DeviceReply *reply) {
        connect(reply, &DeviceReply::finished, this, [this, reply] { record(reply); });
    });
}

void ChangeRecorder::setLanguage(int language)
{
    m_language = language;
}

void ChangeRecorder::record(const DeviceReply *reply)
{
    const DeviceResult &result = reply->result();
    // The device as the write found it: its own read, else what was known.
    const std::optional<ParameterRecord> device = result.record ? result.record : reply->before().record;
    QList<FieldChange> changes;
    // With nothing read to compare with, every value written, the old ones unknown.
    if (result.written)
        changes = device ? parameterChanges(*device, *result.written, m_language)
                         : parameterValues(*result.written, m_language);
    // Only a counter the device repeated counts; parameters written before a
    // failed one are recorded all the same.
    if (result.counterWritten) {
        const std::optional<CounterReading> old = result.counter ? result.counter : reply->before().counter;
        changes.append(counterChange(old ? old->text : QString(), result.counterWritten->text));
    }
    if (!result.written && !result.counterWritten)
        return;
    const ParameterRecord named =
        device ? *device : result.written ? *result.written : m_link->memory()->record().value_or(ParameterRecord{});
    append(fieldText(named.serialNumber, kSerialNumberWidth), changes);
}

void ChangeRecorder::append(const QString &serialNumber, const QList<FieldChange> &changes)
{
    const QByteArray record =
        changeHistoryRecord(QDateTime::currentDateTime(), m_link->portName(), serialNumber, changes);
    if (appendChangeHistory(m_historyPath, record) || m_historyFile == HistoryFile::Unwritable)
        return;
    // Once: a complaint after every write would bury the messages that matter.
    m_historyFile = HistoryFile::Unwritable;
    emit historyUnwritable(QDir::toNativeSeparators(m_historyPath));
}

} // namespace tavik7
