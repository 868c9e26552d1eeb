#pragma once

#include <QWidget>

#include <functional>

#include "devicebook.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QSortFilterProxyModel;
class QSqlQuery;
class QStandardItemModel;
class QTableView;

// The device book beside the main window: search, device list, the chosen
// device's events. Non-modal; the main window keeps one and forwards its
// language switch.
class DeviceBookWindow : public QWidget
{
    Q_OBJECT

public:
    DeviceBookWindow(const QString &bookPath, int language, QWidget *parent = nullptr);
    ~DeviceBookWindow() override;

    // Shows the book window of mainWindow, creating it on first use.
    static DeviceBookWindow *showFor(QWidget *mainWindow, int language);
    [[nodiscard]] static QString menuText(int language);

    void setLanguage(int language);
    void search(const QString &text);
    // Shows what was recorded since: the main window calls it after each event.
    void refresh();
    // The shown device's history; false with a message shown when not written.
    bool exportCsv(const QString &path);
    bool exportPdf(const QString &path);

    [[nodiscard]] QLineEdit *searchField() const { return m_search; }
    [[nodiscard]] QSortFilterProxyModel *deviceList() const { return m_deviceProxy; }
    [[nodiscard]] QStandardItemModel *events() const { return m_events; }
    [[nodiscard]] QTableView *deviceTable() const { return m_deviceTable; }

private:
    void buildLayout();
    void showDeviceEvents();
    void setHeaders();
    void onExportCsvClicked();
    void onExportPdfClicked();
    [[nodiscard]] QString historyHtml();
    // Opens the book, fills model with what query() selects, and closes the
    // book again: false when the book cannot be opened.
    bool load(QStandardItemModel *model, const std::function<QSqlQuery(const tavik7::book::DeviceBook &)> &query);

    QString m_bookPath;
    int m_language;
    QLineEdit *m_search = nullptr;
    QLabel *m_status = nullptr;
    QStandardItemModel *m_devices = nullptr;
    QSortFilterProxyModel *m_deviceProxy = nullptr;
    QStandardItemModel *m_events = nullptr;
    QTableView *m_deviceTable = nullptr;
    QTableView *m_eventTable = nullptr;
    QPushButton *m_exportCsv = nullptr;
    QPushButton *m_exportPdf = nullptr;
};
