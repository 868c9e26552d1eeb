// The window's events against other programs on the same book: a file
// dialog that peeks at the book's folder and a command-line run that ends
// meanwhile lose none of them, and another program holding the book's write
// lock holds up neither the window nor, once it lets go, the event.

#include <QtTest>

#include <QFileDialog>
#include <QFileSystemModel>
#include <QProcess>

#include "clirun.h"
#include "booklocation.h"
#include "bookwriter.h"
#include "devicebookkeeper.h"
#include "windowtest.h"

namespace {

// What a file dialog on the folder does to the book: it lists the folder and
// opens each file to guess its type, then closes it again.
void peekAtFolder(QWidget *parent, const QString &folder, const QString &book)
{
    QFileDialog dialog(parent, QString(), folder);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    auto *model = dialog.findChild<QFileSystemModel *>();
    QSignalSpy loaded(model, &QFileSystemModel::directoryLoaded);
    dialog.show();
    loaded.wait(2000);
    QFile file(book);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.read(16).startsWith("SQLite format 3"));
    file.close();
    dialog.close();
}

} // namespace

class TestBookRecording : public DeviceWindow
{
    Q_OBJECT

private slots:
    void peekAndOtherRunLoseNoEvent();
    void lockedBookHoldsUpNeitherWindowNorEvent();

private:
    [[nodiscard]] QString bookFile() const { return folder() + QLatin1String(tavik7::book::kBookFileName); }
    [[nodiscard]] tavik7::book::DeviceBookKeeper *keeper() const
    {
        return tavik7::book::DeviceBookKeeper::of(window.get());
    }
};

void TestBookRecording::peekAndOtherRunLoseNoEvent()
{
    QVERIFY(connectDevice());
    QSignalSpy recorded(keeper(), &tavik7::book::DeviceBookKeeper::recorded);
    QVERIFY(readSettings());
    QTRY_COMPARE(recorded.count(), 1);

    peekAtFolder(window.get(), folder(), bookFile());
    DevSim other;
    QVERIFY(other.start());
    QByteArray out;
    QCOMPARE(runCli({QStringLiteral("--book"), bookFile(), QStringLiteral("read"), QStringLiteral("-p"),
                     other.portPath()}, &out), 0);

    QVERIFY(readSettings());
    QTRY_COMPARE(recorded.count(), 2);
    // Read by other programs: this one holds no view of the book of its own.
    QCOMPARE(runCli({QStringLiteral("--book"), bookFile(), QStringLiteral("book"), QStringLiteral("history"),
                     QStringLiteral("123456789")}, &out), 0);
    const QList<QByteArray> lines = out.trimmed().split('\n');
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.count(), int(out.count("\twindow\t") + out.count("\tcli\t")));
    QCOMPARE(out.count("\twindow\t"), 2);
    QCOMPARE(runCli({QStringLiteral("--book"), bookFile(), QStringLiteral("book"), QStringLiteral("verify")}, &out), 0);
}

void TestBookRecording::lockedBookHoldsUpNeitherWindowNorEvent()
{
    QVERIFY(connectDevice());
    QSignalSpy recorded(keeper(), &tavik7::book::DeviceBookKeeper::recorded);
    QVERIFY(readSettings());
    QTRY_COMPARE(recorded.count(), 1);

    QProcess locker;
    locker.start(QStringLiteral(TAVIK7_BOOKLOCKER_PATH), {bookFile()});
    QVERIFY(locker.waitForReadyRead(5000));
    QCOMPARE(locker.readLine(), QByteArray("locked\n"));
    // The longest the event loop stood still while the event waited.
    QElapsedTimer sinceTick;
    qint64 longestGapMs = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&] {
        longestGapMs = qMax(longestGapMs, sinceTick.restart());
    });
    sinceTick.start();
    ticker.start(10);
    QVERIFY(readSettings());
    QTest::qWait(1500);
    QVERIFY2(longestGapMs < 500, qPrintable(QString::number(longestGapMs)));
    QCOMPARE(recorded.count(), 1);
    auto *writer = qobject_cast<tavik7::book::BookWriterProcess *>(keeper()->writer());
    QVERIFY(writer);
    QCOMPARE(writer->waiting(), 1);

    locker.write("\n");
    QVERIFY(locker.waitForFinished(5000));
    QCOMPARE(locker.exitCode(), 0);
    QTRY_COMPARE(recorded.count(), 2);
    QCOMPARE(writer->waiting(), 0);
    QVERIFY2(longestGapMs < 500, qPrintable(QString::number(longestGapMs)));
}

QTEST_MAIN(TestBookRecording)
#include "tst_bookrecording.moc"
