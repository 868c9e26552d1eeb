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
    connect(link, &DeviceLink::parametersRead, this, &ChangeRecorder::onParametersRead);
    connect(link, &DeviceLink::counterRead, this, &ChangeRecorder::onCounterRead);
    connect(link, &DeviceLink::parametersWritten, this, &ChangeRecorder::onParametersWritten);
    connect(link, &DeviceLink::counterWritten, this, &ChangeRecorder::onCounterWritten);
    // A sequence that ends without its counter still wrote the parameters.
    connect(link, &DeviceLink::idle, this, &ChangeRecorder::flush);
}

void ChangeRecorder::setLanguage(int language)
{
    m_language = language;
}

void ChangeRecorder::onParametersRead(const ParameterRecord &record)
{
    m_known.record = record;
}

void ChangeRecorder::onCounterRead(const QString &answer)
{
    if (!m_known.record)
        return;
    const QString digits = answer.left(answer.indexOf(QLatin1String("\r\n")));
    m_known.counter = formatCounterText(digits, m_known.record->significance, m_known.record->softwareVersion);
}

void ChangeRecorder::onParametersWritten(const ParameterRecord &record)
{
    // With nothing read to compare with, every value written, the old ones unknown.
    const QList<FieldChange> changes = m_known.record ? parameterChanges(*m_known.record, record, m_language)
                                                      : parameterValues(record, m_language);
    const QString serialNumber = serialNumberOf(m_known.record ? *m_known.record : record);
    m_known.record = record;
    if (m_link->sequenceMode() == DeviceLink::WriteSequence) {
        m_held = Held{serialNumber, changes};
        return;
    }
    append(serialNumber, changes);
}

void ChangeRecorder::onCounterWritten(const QByteArray &digits, bool echoed)
{
    const ParameterRecord &device = m_known.record ? *m_known.record : m_link->parameterRecord();
    Held record = m_held.value_or(Held{serialNumberOf(device), {}});
    const bool parametersHeld = m_held.has_value();
    m_held.reset();
    if (echoed) {
        const QString counter =
            formatCounterText(QString::fromLatin1(digits), device.significance, device.softwareVersion);
        record.changes.append(counterChange(m_known.counter.value_or(QString()), counter));
        m_known.counter = counter;
    }
    if (echoed || parametersHeld)
        append(record.serialNumber, record.changes);
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
