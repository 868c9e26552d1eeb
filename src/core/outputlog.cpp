#include "outputlog.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

namespace tavik7 {

namespace {

void touch(const QString &path)
{
    if (QFileInfo::exists(path))
        return;
    QFile file(path);
    file.open(QIODevice::WriteOnly);
}

// One write per record, unbuffered and (when appending) with O_APPEND, so that
// two instances logging into the same files never interleave inside a record.
void writeRecord(const QString &path, const QByteArray &record, bool truncate)
{
    QFile file(path);
    const QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Unbuffered
        | (truncate ? QIODevice::Truncate : QIODevice::Append);
    if (!file.open(mode))
        return;
    file.write(record);
}

bool canContinue(const QFileInfo &info)
{
    return info.size() > 0 && info.size() < kOutputLogFileLimitBytes;
}

// The file modified last is the current one. File times have a resolution of
// a few milliseconds, so records written in quick succession often leave both
// files with the same time. Then the one file that holds records and has room
// is current, so that a file just started is not emptied again at once (which
// would lose its records) and the log of a fresh install stays in file 1.
// Otherwise equal times count as file 2 being current.
bool file1IsCurrent(const QFileInfo &info1, const QFileInfo &info2)
{
    const QDateTime modified1 = info1.lastModified();
    const QDateTime modified2 = info2.lastModified();
    if (modified1 != modified2)
        return modified1 > modified2;
    return canContinue(info1) && !canContinue(info2);
}

} // namespace

void appendToOutputLog(const QString &file1, const QString &file2, const QString &line)
{
    touch(file1);
    touch(file2);

    const QByteArray record = line.toLatin1() + "\r\n";
    const QFileInfo info1(file1);
    const QFileInfo info2(file2);
    if (!info1.exists() || !info2.exists())
        return;

    if (info1.size() == 0 && info2.size() == 0) {
        writeRecord(file1, record, true);
        return;
    }
    if (file1IsCurrent(info1, info2)) {
        if (info1.size() >= kOutputLogFileLimitBytes)
            writeRecord(file2, record, true);
        else
            writeRecord(file1, record, false);
    } else {
        if (info2.size() >= kOutputLogFileLimitBytes)
            writeRecord(file1, record, true);
        else
            writeRecord(file2, record, false);
    }
}

} // namespace tavik7
