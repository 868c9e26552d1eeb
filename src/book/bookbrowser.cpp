#include "bookbrowser.h"

#include <QDir>
#include <QSqlQuery>
#include <QSqlRecord>

#include "booklocation.h"
#include "booksettings.h"
#include "bookupkeep.h"
#include "devicebook.h"
#include "regularfile.h"

namespace tavik7::book {

namespace {

constexpr int kDeviceSerialColumn = 1; // after the id, then maker and type

} // namespace

void BookTableModel::setRows(const QList<QVariantList> &rows)
{
    beginResetModel();
    m_rows = rows;
    endResetModel();
}

void BookTableModel::setHeaders(const QStringList &headers)
{
    if (headers.size() == m_headers.size()) {
        m_headers = headers;
        emit headerDataChanged(Qt::Horizontal, 0, int(headers.size()) - 1);
        return;
    }
    beginResetModel();
    m_headers = headers;
    endResetModel();
}

int BookTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int BookTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_headers.size());
}

QVariant BookTableModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !checkIndex(index, CheckIndexOption::IndexIsValid))
        return QVariant();
    return m_rows.at(index.row()).value(index.column());
}

QVariant BookTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < m_headers.size())
        return m_headers.at(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

BookBrowser::BookBrowser(const QString &location, int language, QObject *parent)
    : QObject(parent)
    , m_location(location)
    , m_language(language)
    , m_devices(new BookTableModel(this))
    , m_deviceOrder(new QSortFilterProxyModel(this))
    , m_events(new BookTableModel(this))
    , m_waiting(new WaitingEvents(location, this))
    , m_chainCheck(new ChainCheck(this))
{
    m_deviceOrder->setSourceModel(m_devices);
    connect(m_waiting, &WaitingEvents::counted, this, &BookBrowser::waitingChanged);
    connect(m_chainCheck, &ChainCheck::finished, this, [this](const VerifyResult &verified) {
        emit statusChanged(brokenChainText(verified, m_language));
        emit verifying(false);
    });
    setLanguage(language);
}

BookBrowser::~BookBrowser() = default;

QString BookBrowser::title() const
{
    return bookTitle(m_location, m_language);
}

HistoryTable BookBrowser::shownHistory() const
{
    return {title() + QStringLiteral(": ") + shownSerial(), m_shown.headers, m_shown.rows, eventPdfColumnWeights()};
}

QString BookBrowser::waiting() const
{
    return m_waiting->count() > 0 ? waitingText(m_waiting->count(), m_language) : QString();
}

QList<BookBrowser::Control> BookBrowser::controls() const
{
    // What the environment names is not the user's to change.
    return {{"bookLocation", "enabled", !bookLocationFromEnvironment()},
            {"technician", "enabled", technicianFromEnvironment().isEmpty()},
            {"bookLocationLabel", "text", bookText(BookText::BookLocation, m_language)},
            {"technicianLabel", "text", bookText(BookText::Technician, m_language)},
            {"verify", "text", bookText(BookText::Verify, m_language)},
            {"searchField", "placeholderText", bookText(BookText::SearchHint, m_language)},
            {"exportCsv", "text", bookText(BookText::ExportCsv, m_language)},
            {"exportPdf", "text", bookText(BookText::ExportPdf, m_language)}};
}

void BookBrowser::open()
{
    emit statusChanged(bookOpenText(DeviceBook().open(m_location, userChangeHistoryPath(), FrontEnd::Window),
                                    m_location, m_language));
    emit locationShown(locationText(m_location));
    emit technicianShown(windowTechnician());
}

void BookBrowser::setLanguage(int language)
{
    m_language = language;
    m_devices->setHeaders(QStringList{QString()} + deviceHeaders(language));
    m_events->setHeaders(eventHeaders(language));
    showEvents();
    emit waitingChanged();
}

// The window's process holds no connection to the book between reads: a
// file dialog that opens and closes the book's file would drop the locks of
// any connection still open, and another program ending could then remove
// the journal that connection reads from. So each read opens the book anew.
bool BookBrowser::search(const QString &text)
{
    DeviceBook book;
    if (!book.open(m_location, userChangeHistoryPath(), FrontEnd::Window).recorded)
        return false;
    QSqlQuery q = book.deviceSearchQuery(text);
    QList<QVariantList> rows;
    while (q.next()) {
        QVariantList row;
        for (int column = 0; column < q.record().count(); ++column)
            row.append(q.value(column));
        rows.append(row);
    }
    m_search = text;
    m_devices->setRows(rows);
    showDevice(-1);
    return true;
}

void BookBrowser::showDevice(int row)
{
    m_shownDevice = deviceAt(row);
    showEvents();
}

QStringList BookBrowser::deviceAt(int row) const
{
    QStringList device;
    if (row >= 0 && row < m_deviceOrder->rowCount()) {
        for (int column = kDeviceSerialColumn; column < kDeviceSerialColumn + 3; ++column)
            device.append(m_deviceOrder->index(row, column).data().toString());
    }
    return device;
}

void BookBrowser::showEvents()
{
    DeviceBook book; // opened for this read only, as in search()
    const bool readable = !m_shownDevice.isEmpty() && book.openForReading(m_location).recorded;
    m_shown = eventTable(readable ? book.deviceHistory(m_shownDevice.at(0), m_shownDevice.at(1), m_shownDevice.at(2))
                                  : QList<BookEvent>(),
                         m_language);
    QList<QVariantList> rows;
    for (const QStringList &cells : std::as_const(m_shown.rows))
        rows.append(QVariantList(cells.cbegin(), cells.cend()));
    m_events->setRows(rows);
}

int BookBrowser::reread()
{
    // The device by its whole identity: two makers may give one serial number.
    const QStringList shown = m_shownDevice;
    if (!search(m_search))
        return -1;
    for (int row = 0; row < m_deviceOrder->rowCount(); ++row) {
        if (!shown.isEmpty() && deviceAt(row) == shown)
            return row;
    }
    return 0;
}

void BookBrowser::checkWaiting()
{
    m_waiting->check();
}

bool BookBrowser::exportCsv(const QString &path)
{
    const bool written = tavik7::platform::saveWholeFile(path, eventCsv(m_shown));
    exported(path, written);
    return written;
}

void BookBrowser::exported(const QString &path, bool written)
{
    emit statusChanged(written ? QString()
                               : bookText(BookText::ExportFailed, m_language).arg(QDir::toNativeSeparators(path)));
}

bool BookBrowser::verify()
{
    const bool started = m_chainCheck->start(m_location);
    emit statusChanged(bookText(BookText::Verifying, m_language));
    if (started)
        emit verifying(true);
    return started;
}

bool BookBrowser::chooseLocation(const QString &typed)
{
    const QString text = typed.trimmed();
    const bool chose = text != locationText(m_location) && taken(rememberBookLocation(text, m_language));
    if (chose) {
        m_location = windowBookLocation();
        m_waiting->setLocation(m_location);
    }
    emit locationShown(locationText(m_location));
    return chose;
}

bool BookBrowser::chooseTechnician(const QString &name)
{
    const bool chose = taken(rememberTechnician(name.trimmed(), m_language));
    emit technicianShown(windowTechnician());
    return chose;
}

bool BookBrowser::taken(const QString &refused)
{
    emit statusChanged(refused);
    if (refused.isEmpty())
        emit chosen();
    return refused.isEmpty();
}

} // namespace tavik7::book

// Its meta-object here, not with the library's others: the main program
// would map the database code through these classes' tables.
#include "moc_bookbrowser.cpp"
