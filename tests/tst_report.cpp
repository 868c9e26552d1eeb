// The inspection report: read back from the PDF it writes, against the
// simulated device and with the longest values a record can hold.

#include <QtTest>

#include <QLineEdit>
#include <QXmlStreamReader>

#include "filehooks.h"
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

QString pdfText(const QString &path)
{
    return runTool(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
}

int pdfPages(const QString &path)
{
    static const QRegularExpression pages(QStringLiteral("^Pages:\\s+(\\d+)$"), QRegularExpression::MultilineOption);
    return pages.match(runTool(QStringLiteral("pdfinfo"), {path})).captured(1).toInt();
}

// Each word with its box, in points; the page size as the first entry.
struct Word
{
    QString text;
    QRectF box;
};

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

} // namespace

class TestReport : public QObject, DeviceWindow
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void reportFromDevice();
    void longestValuesFit();
    void refusals();

private:
    void loadRecord(const QByteArray &file);
    QString notes(int n) const;

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
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()
        || QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty())
        QSKIP("pdftotext and pdfinfo (poppler-utils) are needed to read the report back");
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

// Fills the window's record the way a user can without a device: from a file.
void TestReport::loadRecord(const QByteArray &file)
{
    const QString path = files->filePath(QStringLiteral("record.dat"));
    QVERIFY(writeFile(path, file));
    answer = path;
    child<QPushButton>(*window, "pushButtonLoadSettings")->click();
    QCOMPARE(tableModel(*window)->item(0, 1)->text(), QString::fromLatin1(file.mid(file.indexOf("Unit=") + 5, 3)));
}

void TestReport::reportFromDevice()
{
    QVERIFY(connectDevice({"--unit", "kWh", "--significance", "0", "--counter", "123456789", "--transmit-mode", "1",
                           "--serial", "SN-42"}));
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

    QCOMPARE(pdfPages(path), 1);
    const QString text = pdfText(path);
    const QStringList expected = {
        "Pruefprotokoll Tavik7/",
        "Inspection report Tavik7",
        "Parameter",
        // Each row's text is the core's; here they reach the page in order.
        "Einheit/Unit                    kWh",
        "Sendemodus/Transmit mode        1: alle 500 ms / 1: each 500 ms",
        QString::fromLatin1("Z\xE4hlwerksstand/Counter status  123456789"),
        "Pruefung/Check",
        "Zaehlwerksuebertragung i.O.",
        "Counter transfer ok",
        "Datum/Date",
        QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy")),
        "Unterschrift/Signature",
        "Anmerkungen/Notes",
        "Seal renewed",
    };
    // Columns are aligned by spaces whose number depends on the font; compare words.
    const auto squeeze = [](QString s) { return s.simplified(); };
    const QString flat = squeeze(text);
    int from = 0;
    for (const QString &line : expected) {
        const int at = flat.indexOf(squeeze(line), from);
        QVERIFY2(at >= 0, qPrintable(QStringLiteral("missing or out of order: ") + line + "\n" + text));
        from = at;
    }
    QVERIFY2(!text.contains(QStringLiteral("123456,789")), qPrintable(text));
}

QString TestReport::notes(int n) const
{
    // 60 characters, the fields' limit, of the widest letter.
    return QString::number(n) + QString(59, QLatin1Char('W'));
}

void TestReport::longestValuesFit()
{
    window = openWindowOn();
    loadRecord("[Tavik-Parameter]\r\n"
               "Einheit/Unit=WWW\r\n"
               "Wertigkeit/Significance=5\r\n"
               "F\xFChrendes Plus/Leading plus=1\r\n"
               "Hersteller/Manufacturer=WWW\r\n"
               "Ger\xE4tetyp/Device type=WWWWWW\r\n"
               "Seriennummer/Serial number=WWWWWWWWW\r\n"
               "Baujahr/Year of manufacture=WWWW\r\n"
               "Softwareversion/Software version=655.35\r\n"
               "Software CRC/Software CRC=ffff\r\n"
               "Baudrate/Baud rate=2\r\n"
               "Sendemodus/Transmit mode=5\r\n"
               "Richtung/Direction=1\r\n"
               "Telegramm B/Telegram B=3\r\n"
               "CRC Startwert/CRC start value=1\r\n");
    child<QLineEdit>(*window, "lineEditCounter")->setText(QStringLiteral("123456789"));
    for (int n = 1; n <= 5; ++n) {
        auto *note = window->findChild<QLineEdit *>(QStringLiteral("lineEditNotesPrint%1").arg(n));
        note->setText(notes(n) + QStringLiteral("overflow"));
        QCOMPARE(note->text(), notes(n));
    }

    const QString path = files->filePath(QStringLiteral("longest.pdf"));
    answer = path;
    emit window->createPdf();
    QTRY_COMPARE_WITH_TIMEOUT(opened.size(), 1, kReportWaitMs);
    QCOMPARE(pdfPages(path), 1);

    // Every word lies inside the page's printable part: nothing is cut at the
    // right edge or below the last note.
    const QList<Word> words = pdfWords(path);
    QVERIFY(words.size() > 40);
    QCOMPARE(words.first().text, QStringLiteral("<page>"));
    const QRectF page = words.first().box;
    const QRectF printable = page.marginsRemoved(QMarginsF(9, 9, 9, 9));
    QStringList seen;
    for (const Word &word : words.mid(1)) {
        QVERIFY2(printable.contains(word.box), qPrintable(word.text));
        seen.append(word.text);
    }
    for (int n = 1; n <= 5; ++n)
        QVERIFY2(seen.contains(notes(n)), qPrintable(notes(n)));
    for (const char *value : {"5: 1x Power-Down", "3: Telegramm a+b / 3: Telegram a+b", "655.35", "+2", "ffff"})
        QVERIFY2(seen.join(' ').contains(QLatin1String(value)), value);
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
