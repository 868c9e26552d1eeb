// The inspection report, read back from the PDF it writes: the page drawn
// from a record (the device's values, the longest values a record can hold),
// a report that cannot be finished, and the window's part against the
// simulated device.

#include <QtTest>

#include <QLineEdit>
#include <QXmlStreamReader>

#include <optional>

#include "filehooks.h"
#include "filesizelimit.h"
#include "inspectionreportpdf.h"
#include "samplerecord.h"
#include "windowtest.h"

namespace {

constexpr int kReportWaitMs = 10000;

// Output of a poppler tool, or an empty text when it fails.
QString runTool(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(20000) || process.exitCode() != 0)
        return QString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The text with its columns' spaces squeezed: how many there are depends on the font.
QString pdfText(const QString &path)
{
    return runTool(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")}).simplified();
}

struct Word
{
    QString text;
    QRectF box; // in points
};

// Each word with its box; the page as the first entry, one per page.
QList<Word> pdfWords(const QString &path)
{
    QList<Word> words;
    QXmlStreamReader xml(runTool(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), path, QStringLiteral("-")}));
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QXmlStreamAttributes a = xml.attributes();
        const auto number = [&a](const char *name) { return a.value(QLatin1String(name)).toDouble(); };
        if (xml.name() == QLatin1String("page")) {
            words.append({QStringLiteral("<page>"), QRectF(0, 0, number("width"), number("height"))});
        } else if (xml.name() == QLatin1String("word")) {
            const QRectF box(QPointF(number("xMin"), number("yMin")), QPointF(number("xMax"), number("yMax")));
            words.append({xml.readElementText(), box});
        }
    }
    return words;
}

// The first of lines missing from text or out of order, or an empty string.
QString firstMissing(const QString &text, const QStringList &lines)
{
    qsizetype from = 0;
    for (const QString &line : lines) {
        from = text.indexOf(line.simplified(), from);
        if (from < 0)
            return line;
    }
    return QString();
}

tavik7::ParameterRecord longestRecord()
{
    using namespace tavik7;
    ParameterRecord r = sampleRecord();
    setFieldText(r.unit, kUnitWidth, QStringLiteral("WWW"));
    setFieldText(r.manufacturer, kManufacturerWidth, QStringLiteral("WWW"));
    setFieldText(r.deviceType, kDeviceTypeWidth, QStringLiteral("WWWWWW"));
    setFieldText(r.serialNumber, kSerialNumberWidth, QStringLiteral("WWWWWWWWW"));
    setFieldText(r.yearOfManufacture, kYearWidth, QStringLiteral("WWWW"));
    r.significance = 5;
    r.leadingPlus = 1;
    r.softwareVersion = 65535;
    r.softwareCrc = 0xffff;
    return r;
}

// Five notes of the note fields' 60 characters, of the widest letter.
QStringList longestNotes()
{
    QStringList notes;
    for (int n = 1; n <= 5; ++n)
        notes.append(QString::number(n) + QString(59, QLatin1Char('W')));
    return notes;
}

} // namespace

Q_DECLARE_METATYPE(tavik7::ParameterRecord)

class TestReport : public QObject, DeviceWindow
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void pageFromRecord_data();
    void pageFromRecord();
    void unfinishedReportKeepsEarlierFile_data();
    void unfinishedReportKeepsEarlierFile();
    void reportFromDevice();
    void refusals();

private:
    QScopedPointer<QTemporaryDir> files;
    QList<tavik7::FileNameRequest> requests;
    QList<QUrl> opened;
    QString answer;
};

void TestReport::initTestCase()
{
    registerTavik7Resources();
    tavik7::fileNameHook = [this](const tavik7::FileNameRequest &request) {
        requests.append(request);
        return answer;
    };
    tavik7::openUrlHook = [this](const QUrl &url) { opened.append(url); };
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        QSKIP("pdftotext (poppler-utils) is needed to read the report back");
}

void TestReport::init()
{
    freshBench();
    files.reset(new QTemporaryDir);
    requests.clear();
    opened.clear();
}

void TestReport::cleanup()
{
    closeBench();
    QVERIFY(noModalLeft());
}

void TestReport::pageFromRecord_data()
{
    QTest::addColumn<tavik7::ParameterRecord>("record");
    QTest::addColumn<QString>("counter");
    QTest::addColumn<QStringList>("notes");
    QTest::addColumn<QStringList>("expected"); // in this order

    tavik7::ParameterRecord device = sampleRecord();
    device.significance = 4;
    device.leadingPlus = 1;
    device.transmitMode = 1;
    QTest::newRow("device values") << device << "12345,678" << QStringList{QString(), "Seal renewed"}
                                   << QStringList{"Pruefprotokoll Tavik7/ Inspection report Tavik7",
                                                  "Einheit/Unit kWh",
                                                  "Wertigkeit/Significance +1",
                                                  "Sendemodus/Transmit mode 1: alle 500 ms / 1: each 500 ms",
                                                  "Richtung/Direction 1: links / 1: left",
                                                  QString::fromUtf8("Zählwerksstand/Counter status 12345678"),
                                                  "( ) Zaehlwerksuebertragung i.O. Counter transfer ok",
                                                  "Datum/Date 07.12.2026",
                                                  "Anmerkungen/Notes",
                                                  "Seal renewed"};
    QTest::newRow("longest values") << longestRecord() << "123456789" << longestNotes()
                                    << QStringList{"WWW", "+2", "WWWWWWWWW", "655.35", "ffff", "5: 1x Power-Down",
                                                   "3: Telegramm a+b / 3: Telegram a+b", "123456789"}
                                           + longestNotes();
}

void TestReport::pageFromRecord()
{
    QFETCH(tavik7::ParameterRecord, record);
    QFETCH(QString, counter);
    QFETCH(QStringList, notes);
    QFETCH(QStringList, expected);

    const QString path = files->filePath(QStringLiteral("report.pdf"));
    QString error;
    QVERIFY2(tavik7::writeInspectionReportPdf(path, record, counter, notes, QDate(2026, 12, 7), &error),
             qPrintable(error));
    const QString text = pdfText(path);
    const QString missing = firstMissing(text, expected);
    QVERIFY2(missing.isEmpty(), qPrintable(QStringLiteral("missing or out of order: ") + missing + "\n" + text));

    // One page, and every word inside its printable part: nothing is cut at
    // the right edge or below the last note.
    const QList<Word> words = pdfWords(path);
    QCOMPARE(words.first().text, QStringLiteral("<page>"));
    const QRectF printable = words.first().box.marginsRemoved(QMarginsF(9, 9, 9, 9));
    for (const Word &word : words.mid(1)) {
        QVERIFY2(word.text != QLatin1String("<page>"), "a second page");
        QVERIFY2(printable.contains(word.box), qPrintable(word.text));
    }
}

void TestReport::unfinishedReportKeepsEarlierFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("diskBytes"); // 0: no limit
    QTest::newRow("folder missing") << "missing/report.pdf" << 0;
    QTest::newRow("disk full") << "report.pdf" << 4096;
}

void TestReport::unfinishedReportKeepsEarlierFile()
{
    QFETCH(QString, name);
    QFETCH(int, diskBytes);
    const QString path = files->filePath(name);
    if (!name.contains(QLatin1Char('/')))
        QVERIFY(writeFile(path, "earlier report"));
    const QByteArray before = readFile(path);

    QString error;
    std::optional<FileSizeLimit> full;
    if (diskBytes > 0)
        QVERIFY(full.emplace(rlim_t(diskBytes)).active());
    QVERIFY(!tavik7::writeInspectionReportPdf(path, sampleRecord(), "1", {}, QDate(2026, 12, 7), &error));
    full.reset();
    QVERIFY(!error.isEmpty());
    QCOMPARE(readFile(path), before);
    // No draft is left behind either.
    QCOMPARE(QDir(files->path()).entryList(QDir::Files), QDir(files->path()).entryList({"report.pdf"}));
}

void TestReport::reportFromDevice()
{
    QVERIFY(connectDevice({"--unit", "kWh", "--significance", "0", "--counter", "123456789", "--serial", "SN-42"}));
    // The report is bilingual whatever the window speaks.
    window->findChild<QAction *>(QStringLiteral("actionEnglish"))->trigger();
    child<QLineEdit>(*window, "lineEditNotesPrint2")->setText(QStringLiteral("Seal renewed"));

    const QString path = files->filePath(QStringLiteral("report.pdf"));
    answer = path;
    child<QPushButton>(*window, "pushButtonCreatePdf")->click();
    QTRY_COMPARE_WITH_TIMEOUT(opened.size(), 1, kReportWaitMs);
    QCOMPARE(opened.first(), QUrl::fromLocalFile(path));
    QCOMPARE(consoleMessages(*window).constLast(), tavik7::messageText(12, tavik7::English));
    QCOMPARE(requests.size(), 1);
    QCOMPARE(QFileInfo(requests[0].startName).fileName(),
             QDate::currentDate().toString(QStringLiteral("SN-42-Tavik7_yyyy-MM-dd")));

    // The device's record and counter as just read, and the notes typed.
    const QString missing = firstMissing(
        pdfText(path), {"Einheit/Unit kWh", "Wertigkeit/Significance -3", "Seriennummer/Serial number SN-42",
                        QString::fromUtf8("Zählwerksstand/Counter status 123456789"), "Seal renewed"});
    QVERIFY2(missing.isEmpty(), qPrintable(missing));
}

void TestReport::refusals()
{
    window = openWindowOn();
    const QString german72 = tavik7::messageText(72, tavik7::German);
    const QString german73 = tavik7::messageText(73, tavik7::German);

    answer.clear();
    emit window->createPdf();
    QTRY_COMPARE(consoleMessages(*window).constLast(), german72);

    // The extension test is case-sensitive.
    answer = files->filePath(QStringLiteral("report.PDF"));
    emit window->createPdf();
    QTRY_COMPARE(consoleMessages(*window).constLast(), german73);
    QVERIFY(!QFile::exists(answer));

    // A folder the report cannot be written to: no message, nothing opened.
    const QStringList before = consoleMessages(*window);
    answer = files->filePath(QStringLiteral("missing/report.pdf"));
    emit window->createPdf();
    // The report ran to its end once it has asked for the name.
    QTRY_COMPARE(requests.size(), 3);
    QCOMPARE(consoleMessages(*window), before);
    QVERIFY(opened.isEmpty());
}

QTEST_MAIN(TestReport)
#include "tst_report.moc"
