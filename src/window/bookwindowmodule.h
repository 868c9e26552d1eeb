#pragma once

#include <QString>

class QObject;
class QWidget;

namespace tavik7 {
struct FileNameRequest;
}

// The device book's window is built into a module of its own, loaded the
// first time the technician opens it. Until then the program maps neither Qt
// Sql nor the book's queries: a window that never shows the book carried them
// from start-up on. This header is what the program and the module share.
namespace tavik7::bookwindow {

// What the module offers the main window; it finds the book window among the
// main window's children itself.
class Module
{
public:
    // Shows the book window of mainWindow, making it on first use.
    virtual void show(QWidget *mainWindow, int language) = 0;
    // Shows what was recorded since, when the book window is there.
    // reread false: only the count of events waiting, the book unread (an
    // event was just kept from a server that may not answer).
    virtual void refresh(QWidget *mainWindow, bool reread) = 0;
    virtual void setLanguage(QWidget *mainWindow, int language) = 0;

protected:
    ~Module() = default;
};

// What the module uses of the program: its way of asking for a file name, so
// that the book window's requests go through the program's hook.
struct Host
{
    QString (*askFileName)(const FileNameRequest &request);
    // The user chose another book location or technician: mainWindow's
    // events follow the choice from now on.
    void (*bookChosen)(QObject *mainWindow);
};

// The module's copy of Host::bookChosen; empty in the program itself.
inline void (*bookChosenHook)(QObject *mainWindow) = nullptr;

// The module's one exported function; the number changes with Module and Host.
inline constexpr char kEntryName[] = "tavik7BookWindowModule2";
using Entry = Module *(*)(const Host &host);

// The main window's side. show() loads the module on first use and says in a
// box when it cannot; refresh() and setLanguage() do nothing while it is not
// loaded, as there is no book window then.
void show(QWidget *mainWindow, int language);
void refresh(QWidget *mainWindow, bool reread = true);
void setLanguage(QWidget *mainWindow, int language);

// The module beside the running program, else the one named by
// TAVIK7_BOOKWINDOW (the build tree's tests); empty when there is none.
[[nodiscard]] QString moduleFile();

} // namespace tavik7::bookwindow
