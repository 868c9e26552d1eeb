#pragma once

#include <QObject>
#include <QString>

#include "historypdf.h"

class QThread;

// One history PDF at a time, laid out on a thread of its own (thousands of
// events take seconds, and the window answers meanwhile), then saved whole
// under its name. A run still under way when the job goes is let finish:
// it paints into memory only.
class HistoryPdfExport : public QObject
{
    Q_OBJECT

public:
    explicit HistoryPdfExport(QObject *parent = nullptr);
    ~HistoryPdfExport() override;

    // False, with nothing started, while another export runs or when path
    // names no regular file.
    bool start(const HistoryTable &table, const QString &path);
    [[nodiscard]] bool running() const { return m_thread != nullptr; }

signals:
    // The file is complete under path, or was not written at all.
    void finished(const QString &path, bool written);

private:
    QThread *m_thread = nullptr;
};
