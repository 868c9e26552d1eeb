#include "historypdfexport.h"

#include <QThread>

#include <memory>

#include "regularfile.h"

HistoryPdfExport::HistoryPdfExport(QObject *parent)
    : QObject(parent)
{
}

HistoryPdfExport::~HistoryPdfExport()
{
    if (m_thread) {
        m_thread->disconnect(this);
        m_thread->wait();
        delete m_thread;
    }
}

bool HistoryPdfExport::start(const HistoryTable &table, const QString &path)
{
    if (m_thread || tavik7::platform::outputTarget(path) != tavik7::platform::OutputTarget::File)
        return false;
    auto pdf = std::make_shared<QByteArray>();
    m_thread = QThread::create([table, pdf] { *pdf = historyPdf(table); });
    connect(m_thread, &QThread::finished, this, [this, path, pdf] {
        m_thread->deleteLater();
        m_thread = nullptr;
        emit finished(path, !pdf->isEmpty() && tavik7::platform::saveWholeFile(path, *pdf));
    });
    m_thread->start();
    return true;
}
