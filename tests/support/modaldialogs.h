#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

// Answers modal message boxes from a timer: a box runs its own event loop,
// so the test cannot click it from its own code path. holdMs keeps each box
// open that long first, as a technician reading it would: answers that
// arrive meanwhile must not be lost.
class ModalAnswerer : public QObject
{
public:
    // Every box gets this button (its first button where it has none).
    explicit ModalAnswerer(QMessageBox::StandardButton answer = QMessageBox::Ok, int holdMs = 0)
        : standing(answer), holdMs(holdMs)
    {
        start();
    }
    // Box n gets the button captioned captions[n] ("Ja", "OK", without "&").
    explicit ModalAnswerer(QStringList captions, int holdMs = 0)
        : captions(std::move(captions)), holdMs(holdMs)
    {
        start();
    }

    QStringList texts;
    QStringList informativeTexts;
    QStringList buttonTexts; // the captions of each box, joined by "|"
    QStringList unexpected;  // boxes beyond the script, or without the scripted button
    QString typed;           // into a box's line, where it has one, before the click

    [[nodiscard]] int answered() const { return int(texts.size()); }

private:
    void start()
    {
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, this, [this] { poll(); });
        timer.start();
    }

    static QString caption(const QAbstractButton *button) { return button->text().remove(QLatin1Char('&')); }

    void poll()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box) {
            seenBox = nullptr;
            lastBox = nullptr;
            return;
        }
        if (box == lastBox)
            return;
        if (box != seenBox) {
            seenBox = box;
            seen.start();
        }
        if (seen.elapsed() < holdMs)
            return;
        lastBox = box;
        texts.append(box->text());
        informativeTexts.append(box->informativeText());
        QStringList shown;
        for (QAbstractButton *b : box->buttons())
            shown.append(caption(b));
        buttonTexts.append(shown.join(QLatin1Char('|')));
        QAbstractButton *target = nullptr;
        if (captions.isEmpty()) {
            target = box->button(standing);
        } else {
            const QString wanted = captions.value(answered() - 1);
            for (QAbstractButton *b : box->buttons()) {
                if (caption(b) == wanted)
                    target = b;
            }
            if (!target)
                unexpected.append(box->text());
        }
        if (!target)
            target = box->buttons().value(0);
        if (auto *line = box->findChild<QLineEdit *>(); line && !typed.isEmpty())
            line->setText(typed);
        if (target)
            target->click();
        // The window's one message box may be shown again at once, before
        // any poll finds it closed: a box that closed is new when it reappears.
        if (!box->isVisible()) {
            seenBox = nullptr;
            lastBox = nullptr;
        }
    }

    QMessageBox::StandardButton standing = QMessageBox::NoButton;
    QStringList captions;
    int holdMs;
    QTimer timer;
    QElapsedTimer seen;
    QPointer<QMessageBox> seenBox;
    QPointer<QMessageBox> lastBox;
};

// True when no dialog is left open after a test step.
inline bool noModalLeft()
{
    return QApplication::activeModalWidget() == nullptr;
}
