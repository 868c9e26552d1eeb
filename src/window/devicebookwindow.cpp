#include "devicebookwindow.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardItemModel>
#include <QTableView>

#include <memory>

#include "bookeventtext.h"
#include "booklocation.h"
#include "booksettings.h"
#include "bookupkeep.h"
#include "bookwindowmodule.h"
#include "filehooks.h"
#include "historypdfexport.h"
#include "regularfile.h"
#include "textpanes.h"
#include "ui_devicebookwindow.h"

using namespace tavik7::book;

namespace {

constexpr int kDeviceIdColumn = 0;
constexpr int kDeviceSerialColumn = 1;
constexpr int kDeviceManufacturerColumn = 2;
constexpr int kDeviceTypeColumn = 3;

} // namespace

DeviceBookWindow::DeviceBookWindow(const QString &bookPath, int language, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_bookPath(bookPath)
    , m_language(language)
    , ui(std::make_unique<Ui::DeviceBookWindow>())
    , m_devices(new QStandardItemModel(this))
    , m_deviceProxy(new QSortFilterProxyModel(this))
    , m_events(new QStandardItemModel(this))
    , m_pdfExport(new HistoryPdfExport(this))
    , m_waiting(new WaitingEvents(bookPath, this))
    , m_chainCheck(new ChainCheck(this))
{
    // The form has the main window's face; the look of its pages comes with the style sheet.
    ui->setupUi(this);
    setStyleSheet(tavik7::panes::pageStyleSheet());
    m_deviceProxy->setSourceModel(m_devices);
    ui->deviceTable->setModel(m_deviceProxy);
    ui->deviceTable->sortByColumn(kDeviceSerialColumn, Qt::AscendingOrder);
    ui->eventTable->setModel(m_events);
    connect(ui->searchField, &QLineEdit::textChanged, this, &DeviceBookWindow::search);
    connect(ui->deviceTable->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &DeviceBookWindow::showDeviceEvents);
    connect(ui->exportCsv, &QPushButton::clicked, this, &DeviceBookWindow::onExportCsvClicked);
    connect(ui->exportPdf, &QPushButton::clicked, this, &DeviceBookWindow::onExportPdfClicked);
    connect(m_pdfExport, &HistoryPdfExport::finished, this, [this](const QString &path, bool written) {
        ui->exportPdf->setEnabled(true);
        showExportResult(path, written);
        emit pdfExported(written);
    });
    connect(ui->bookLocation, &QLineEdit::editingFinished, this, &DeviceBookWindow::chooseBook);
    connect(ui->technician, &QLineEdit::editingFinished, this, [this] {
        chosen(rememberTechnician(ui->technician->text().trimmed(), m_language));
        ui->technician->setText(windowTechnician());
    });
    // The window goes on while the chain is checked.
    connect(ui->verify, &QPushButton::clicked, this, [this] {
        ui->verify->setEnabled(!m_chainCheck->start(m_bookPath));
        showStatus(bookText(BookText::Verifying, m_language));
    });
    ui->bookLocation->setEnabled(!bookLocationFromEnvironment());
    ui->technician->setText(windowTechnician());
    ui->technician->setEnabled(technicianFromEnvironment().isEmpty());
    connect(m_waiting, &WaitingEvents::counted, this, &DeviceBookWindow::showWaiting);
    connect(m_chainCheck, &ChainCheck::finished, this, [this](const VerifyResult &verified) {
        ui->verify->setEnabled(true);
        showStatus(brokenChainText(verified, m_language));
    });
    openBook();
}

DeviceBookWindow::~DeviceBookWindow() = default;

void DeviceBookWindow::openBook()
{
    showStatus(bookOpenText(DeviceBook().open(m_bookPath, userChangeHistoryPath(), FrontEnd::Window), m_bookPath,
                            m_language));
    ui->bookLocation->setText(locationText(m_bookPath));
    setLanguage(m_language);
    refresh();
}

void DeviceBookWindow::chooseBook()
{
    const QString typed = ui->bookLocation->text().trimmed();
    if (typed != locationText(m_bookPath) && chosen(rememberBookLocation(typed, m_language))) {
        m_bookPath = windowBookLocation();
        m_waiting->setLocation(m_bookPath);
        openBook();
    }
    ui->bookLocation->setText(locationText(m_bookPath));
}

bool DeviceBookWindow::chosen(const QString &refused)
{
    showStatus(refused);
    if (refused.isEmpty() && tavik7::bookwindow::bookChosenHook)
        tavik7::bookwindow::bookChosenHook(parentWidget());
    return refused.isEmpty();
}

void DeviceBookWindow::showStatus(const QString &text)
{
    ui->status->setText(text);
    ui->status->setVisible(!text.isEmpty());
}

void DeviceBookWindow::showWaiting()
{
    ui->waiting->setText(waitingText(m_waiting->count(), m_language));
    ui->waiting->setVisible(m_waiting->count() > 0);
}

// The window's process holds no connection to the book between reads: a
// file dialog that opens and closes the book's file would drop the locks of
// any connection still open, and another program ending could then remove
// the journal that connection reads from.
bool DeviceBookWindow::load(QStandardItemModel *model, const std::function<QSqlQuery(const DeviceBook &)> &query)
{
    DeviceBook book;
    if (!book.open(m_bookPath, userChangeHistoryPath(), FrontEnd::Window).recorded)
        return false;
    QSqlQuery q = query(book);
    model->removeRows(0, model->rowCount());
    model->setColumnCount(q.record().count());
    while (q.next()) {
        QList<QStandardItem *> row;
        for (int column = 0; column < q.record().count(); ++column) {
            auto *item = new QStandardItem;
            item->setData(q.value(column), Qt::DisplayRole);
            row.append(item);
        }
        model->appendRow(row);
    }
    return true;
}

QLineEdit *DeviceBookWindow::searchField() const
{
    return ui->searchField;
}

QTableView *DeviceBookWindow::deviceTable() const
{
    return ui->deviceTable;
}

DeviceBookWindow *DeviceBookWindow::showFor(QWidget *mainWindow, int language)
{
    auto *window = mainWindow->findChild<DeviceBookWindow *>(QString(), Qt::FindDirectChildrenOnly);
    if (!window)
        window = new DeviceBookWindow(windowBookLocation(), language, mainWindow);
    else
        window->refresh();
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

void DeviceBookWindow::setLanguage(int language)
{
    m_language = language;
    setWindowTitle(bookTitle(m_bookPath, language));
    ui->bookLocationLabel->setText(bookText(BookText::BookLocation, language));
    ui->technicianLabel->setText(bookText(BookText::Technician, language));
    ui->verify->setText(bookText(BookText::Verify, language));
    showWaiting();
    ui->searchField->setPlaceholderText(bookText(BookText::SearchHint, language));
    ui->exportCsv->setText(bookText(BookText::ExportCsv, language));
    ui->exportPdf->setText(bookText(BookText::ExportPdf, language));
    setHeaders();
    showDeviceEvents();
}

void DeviceBookWindow::setHeaders()
{
    int column = kDeviceIdColumn + 1;
    for (const QString &header : deviceHeaders(m_language))
        m_devices->setHeaderData(column++, Qt::Horizontal, header);
    m_events->setHorizontalHeaderLabels(eventHeaders(m_language));
    ui->deviceTable->setColumnHidden(kDeviceIdColumn, true);
}

void DeviceBookWindow::search(const QString &text)
{
    if (!load(m_devices, [&text](const DeviceBook &book) { return book.deviceSearchQuery(text); }))
        return;
    setHeaders();
    ui->deviceTable->resizeColumnsToContents();
    if (m_deviceProxy->rowCount() > 0)
        ui->deviceTable->selectRow(0);
    showDeviceEvents();
}

void DeviceBookWindow::refresh(bool reread)
{
    if (!reread) {
        m_waiting->check();
        return;
    }
    const QString serial = shownSerial();
    search(ui->searchField->text());
    // Back to the device that was shown, if it is still in the list.
    const QModelIndexList again =
        m_deviceProxy->match(m_deviceProxy->index(0, kDeviceSerialColumn), Qt::DisplayRole, serial, 1, Qt::MatchExactly);
    if (!serial.isEmpty() && !again.isEmpty())
        ui->deviceTable->selectRow(again.constFirst().row());
    m_waiting->check();
}

QString DeviceBookWindow::shownSerial() const
{
    const QModelIndex current = ui->deviceTable->currentIndex();
    return current.isValid() ? m_deviceProxy->index(current.row(), kDeviceSerialColumn).data().toString() : QString();
}

void DeviceBookWindow::showDeviceEvents()
{
    m_events->removeRows(0, m_events->rowCount());
    m_shown = eventTable({}, m_language);
    const QModelIndex current = ui->deviceTable->currentIndex();
    // Opened for this read only, as in load().
    DeviceBook book;
    if (!current.isValid() || !book.openForReading(m_bookPath).recorded)
        return;
    // The device of the chosen row: its serial number with its maker and type.
    auto shown = [&](int column) { return m_deviceProxy->index(current.row(), column).data().toString(); };
    m_shown = eventTable(book.deviceHistory(shown(kDeviceSerialColumn), shown(kDeviceManufacturerColumn),
                                            shown(kDeviceTypeColumn)),
                         m_language);
    for (const QStringList &cells : std::as_const(m_shown.rows)) {
        QList<QStandardItem *> row;
        for (const QString &cell : cells)
            row.append(new QStandardItem(cell));
        m_events->appendRow(row);
    }
    ui->eventTable->resizeColumnsToContents();
    ui->eventTable->resizeRowsToContents();
}

void DeviceBookWindow::showExportResult(const QString &path, bool written)
{
    showStatus(written ? QString() : bookText(BookText::ExportFailed, m_language).arg(QDir::toNativeSeparators(path)));
}

bool DeviceBookWindow::save(const QString &path, const QByteArray &bytes)
{
    const bool written = tavik7::platform::saveWholeFile(path, bytes);
    showExportResult(path, written);
    return written;
}

bool DeviceBookWindow::exportCsv(const QString &path)
{
    return save(path, eventCsv(m_shown));
}

bool DeviceBookWindow::exportPdf(const QString &path)
{
    if (m_pdfExport->running())
        return false;
    const HistoryTable table{bookTitle(m_bookPath, m_language) + QStringLiteral(": ") + shownSerial(), m_shown.headers,
                             m_shown.rows, eventPdfColumnWeights()};
    if (!m_pdfExport->start(table, path)) {
        showExportResult(path, false);
        return false;
    }
    ui->exportPdf->setEnabled(false);
    return true;
}

void DeviceBookWindow::onExportCsvClicked()
{
    const QString path = tavik7::askFileName({tavik7::FileNameRequest::Save, this,
                                              bookText(BookText::ExportCsv, m_language), QString(),
                                              bookText(BookText::CsvFilter, m_language)});
    if (!path.isEmpty())
        exportCsv(path);
}

void DeviceBookWindow::onExportPdfClicked()
{
    const QString path = tavik7::askFileName({tavik7::FileNameRequest::Save, this,
                                              bookText(BookText::ExportPdf, m_language), QString(),
                                              bookText(BookText::PdfFilter, m_language)});
    if (!path.isEmpty())
        exportPdf(path);
}
