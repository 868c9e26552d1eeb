#include "devicebookwindow.h"

#include <QDateTime>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardItemModel>
#include <QTableView>
#include <QThread>

#include <memory>

#include "booklocation.h"
#include "changehistory.h"
#include "filehooks.h"
#include "historypdf.h"
#include "parameterfields.h"
#include "regularfile.h"
#include "textpanes.h"
#include "texttable.h"
#include "ui_devicebookwindow.h"

using namespace tavik7::book;

namespace {

enum class BookWindowText {
    Title, MenuTitle, MenuEntry, SearchHint, ExportCsv, ExportPdf, ExportFailed, CsvFilter, PdfFilter,
    // device list columns after the hidden id
    Serial, Manufacturer, DeviceType, LastSeen, SoftwareVersion, Counter, Events,
    // event columns
    Number, Time, Action, FrontEnd, User, Port, Result, Changes, File, Sha256,
    // actions, in the book's own order
    Read, Write, SetCounter, Flash, Report, Backup, Restore, Namur, Import,
    Window, CommandLine,
};

QString windowText(BookWindowText id, int language)
{
    static const char *const texts[][2] = {
        {"Gerätebuch", "Device book"},
        {"Extras", "Tools"},
        {"Gerätebuch...", "Device book..."},
        {"Seriennummer, Hersteller oder Gerätetyp", "Serial number, manufacturer or device type"},
        {"Als CSV exportieren...", "Export CSV..."},
        {"Als PDF exportieren...", "Export PDF..."},
        {"%1 wurde nicht geschrieben.", "%1 was not written."},
        {"CSV-Dateien (*.csv)", "CSV files (*.csv)"},
        {"PDF-Dateien (*.pdf)", "PDF files (*.pdf)"},
        {"Seriennummer", "Serial number"}, {"Hersteller", "Manufacturer"}, {"Gerätetyp", "Device type"},
        {"Zuletzt gesehen (Ortszeit)", "Last seen (local time)"}, {"Softwareversion", "Software version"},
        {"Zählwerksstand", "Counter status"}, {"Einträge", "Events"},
        {"Nr.", "No."}, {"Zeit", "Time"}, {"Vorgang", "Action"}, {"Oberfläche", "Front end"},
        {"Benutzer", "User"}, {"Port", "Port"}, {"Ergebnis", "Result"}, {"Änderungen", "Changes"},
        {"Datei", "File"}, {"SHA-256", "SHA-256"},
        {"Lesen", "Read"}, {"Schreiben", "Write"}, {"Zählwerksstand setzen", "Set counter"},
        {"Flashen", "Flash"}, {"Report", "Report"}, {"Sicherung", "Backup"},
        {"Sicherung geladen", "Backup loaded"}, {"NAMUR", "NAMUR"}, {"Import", "Import"},
        {"Programmfenster", "Window"}, {"Kommandozeile", "Command line"},
    };
    return QString::fromUtf8(texts[int(id)][language == tavik7::German ? 0 : 1]);
}

// The result words the book stores (the command line's), as the window says them.
QString resultText(const QString &status, int language)
{
    static const char *const words[][3] = {
        {"ok", "in Ordnung", "ok"},
        {"noAnswer", "keine Antwort", "no answer"},
        {"wrongAnswer", "falsche Antwort", "wrong answer"},
        {"portMissing", "Port nicht vorhanden", "port missing"},
        {"portBusy", "Port belegt", "port busy"},
        {"notSerial", "keine serielle Schnittstelle", "not a serial port"},
        {"implausible", "Werte unplausibel", "values implausible"},
        {"flashFailed", "Flashen fehlgeschlagen", "flash failed"},
        {"badFile", "Datei fehlerhaft", "bad file"},
        {"outputFailed", "Ausgabe nicht geschrieben", "output not written"},
        {"interrupted", "abgebrochen", "interrupted"},
    };
    for (const auto &word : words) {
        if (status == QLatin1String(word[0]))
            return QString::fromUtf8(word[language == tavik7::German ? 1 : 2]);
    }
    return status;
}

QString actionText(BookAction action, int language)
{
    const int index = int(action);
    if (index < 0 || index > int(BookAction::Import))
        return actionName(action);
    return windowText(BookWindowText(int(BookWindowText::Read) + index), language);
}

// Local time with its offset from UTC, so a time read elsewhere is not mistaken.
QString localTimeText(qint64 timeMs)
{
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(timeMs);
    const int offset = local.offsetFromUtc();
    const int magnitude = qAbs(offset);
    return local.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))
        + QStringLiteral(" UTC%1%2:%3")
              .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
              .arg(magnitude / 3600, 2, 10, QLatin1Char('0'))
              .arg(magnitude % 3600 / 60, 2, 10, QLatin1Char('0'));
}

QStringList eventCells(const BookEvent &event, int language)
{
    QStringList changes;
    for (const BookChange &change : event.changes)
        changes.append(tavik7::fieldChangeText(change.key, change.oldValue, change.newValue, language));
    return {QString::number(event.id),
            localTimeText(event.timeMs),
            actionText(event.action, language),
            windowText(event.frontEnd == FrontEnd::Window ? BookWindowText::Window : BookWindowText::CommandLine,
                       language),
            event.user,
            event.port,
            resultText(event.status, language),
            changes.join(QLatin1Char('\n')),
            event.file,
            event.sha256};
}

// The share of a PDF page's width each event column takes.
const QList<int> kPdfColumnWeights = {3, 11, 8, 8, 6, 7, 7, 20, 13, 17};

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
    const BookResult opened = DeviceBook().open(bookPath, userChangeHistoryPath(), FrontEnd::Window);
    if (opened.recorded)
        ui->status->setText(bookResultMessage(opened, bookPath, language));
    else
        ui->status->setText(QDir::toNativeSeparators(bookPath) + QStringLiteral(": ") + bookStatusText(opened.status, language));
    ui->status->setVisible(!ui->status->text().isEmpty());
    setLanguage(language);
    search(QString());
}

DeviceBookWindow::~DeviceBookWindow()
{
    // An export under way paints into memory only; it is let finish.
    if (m_pdfExport) {
        m_pdfExport->disconnect(this);
        m_pdfExport->wait();
        delete m_pdfExport;
    }
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
    return windowText(BookWindowText::MenuEntry, language);
}

QString DeviceBookWindow::menuTitle(int language)
{
    return windowText(BookWindowText::MenuTitle, language);
}

void DeviceBookWindow::setLanguage(int language)
{
    m_language = language;
    setWindowTitle(windowText(BookWindowText::Title, language));
    ui->searchField->setPlaceholderText(windowText(BookWindowText::SearchHint, language));
    ui->exportCsv->setText(windowText(BookWindowText::ExportCsv, language));
    ui->exportPdf->setText(windowText(BookWindowText::ExportPdf, language));
    setHeaders();
    showDeviceEvents();
}

void DeviceBookWindow::setHeaders()
{
    int column = kDeviceIdColumn + 1;
    for (int id = int(BookWindowText::Serial); id <= int(BookWindowText::Events); ++id)
        m_devices->setHeaderData(column++, Qt::Horizontal, windowText(BookWindowText(id), m_language));
    QStringList headers;
    for (int id = int(BookWindowText::Number); id <= int(BookWindowText::Sha256); ++id)
        headers.append(windowText(BookWindowText(id), m_language));
    m_events->setHorizontalHeaderLabels(headers);
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

void DeviceBookWindow::refresh()
{
    const QString serial = shownSerial();
    search(ui->searchField->text());
    // Back to the device that was shown, if it is still in the list.
    const QModelIndexList again =
        m_deviceProxy->match(m_deviceProxy->index(0, kDeviceSerialColumn), Qt::DisplayRole, serial, 1, Qt::MatchExactly);
    if (!serial.isEmpty() && !again.isEmpty())
        ui->deviceTable->selectRow(again.constFirst().row());
}

QString DeviceBookWindow::shownSerial() const
{
    const QModelIndex current = ui->deviceTable->currentIndex();
    return current.isValid() ? m_deviceProxy->index(current.row(), kDeviceSerialColumn).data().toString() : QString();
}

void DeviceBookWindow::showDeviceEvents()
{
    m_events->removeRows(0, m_events->rowCount());
    const QModelIndex current = ui->deviceTable->currentIndex();
    // Opened for this read only, as in load().
    DeviceBook book;
    if (!current.isValid() || !book.openForReading(m_bookPath).recorded)
        return;
    // The device of the chosen row: its serial number with its maker and type.
    auto shown = [&](int column) { return m_deviceProxy->index(current.row(), column).data().toString(); };
    const QString manufacturer = shown(kDeviceManufacturerColumn);
    const QString deviceType = shown(kDeviceTypeColumn);
    for (const BookEvent &event : book.history(shown(kDeviceSerialColumn))) {
        if (event.manufacturer != manufacturer || event.deviceType != deviceType)
            continue;
        QList<QStandardItem *> row;
        for (const QString &cell : eventCells(event, m_language))
            row.append(new QStandardItem(cell));
        m_events->appendRow(row);
    }
    ui->eventTable->resizeColumnsToContents();
    ui->eventTable->resizeRowsToContents();
}

void DeviceBookWindow::showExportResult(const QString &path, bool written)
{
    ui->status->setText(written ? QString()
                              : windowText(BookWindowText::ExportFailed, m_language).arg(QDir::toNativeSeparators(path)));
    ui->status->setVisible(!written);
}

bool DeviceBookWindow::save(const QString &path, const QByteArray &bytes)
{
    const bool written = tavik7::platform::saveWholeFile(path, bytes);
    showExportResult(path, written);
    return written;
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
    return save(path, csv);
}

bool DeviceBookWindow::exportPdf(const QString &path)
{
    if (m_pdfExport)
        return false;
    if (tavik7::platform::outputTarget(path) != tavik7::platform::OutputTarget::File) {
        showExportResult(path, false);
        return false;
    }
    HistoryTable table;
    table.title = windowText(BookWindowText::Title, m_language) + QLatin1Char(' ') + shownSerial();
    for (int column = 0; column < m_events->columnCount(); ++column)
        table.headers.append(m_events->headerData(column, Qt::Horizontal).toString());
    for (int row = 0; row < m_events->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < m_events->columnCount(); ++column)
            cells.append(m_events->item(row, column)->text());
        table.rows.append(cells);
    }
    table.columnWeights = kPdfColumnWeights;
    // Laid out on a thread of its own: thousands of events take seconds, and
    // the window answers meanwhile.
    auto pdf = std::make_shared<QByteArray>();
    m_pdfExport = QThread::create([table, pdf] { *pdf = historyPdf(table); });
    connect(m_pdfExport, &QThread::finished, this, [this, path, pdf] {
        m_pdfExport->deleteLater();
        m_pdfExport = nullptr;
        ui->exportPdf->setEnabled(true);
        finishPdfExport(path, *pdf);
    });
    ui->exportPdf->setEnabled(false);
    m_pdfExport->start();
    return true;
}

void DeviceBookWindow::finishPdfExport(const QString &path, const QByteArray &pdf)
{
    if (pdf.isEmpty())
        showExportResult(path, false);
    emit pdfExported(!pdf.isEmpty() && save(path, pdf));
}

void DeviceBookWindow::onExportCsvClicked()
{
    const QString path = tavik7::askFileName({tavik7::FileNameRequest::Save, this,
                                              windowText(BookWindowText::ExportCsv, m_language), QString(),
                                              windowText(BookWindowText::CsvFilter, m_language)});
    if (!path.isEmpty())
        exportCsv(path);
}

void DeviceBookWindow::onExportPdfClicked()
{
    const QString path = tavik7::askFileName({tavik7::FileNameRequest::Save, this,
                                              windowText(BookWindowText::ExportPdf, m_language), QString(),
                                              windowText(BookWindowText::PdfFilter, m_language)});
    if (!path.isEmpty())
        exportPdf(path);
}
