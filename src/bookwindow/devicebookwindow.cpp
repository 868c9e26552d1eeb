#include "devicebookwindow.h"

#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPdfWriter>
#include <QPushButton>
#include <QSaveFile>
#include <QSortFilterProxyModel>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardItemModel>
#include <QSplitter>
#include <QTableView>
#include <QTextDocument>
#include <QVBoxLayout>

#include "booklocation.h"
#include "changehistory.h"
#include "texttable.h"

using namespace tavik7::book;

namespace {

enum class BookWindowText {
    Title, SearchHint, ExportCsv, ExportPdf, ExportFailed, CsvFilter, PdfFilter,
    // device list columns after the hidden id
    Serial, Manufacturer, DeviceType, LastSeen, SoftwareVersion, Counter, Events,
    // event columns
    Number, Time, Action, FrontEnd, User, Port, Result, Changes, File, Sha256,
};

QString windowText(BookWindowText id, int language)
{
    static const char *const texts[][2] = {
        {"Gerätebuch", "Device book"},
        {"Seriennummer, Hersteller oder Gerätetyp", "Serial number, manufacturer or device type"},
        {"Als CSV exportieren...", "Export CSV..."},
        {"Als PDF exportieren...", "Export PDF..."},
        {"%1 wurde nicht geschrieben.", "%1 was not written."},
        {"CSV-Dateien (*.csv)", "CSV files (*.csv)"},
        {"PDF-Dateien (*.pdf)", "PDF files (*.pdf)"},
        {"Seriennummer", "Serial number"}, {"Hersteller", "Manufacturer"}, {"Gerätetyp", "Device type"},
        {"Zuletzt gesehen", "Last seen"}, {"Softwareversion", "Software version"}, {"Zählerstand", "Counter"},
        {"Einträge", "Events"},
        {"Nr.", "No."}, {"Zeit", "Time"}, {"Vorgang", "Action"}, {"Oberfläche", "Front end"},
        {"Benutzer", "User"}, {"Port", "Port"}, {"Ergebnis", "Result"}, {"Änderungen", "Changes"},
        {"Datei", "File"}, {"SHA-256", "SHA-256"},
    };
    return QString::fromUtf8(texts[int(id)][language == tavik7::German ? 0 : 1]);
}

constexpr int kDeviceIdColumn = 0;
constexpr int kDeviceSerialColumn = 1;

} // namespace

DeviceBookWindow::DeviceBookWindow(const QString &bookPath, int language, QWidget *parent)
    : QWidget(parent, Qt::Window), m_bookPath(bookPath), m_language(language)
{
    setObjectName(QStringLiteral("deviceBookWindow"));
    buildLayout();
    const BookResult opened = DeviceBook().open(bookPath, userChangeHistoryPath(), FrontEnd::Window);
    if (opened.recorded)
        m_status->setText(bookResultMessage(opened, bookPath, language));
    else
        m_status->setText(QDir::toNativeSeparators(bookPath) + QStringLiteral(": ") + bookStatusText(opened.status, language));
    m_status->setVisible(!m_status->text().isEmpty());
    setLanguage(language);
    search(QString());
}

DeviceBookWindow::~DeviceBookWindow() = default;

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

void DeviceBookWindow::buildLayout()
{
    m_search = new QLineEdit(this);
    m_search->setClearButtonEnabled(true);
    m_status = new QLabel(this);
    m_status->setWordWrap(true);
    m_devices = new QStandardItemModel(this);
    m_deviceProxy = new QSortFilterProxyModel(this);
    m_deviceProxy->setSourceModel(m_devices);
    m_events = new QStandardItemModel(this);
    auto *splitter = new QSplitter(Qt::Vertical, this);
    m_deviceTable = new QTableView(splitter);
    m_deviceTable->setModel(m_deviceProxy);
    m_deviceTable->setSortingEnabled(true);
    m_deviceTable->sortByColumn(kDeviceSerialColumn, Qt::AscendingOrder);
    m_deviceTable->verticalHeader()->hide();
    m_deviceTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_deviceTable->setSelectionMode(QAbstractItemView::SingleSelection);
    m_deviceTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_eventTable = new QTableView(splitter);
    m_eventTable->setModel(m_events);
    m_eventTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_eventTable->setWordWrap(true);
    m_eventTable->verticalHeader()->hide();
    m_eventTable->horizontalHeader()->setStretchLastSection(true);
    m_exportCsv = new QPushButton(this);
    m_exportPdf = new QPushButton(this);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_exportCsv);
    buttons->addWidget(m_exportPdf);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_search);
    layout->addWidget(m_status);
    layout->addWidget(splitter, 1);
    layout->addLayout(buttons);
    resize(900, 600);
    connect(m_search, &QLineEdit::textChanged, this, &DeviceBookWindow::search);
    connect(m_deviceTable->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &DeviceBookWindow::showDeviceEvents);
    connect(m_exportCsv, &QPushButton::clicked, this, &DeviceBookWindow::onExportCsvClicked);
    connect(m_exportPdf, &QPushButton::clicked, this, &DeviceBookWindow::onExportPdfClicked);
}

DeviceBookWindow *DeviceBookWindow::showFor(QWidget *mainWindow, int language)
{
    auto *window = mainWindow->findChild<DeviceBookWindow *>(QString(), Qt::FindDirectChildrenOnly);
    if (!window)
        window = new DeviceBookWindow(bookPath(), language, mainWindow);
    else
        window->refresh();
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

QString DeviceBookWindow::menuText(int language)
{
    return windowText(BookWindowText::Title, language);
}

void DeviceBookWindow::setLanguage(int language)
{
    m_language = language;
    setWindowTitle(windowText(BookWindowText::Title, language));
    m_search->setPlaceholderText(windowText(BookWindowText::SearchHint, language));
    m_exportCsv->setText(windowText(BookWindowText::ExportCsv, language));
    m_exportPdf->setText(windowText(BookWindowText::ExportPdf, language));
    setHeaders();
}

void DeviceBookWindow::setHeaders()
{
    int column = kDeviceIdColumn + 1;
    for (int id = int(BookWindowText::Serial); id <= int(BookWindowText::Events); ++id)
        m_devices->setHeaderData(column++, Qt::Horizontal, windowText(BookWindowText(id), m_language));
    column = 0;
    for (int id = int(BookWindowText::Number); id <= int(BookWindowText::Sha256); ++id)
        m_events->setHeaderData(column++, Qt::Horizontal, windowText(BookWindowText(id), m_language));
    m_deviceTable->setColumnHidden(kDeviceIdColumn, true);
}

void DeviceBookWindow::search(const QString &text)
{
    if (!load(m_devices, [&text](const DeviceBook &book) { return book.deviceSearchQuery(text); }))
        return;
    setHeaders();
    m_deviceTable->resizeColumnsToContents();
    if (m_deviceProxy->rowCount() > 0)
        m_deviceTable->selectRow(0);
    else
        m_events->removeRows(0, m_events->rowCount());
    showDeviceEvents();
}

void DeviceBookWindow::refresh()
{
    const QString serial = m_deviceTable->currentIndex().isValid()
        ? m_deviceProxy->index(m_deviceTable->currentIndex().row(), kDeviceSerialColumn).data().toString()
        : QString();
    search(m_search->text());
    // Back to the device that was shown, if it is still in the list.
    const QModelIndexList again =
        m_deviceProxy->match(m_deviceProxy->index(0, kDeviceSerialColumn), Qt::DisplayRole, serial, 1, Qt::MatchExactly);
    if (!serial.isEmpty() && !again.isEmpty())
        m_deviceTable->selectRow(again.constFirst().row());
}

void DeviceBookWindow::showDeviceEvents()
{
    const QModelIndex current = m_deviceTable->currentIndex();
    if (!current.isValid()) {
        m_events->removeRows(0, m_events->rowCount());
        return;
    }
    const qint64 device = m_deviceProxy->index(current.row(), kDeviceIdColumn).data().toLongLong();
    load(m_events, [device](const DeviceBook &book) { return book.deviceEventsQuery(device); });
    setHeaders();
    m_eventTable->resizeColumnsToContents();
    m_eventTable->resizeRowsToContents();
}

bool DeviceBookWindow::exportCsv(const QString &path)
{
    QByteArray csv;
    for (int row = -1; row < m_events->rowCount(); ++row) {
        QByteArrayList cells;
        for (int column = 0; column < m_events->columnCount(); ++column) {
            const QVariant value = row < 0 ? m_events->headerData(column, Qt::Horizontal)
                                           : m_events->data(m_events->index(row, column));
            cells.append(tavik7::csvField(value.toString()));
        }
        csv += cells.join(',') + "\r\n";
    }
    QSaveFile file(path);
    const bool written = file.open(QIODevice::WriteOnly) && file.write(csv) == csv.size() && file.commit();
    m_status->setText(written ? QString()
                              : windowText(BookWindowText::ExportFailed, m_language).arg(QDir::toNativeSeparators(path)));
    m_status->setVisible(!written);
    return written;
}

QString DeviceBookWindow::historyHtml()
{
    const QModelIndex current = m_deviceTable->currentIndex();
    QString serial;
    if (current.isValid())
        serial = m_deviceProxy->index(current.row(), kDeviceSerialColumn).data().toString();
    QString html = QStringLiteral("<h3>%1 %2</h3><table border=\"1\" cellspacing=\"0\" cellpadding=\"2\"><tr>")
                       .arg(windowText(BookWindowText::Title, m_language), serial.toHtmlEscaped());
    for (int column = 0; column < m_events->columnCount(); ++column)
        html += QStringLiteral("<th>%1</th>").arg(m_events->headerData(column, Qt::Horizontal).toString().toHtmlEscaped());
    html += QStringLiteral("</tr>");
    for (int row = 0; row < m_events->rowCount(); ++row) {
        html += QStringLiteral("<tr>");
        for (int column = 0; column < m_events->columnCount(); ++column) {
            QString cell = m_events->data(m_events->index(row, column)).toString().toHtmlEscaped();
            html += QStringLiteral("<td>%1</td>").arg(cell.replace(QLatin1Char('\n'), QStringLiteral("<br>")));
        }
        html += QStringLiteral("</tr>");
    }
    return html + QStringLiteral("</table>");
}

bool DeviceBookWindow::exportPdf(const QString &path)
{
    // Written to a temporary file first: a failed export keeps an older PDF.
    QSaveFile file(path);
    bool written = file.open(QIODevice::WriteOnly);
    if (written) {
        QPdfWriter writer(&file);
        writer.setPageOrientation(QPageLayout::Landscape);
        writer.setTitle(windowText(BookWindowText::Title, m_language));
        QTextDocument document;
        document.setDefaultFont(QFont(QStringLiteral("Sans Serif"), 7));
        document.setHtml(historyHtml());
        document.print(&writer);
    }
    written = written && file.commit();
    m_status->setText(written ? QString()
                              : windowText(BookWindowText::ExportFailed, m_language).arg(QDir::toNativeSeparators(path)));
    m_status->setVisible(!written);
    return written;
}

void DeviceBookWindow::onExportCsvClicked()
{
    const QString path = QFileDialog::getSaveFileName(this, windowText(BookWindowText::ExportCsv, m_language),
                                                      QString(), windowText(BookWindowText::CsvFilter, m_language));
    if (!path.isEmpty())
        exportCsv(path);
}

void DeviceBookWindow::onExportPdfClicked()
{
    const QString path = QFileDialog::getSaveFileName(this, windowText(BookWindowText::ExportPdf, m_language),
                                                      QString(), windowText(BookWindowText::PdfFilter, m_language));
    if (!path.isEmpty())
        exportPdf(path);
}
