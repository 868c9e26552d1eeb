// The module's side of the book window: what the main window reaches through
// bookwindowmodule.h once it has loaded this module.

#include "bookwindowmodule.h"
#include "devicebookwindow.h"
#include "filehooks.h"

namespace {

DeviceBookWindow *bookWindowOf(QWidget *mainWindow)
{
    return mainWindow->findChild<DeviceBookWindow *>(QString(), Qt::FindDirectChildrenOnly);
}

class BookWindows final : public tavik7::bookwindow::Module
{
public:
    void show(QWidget *mainWindow, int language) override { DeviceBookWindow::showFor(mainWindow, language); }

    void refresh(QWidget *mainWindow, bool reread) override
    {
        if (DeviceBookWindow *book = bookWindowOf(mainWindow))
            book->refresh(reread);
    }

    void setLanguage(QWidget *mainWindow, int language) override
    {
        if (DeviceBookWindow *book = bookWindowOf(mainWindow))
            book->setLanguage(language);
    }
};

} // namespace

extern "C" Q_DECL_EXPORT tavik7::bookwindow::Module *tavik7BookWindowModule2(const tavik7::bookwindow::Host &host)
{
    // This module's hook is its own: it leads to the program's, where tests set theirs.
    tavik7::fileNameHook = host.askFileName;
    tavik7::bookwindow::bookChosenHook = host.bookChosen;
    static BookWindows module;
    return &module;
}
