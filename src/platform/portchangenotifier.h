#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>

class QFileSystemWatcher;

namespace tavik7::platform {

// Tells when the set of serial ports may have changed, so the port list is
// scanned only then: a scan of the system's ports costs milliseconds of the
// GUI thread, too much to repeat every second while the window idles.
// Linux: the device folders are watched ("/dev", "/dev/serial/by-id" and the
// folders of extra ports such as "/dev/pts"). Windows: the window system's
// device-change notice. Elsewhere, or when watching fails, isWatching() is
// false and the caller polls.
class PortChangeNotifier : public QObject
{
    Q_OBJECT

public:
    explicit PortChangeNotifier(QObject *parent = nullptr);
    ~PortChangeNotifier() override;

    // Starts watching; extraFolders are watched in addition (where they exist).
    void start(const QStringList &extraFolders);
    [[nodiscard]] bool isWatching() const { return watching; }

signals:
    // Several notices in a row (udev makes a node, then its links) come out
    // as one, a short moment after the last.
    void portsMayHaveChanged();

private:
    void notice();

    static constexpr int kSettleMs = 150;

    QTimer settleTimer;
    QFileSystemWatcher *watcher = nullptr;
    class NativeFilter;
    NativeFilter *nativeFilter = nullptr;
    bool watching = false;
};

} // namespace tavik7::platform
