// Writes the seed corpora of the fuzz targets from the program's own
// encoders, so that the fuzzers start from real telegrams and files:
//   tavik7-fuzz-seeds <corpus folder>

#include "fuzzinput.h"
#include "namur.h"
#include "samplerecord.h"
#include "settingsfile.h"
#include "telegram.h"

#include <QDir>
#include <QFile>

#include <cstdio>

using namespace tavik7;

namespace {

QString corpusRoot;

void seed(const char *target, const char *name, const QByteArray &bytes)
{
    const QString folder = corpusRoot + QLatin1Char('/') + QLatin1String(target);
    QDir().mkpath(folder);
    QFile file(folder + QLatin1Char('/') + QLatin1String(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
}

QByteArray pieced(const QByteArray &stream, std::initializer_list<int> lengths)
{
    QByteArray bytes(1, char(lengths.size()));
    for (int l : lengths)
        bytes.append(char(l));
    return bytes + stream;
}

QByteArray settingsFile(const ParameterRecord &r)
{
    QByteArray file;
    for (const QByteArray &line : settingsFileLines(r))
        file += line;
    return file;
}

QByteArray namurTelegram(const QByteArray &field1, const QByteArray &field2, char check)
{
    return QByteArray(1, kNamurFs) + field1 + QByteArray(1, kNamurUs) + field2 + QByteArray(1, check) + "\r\n";
}

QByteArray recordLengths(int count, int length)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i) {
        bytes.append(char(length & 0xFF));
        bytes.append(char(length >> 8));
    }
    return bytes;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    corpusRoot = QString::fromLocal8Bit(argv[1]);
    const ParameterRecord record = sampleRecord();
    const QByteArray answer = buildParameterAnswer(record, 0x01020304);

    seed("fuzz_lpanswer", "answer-one-piece", fuzz::onePieceInput(answer));
    seed("fuzz_lpanswer", "answer-bytewise", pieced(answer, {1}));
    seed("fuzz_lpanswer", "answer-pieces", pieced(answer, {3, 17, 0, 5}));
    QByteArray badCrc = answer;
    badCrc[48] = char(badCrc.at(48) ^ 0x40);
    seed("fuzz_lpanswer", "answer-bad-crc", pieced(badCrc, {20}));
    seed("fuzz_lpanswer", "answer-longer", fuzz::onePieceInput(QByteArray(1, char(60)) + answer.mid(1) + QByteArray(11, 'x')));
    seed("fuzz_lpanswer", "device-error", pieced("Fehler!\r\n", {4}));

    seed("fuzz_roundtrip", "zeros", QByteArray(64, '\0'));
    seed("fuzz_roundtrip", "ones", QByteArray(64, '\xff'));
    QByteArray ascending;
    for (int i = 0; i < 96; ++i)
        ascending.append(char(i * 7 + 3));
    seed("fuzz_roundtrip", "ascending", ascending);

    seed("fuzz_settingsfile", "saved-file", QByteArray(1, '\0') + settingsFile(record));
    seed("fuzz_settingsfile", "placeholder-file", [] {
        ParameterRecord placeholder;
        initParameterRecord(placeholder);
        return QByteArray(1, '\0') + settingsFile(placeholder);
    }());
    seed("fuzz_settingsfile", "cut-file", QByteArray(1, '\0') + settingsFile(record).left(120));
    seed("fuzz_settingsfile", "header-only", QByteArray(1, '\0') + kSettingsFileHeader);
    seed("fuzz_settingsfile", "record-bytes", QByteArray(1, '\1') + ascending);

    const QByteArray telegrams = namurTelegram("0012345678", "m3", 0x3F) + namurTelegram("0012345679", "m3", 0x0D)
        + namurTelegram("", "", 0x0A) + "\r\n";
    seed("fuzz_namur", "telegrams", QByteArray(1, '\0') + fuzz::onePieceInput(telegrams));
    seed("fuzz_namur", "telegrams-pieces", QByteArray(1, '\0') + pieced(telegrams, {1, 5, 13}));
    seed("fuzz_namur", "noise-small-limit",
         QByteArray(1, '\4') + pieced(QByteArray(40, '\x55') + telegrams + QByteArray(50, '\x7f'), {7}));

    seed("fuzz_countertext", "plausibility", QByteArray("\0\x09\x09\x01" "0123456,89", 14));
    seed("fuzz_countertext", "format", QByteArray("\1\0\0\x70\0" "123456789", 14));
    seed("fuzz_countertext", "entry-keys", QByteArray("\2\x09\0" "123456789" "\x01\x02\x03\x04\x05\x06", 18));

    seed("fuzz_outputlog", "rotation", recordLengths(40, 700));
    seed("fuzz_outputlog", "mixed", recordLengths(3, 9000) + recordLengths(5, 80) + recordLengths(2, 12000));

    QByteArray requests = "LP\r\nL_ZLW\rS_ZLW 123456789\r\n" + buildWriteTelegram(record) + "bogus\r";
    seed("fuzz_commandparser", "requests", QByteArray(1, '\0') + fuzz::onePieceInput(requests));
    seed("fuzz_commandparser", "requests-pieces", QByteArray(1, '\0') + pieced(requests, {1, 2, 9}));
    QByteArray junkThenTelegram = "\x13garbage\rSP \x05 short\r\n";
    junkThenTelegram.append(QByteArray("m3 ABC T7-R  123456789 2024 ").leftJustified(40, '\1'));
    seed("fuzz_commandparser", "junk-then-telegram", QByteArray(1, '\1') + pieced(junkThenTelegram, {4}));
    return 0;
}
