#pragma once

#include <QWidget>

#include "bookbrowser.h"
#include "ui_devicebookwindow.h"

class HistoryPdfExport;

// Built into the book window's module (bookwindowmodule.h); the tests use it directly.
#ifdef TAVIK7_BOOKWINDOW_MODULE
#define TAVIK7_BOOKWINDOW_EXPORT Q_DECL_EXPORT
#else
#define TAVIK7_BOOKWINDOW_EXPORT Q_DECL_IMPORT
#endif

// The device book beside the main window, bound to its browser. Non-modal;
// the main window keeps one and forwards its language switch.
class TAVIK7_BOOKWINDOW_EXPORT DeviceBookWindow : public QWidget
{
    Q_OBJECT

public:
    DeviceBookWindow(const QString &bookPath, int language, QWidget *parent = nullptr);

    // Starts the export of the shown device's history; the PDF is laid out on
    // a thread of its own and pdfExported() tells how it ended. False, with
    // nothing started, while another export runs or when path names no
    // regular file.
    bool exportPdf(const QString &path);

    [[nodiscard]] tavik7::book::BookBrowser *browser() const { return m_browser; }

public slots:
    void setLanguage(int language);
    // Shows what was recorded since: the main window calls it after each
    // event. reread false: only the count of events waiting.
    void refresh(bool reread = true);
    void search(const QString &text);

signals:
    void pdfExported(bool written);

private slots:
    void onExportCsvClicked();
    void onExportPdfClicked();
    void chooseBook();
    void chooseTechnician();

private:
    void openBook();
    void showDevice(int row);
    // The file name the user chose to save under, empty when none.
    QString askSaveName(tavik7::book::BookText caption, tavik7::book::BookText filter);

    Ui::DeviceBookWindow ui;
    tavik7::book::BookBrowser *m_browser;
    HistoryPdfExport *m_pdfExport;
};
