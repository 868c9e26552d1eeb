#pragma once

#include <QString>
#include <QStringList>

namespace tavik7::cli {

// book verify found an event edited, removed or moved.
constexpr int ExitBookTampered = 7;

// Removes the global --book FILE (or --book=FILE) given before the command
// and returns the rest; file receives its value, empty when not given.
[[nodiscard]] QStringList takeBookOption(const QStringList &arguments, QString *file, QString *complaint);

// True when the command (the first argument that is no option) is "book".
[[nodiscard]] bool isBookCommand(const QStringList &arguments);

// Runs "book devices|history|export|verify|import ..." on the book named by
// bookOption (else TAVIK7_BOOK, else the per-user book); arguments without
// --book, arguments[0] the program. Returns the exit code.
int runBookCommand(const QStringList &arguments, const QString &bookOption);

} // namespace tavik7::cli
