#include "portchangenotifier.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QFileSystemWatcher>

#ifdef Q_OS_WIN
#include <QAbstractNativeEventFilter>
#include <qt_windows.h>
#endif

namespace tavik7::platform {

#ifdef Q_OS_WIN
// USB adapters coming and going are broadcast to every top-level window as
// WM_DEVICECHANGE.
class PortChangeNotifier::NativeFilter : public QAbstractNativeEventFilter
{
public:
    explicit NativeFilter(PortChangeNotifier *owner)
        : owner(owner)
    {
    }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override
    {
        if (eventType == "windows_generic_MSG" && static_cast<MSG *>(message)->message == WM_DEVICECHANGE)
            owner->notice();
        return false;
    }

private:
    PortChangeNotifier *owner;
};
#else
class PortChangeNotifier::NativeFilter
{
};
#endif

PortChangeNotifier::PortChangeNotifier(QObject *parent)
    : QObject(parent)
{
    settleTimer.setSingleShot(true);
    settleTimer.setInterval(kSettleMs);
    connect(&settleTimer, &QTimer::timeout, this, &PortChangeNotifier::portsMayHaveChanged);
}

PortChangeNotifier::~PortChangeNotifier()
{
#ifdef Q_OS_WIN
    if (nativeFilter && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(nativeFilter);
#endif
    delete nativeFilter;
}

void PortChangeNotifier::start(const QStringList &extraFolders)
{
#ifdef Q_OS_WIN
    Q_UNUSED(extraFolders);
    if (!nativeFilter && QCoreApplication::instance()) {
        nativeFilter = new NativeFilter(this);
        QCoreApplication::instance()->installNativeEventFilter(nativeFilter);
    }
    watching = nativeFilter != nullptr;
#elif defined(Q_OS_LINUX)
    if (!watcher) {
        watcher = new QFileSystemWatcher(this);
        connect(watcher, &QFileSystemWatcher::directoryChanged, this, &PortChangeNotifier::notice);
    }
    QStringList folders{QStringLiteral("/dev"), QStringLiteral("/dev/serial/by-id")};
    folders += extraFolders;
    for (const QString &folder : std::as_const(folders)) {
        if (QFileInfo(folder).isDir() && !watcher->directories().contains(folder))
            watcher->addPath(folder);
    }
    watching = watcher->directories().contains(QStringLiteral("/dev"));
#else
    Q_UNUSED(extraFolders);
    watching = false;
#endif
}

void PortChangeNotifier::notice()
{
    settleTimer.start();
}

} // namespace tavik7::platform
