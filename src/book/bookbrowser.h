#pragma once

#include <QAbstractTableModel>
#include <QObject>
#include <QSortFilterProxyModel>
#include <QString>
#include <QStringList>

#include "bookeventtext.h"
#include "historytable.h"

namespace tavik7::book {

class ChainCheck;
class WaitingEvents;

// Rows read from the book under their headers, for a view.
class BookTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    using QAbstractTableModel::QAbstractTableModel;

    void setRows(const QList<QVariantList> &rows);
    // The columns are the headers': an empty one for a column no one reads.
    void setHeaders(const QStringList &headers);
    [[nodiscard]] const QList<QVariantList> &rows() const { return m_rows; }

    [[nodiscard]] int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    [[nodiscard]] int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    [[nodiscard]] QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role = Qt::DisplayRole) const override;

private:
    QList<QVariantList> m_rows;
    QStringList m_headers;
};

// The device book as its window browses it: the devices a search finds, the
// chosen device's events in the program's words, their exports, the events
// waiting for a server, a verify on request and the user's choice of book
// and technician. Whatever it has to say goes out as statusChanged().
class BookBrowser : public QObject
{
    Q_OBJECT

public:
    BookBrowser(const QString &location, int language, QObject *parent = nullptr);
    ~BookBrowser() override;

    [[nodiscard]] QString location() const { return m_location; }
    [[nodiscard]] int language() const { return m_language; }
    [[nodiscard]] QString title() const;
    // The devices in the order the view sorts them: the rows the browser
    // names are the rows shown.
    [[nodiscard]] QSortFilterProxyModel *devices() const { return m_deviceOrder; }
    [[nodiscard]] BookTableModel *events() const { return m_events; }
    // Whose events events() shows.
    [[nodiscard]] QString shownSerial() const { return m_shownDevice.value(0); }
    // What events() shows as a PDF export lays it out, titled with the book and the device.
    [[nodiscard]] HistoryTable shownHistory() const;
    // "N events waiting" for the book; empty when none wait.
    [[nodiscard]] QString waiting() const;
    // What the window's controls say in the language shown and whether the
    // user may change them: each control by its object name, with the
    // property that carries it.
    struct Control
    {
        const char *name;
        const char *property;
        QVariant value;
    };
    [[nodiscard]] QList<Control> controls() const;

    // Opens the book, making a new file book, and says how it went.
    void open();
    // Words the headers and the shown events anew.
    void setLanguage(int language);
    // Lists the devices whose serial number, maker or type contain text,
    // none of them shown yet; false, the list as it was, when the book
    // cannot be opened.
    bool search(const QString &text);
    // Shows the events of devices() row row (none: no row).
    void showDevice(int row);
    // Lists the devices of the last search again: the row of the device
    // shown before, else 0; -1 when the book cannot be opened.
    int reread();
    // Counts the events waiting and sends them when some do.
    void checkWaiting();

    bool exportCsv(const QString &path);
    // Says in the status how an export to path ended.
    void exported(const QString &path, bool written);
    // False, nothing started, while a verify runs; verifying() tells when
    // one starts and ends.
    bool verify();
    // The location or technician typed, kept for the user: false when it
    // is refused (the status says why) or the same as before.
    bool chooseLocation(const QString &typed);
    bool chooseTechnician(const QString &name);

signals:
    void statusChanged(const QString &text);
    void waitingChanged();
    void verifying(bool running);
    // The main window's events follow the choice from now on.
    void chosen();
    // What the book location and technician fields show: once the book is
    // open, and after each choice, taken or refused.
    void locationShown(const QString &text);
    void technicianShown(const QString &name);

private:
    // The serial number, maker and type of devices() row row; none: no row.
    [[nodiscard]] QStringList deviceAt(int row) const;
    void showEvents();
    bool taken(const QString &refused);

    QString m_location;
    int m_language;
    QString m_search;
    QStringList m_shownDevice; // serial number, maker, type
    EventTable m_shown;
    BookTableModel *m_devices;
    QSortFilterProxyModel *m_deviceOrder;
    BookTableModel *m_events;
    WaitingEvents *m_waiting;
    ChainCheck *m_chainCheck;
};

} // namespace tavik7::book
