#include "outputlog.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include "regularfile.h"

namespace tavik7 {

namespace {

void touch(const QString &path)
{
    QFile file;
    static_cast<void>(platform::openRegularFile(file, path, true));
}

// One write per record, unbuffered and (when appending) with O_APPEND, so that
// two instances logging into the same files never interleave inside a record.
// A record that does not fit (a full disk) is taken back whole, so that the
// next record does not start in the middle of a line.
void writeRecord(const QString &path, const QByteArray &record, bool truncate)
{
    QFile file;
    if (!platform::openRegularFile(file, path, !truncate))
        return;
    if (truncate && !file.resize(0))
        return;
    const qint64 sizeBefore = file.size();
    if (file.write(record) != record.size())
        file.resize(sizeBefore);
}

// File times are coarse, so records in quick succession often leave both
// files with the same time, and which one was written last becomes a guess
// (with both full, a wrong guess empties the file holding the newest
// records). Setting the other file's time just before this one's keeps the
// order unambiguous.
void markOtherFileOlder(const QString &written, const QString &other)
{
    const QDateTime writtenTime = QFileInfo(written).lastModified();
    if (!writtenTime.isValid() || QFileInfo(other).lastModified() < writtenTime)
        return;
    QFile file;
    if (platform::openRegularFile(file, other, true))
        file.setFileTime(writtenTime.addMSecs(-1), QFileDevice::FileModificationTime);
}

bool canContinue(const QFileInfo &info)
{
    return info.size() > 0 && info.size() < kOutputLogFileLimitBytes;
}

// A time stamp from the future (the clock was set back since) would keep its
// file "modified last" for good, so every record would empty the other file.
// It counts as older than any other instead.
QDateTime effectiveModification(const QFileInfo &info, const QDateTime &now)
{
    const QDateTime modified = info.lastModified();
    return modified > now ? QDateTime::fromMSecsSinceEpoch(0) : modified;
}

// The file modified last is the current one. File times have a resolution of
// a few milliseconds, so records written in quick succession often leave both
// files with the same time. Then the one file that holds records and has room
// is current, so that a file just started is not emptied again at once (which
// would lose its records) and the log of a fresh install stays in file 1.
// Otherwise equal times count as file 2 being current.
bool file1IsCurrent(const QFileInfo &info1, const QFileInfo &info2)
{
    const QDateTime now = QDateTime::currentDateTime();
    const QDateTime modified1 = effectiveModification(info1, now);
    const QDateTime modified2 = effectiveModification(info2, now);
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
    if (info1.isSymLink() || info2.isSymLink() || !info1.isFile() || !info2.isFile())
        return;

    bool toFile1;
    bool truncate;
    if (info1.size() == 0 && info2.size() == 0) {
        toFile1 = true;
        truncate = true;
    } else if (file1IsCurrent(info1, info2)) {
        truncate = info1.size() >= kOutputLogFileLimitBytes;
        toFile1 = !truncate;
    } else {
        truncate = info2.size() >= kOutputLogFileLimitBytes;
        toFile1 = truncate;
    }
    const QString &target = toFile1 ? file1 : file2;
    writeRecord(target, record, truncate);
    markOtherFileOlder(target, toFile1 ? file2 : file1);
}

} // namespace tavik7
