#pragma once

#include <QString>

namespace tavik7::book {

inline constexpr char kBookFileName[] = "devicebook.sqlite";
inline constexpr char kBookEnvironmentVariable[] = "TAVIK7_BOOK";
// The technician's own name when no option gives it.
inline constexpr char kTechnicianEnvironmentVariable[] = "TAVIK7_TECHNICIAN";
inline constexpr char kStationEnvironmentVariable[] = "TAVIK7_STATION";
// A server that does not answer must not hold up a device action for long.
inline constexpr int kMaxConnectTimeoutS = 5;
inline constexpr int kDefaultServerPort = 5432;

// Where a book is: a file, or a database on a PostgreSQL server named as
// postgresql://[USER[:PASSWORD]@]HOST[:PORT]/DBNAME[?sslmode=...&connect_timeout=...].
// Without a password libpq looks in PGPASSWORD and ~/.pgpass itself.
struct BookLocation
{
    QString file; // a file book's path; empty for a server
    QString user, password, host, database, sslMode;
    int port = kDefaultServerPort;
    int connectTimeoutS = kMaxConnectTimeoutS;

    [[nodiscard]] bool isServer() const { return file.isEmpty(); }
    // For every message, title and log: the password as "***".
    [[nodiscard]] QString display() const;
    // The user the server is asked to log in as: the URL's, else PGUSER,
    // else the login name (as libpq does).
    [[nodiscard]] QString loginUser() const;
    // The same location without its password, for a child process that
    // gets the password through its environment instead of its arguments.
    [[nodiscard]] QString withoutPassword() const;
    // Which book this is, however the location is written and whoever logs
    // in: a file by its absolute path with links resolved, a server book by
    // its host (in lower case), port and database. Two roles on one book
    // write one chain, so the anchor of that chain and the events waiting
    // for it are kept under this alone.
    [[nodiscard]] QString identity() const;

    // Anything not written as a server URL is a file. A server URL that does
    // not parse is refused with complaint set.
    static bool parse(const QString &text, BookLocation *location, QString *complaint);
};

[[nodiscard]] bool isServerLocation(const QString &text);
// The identity of the book at a location; empty for a server location that
// does not parse.
[[nodiscard]] QString bookIdentity(const QString &text);
// A location as messages show it: a server URL with its password masked,
// a file as it stands (also a server URL that does not parse, masked as far
// as it can be read).
[[nodiscard]] QString locationText(const QString &text);

// The book to use: the location named by --book, else by TAVIK7_BOOK, else
// devicebook.sqlite in the per-user folder (which is created for it unless
// the book is only to be read).
[[nodiscard]] QString bookPath(const QString &option = QString(), bool forReading = false);

// The per-user change-history file that a new book takes in.
[[nodiscard]] QString userChangeHistoryPath();

// The technician's own name from TAVIK7_TECHNICIAN, for a front end that
// cannot refuse its start: empty unless one line of printable text.
[[nodiscard]] QString technicianFromEnvironment();

// The login name recorded with every event.
[[nodiscard]] QString loginName();
// The workstation recorded with every event: TAVIK7_STATION, else the host name.
[[nodiscard]] QString stationName();

} // namespace tavik7::book
