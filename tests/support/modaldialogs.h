#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QTimer>

// Answers the next modal message box from a timer: message boxes run their
// own event loop, so the test cannot click them from its own code path.
// holdMs keeps each box open that long first, as a technician reading it
// would: answers that arrive meanwhile must not be lost.
class ModalAnswerer : public QObject
{
public:
    explicit ModalAnswerer(QMessageBox::StandardButton answer = QMessageBox::Ok, int holdMs = 0)
        : answer(answer), holdMs(holdMs)
    {
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, this, [this] { poll(); });
        timer.start();
    }

    // Texts of the boxes answered so far.
    QStringList texts;
    QStringList informativeTexts;
    QStringList buttonTexts;

    [[nodiscard]] int answered() const { return int(texts.size()); }

private:
    void poll()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box) {
            // The window's one message box is reused: once closed, its next
            // showing is a new box to answer.
            lastBox = nullptr;
            seenBox = nullptr;
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
        QStringList captions;
        const auto buttons = box->buttons();
        for (QAbstractButton *b : buttons)
            captions.append(b->text());
        buttonTexts.append(captions.join(QLatin1Char('|')));
        QAbstractButton *button = box->button(answer);
        if (!button)
            button = box->buttons().value(0);
        if (button)
            button->click();
        // The window's one message box may be shown again at once (one box
        // leading to the next): once this showing has closed, the next is new.
        if (!box->isVisible()) {
            lastBox = nullptr;
            seenBox = nullptr;
        }
    }

    QMessageBox::StandardButton answer;
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
