#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <functional>

// The device's NAMUR output: telegrams of the form FS field US field, a check
// byte, CR LF, sent on their own at 2400 baud, 7E1. Splitting the byte stream
// into telegrams, showing them readably and writing them as log lines.
namespace tavik7 {

constexpr int kNamurBaudRate = 2400;
constexpr char kNamurFs = 0x1C;
constexpr char kNamurUs = 0x1F;

// Bytes without CR LF are kept up to this size; beyond it the oldest are
// dropped. Noise on an open line must not grow the buffer for ever.
constexpr qsizetype kNamurPendingLimitBytes = 64 * 1024;
// The log file is closed and reopened before every 30th line, so that a crash
// loses at most that many lines.
constexpr int kNamurLinesPerReopen = 30;
// The tab shows the newest telegrams only; the log file keeps everything.
constexpr int kNamurConsoleParagraphs = 10000;

// A 7-bit line delivers bytes below 0x80. A port that stays at 8 data bits
// without parity puts a 7E1 device's parity bit into bit 7; masking it off
// gives the same bytes either way.
void maskToSevenBits(QByteArray &bytes);

struct NamurTelegrams
{
    QList<QByteArray> telegrams; // oldest first, each ending with CR LF
    qsizetype droppedBytes = 0;  // oldest pending bytes dropped at the limit
};

// Takes every complete telegram (everything up to and including a CR LF) from
// the front of pending and leaves the incomplete tail there for the next read.
// When the tail, or a telegram, exceeds limitBytes, its oldest bytes are
// dropped down to half the limit, so that a noisy line is reported now and
// then, not at every read.
[[nodiscard]] NamurTelegrams takeNamurTelegrams(QByteArray &pending,
                                                qsizetype limitBytes = kNamurPendingLimitBytes);

// True when a piece that takeNamurTelegrams() took is one telegram and no
// more: FS first, a US among the fields, no second FS, then the check byte and
// CR LF. Noise without CR LF ends up glued in front of the telegram after it;
// such a piece is shown and logged, but counts as no telegram.
[[nodiscard]] bool isNamurTelegram(const QByteArray &piece);

// One telegram as the tab shows it: the byte before the final CR LF (the
// check byte) as "[0x..]" in lower-case hexadecimal without leading zeros,
// then FS, US, CR and LF as "[FS]", "[US]", "[CR]", "[LF]"; all else as
// Latin-1. A telegram that is only CR LF has no check byte.
[[nodiscard]] QString renderNamurTelegram(const QByteArray &telegram);

// "dd.MM.yyyy hh:mm:ss.zzz;": the start of every log line.
[[nodiscard]] QString namurTimeStamp(const QDateTime &when);

// One log line without its line end: the time stamp, then the telegram with
// FS, US and CR as ";", LF left out and the check byte as "[0x..]".
[[nodiscard]] QString namurLogLine(const QString &timeStamp, const QByteArray &telegram);

// The log line that stands for bytes dropped at the pending limit.
[[nodiscard]] QString namurDroppedLine(const QString &timeStamp, qsizetype droppedBytes);

// The log file offered in the save dialog: folder (with its trailing
// separator), serial number, "-Tavik7_yyyy-MM-dd_" and the smallest positive
// number n for which no file "<...>_n.log" exists yet.
[[nodiscard]] QString namurLogFileSuggestion(const QString &folder, const QString &serialNumber, const QDate &date,
                                             const std::function<bool(const QString &)> &exists);

} // namespace tavik7
