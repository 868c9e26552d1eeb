#pragma once

// What the window tests share: German texts, opening the window on a port and
// connecting, the simulator's command names, the output log, and a box
// answerer that clicks a scripted button per box.

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QComboBox>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <functional>
#include <initializer_list>
#include <memory>

#include "readfile.h"
#include "tavik7_bediensoftware.h"
#include "texttable.h"
#include "windowaccess.h"

inline QString germanMessage(int id)
{
    return tavik7::messageText(id, tavik7::German);
}

inline QString germanText(int id)
{
    return tavik7::text(id, tavik7::German);
}

inline QStringList germanMessages(std::initializer_list<int> ids)
{
    QStringList texts;
    for (int id : ids)
        texts.append(germanMessage(id));
    return texts;
}

// Commands as the simulator logs them, without the telegram's hex.
inline QStringList commands(const QStringList &received)
{
    QStringList names;
    for (const QString &line : received)
        names.append(line.section(QLatin1Char(' '), 1, 1));
    return names;
}

// A shown window that also lists port (if any) among its devices.
inline std::unique_ptr<TAVIK7_Bediensoftware> openWindowOn(const QString &port = QString())
{
    if (!port.isEmpty())
        qputenv("TAVIK7_EXTRA_PORTS", QFile::encodeName(port));
    auto window = std::make_unique<TAVIK7_Bediensoftware>();
    window->show();
    return window;
}

// Chooses port and clicks Connect; true when the window says it is connected.
inline bool connectWindow(QWidget &window, const QString &port)
{
    auto *devices = child<QComboBox>(window, "comboBoxDevice");
    const int index = devices->findText(port);
    if (index < 0)
        return false;
    devices->setCurrentIndex(index);
    child<QPushButton>(window, "pushButtonConnect")->click();
    return window.windowTitle() == QStringLiteral("TAVIK7 PC Software: ") + port;
}

// The combo box cells of the parameter table.
inline const char *const kCombos[] = {"comboBoxSignificance", "comboBoxTableBaudrate", "comboBoxTransmitMode",
                                      "comboBoxDirection", "comboBoxTelegramB", "comboBoxCrcStartValue"};

// Everything the table shows, for comparing before and after.
inline QStringList tableSnapshot(QWidget &w)
{
    QStringList shown;
    for (int row = 0; row < TAVIK7_Bediensoftware::ParameterRowCount; ++row) {
        const QStandardItem *item = tableModel(w)->item(row, 1);
        shown.append(item ? item->text() : QString());
    }
    for (const char *name : kCombos)
        shown.append(QString::number(child<QComboBox>(w, name)->currentIndex()));
    shown.append(child<QCheckBox>(w, "checkBoxLeadingPlus")->isChecked() ? "x" : "-");
    return shown;
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The first output log file under the per-user folder appData.
inline QByteArray outputLog(const QString &appData)
{
    return readFile(appData + QStringLiteral("/KLV TAVIK7 PC Software/Tavik7_Output_Logfile1.txt"));
}

// Answers the message boxes one after another, each with the button of the
// given caption, after holding it open for holdMs. onShown runs when a box
// has just appeared, to look at the window at that moment.
class BoxScript : public QObject
{
public:
    explicit BoxScript(QStringList captions, int holdMs = 0, std::function<void()> onShown = {})
        : captions(std::move(captions)), holdMs(holdMs), onShown(std::move(onShown))
    {
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, this, [this] { poll(); });
        timer.start();
    }

    QStringList texts;
    QStringList informativeTexts;
    QStringList buttonTexts;
    QStringList unexpected; // boxes beyond the script, or without the scripted button

    [[nodiscard]] int answered() const { return int(texts.size()); }

private:
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
            if (onShown)
                onShown();
        }
        if (seen.elapsed() < holdMs)
            return;
        lastBox = box;
        texts.append(box->text());
        informativeTexts.append(box->informativeText());
        QStringList shown;
        QAbstractButton *target = nullptr;
        const QString wanted = captions.value(answered() - 1);
        for (QAbstractButton *b : box->buttons()) {
            shown.append(caption(b));
            if (caption(b) == wanted)
                target = b;
        }
        buttonTexts.append(shown.join(QLatin1Char('|')));
        if (!target) {
            unexpected.append(box->text());
            target = box->buttons().value(0);
        }
        if (target)
            target->click();
        // The window's one message box may be shown again at once, before
        // any poll finds it closed: a box that closed is new when it reappears.
        if (!box->isVisible()) {
            seenBox = nullptr;
            lastBox = nullptr;
        }
    }

    QStringList captions;
    int holdMs;
    std::function<void()> onShown;
    QTimer timer;
    QElapsedTimer seen;
    QPointer<QMessageBox> seenBox;
    QPointer<QMessageBox> lastBox;
};
