// Help beyond the console's messages: why a port did not open, the history of
// device writes and the cells a loaded file would change in the device.

#include <QtTest>

#include <QLineEdit>

#include "changehistory.h"
#include "filehooks.h"
#include "windowtest.h"

namespace {

constexpr int kHoldBoxMs = 1500;
constexpr int kRequestWaitMs = 10000;
constexpr QRgb kPaleYellow = qRgb(255, 255, 200);

} // namespace

class TestFieldSafety : public QObject, DeviceWindow
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void vanishedPortSaysWhy();
    void writeLeavesOneHistoryRecord();
    void unwritableHistoryIsReportedOnce();
    void loadedFileMarksDeviceDifferences();

private:
    [[nodiscard]] QString historyFile() const { return folder() + QLatin1String(tavik7::kChangeHistoryFileName); }
    [[nodiscard]] QByteArray outputLog() const { return ::outputLog(appData->path()); }

    QString fileAnswer;
};

void TestFieldSafety::initTestCase()
{
    registerTavik7Resources();
    tavik7::fileNameHook = [this](const tavik7::FileNameRequest &) { return fileAnswer; };
}

void TestFieldSafety::init()
{
    freshBench();
}

void TestFieldSafety::cleanup()
{
    closeBench();
    QVERIFY(noModalLeft());
}

void TestFieldSafety::vanishedPortSaysWhy()
{
    TAVIK7_Bediensoftware window;
    window.show();
    // Listed a moment ago, gone by the time Connect is pressed.
    auto *devices = child<QComboBox>(window, "comboBoxDevice");
    devices->addItem(QStringLiteral("/dev/pts/no-such-port"));
    devices->setCurrentIndex(devices->count() - 1);
    child<QPushButton>(window, "pushButtonConnect")->click();

    const QStringList messages = consoleMessages(window);
    QCOMPARE(messages.size(), 2);
    QCOMPARE(messages.at(0), germanMessage(61));
    QVERIFY2(messages.at(1).contains(QStringLiteral("abgezogen")), qPrintable(messages.at(1)));
    QVERIFY(child<QPushButton>(window, "pushButtonConnect")->isEnabled());
}

void TestFieldSafety::writeLeavesOneHistoryRecord()
{
    QVERIFY(connectDevice());
    QVERIFY(readSettings());
    QVERIFY(!QFile::exists(historyFile()));

    // A changed direction: the write sequence reads the counter anew and
    // writes it back after the telegram; one record holds both.
    child<QComboBox>(*window, "comboBoxDirection")->setCurrentIndex(1);
    button("pushButtonWriteSettings")->click();
    QTRY_VERIFY_WITH_TIMEOUT(consoleMessages(*window).contains(germanMessage(4)), kRequestWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(button("pushButtonWriteSettings")->isEnabled(), kRequestWaitMs);

    const QByteArray history = readFile(historyFile());
    QVERIFY(history.startsWith(tavik7::changeHistoryHeader()));
    const QByteArray record = history.mid(tavik7::changeHistoryHeader().size());
    const QDateTime when = QDateTime::fromString(QString::fromLatin1(record.left(19)), "yyyy-MM-dd hh:mm:ss");
    QVERIFY(qAbs(when.secsTo(QDateTime::currentDateTime())) < 60);
    QCOMPARE(record.mid(19), "," + sim->portPath().toUtf8()
                                 + ",123456789,Richtung/Direction,0: rechts,1: links,"
                                   "Z\xc3\xa4hlwerksstand/Counter status,012345678,012345678\r\n");

    // Setting the counter on its own: the old value is the last one read or written.
    child<QLineEdit>(*window, "lineEditCounter")->setText(QStringLiteral("000000042"));
    {
        ModalAnswerer answerer(QMessageBox::Yes, kHoldBoxMs);
        button("pushButtonSetCounter")->click();
        // Header, two records, nothing after the last line end.
        QTRY_COMPARE_WITH_TIMEOUT(readFile(historyFile()).count('\n'), 3, kRequestWaitMs);
    }
    QVERIFY(consoleMessages(*window).contains(germanMessage(4)));
    const QList<QByteArray> lines = readFile(historyFile()).split('\n');
    QVERIFY(lines.at(2).endsWith(",123456789,Z\xc3\xa4hlwerksstand/Counter status,012345678,000000042\r"));
}

void TestFieldSafety::unwritableHistoryIsReportedOnce()
{
    QVERIFY(connectDevice());
    QVERIFY(readSettings());
    // Tests run as root, for whom no folder is read-only: a directory in the
    // history's place stands in for a history that cannot be written.
    QVERIFY(QDir().mkdir(historyFile()));
    auto *direction = child<QComboBox>(*window, "comboBoxDirection");
    for (int pass = 0; pass < 2; ++pass) {
        direction->setCurrentIndex(1 - direction->currentIndex());
        const qsizetype before = outputLog().count(QByteArray(germanMessage(4).toLatin1()));
        button("pushButtonWriteSettings")->click();
        // The write itself goes through all the same.
        QTRY_VERIFY_WITH_TIMEOUT(outputLog().count(germanMessage(4).toLatin1()) > before,
                                 kRequestWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(button("pushButtonWriteSettings")->isEnabled(), kRequestWaitMs);
    }
    const QString log = QString::fromLatin1(outputLog());
    QCOMPARE(log.count(QStringLiteral("Änderungshistorie")), 1);
    QVERIFY(log.contains(QDir::toNativeSeparators(historyFile())));
    QVERIFY(QFileInfo(historyFile()).isDir());
}

void TestFieldSafety::loadedFileMarksDeviceDifferences()
{
    QVERIFY(connectDevice());
    QVERIFY(readSettings());
    QTemporaryDir files;
    fileAnswer = files.filePath(QStringLiteral("device.dat"));
    button("pushButtonSaveSettings")->click();
    QByteArray bytes = readFile(fileAnswer);
    QVERIFY(bytes.contains("Einheit/Unit=m3\r\n") && bytes.contains("Richtung/Direction=0\r\n"));
    bytes.replace("Einheit/Unit=m3\r\n", "Einheit/Unit=kWh\r\n").replace("Richtung/Direction=0", "Richtung/Direction=1");
    fileAnswer = files.filePath(QStringLiteral("other.dat"));
    QVERIFY(writeFile(fileAnswer, bytes));
    button("pushButtonLoadSettings")->click();

    QStandardItemModel *model = tableModel(*window);
    QStandardItem *unit = model->item(TAVIK7_Bediensoftware::RowUnit, 1);
    QCOMPARE(unit->text(), QStringLiteral("kWh"));
    QCOMPARE(unit->background().color().rgb(), kPaleYellow);
    QCOMPARE(unit->toolTip(), QStringLiteral("Im Gerät: m3"));
    // The plausibility colour of the text stays.
    QCOMPARE(unit->foreground().color().rgb(), qRgb(0, 0, 0));
    auto *direction = child<QComboBox>(*window, "comboBoxDirection");
    QCOMPARE(direction->currentIndex(), 1);
    QVERIFY(direction->styleSheet().contains(QColor(kPaleYellow).name()));
    QCOMPARE(direction->toolTip(), QStringLiteral("Im Gerät: 0: rechts"));
    // Nothing else is marked.
    for (int row = 0; row < TAVIK7_Bediensoftware::ParameterRowCount; ++row) {
        if (QStandardItem *item = model->item(row, 1); item && row != TAVIK7_Bediensoftware::RowUnit)
            QVERIFY2(item->toolTip().isEmpty() && item->background().style() == Qt::NoBrush, qPrintable(item->text()));
    }
    for (const char *name : kCombos) {
        if (qstrcmp(name, "comboBoxDirection") != 0)
            QVERIFY(child<QComboBox>(*window, name)->styleSheet().isEmpty());
    }

    // The marks speak the language switched to, and follow edits: a cell set
    // back to the device's value is no longer marked, the others stay.
    child<QAction>(*window, "actionEnglish")->trigger();
    unit = model->item(TAVIK7_Bediensoftware::RowUnit, 1);
    QCOMPARE(unit->toolTip(), QStringLiteral("In the device: m3"));
    QVERIFY(direction->toolTip().startsWith(QStringLiteral("In the device: 0")));
    direction->setCurrentIndex(0);
    QVERIFY(direction->styleSheet().isEmpty() && direction->toolTip().isEmpty());
    model->item(TAVIK7_Bediensoftware::RowUnit, 1)->setText(QStringLiteral("m3"));
    QVERIFY(model->item(TAVIK7_Bediensoftware::RowUnit, 1)->toolTip().isEmpty());
    direction->setCurrentIndex(1);
    QVERIFY(direction->styleSheet().contains(QColor(kPaleYellow).name()));
    child<QAction>(*window, "actionGerman")->trigger();

    // A read shows the device itself: the marks go.
    button("pushButtonReadSettings")->click();
    QTRY_VERIFY_WITH_TIMEOUT(direction->currentIndex() == 0 && button("pushButtonWriteSettings")->isEnabled(),
                             kRequestWaitMs);
    unit = model->item(TAVIK7_Bediensoftware::RowUnit, 1);
    QCOMPARE(unit->text(), QStringLiteral("m3"));
    QVERIFY(unit->toolTip().isEmpty());
    QCOMPARE(unit->background().style(), Qt::NoBrush);
    QVERIFY(direction->styleSheet().isEmpty());
    QVERIFY(direction->toolTip().isEmpty());
}

QTEST_MAIN(TestFieldSafety)
#include "tst_fieldsafety.moc"
