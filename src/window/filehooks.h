#pragma once

#include <QDesktopServices>
#include <QFileDialog>
#include <QString>
#include <QUrl>

#include <functional>

// The two points where the window hands over to the desktop: asking for a file
// name and opening a finished file in its viewer. Tests set the hooks so that
// no dialog waits for a user and no viewer starts; an empty hook means the
// standard behaviour.
namespace tavik7 {

struct FileNameRequest
{
    enum Mode { Open, Save };
    Mode mode = Open;
    QWidget *parent = nullptr;
    QString caption;
    QString startName; // folder, or folder and suggested name
    QString filter;
};

inline std::function<QString(const FileNameRequest &)> fileNameHook;
inline std::function<void(const QUrl &)> openUrlHook;

// The chosen name, or an empty one when the user cancelled.
inline QString askFileName(const FileNameRequest &request)
{
    if (fileNameHook)
        return fileNameHook(request);
    if (request.mode == FileNameRequest::Save)
        return QFileDialog::getSaveFileName(request.parent, request.caption, request.startName, request.filter);
    return QFileDialog::getOpenFileName(request.parent, request.caption, request.startName, request.filter);
}

inline void openInViewer(const QString &path)
{
    const QUrl url = QUrl::fromLocalFile(path);
    if (openUrlHook)
        openUrlHook(url);
    else
        QDesktopServices::openUrl(url);
}

} // namespace tavik7
