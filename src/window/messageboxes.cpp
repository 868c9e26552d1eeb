#include "messageboxes.h"

#include <QIcon>
#include <QPushButton>

#include "messagecatalogue.h"

namespace tavik7::boxes {

namespace {

QIcon programIcon()
{
    return QIcon(QStringLiteral(":/Images/klvicon.ico"));
}

} // namespace

int inform(QMessageBox &box, const QString &text, const QString &informativeText,
           QMessageBox::StandardButtons buttons)
{
    box.setText(text);
    box.setInformativeText(informativeText);
    box.setStandardButtons(buttons);
    box.setDefaultButton(QMessageBox::Ok);
    box.setIcon(QMessageBox::Information);
    box.setWindowIcon(programIcon());
    return box.exec();
}

bool askYesNo(QMessageBox &box, const QString &text, const QString &informativeText, int language)
{
    box.setText(text);
    box.setInformativeText(informativeText);
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::No);
    box.button(QMessageBox::Yes)->setText(catalogueText(MessageId::Yes, language));
    box.button(QMessageBox::No)->setText(catalogueText(MessageId::No, language));
    box.setIcon(QMessageBox::Question);
    box.setWindowIcon(programIcon());
    return box.exec() == QMessageBox::Yes;
}

bool offerAction(QMessageBox &box, const QString &text, const QString &informativeText, const QString &actionText)
{
    box.setText(text);
    box.setInformativeText(informativeText);
    box.setStandardButtons(QMessageBox::Cancel);
    QPushButton *action = box.addButton(actionText, QMessageBox::AcceptRole);
    box.setIcon(QMessageBox::Critical);
    box.setWindowIcon(programIcon());
    box.exec();
    const bool chosen = box.clickedButton() == action;
    // A shared box: its next user must not find this button in it.
    box.removeButton(action);
    delete action;
    return chosen;
}

void warn(const QString &text, const QString &styleSheet)
{
    QMessageBox box;
    box.setStyleSheet(styleSheet);
    box.setText(text);
    box.setStandardButtons(QMessageBox::Ok);
    box.setIcon(QMessageBox::Warning);
    box.exec();
}

} // namespace tavik7::boxes
