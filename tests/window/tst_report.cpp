// The inspection report, read back from the PDF it writes: the page drawn
// from a record, a report that cannot be finished, and the Print button
// against the simulated device.

#include <QtTest>

#include <QLineEdit>
#include <QXmlStreamReader>

#include <optional>

#include "filehooks.h"
#include "filesizelimit.h"
#include "inspectionreportpdf.h"
#include "parameterfields.h"
#include "samplerecord.h"
#include "windowtest.h"

namespace {

// pdftotext's output for the file, or an empty text when it fails.
QString pdfToText(const QString &path, const char *option)
{
    QProcess process;
    process.start(QStringLiteral("pdftotext"), {QLatin1String(option), path, QStringLiteral("-")});
    if (!process.waitForFinished(20000) || process.exitCode() != 0)
        return QString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The first of lines missing from the report's text or out of order, or an
// empty string. Spaces are squeezed: how many a column takes depends on the font.
QString firstMissing(const QString &path, const QStringList &lines)
{
    const QString text = pdfToText(path, "-layout").simplified();
    qsizetype from = 0;
    for (const QString &line : lines) {
        from = text.indexOf(line.simplified(), from);
        if (from < 0)
            return line + QStringLiteral("\nin: ") + text;
    }
    return QString();
}

// Each page's box, and the words that lie outside the first page's
// printable part or on a further page.
QStringList wordsOffThePage(const QString &path)
{
    QStringList off;
    QRectF printable;
    QXmlStreamReader xml(pdfToText(path, "-bbox"));
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto at = [&xml](const char *name) { return xml.attributes().value(QLatin1String(name)).toDouble(); };
        if (xml.name() == QLatin1String("page")) {
            if (!printable.isNull())
                off.append(QStringLiteral("<second page>"));
            printable = QRectF(0, 0, at("width"), at("height")).marginsRemoved(QMarginsF(9, 9, 9, 9));
        } else if (xml.name() == QLatin1String("word")) {
            const QRectF box(QPointF(at("xMin"), at("yMin")), QPointF(at("xMax"), at("yMax")));
            const QString word = xml.readElementText();
            if (!printable.contains(box))
                off.append(word);
        }
    }
    return printable.isNull() ? QStringList{"<no page>"} : off;
}

} // namespace

class TestReport : public DeviceWindow
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void pageFromRecordAndUnfinishedReports();
    void printFromDevice();

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

void TestReport::pageFromRecordAndUnfinishedReports()
{
    // The widest values a record can hold, and five notes of 60 of the widest letter.
    tavik7::ParameterRecord record = sampleRecord();
    for (int field : {tavik7::FieldUnit, tavik7::FieldManufacturer, tavik7::FieldDeviceType, tavik7::FieldSerialNumber,
                      tavik7::FieldYear}) {
        const int width = tavik7::kParameterFields[field].width;
        tavik7::setFieldText(tavik7::textFieldData(record, field), width, QString(width - 1, QLatin1Char('W')));
    }
    record.significance = 5;
    record.leadingPlus = 1;
    record.softwareVersion = 65535;
    record.softwareCrc = 0xffff;
    QStringList notes;
    for (int n = 1; n <= 5; ++n)
        notes.append(QString::number(n) + QString(59, QLatin1Char('W')));

    const QString path = files->filePath(QStringLiteral("report.pdf"));
    QString error;
    QVERIFY2(tavik7::writeInspectionReportPdf(path, record, "1234567,89", notes, QDate(2026, 12, 7), &error),
             qPrintable(error));
    const QString missing =
        firstMissing(path, QStringList{"Pruefprotokoll Tavik7/ Inspection report Tavik7", "Einheit/Unit WWW", "+2",
                                       "WWWWWWWWW", "655.35", "ffff", "123456789", "Datum/Date 07.12.2026",
                                       "Anmerkungen/Notes"}
                               + notes);
    QVERIFY2(missing.isEmpty(), qPrintable(missing));
    // One page, nothing cut at the right edge or below the last note.
    const QStringList off = wordsOffThePage(path);
    QVERIFY2(off.isEmpty(), qPrintable(off.join(QLatin1Char(' '))));

    // A report that cannot be finished, for want of a folder or of room,
    // leaves an earlier one whole and no draft behind.
    QVERIFY(writeFile(path, "earlier report"));
    for (const QString &name : {QStringLiteral("missing/report.pdf"), QStringLiteral("report.pdf")}) {
        const QString target = files->filePath(name);
        const QByteArray before = readFile(target);
        std::optional<FileSizeLimit> full;
        if (!name.contains(QLatin1Char('/')))
            QVERIFY(full.emplace(rlim_t(4096)).active());
        error.clear();
        QVERIFY(!tavik7::writeInspectionReportPdf(target, sampleRecord(), "1", {}, QDate(2026, 12, 7), &error));
        full.reset();
        QVERIFY(!error.isEmpty());
        QCOMPARE(readFile(target), before);
        QCOMPARE(QDir(files->path()).entryList(QDir::Files), QStringList{"report.pdf"});
    }
}

void TestReport::printFromDevice()
{
    QVERIFY(connectDevice({"--unit", "kWh", "--significance", "0", "--counter", "123456789", "--serial", "SN-42"}));
    // The report is bilingual whatever the window speaks.
    switchLanguage("actionEnglish");
    w<QLineEdit>("lineEditNotesPrint2")->setText(QStringLiteral("Seal renewed"));
    answer = files->filePath(QStringLiteral("report.pdf"));
    button("pushButtonCreatePdf")->click();
    QTRY_COMPARE_WITH_TIMEOUT(opened, QList<QUrl>{QUrl::fromLocalFile(answer)}, 10000);
    QCOMPARE(consoleMessages(*window).constLast(), tavik7::messageText(12, tavik7::English));
    QCOMPARE(QFileInfo(requests.at(0).startName).fileName(),
             QDate::currentDate().toString(QStringLiteral("SN-42-Tavik7_yyyy-MM-dd")));
    // The device's record and counter as just read, and the notes typed.
    const QString missing =
        firstMissing(answer, {"Einheit/Unit kWh", "Wertigkeit/Significance -3", "Seriennummer/Serial number SN-42",
                              QString::fromUtf8("Zählwerksstand/Counter status 123456789"), "Seal renewed"});
    QVERIFY2(missing.isEmpty(), qPrintable(missing));

    // Refused names; the extension test is case-sensitive.
    switchLanguage("actionGerman");
    answer.clear();
    emit window->createPdf();
    QTRY_COMPARE(consoleMessages(*window).constLast(), germanMessage(72));
    answer = files->filePath(QStringLiteral("other.PDF"));
    emit window->createPdf();
    QTRY_COMPARE(consoleMessages(*window).constLast(), germanMessage(73));
    QVERIFY(!QFile::exists(answer));
    // A folder the report cannot be written to: no message, nothing opened.
    const QStringList before = consoleMessages(*window);
    answer = files->filePath(QStringLiteral("missing/report.pdf"));
    emit window->createPdf();
    QTRY_COMPARE(requests.size(), 4);
    QCOMPARE(consoleMessages(*window), before);
    QCOMPARE(opened.size(), 1);
}

QTEST_MAIN(TestReport)
#include "tst_report.moc"
