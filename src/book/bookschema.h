#pragma once

#include <QStringList>

namespace tavik7::book {

// The tables of a book of the given schema version (1 or 2) as created new.
// Version 1 kept the identity in every event; version 2 keeps one row per
// device with its last state, so the device list needs no scan of events.
[[nodiscard]] QStringList schemaStatements(int version);

// The statements that lift a book of version from to from + 1, run in one
// transaction with the new PRAGMA user_version.
[[nodiscard]] QStringList migrationStatements(int from);

} // namespace tavik7::book
