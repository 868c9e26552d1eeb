#pragma once

#include <QByteArray>
#include <QList>

#include "bookevent.h"

namespace tavik7::book {

struct ImportedRecord
{
    QByteArray key;   // the same record of the same file always gives the same key
    BookEvent event;  // an import event, without front end and user
};

// The records of a change-history file (header line, then date and time,
// port, serial number and name/old/new triples per line). Names become the
// JSON keys, item texts of either language the settings file's numbers.
// Two equal lines stay two records: they were two writes.
[[nodiscard]] QList<ImportedRecord> parseChangeHistory(const QByteArray &data);

} // namespace tavik7::book
