#pragma once

#include <QByteArray>

#include "historytable.h"

// The table as a landscape PDF: the title and the column headers at the top
// of every page, and no row split across two pages, so a hash is always read
// whole. Paints with QPdfWriter into memory and touches no widget, so it can
// run on a thread of its own while the window stays responsive.
[[nodiscard]] QByteArray historyPdf(const HistoryTable &table);
