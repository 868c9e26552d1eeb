#pragma once

#include <QWidget>

#include <functional>
#include <memory>

#include "bookeventtext.h"
#include "devicebook.h"

class QLineEdit;
class QSortFilterProxyModel;
class QSqlQuery;
class QStandardItemModel;
class QTableView;
class HistoryPdfExport;

namespace tavik7::book {
class ChainCheck;
class WaitingEvents;
}

namespace Ui {
class DeviceBookWindow;
}

// Built into the book window's module (bookwindowmodule.h); the tests use it directly.
#ifdef TAVIK7_BOOKWINDOW_MODULE
#define TAVIK7_BOOKWINDOW_EXPORT Q_DECL_EXPORT
#else
#define TAVIK7_BOOKWINDOW_EXPORT Q_DECL_IMPORT
#endif

// The device book beside the main window: search, device list, the chosen
// device's events in the program's words. Non-modal; the main window keeps
// one and forwards its language switch.
class TAVIK7_BOOKWINDOW_EXPORT DeviceBookWindow : public QWidget
{
    Q_OBJECT

public:
    DeviceBookWindow(const QString &bookPath, int language, QWidget *parent = nullptr);
    ~DeviceBookWindow() override;

    // Shows the book window of mainWindow, creating it on first use.
    static DeviceBookWindow *showFor(QWidget *mainWindow, int language);

    void setLanguage(int language);
    void search(const QString &text);
    // Shows what was recorded since: the main window calls it after each
    // event. reread false: only the count of events waiting.
    void refresh(bool reread = true);
    // The shown device's history; false with a message shown when not written.
    bool exportCsv(const QString &path);
    // Starts the export of the shown device's history; the PDF is laid out on
    // a thread of its own and pdfExported() tells how it ended. False, with
    // nothing started, while another export runs or when path names no
    // regular file.
    bool exportPdf(const QString &path);

    [[nodiscard]] QLineEdit *searchField() const;
    [[nodiscard]] QSortFilterProxyModel *deviceList() const { return m_deviceProxy; }
    [[nodiscard]] QStandardItemModel *events() const { return m_events; }
    [[nodiscard]] QTableView *deviceTable() const;

signals:
    void pdfExported(bool written);

private:
    void showDeviceEvents();
    void setHeaders();
    void onExportCsvClicked();
    void onExportPdfClicked();
    void showExportResult(const QString &path, bool written);
    void openBook();
    void chooseBook();
    // Says why a choice was refused; tells the main window of one taken.
    bool chosen(const QString &refused);
    void showStatus(const QString &text);
    void showWaiting();
    // Saves bytes under path, refusing what is not a regular file; says so when it fails.
    bool save(const QString &path, const QByteArray &bytes);
    [[nodiscard]] QString shownSerial() const;
    // Opens the book, fills model with what query() selects, and closes the
    // book again: false when the book cannot be opened.
    bool load(QStandardItemModel *model, const std::function<QSqlQuery(const tavik7::book::DeviceBook &)> &query);

    QString m_bookPath;
    int m_language;
    std::unique_ptr<Ui::DeviceBookWindow> ui;
    QStandardItemModel *m_devices = nullptr;
    QSortFilterProxyModel *m_deviceProxy = nullptr;
    QStandardItemModel *m_events = nullptr;
    tavik7::book::EventTable m_shown; // what m_events shows, for the exports
    HistoryPdfExport *m_pdfExport = nullptr;
    tavik7::book::WaitingEvents *m_waiting = nullptr;
    tavik7::book::ChainCheck *m_chainCheck = nullptr;
};
