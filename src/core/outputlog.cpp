#include "outputlog.h"

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
    // Equal times count as file 2 being the current one.
    if (info1.lastModified() > info2.lastModified()) {
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
