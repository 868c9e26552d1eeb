#include "devicebookwindow.h"

#include "booksettings.h"
#include "bookwindowmodule.h"
#include "filehooks.h"
#include "historypdfexport.h"
#include "textpanes.h"

using namespace tavik7::book;

namespace {

void showText(QLabel *label, const QString &text)
{
    label->setText(text);
    label->setVisible(!text.isEmpty());
}

} // namespace

DeviceBookWindow::DeviceBookWindow(const QString &bookPath, int language, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_browser(new BookBrowser(bookPath, language, this))
    , m_pdfExport(new HistoryPdfExport(this))
{
    // The form has the main window's face; the look of its pages comes with the style sheet.
    ui.setupUi(this);
    setStyleSheet(tavik7::panes::pageStyleSheet());
    ui.deviceTable->setModel(m_browser->devices());
    ui.deviceTable->sortByColumn(1, Qt::AscendingOrder);
    ui.eventTable->setModel(m_browser->events());
    connect(ui.deviceTable->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) { m_browser->showDevice(current.row()); });
    connect(m_browser->events(), &QAbstractItemModel::modelReset, this, [this] {
        ui.eventTable->resizeColumnsToContents();
        ui.eventTable->resizeRowsToContents();
    });
    connect(m_browser, &BookBrowser::statusChanged, this, [this](const QString &text) { showText(ui.status, text); });
    connect(m_browser, &BookBrowser::waitingChanged, this, [this] { showText(ui.waiting, m_browser->waiting()); });
    // The window goes on while the chain is checked.
    connect(ui.verify, &QPushButton::clicked, m_browser, &BookBrowser::verify);
    connect(m_browser, &BookBrowser::verifying, ui.verify, &QWidget::setDisabled);
    connect(m_pdfExport, &HistoryPdfExport::finished, this, [this](const QString &path, bool written) {
        ui.exportPdf->setEnabled(true);
        m_browser->exported(path, written);
        emit pdfExported(written);
    });
    connect(m_browser, &BookBrowser::locationShown, ui.bookLocation, &QLineEdit::setText);
    connect(m_browser, &BookBrowser::technicianShown, ui.technician, &QLineEdit::setText);
    openBook();
}

void DeviceBookWindow::openBook()
{
    m_browser->open();
    setLanguage(m_browser->language());
    refresh();
}

void DeviceBookWindow::chooseBook()
{
    if (m_browser->chooseLocation(ui.bookLocation->text()))
        openBook();
}

void DeviceBookWindow::chooseTechnician()
{
    m_browser->chooseTechnician(ui.technician->text());
}

void DeviceBookWindow::setLanguage(int language)
{
    m_browser->setLanguage(language);
    setWindowTitle(m_browser->title());
    for (const BookBrowser::Control &control : m_browser->controls())
        findChild<QObject *>(QLatin1String(control.name))->setProperty(control.property, control.value);
}

void DeviceBookWindow::search(const QString &text)
{
    if (m_browser->search(text))
        showDevice(0);
}

void DeviceBookWindow::refresh(bool reread)
{
    if (reread)
        showDevice(m_browser->reread());
    m_browser->checkWaiting();
}

void DeviceBookWindow::showDevice(int row)
{
    // A new list shows every column again.
    ui.deviceTable->setColumnHidden(0, true);
    ui.deviceTable->resizeColumnsToContents();
    ui.deviceTable->selectRow(row);
}

bool DeviceBookWindow::exportPdf(const QString &path)
{
    if (!m_pdfExport->start(m_browser->shownHistory(), path)) {
        m_browser->exported(path, false);
        return false;
    }
    ui.exportPdf->setEnabled(false);
    return true;
}

QString DeviceBookWindow::askSaveName(BookText caption, BookText filter)
{
    return tavik7::askFileName({tavik7::FileNameRequest::Save, this, bookText(caption, m_browser->language()),
                                QString(), bookText(filter, m_browser->language())});
}

void DeviceBookWindow::onExportCsvClicked()
{
    if (const QString path = askSaveName(BookText::ExportCsv, BookText::CsvFilter); !path.isEmpty())
        m_browser->exportCsv(path);
}

void DeviceBookWindow::onExportPdfClicked()
{
    if (const QString path = askSaveName(BookText::ExportPdf, BookText::PdfFilter); !path.isEmpty())
        exportPdf(path);
}

// The module's side: what the main window reaches through bookwindowmodule.h.
extern "C" Q_DECL_EXPORT QWidget *tavik7BookWindowModule3(QWidget *mainWindow, int language,
                                                          const tavik7::bookwindow::Host &host)
{
    // This module's hook is its own: it leads to the program's, where tests set theirs.
    tavik7::fileNameHook = host.askFileName;
    auto *window = new DeviceBookWindow(windowBookLocation(), language, mainWindow);
    QObject::connect(window->browser(), &BookBrowser::chosen, mainWindow,
                     [mainWindow, chosen = host.bookChosen] { chosen(mainWindow); });
    return window;
}
