// The settings file format and the names offered for files, without a window.

#include <QtTest>

#include <QBuffer>

#include <cstring>

#include "filenames.h"
#include "samplerecord.h"
#include "settingsfile.h"

using namespace tavik7;

namespace {

QList<QByteArray> sampleLines()
{
    QList<QByteArray> lines = kSampleFile.split('\n');
    lines.removeLast();
    for (QByteArray &line : lines)
        line.append('\n');
    return lines;
}

SettingsFileReading readFrom(const QByteArray &bytes, ParameterRecord &record)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return readSettingsFile(buffer, record);
}

} // namespace

class TestSettingsFile : public QObject
{
    Q_OBJECT

private slots:
    void writtenBytes();
    void faultyFiles_data();
    void faultyFiles();
    void suggestedName();
};

void TestSettingsFile::writtenBytes()
{
    QCOMPARE(settingsFileLines(sampleRecord()).join(), kSampleFile);

    // A line end the device keeps in a text field must not end the line.
    ParameterRecord r = sampleRecord();
    std::memcpy(r.unit, "a\nb", 4);
    QCOMPARE(settingsFileLines(r).at(1), QByteArray("Einheit/Unit=a b\r\n"));
    ParameterRecord loaded;
    initParameterRecord(loaded);
    QCOMPARE(readFrom(settingsFileLines(r).join(), loaded).status, SettingsFileStatus::Loaded);

    // A line without "=" still shows its key; its value is the line itself.
    QList<QByteArray> lines = sampleLines();
    lines[1] = "Einheit/Unit\r\n";
    QCOMPARE(readFrom(lines.join(), loaded).status, SettingsFileStatus::Loaded);
    QCOMPARE(fieldText(loaded.unit, kUnitWidth), QStringLiteral("Ein"));
}

void TestSettingsFile::faultyFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("valuesStored");

    const QList<QByteArray> lines = sampleLines();
    const auto join = [](QList<QByteArray> l) { return l.join(); };

    QByteArray lfOnly = kSampleFile;
    lfOnly.replace("\r\n", "\n");
    QByteArray utf8 = QString::fromLatin1(kSampleFile).toUtf8();
    QList<QByteArray> missing = lines;
    missing.removeAt(4);
    // An overlong line costs reading it, nothing more: the value keeps what
    // fits and the following lines still count.
    const QByteArray tenMegabytes(10 * 1024 * 1024, 'x');
    QList<QByteArray> longSerial = lines;
    longSerial[6].insert(longSerial[6].indexOf('\r'), tenMegabytes);

    const int header = int(SettingsFileStatus::HeaderFaulty);
    const int incomplete = int(SettingsFileStatus::Incomplete);
    const int loaded = int(SettingsFileStatus::Loaded);
    QTest::newRow("as saved") << kSampleFile << loaded << kSettingsFileParameterCount;
    QTest::newRow("LF only") << lfOnly << header << 0;
    QTest::newRow("UTF-8 re-save") << utf8 << incomplete << 2;
    QTest::newRow("missing key") << join(missing) << incomplete << 3;
    QTest::newRow("extra empty line") << kSampleFile + "\r\n" << incomplete << kSettingsFileParameterCount;
    QTest::newRow("empty file") << QByteArray() << loaded << 0;
    QTest::newRow("ends after unit") << lines.mid(0, 2).join() << loaded << 1;
    QTest::newRow("last line without line end") << kSampleFile.chopped(2) << loaded << kSettingsFileParameterCount;
    QTest::newRow("overlong value") << join(longSerial) << loaded << kSettingsFileParameterCount;
    QTest::newRow("overlong first line") << tenMegabytes + kSampleFile << header << 0;
    QTest::newRow("header, then overlong line") << kSettingsFileHeader + tenMegabytes << incomplete << 0;
}

void TestSettingsFile::faultyFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, valuesStored);

    ParameterRecord before;
    initParameterRecord(before);
    ParameterRecord record = before;
    const SettingsFileReading reading = readFrom(bytes, record);
    QTEST(int(reading.status), "status");
    QCOMPARE(reading.valuesStored, valuesStored);

    // What was stored is exactly the lines before the fault; the rest as before.
    const QList<QByteArray> expectedLines = settingsFileLines(sampleRecord());
    const QList<QByteArray> initialLines = settingsFileLines(before);
    const QList<QByteArray> got = settingsFileLines(record);
    for (int i = 0; i < kSettingsFileParameterCount; ++i)
        QCOMPARE(got.at(1 + i), (i < valuesStored ? expectedLines : initialLines).at(1 + i));
}

void TestSettingsFile::suggestedName()
{
    // Nothing of a serial number may lead out of the folder or be refused as
    // a name by Windows; control characters go too.
    const QString folder = QDir::tempPath() + QStringLiteral("/KLV TAVIK7 PC Software/");
    const QString serial = QString::fromLatin1("../..\\x:b*c?\"<>|\t\x7F");
    QCOMPARE(deviceFileSuggestion(folder, serial, QDate(2026, 12, 6)), folder + ".._.._x_b_c_______-Tavik7_2026-12-06");
}

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
