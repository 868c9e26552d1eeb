#include "messageboxes.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>

#include "bookevent.h"
#include "bookeventtext.h"
#include "messagecatalogue.h"

namespace tavik7::boxes {

int inform(QMessageBox &box, const QString &text, const QString &informativeText,
           QMessageBox::StandardButtons buttons)
{
    box.setText(text);
    box.setInformativeText(informativeText);
    box.setStandardButtons(buttons);
    box.setDefaultButton(QMessageBox::Ok);
    box.setIcon(QMessageBox::Information);
    return box.exec();
}

namespace {

void prepareYesNo(QMessageBox &box, const QString &text, const QString &informativeText, int language)
{
    box.setText(text);
    box.setInformativeText(informativeText);
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::No);
    box.button(QMessageBox::Yes)->setText(catalogueText(MessageId::Yes, language));
    box.button(QMessageBox::No)->setText(catalogueText(MessageId::No, language));
    box.setIcon(QMessageBox::Question);
}

} // namespace

bool askYesNo(QMessageBox &box, const QString &text, const QString &informativeText, int language)
{
    prepareYesNo(box, text, informativeText, language);
    return box.exec() == QMessageBox::Yes;
}

bool askYesNoWithReason(QMessageBox &box, const QString &text, const QString &informativeText, int language,
                        QString *reason)
{
    prepareYesNo(box, text, informativeText, language);
    // The box lays itself out anew whenever its texts or icon change: the
    // line goes in last, between the texts and the buttons.
    auto *grid = qobject_cast<QGridLayout *>(box.layout());
    auto *buttons = box.findChild<QDialogButtonBox *>();
    QLineEdit line(&box);
    line.setPlaceholderText(book::bookText(book::BookText::ReasonHint, language));
    if (grid && buttons) {
        int row = 0, column = 0, rows = 0, columns = 0;
        grid->getItemPosition(grid->indexOf(buttons), &row, &column, &rows, &columns);
        grid->removeWidget(buttons);
        grid->addWidget(&line, row, column, 1, columns);
        grid->addWidget(buttons, row + 1, column, rows, columns);
    }
    QAbstractButton *yes = box.button(QMessageBox::Yes);
    QObject::connect(&line, &QLineEdit::textChanged, yes,
                     [yes](const QString &text) { yes->setEnabled(book::isAuditText(text)); });
    const bool chosen = box.exec() == QMessageBox::Yes;
    *reason = chosen ? line.text().trimmed() : QString();
    return chosen;
}

bool offerAction(QMessageBox &box, const QString &text, const QString &informativeText, const QString &actionText)
{
    box.setText(text);
    box.setInformativeText(informativeText);
    box.setStandardButtons(QMessageBox::Cancel);
    QPushButton *action = box.addButton(actionText, QMessageBox::AcceptRole);
    box.setIcon(QMessageBox::Critical);
    box.exec();
    const bool chosen = box.clickedButton() == action;
    // A shared box: its next user must not find this button in it.
    box.removeButton(action);
    delete action;
    return chosen;
}

void warn(const QString &text)
{
    QMessageBox box;
    box.setStyleSheet(QString::fromLatin1(kNoticeStyleSheet));
    box.setText(text);
    box.setStandardButtons(QMessageBox::Ok);
    box.setIcon(QMessageBox::Warning);
    box.exec();
}

} // namespace tavik7::boxes
