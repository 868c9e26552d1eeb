#pragma once

// What the window tests share: German texts, opening the window on a port and
// connecting, the output log, and with the simulator a fixture holding the
// per-user folder, device and window.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "modaldialogs.h"
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

inline QStringList germanMessages(const QList<int> &ids)
{
    QStringList texts;
    for (int id : ids)
        texts.append(germanMessage(id));
    return texts;
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

// The window's device link, to shorten the time-outs a test waits out.
inline tavik7::DeviceLink *deviceLinkOf(QWidget &window)
{
    return window.findChild<tavik7::DeviceLink *>();
}

// What the cell editor does when the user commits an edit.
inline bool editCell(QWidget &window, int row, const QString &text)
{
    return tableModel(window)->setData(tableModel(window)->index(row, 1), text, Qt::EditRole);
}

// The combo box cells of the parameter table.
inline const char *const kCombos[] = {"comboBoxSignificance", "comboBoxTableBaudrate", "comboBoxTransmitMode",
                                      "comboBoxDirection", "comboBoxTelegramB", "comboBoxCrcStartValue"};

// Everything the table shows, for comparing before and after.
inline QStringList tableSnapshot(QWidget &w)
{
    QStringList shown;
    for (int row = 0; row < tavik7::kParameterFieldCount; ++row) {
        const QStandardItem *item = tableModel(w)->item(row, 1);
        shown.append(item ? item->text() : QString());
    }
    for (const char *name : kCombos)
        shown.append(QString::number(child<QComboBox>(w, name)->currentIndex()));
    shown.append(child<QCheckBox>(w, "checkBoxLeadingPlus")->isChecked() ? "x" : "-");
    return shown;
}

// The first output log file under the per-user folder appData.
inline QByteArray outputLog(const QString &appData)
{
    return readFile(appData + QStringLiteral("/KLV TAVIK7 PC Software/Tavik7_Output_Logfile1.txt"));
}

#ifdef TAVIK7_DEVSIM_PATH
#include "devsim.h"

// A window test's world, as the base of the test class: a fresh per-user
// folder (APPDATA), the simulated device and a window on it for each test,
// and no box left open after it. A test class with more to set up declares
// init() and cleanup() of its own and calls freshBench() and closeBench().
class DeviceWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerTavik7Resources(); }
    void init() { freshBench(); }
    void cleanup()
    {
        closeBench();
        QVERIFY(noModalLeft());
    }

protected:
    // From init(): a new folder and simulator, no window yet.
    void freshBench()
    {
        appData = std::make_unique<QTemporaryDir>();
        qputenv("APPDATA", QFile::encodeName(appData->path()));
        sim = std::make_unique<DevSim>();
    }
    // From cleanup(): the window goes before its device.
    void closeBench()
    {
        window.reset();
        sim.reset();
    }

    // Starts the simulator, opens the window on it (unless open), connects
    // and shows the tab. Connect leads from the Interface tab into the wizard (1).
    [[nodiscard]] bool connectDevice(const QStringList &simArgs = {}, int tab = 2)
    {
        if (!sim->start(simArgs)) {
            qWarning("%s", qPrintable(sim->errorString()));
            return false;
        }
        if (!window)
            window = openWindowOn(sim->portPath());
        auto *tabs = w<QTabWidget>("tabWidget");
        if (tab == 1)
            tabs->setCurrentIndex(0);
        if (!connectWindow(*window, sim->portPath()))
            return false;
        tabs->setCurrentIndex(tab);
        return tabs->currentIndex() == tab;
    }

    // Reads the settings; true once messages 1 and 3 show and Write is usable.
    [[nodiscard]] bool readSettings()
    {
        sim->clearLog();
        button("pushButtonReadSettings")->click();
        return QTest::qWaitFor(
            [this] {
                return consoleMessages(*window) == germanMessages({1, 3})
                    && button("pushButtonWriteSettings")->isEnabled();
            },
            9000);
    }

    void shortenTimeouts(int longMs, int counterMs) { deviceLinkOf(*window)->setTimeouts({longMs, counterMs}); }
    void switchLanguage(const char *action) { child<QAction>(*window, action)->trigger(); }

    template<typename T> T *w(const char *name) { return child<T>(*window, name); }
    QPushButton *button(const char *name) { return child<QPushButton>(*window, name); }
    [[nodiscard]] QString log() const { return QString::fromLatin1(outputLog(appData->path())); }
    [[nodiscard]] QString folder() const { return appData->path() + QStringLiteral("/KLV TAVIK7 PC Software/"); }

    std::unique_ptr<QTemporaryDir> appData;
    std::unique_ptr<DevSim> sim;
    std::unique_ptr<TAVIK7_Bediensoftware> window;
};
#endif
