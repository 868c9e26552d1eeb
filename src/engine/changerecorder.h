#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

#include "changehistory.h"
#include "devicelink.h"
#include "parameterrecord.h"

namespace tavik7 {

// Keeps what a device holds as far as this program has seen (read or
// acknowledged) and writes each acknowledged write to the change history:
// the parameters of a write sequence together with the counter written
// after them, as one record.
class ChangeRecorder : public QObject
{
    Q_OBJECT

public:
    ChangeRecorder(DeviceLink *link, const QString &historyPath, QObject *parent = nullptr);

    // The language of the combo box values in the history.
    void setLanguage(int language);

    [[nodiscard]] const std::optional<ParameterRecord> &deviceRecord() const { return m_known.record; }
    // The counter as the counter entry shows it (with its comma).
    [[nodiscard]] const std::optional<QString> &deviceCounter() const { return m_known.counter; }

signals:
    // Once per recorder: the device was written all the same.
    void historyUnwritable(const QString &path);

private:
    void onRequestFinished(const DeviceResult &result);
    void onParametersWritten(const ParameterRecord &record);
    void onCounterWritten(const CounterReading &echoed);
    void flush();
    void append(const QString &serialNumber, const QList<FieldChange> &changes);

    enum class HistoryFile { Unknown, Unwritable };

    DeviceLink *m_link;
    QString m_historyPath;
    int m_language = 0;
    HistoryFile m_historyFile = HistoryFile::Unknown;
    struct Known
    {
        std::optional<ParameterRecord> record;
        std::optional<QString> counter;
    } m_known;
    // Changes acknowledged in the running sequence, held until its end.
    struct Held
    {
        QString serialNumber;
        QList<FieldChange> changes;
    };
    std::optional<Held> m_held;
};

} // namespace tavik7
