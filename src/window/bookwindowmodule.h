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

// What the module uses of the program: its way of asking for a file name, so
// that the book window's requests go through the program's hook.
struct Host
{
    QString (*askFileName)(const FileNameRequest &request);
    // The user chose another book location or technician: mainWindow's
    // events follow the choice from now on.
    void (*bookChosen)(QObject *mainWindow);
};

// The module's one exported function: makes the book window of mainWindow.
// The number changes with its signature and with Host.
inline constexpr char kEntryName[] = "tavik7BookWindowModule3";
using Entry = QWidget *(*)(QWidget *mainWindow, int language, const Host &host);

// The main window's side. show() loads the module on first use and says in a
// box when it cannot; refresh() and setLanguage() do nothing while there is
// no book window. They reach it through its slots of the same names, so the
// program needs none of its code.
void show(QWidget *mainWindow, int language);
void refresh(QWidget *mainWindow, bool reread = true);
void setLanguage(QWidget *mainWindow, int language);

} // namespace tavik7::bookwindow
