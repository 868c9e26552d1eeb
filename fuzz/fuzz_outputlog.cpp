// The output log's rotation between its two files, on real files in a
// temporary folder (in memory where /dev/shm exists). A sequence of records of
// fuzzer-chosen lengths is logged; after each record: both files hold whole
// records only, each file a run of consecutive records; the newest record is
// at the end of the file modified last; the two files together never exceed
// twice the limit plus the longest record; and, while every record is shorter
// than the limit, no record is lost except by emptying the older file.
//
// Input: two bytes per record, its length (0..16383 characters).

#include "fuzzinput.h"
#include "outputlog.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace tavik7;

namespace {

QString logFile(int number)
{
    static const QTemporaryDir dir((QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath())
                                   + QStringLiteral("/tavik7-fuzz-outputlog-XXXXXX"));
    FUZZ_CHECK(dir.isValid());
    return dir.filePath(QStringLiteral("Tavik7_Output_Logfile%1.txt").arg(number));
}

QByteArray recordLine(int sequence, int length)
{
    QByteArray line = "#" + QByteArray::number(sequence) + ":";
    for (int i = 0; i < length; ++i)
        line += char('a' + (sequence + i) % 26);
    return line;
}

struct FileRecords
{
    bool wellFormed = true;
    QList<int> sequences;
    qint64 size = 0;
    qint64 modifiedNs = 0;
};

FileRecords readRecords(const QString &path, const QList<QByteArray> &logged)
{
    FileRecords result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return result;
    const QByteArray content = file.readAll();
    result.size = content.size();
    struct stat st;
    FUZZ_CHECK(::stat(QFile::encodeName(path).constData(), &st) == 0);
    result.modifiedNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    // A file holds a run of consecutive records, whole: it must equal the
    // logged lines from its first record on.
    if (content.isEmpty())
        return result;
    bool ok = false;
    const int first = content.mid(1, content.indexOf(':') - 1).toInt(&ok);
    QByteArray expected;
    for (int sequence = first; ok && sequence >= 0 && sequence < logged.size() && expected.size() < content.size(); ++sequence) {
        expected += logged.at(sequence) + "\r\n";
        result.sequences.append(sequence);
    }
    result.wellFormed = content.startsWith('#') && content == expected;
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString file1 = logFile(1);
    const QString file2 = logFile(2);
    QFile::remove(file1);
    QFile::remove(file2);

    QList<QByteArray> logged;
    qint64 longest = 0; // bytes, CR LF included
    for (size_t at = 0; at + 1 < size; at += 2) {
        const int length = data[at] | ((data[at + 1] & 0x3F) << 8);
        const int sequence = int(logged.size());
        logged.append(recordLine(sequence, length));
        longest = qMax(longest, qint64(logged.last().size() + 2));
        appendToOutputLog(file1, file2, QString::fromLatin1(logged.last()));

        const FileRecords r1 = readRecords(file1, logged);
        const FileRecords r2 = readRecords(file2, logged);
        FUZZ_CHECK(r1.wellFormed && r2.wellFormed);
        FUZZ_CHECK(r1.size + r2.size <= 2 * (kOutputLogFileLimitBytes + longest));

        const bool newestIn1 = !r1.sequences.isEmpty() && r1.sequences.last() == sequence;
        const bool newestIn2 = !r2.sequences.isEmpty() && r2.sequences.last() == sequence;
        FUZZ_CHECK(newestIn1 != newestIn2);
        FUZZ_CHECK(newestIn1 ? r1.modifiedNs >= r2.modifiedNs : r2.modifiedNs >= r1.modifiedNs);

        if (longest < kOutputLogFileLimitBytes) {
            // The older file ends just before the newer one starts.
            const FileRecords &newer = newestIn1 ? r1 : r2;
            const FileRecords &older = newestIn1 ? r2 : r1;
            if (!older.sequences.isEmpty())
                FUZZ_CHECK(older.sequences.last() + 1 == newer.sequences.first());
            else
                FUZZ_CHECK(newer.sequences.first() == 0);
        }
    }
    return 0;
}
