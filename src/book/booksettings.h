#pragma once

#include <QString>

class QObject;
namespace tavik7 {
class DeviceLink;
}

#include "devicebook.h"

// What the window remembers of the book for its user, and the words the
// window and the command line share about it. No database code: the main
// program links this without Qt Sql.
namespace tavik7::book {

class DeviceBookKeeper;

// The book the window records into: TAVIK7_BOOK, else the location the user
// chose in the book window, else the default file.
[[nodiscard]] QString windowBookLocation();
[[nodiscard]] bool bookLocationFromEnvironment();
// Keeps text as the user's book location (empty: the default file again).
// Returns why it is refused, nothing kept: a server URL that does not parse,
// or one with a password, which the settings file would hold in clear.
[[nodiscard]] QString rememberBookLocation(const QString &text, int language);

// The window's keeper, a child of owner: it records through the writer
// process into windowBookLocation() and names windowTechnician().
DeviceBookKeeper *makeWindowKeeper(DeviceLink *link, QObject *owner);
// The keeper owner made records into windowBookLocation() and names
// windowTechnician() in its events from now on.
void followWindowChoice(QObject *owner);

// The technician's name in the window's events: TAVIK7_TECHNICIAN, else the
// user's setting.
[[nodiscard]] QString windowTechnician();
// Keeps name as the user's technician; returns why it is refused, nothing
// kept, when it is not one line of printable text.
[[nodiscard]] QString rememberTechnician(const QString &name, int language);

// The book window's and the PDF export's title: the book and where it is,
// any password masked.
[[nodiscard]] QString bookTitle(const QString &location, int language);
// "1 event waiting", "N events waiting": in the outbox for the book.
[[nodiscard]] QString waitingText(qint64 events, int language);
// A verify's outcome: the events checked and the first broken one, or why
// the book could not be read.
[[nodiscard]] QString brokenChainText(const VerifyResult &verified, int language);

} // namespace tavik7::book
