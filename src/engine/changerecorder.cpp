#include "changerecorder.h"

#include <QDateTime>
#include <QDir>

#include "countertext.h"

namespace tavik7 {

namespace {

QString serialNumberOf(const ParameterRecord &record)
{
    return fieldText(record.serialNumber, kSerialNumberWidth);
}

} // namespace

ChangeRecorder::ChangeRecorder(DeviceLink *link, const QString &historyPath, QObject *parent)
    : QObject(parent)
    , m_link(link)
    , m_historyPath(historyPath)
{
    connect(link, &DeviceLink::requestFinished, this, &ChangeRecorder::onRequestFinished);
    // One record per sequence, after its last answer: the parameters with
    // the counter written after them, or without it when that failed.
    connect(link, &DeviceLink::finished, this, &ChangeRecorder::flush);
}

void ChangeRecorder::setLanguage(int language)
{
    m_language = language;
}

void ChangeRecorder::onRequestFinished(const DeviceResult &result)
{
    if (result.ok() && result.record)
        m_known.record = result.record;
    else if (result.ok() && result.counter && m_known.record)
        m_known.counter = result.counter->text;
    else if (result.ok() && result.written)
        onParametersWritten(*result.written);
    else if (result.ok() && result.counterWritten)
        onCounterWritten(*result.counterWritten);
}

void ChangeRecorder::onParametersWritten(const ParameterRecord &record)
{
    // With nothing read to compare with, every value written, the old ones unknown.
    const QList<FieldChange> changes = m_known.record ? parameterChanges(*m_known.record, record, m_language)
                                                      : parameterValues(record, m_language);
    m_held = Held{serialNumberOf(m_known.record ? *m_known.record : record), changes};
    m_known.record = record;
}

void ChangeRecorder::onCounterWritten(const CounterReading &echoed)
{
    // Only a counter the device repeated counts; parameters written before a
    // failed one are recorded all the same.
    const ParameterRecord &device = m_known.record ? *m_known.record : m_link->parameterRecord();
    if (!m_held)
        m_held = Held{serialNumberOf(device), {}};
    m_held->changes.append(counterChange(m_known.counter.value_or(QString()), echoed.text));
    m_known.counter = echoed.text;
}

void ChangeRecorder::flush()
{
    if (!m_held)
        return;
    const Held held = *m_held;
    m_held.reset();
    append(held.serialNumber, held.changes);
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
