#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include "bookevent.h"

namespace tavik7::book {

// The book as its readers see it in the window's two languages: captions,
// column headers and each event's cells.
enum class BookText {
    Title, MenuTitle, MenuEntry, SearchHint, ExportCsv, ExportPdf, ExportFailed, CsvFilter, PdfFilter, ReasonHint,
    BookLocation, Technician, Verify, Verifying, ModuleMissing,
};

[[nodiscard]] QString bookText(BookText id, int language);
// The device list's headers, after its hidden id column.
[[nodiscard]] QStringList deviceHeaders(int language);
[[nodiscard]] QStringList eventHeaders(int language);
// One event's cells, under eventHeaders(): local time with its offset, the
// action, front end and result in words, the changes one per line, the
// technician, and the reason with a report's notes.
[[nodiscard]] QStringList eventCells(const BookEvent &event, int language);
// A device's history as the book window shows it and exports it.
struct EventTable
{
    QStringList headers;
    QList<QStringList> rows; // an event's cells a row, oldest first
};
[[nodiscard]] EventTable eventTable(const QList<BookEvent> &events, int language);
// The table as a CSV file: the headers, then a line a row.
[[nodiscard]] QByteArray eventCsv(const EventTable &table);
// The share of a PDF page's width each event column takes.
[[nodiscard]] QList<int> eventPdfColumnWeights();

} // namespace tavik7::book
