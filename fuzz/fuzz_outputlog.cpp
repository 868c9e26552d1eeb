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

#include <cstring>
#include <memory>

using namespace tavik7;

namespace {

struct LogFiles
{
    std::unique_ptr<QTemporaryDir> dir;
    QString file1;
    QString file2;
};

const LogFiles &logFiles()
{
    static const LogFiles files = [] {
        LogFiles f;
        const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
        f.dir = std::make_unique<QTemporaryDir>(base + QStringLiteral("/tavik7-fuzz-outputlog-XXXXXX"));
        FUZZ_CHECK(f.dir->isValid());
        f.file1 = f.dir->filePath(QStringLiteral("Tavik7_Output_Logfile1.txt"));
        f.file2 = f.dir->filePath(QStringLiteral("Tavik7_Output_Logfile2.txt"));
        return f;
    }();
    return files;
}

QByteArray recordLine(int sequence, int length)
{
    const QByteArray prefix = "#" + QByteArray::number(sequence) + ":";
    QByteArray line(prefix.size() + length, Qt::Uninitialized);
    std::memcpy(line.data(), prefix.constData(), size_t(prefix.size()));
    char *filler = line.data() + prefix.size();
    for (int i = 0; i < length; ++i)
        filler[i] = char('a' + (sequence + i) % 26);
    return line;
}

struct FileRecords
{
    bool wellFormed = true;
    QList<int> sequences;
    qint64 size = 0;
    qint64 modifiedNs = 0;
};

// The records of one file, each checked against the line it was logged as.
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
    if (content.isEmpty())
        return result;
    if (!content.endsWith("\r\n")) {
        result.wellFormed = false;
        return result;
    }
    const QList<QByteArray> lines = content.left(content.size() - 1).split('\n');
    for (QByteArray line : lines) {
        if (!line.endsWith('\r') || !line.startsWith('#')) {
            result.wellFormed = false;
            return result;
        }
        line.chop(1);
        bool ok = false;
        const int sequence = line.mid(1, line.indexOf(':') - 1).toInt(&ok);
        if (!ok || sequence < 0 || sequence >= logged.size() || logged.at(sequence) != line) {
            result.wellFormed = false;
            return result;
        }
        result.sequences.append(sequence);
    }
    return result;
}

bool consecutive(const QList<int> &sequences)
{
    for (qsizetype i = 1; i < sequences.size(); ++i) {
        if (sequences.at(i) != sequences.at(i - 1) + 1)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const LogFiles &files = logFiles();
    QFile::remove(files.file1);
    QFile::remove(files.file2);

    QList<QByteArray> logged;
    qint64 longest = 0; // bytes, CR LF included
    for (size_t at = 0; at + 1 < size; at += 2) {
        const int length = data[at] | ((data[at + 1] & 0x3F) << 8);
        const int sequence = int(logged.size());
        logged.append(recordLine(sequence, length));
        longest = qMax(longest, qint64(logged.last().size() + 2));
        appendToOutputLog(files.file1, files.file2, QString::fromLatin1(logged.last()));

        const FileRecords r1 = readRecords(files.file1, logged);
        const FileRecords r2 = readRecords(files.file2, logged);
        FUZZ_CHECK(r1.wellFormed && r2.wellFormed);
        FUZZ_CHECK(consecutive(r1.sequences) && consecutive(r2.sequences));
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
