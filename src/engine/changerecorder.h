#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include "changehistory.h"
#include "devicelink.h"

namespace tavik7 {

// Writes each acknowledged write to the change history: the parameters of a
// write sequence together with the counter written after them, as one
// record, against the device as the link's memory held it before.
class ChangeRecorder : public QObject
{
    Q_OBJECT

public:
    ChangeRecorder(DeviceLink *link, const QString &historyPath, QObject *parent = nullptr);

    // The language of the combo box values in the history.
    void setLanguage(int language);

signals:
    // Once per recorder: the device was written all the same.
    void historyUnwritable(const QString &path);

private:
    void record(const DeviceReply *reply);
    void append(const QString &serialNumber, const QList<FieldChange> &changes);

    enum class HistoryFile { Unknown, Unwritable };

    DeviceLink *m_link;
    QString m_historyPath;
    int m_language = 0;
    HistoryFile m_historyFile = HistoryFile::Unknown;
};

} // namespace tavik7
