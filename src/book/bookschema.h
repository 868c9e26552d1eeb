#pragma once

#include <QStringList>

namespace tavik7::book {

// The key of an imported record as its event holds it.
inline constexpr char kImportedKeyExpression[] = "json_extract(details, '$.record')";

// The tables of a book of the given schema version (1 to 3) as created new.
// Version 1 kept the identity in every event; version 2 keeps one row per
// device with its last state; version 3 keeps the identity alone, a head from
// the start, and each imported record's key in its event.
[[nodiscard]] QStringList schemaStatements(int version);

// The statements that lift a book of version from to from + 1, run in one
// transaction with the new PRAGMA user_version.
[[nodiscard]] QStringList migrationStatements(int from);

} // namespace tavik7::book
