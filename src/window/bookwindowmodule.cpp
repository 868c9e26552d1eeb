#include "bookwindowmodule.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>

#include "booksettings.h"
#include "filehooks.h"
#include "messageboxes.h"
#include "texttable.h"

namespace tavik7::bookwindow {

namespace {

// Loaded once and never unloaded: the book windows it makes live on with
// their main windows.
Module *loaded = nullptr;

// Empty when the module is loaded, else why it is not.
QString load()
{
    const QString file = moduleFile();
    if (file.isEmpty()) {
        return QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + QLatin1Char('/')
                                        + QLatin1String(TAVIK7_BOOKWINDOW_FILE));
    }
    QLibrary library(file);
    const auto entry = reinterpret_cast<Entry>(library.resolve(kEntryName));
    if (!entry)
        return library.errorString();
    loaded = entry({&askFileName, &book::followWindowChoice});
    return QString();
}

QString unloadableText(int language)
{
    return language == German ? QStringLiteral("Das Gerätebuch lässt sich nicht öffnen, sein Programmteil fehlt oder "
                                               "ist beschädigt:\n%1")
                              : QStringLiteral("The device book cannot be opened, its part of the program is missing "
                                               "or damaged:\n%1");
}

} // namespace

void show(QWidget *mainWindow, int language)
{
    if (!loaded) {
        const QString why = load();
        if (!loaded) {
            boxes::warn(unloadableText(language).arg(why), QStringLiteral("font: bold 14px;"));
            return;
        }
    }
    loaded->show(mainWindow, language);
}

void refresh(QWidget *mainWindow, bool reread)
{
    if (loaded)
        loaded->refresh(mainWindow, reread);
}

void setLanguage(QWidget *mainWindow, int language)
{
    if (loaded)
        loaded->setLanguage(mainWindow, language);
}

QString moduleFile()
{
    const QString beside =
        QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(TAVIK7_BOOKWINDOW_FILE);
    if (QFileInfo(beside).isFile())
        return beside;
    const QString named = qEnvironmentVariable("TAVIK7_BOOKWINDOW");
    return !named.isEmpty() && QFileInfo(named).isFile() ? named : QString();
}

} // namespace tavik7::bookwindow
