#pragma once

#include <QMessageBox>
#include <QString>

// The program's modal boxes. A box may be shared and reused: each call sets
// everything the technician sees in it, so nothing from an earlier use shows.
namespace tavik7::boxes {

// Information icon, Ok the default, the program's icon; the button clicked.
int inform(QMessageBox &box, const QString &text, const QString &informativeText = {},
           QMessageBox::StandardButtons buttons = QMessageBox::Ok);

// Yes and No in the language, No the default, the question icon; true for Yes.
[[nodiscard]] bool askYesNo(QMessageBox &box, const QString &text, const QString &informativeText, int language);

// askYesNo with a line below it for why, as the device book keeps it; Yes
// only while the line holds text an event may hold. reason: the line's text.
[[nodiscard]] bool askYesNoWithReason(QMessageBox &box, const QString &text, const QString &informativeText,
                                      int language, QString *reason);

// Critical icon, Cancel and one action button of its own; true when the
// action was chosen. The button is gone again afterwards.
[[nodiscard]] bool offerAction(QMessageBox &box, const QString &text, const QString &informativeText,
                               const QString &actionText);

// The face of the program's own notices.
inline constexpr char kNoticeStyleSheet[] = "font: bold 14px;";

// A box of its own in the notices' face, with the warning icon and Ok.
void warn(const QString &text);

} // namespace tavik7::boxes
