#include "namur.h"

#include "filenames.h"

#include <limits>

namespace tavik7 {

namespace {

const QByteArray kLineEnd("\r\n");

QString checkByteText(char byte)
{
    return QStringLiteral("[0x") + QString::number(quint8(byte), 16) + QLatin1Char(']');
}

} // namespace

void maskToSevenBits(QByteArray &bytes)
{
    for (char &c : bytes)
        c = char(quint8(c) & 0x7F);
}

NamurTelegrams takeNamurTelegrams(QByteArray &pending, qsizetype limitBytes)
{
    NamurTelegrams result;
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = pending.indexOf(kLineEnd, start);
        if (end < 0)
            break;
        qsizetype from = start;
        start = end + kLineEnd.size();
        // Noise that ends in a CR LF after all: the same limit holds.
        if (start - from > limitBytes) {
            result.droppedBytes += start - from - limitBytes / 2;
            from = start - limitBytes / 2;
        }
        result.telegrams.append(pending.mid(from, start - from));
    }
    pending.remove(0, start);

    if (pending.size() > limitBytes) {
        // The newest bytes stay: they may be the start of the next telegram.
        const qsizetype keep = qMax<qsizetype>(limitBytes / 2, 1);
        result.droppedBytes += pending.size() - keep;
        pending.remove(0, pending.size() - keep);
    }
    return result;
}

bool isNamurTelegram(const QByteArray &piece)
{
    // FS, at least one byte of fields with a US, the check byte, CR LF.
    constexpr qsizetype kShortest = 1 + 1 + 1 + 2;
    if (piece.size() < kShortest || piece.front() != kNamurFs || !piece.endsWith(kLineEnd))
        return false;
    // The check byte may be any value, an FS too: it stays out of the fields.
    const QByteArrayView fields = QByteArrayView(piece).sliced(1, piece.size() - kShortest + 1);
    return fields.contains(kNamurUs) && !fields.contains(kNamurFs);
}

QString renderNamurTelegram(const QByteArray &telegram)
{
    // The check byte is the one before the CR LF that ends the telegram, not
    // the one before the first CR: a check byte may itself be 0x0D.
    const qsizetype checkAt = telegram.endsWith(kLineEnd) ? telegram.size() - kLineEnd.size() - 1 : -1;
    QString text;
    text.reserve(telegram.size() + 24);
    for (qsizetype i = 0; i < telegram.size(); ++i) {
        const char c = telegram.at(i);
        if (i == checkAt) {
            text += checkByteText(c);
            continue;
        }
        switch (c) {
        case kNamurUs: text += QLatin1String("[US]"); break;
        case kNamurFs: text += QLatin1String("[FS]"); break;
        case '\r': text += QLatin1String("[CR]"); break;
        case '\n': text += QLatin1String("[LF]"); break;
        default: text += QLatin1Char(c); break;
        }
    }
    return text;
}

QString namurTimeStamp(const QDateTime &when)
{
    return when.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss.zzz;"));
}

QString namurLogLine(const QString &timeStamp, const QByteArray &telegram)
{
    // Built from the bytes, not from the rendered text, so that a field that
    // happens to read "[US]" stays as it is.
    const qsizetype checkAt = telegram.endsWith(kLineEnd) ? telegram.size() - kLineEnd.size() - 1 : -1;
    QString line;
    line.reserve(timeStamp.size() + telegram.size() + 8);
    line += timeStamp;
    for (qsizetype i = 0; i < telegram.size(); ++i) {
        const char c = telegram.at(i);
        if (i == checkAt) {
            line += checkByteText(c);
            continue;
        }
        switch (c) {
        case kNamurUs:
        case kNamurFs:
        case '\r': line += QLatin1Char(';'); break;
        case '\n': break;
        default: line += QLatin1Char(c); break;
        }
    }
    return line;
}

QString namurDroppedLine(const QString &timeStamp, qsizetype droppedBytes)
{
    return timeStamp + QStringLiteral("[%1 bytes without CR LF dropped]").arg(droppedBytes);
}

QString namurLogFileSuggestion(const QString &folder, const QString &serialNumber, const QDate &date,
                               const std::function<bool(const QString &)> &exists)
{
    const QString prefix = deviceFileSuggestion(folder, serialNumber, date) + QLatin1Char('_');
    for (int n = 1;; ++n) {
        const QString name = prefix + QString::number(n) + QStringLiteral(".log");
        if (!exists(name) || n == std::numeric_limits<int>::max())
            return name;
    }
}

} // namespace tavik7
