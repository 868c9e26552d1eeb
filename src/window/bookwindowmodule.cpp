#include "bookwindowmodule.h"

#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QWidget>

#include "bookeventtext.h"
#include "booksettings.h"
#include "filehooks.h"
#include "messageboxes.h"
#include "platform.h"

namespace tavik7::bookwindow {

namespace {

// Loaded once and never unloaded: the book windows it makes live on with
// their main windows.
Entry entry = nullptr;

// Empty when the module is loaded, else why it is not.
QString load()
{
    const QString file = platform::programFile(QLatin1String(TAVIK7_BOOKWINDOW_FILE), "TAVIK7_BOOKWINDOW");
    if (!QFileInfo(file).isFile())
        return QDir::toNativeSeparators(file);
    QLibrary library(file);
    entry = reinterpret_cast<Entry>(library.resolve(kEntryName));
    return entry ? QString() : library.errorString();
}

// The form names the window it makes.
QWidget *bookWindowOf(QWidget *mainWindow)
{
    return mainWindow->findChild<QWidget *>(QStringLiteral("deviceBookWindow"), Qt::FindDirectChildrenOnly);
}

} // namespace

void show(QWidget *mainWindow, int language)
{
    QWidget *shown = bookWindowOf(mainWindow);
    if (shown) {
        QMetaObject::invokeMethod(shown, "refresh");
    } else {
        const QString why = entry ? QString() : load();
        if (!entry) {
            boxes::warn(book::bookText(book::BookText::ModuleMissing, language).arg(why));
            return;
        }
        shown = entry(mainWindow, language, {&askFileName, &book::followWindowChoice});
    }
    shown->show();
    shown->raise();
    shown->activateWindow();
}

void refresh(QWidget *mainWindow, bool reread)
{
    if (QWidget *book = bookWindowOf(mainWindow))
        QMetaObject::invokeMethod(book, "refresh", Q_ARG(bool, reread));
}

void setLanguage(QWidget *mainWindow, int language)
{
    if (QWidget *book = bookWindowOf(mainWindow))
        QMetaObject::invokeMethod(book, "setLanguage", Q_ARG(int, language));
}

} // namespace tavik7::bookwindow
