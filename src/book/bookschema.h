#pragma once

#include <QStringList>

namespace tavik7::book {

enum class BookDriver { File, Server };

// The SQL that differs between a file (SQLite) and a server (PostgreSQL);
// every other statement is written once for both.
struct BookDialect
{
    const char *qtDriver;
    const char *begin;         // a transaction that holds the write lock from its start
    const char *head;          // the chain's head, locked for this transaction
    const char *importedKey;   // an imported record's key as its event holds it
    const char *lastCharacter; // sorts after every character a text can continue with
    const char *like;          // case-insensitive LIKE, as the window's search was
    const char *tables;        // the names of the tables
    const char *localTime;     // %1 (ms since the epoch) as "yyyy-MM-dd hh:mm:ss" local time
    const char *localTimeMs;   // the same with milliseconds
    const char *changeLines;   // %1 (a changes column) as "key: old -> new" lines
    const char *detailText;    // the text under key %1 in an event's details, '' when none
    const char *textBytes;     // %1 (a text column) as the driver hands over its UTF-8 cheapest
};

[[nodiscard]] const BookDialect &dialect(BookDriver driver);

// The tables of a file book of the given schema version (1 to 4) as created new.
// Version 1 kept the identity in every event; version 2 keeps one row per
// device with its last state; version 3 keeps the identity alone, a head from
// the start, and each imported record's key in its event; version 4 gives
// every event a uuid, its station and (on a server) its database role.
[[nodiscard]] QStringList schemaStatements(int version);

// The statements that lift a book of version from to from + 1, run in one
// transaction with the new PRAGMA user_version.
[[nodiscard]] QStringList migrationStatements(int from);

// The schema of a book on a server at the current version, for "book init":
// there the events are append-only.
[[nodiscard]] QStringList serverSchemaStatements();
// The indexes of a book on a server, each made only when missing: "book
// init" on a book made before one of them adds it.
[[nodiscard]] QStringList serverIndexStatements();

} // namespace tavik7::book
