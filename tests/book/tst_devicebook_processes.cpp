// The device book under real processes: eight writers and this process at
// once, one of them killed mid-way, then the command line reading the result.

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include "clirun.h"
#include "devicebook.h"

using namespace tavik7::book;

namespace {

constexpr int kWriters = 8;

struct Writers
{
    QList<QProcess *> processes;
    QList<QByteArray> output;
};

// The first writer's count may differ: one that is to be killed mid-way
// must not finish before the kill lands.
void startWriters(Writers &w, const QString &book, int count, QObject *parent, int firstCount = -1)
{
    for (int i = 0; i < kWriters; ++i) {
        auto *process = new QProcess(parent);
        w.processes.append(process);
        w.output.append(QByteArray());
        QObject::connect(process, &QProcess::readyReadStandardOutput, parent,
                         [&w, process, i] { w.output[i] += process->readAllStandardOutput(); });
        const int events = i == 0 && firstCount >= 0 ? firstCount : count;
        process->start(QStringLiteral(TAVIK7_BOOKWRITER_PATH), {book, QString::number(i), QString::number(events)});
    }
}

bool allFinished(const Writers &w)
{
    for (const QProcess *process : w.processes) {
        if (process->state() != QProcess::NotRunning)
            return false;
    }
    return true;
}

// What each writer reported done, against what the book holds for it.
void checkReportedAreThere(const Writers &w, const DeviceBook &book)
{
    for (int i = 0; i < kWriters; ++i) {
        QSet<QString> held;
        for (const BookEvent &event : book.history(QStringLiteral("W%1").arg(i)))
            held.insert(event.counter);
        const QList<QByteArray> lines = w.output.at(i).split('\n');
        for (const QByteArray &line : lines) {
            if (line.startsWith("done "))
                QVERIFY2(held.contains(QString::fromLatin1(line.split(' ').at(2))), line.constData());
            else
                QVERIFY2(line.isEmpty(), line.constData()); // no "missed ... locked"
        }
    }
}

QString integrity(const DeviceBook &book)
{
    QSqlQuery q(book.database());
    return q.exec(QStringLiteral("PRAGMA integrity_check")) && q.next() ? q.value(0).toString() : QString();
}

} // namespace

class TestDeviceBookProcesses : public QObject
{
    Q_OBJECT

private slots:
    // The writers' anchors in the test's folder, not the user's.
    void initTestCase() { qputenv("APPDATA", QFile::encodeName(m_dir.path())); }
    void writersTogetherLoseNothing();
    void killedWriterLosesNothingReported();

private:
    QTemporaryDir m_dir;
};

void TestDeviceBookProcesses::writersTogetherLoseNothing()
{
    const QString path = m_dir.filePath(QStringLiteral("together.sqlite"));
    DeviceBook window;
    QVERIFY(window.open(path).recorded);
    Writers w;
    startWriters(w, path, 30, this);
    // The window records in between, as it would during a session.
    int windowEvents = 0;
    while (!allFinished(w) || windowEvents < 30) {
        BookEvent event;
        event.frontEnd = FrontEnd::Window;
        event.serialNumber = QStringLiteral("window");
        if (windowEvents < 30)
            QVERIFY(window.record(event).recorded);
        ++windowEvents;
        QTest::qWait(1);
    }
    for (const QProcess *process : w.processes)
        QCOMPARE(process->exitCode(), 0);
    checkReportedAreThere(w, window);
    QCOMPARE(window.verify().events, qint64(kWriters * 30 + 30));
    QCOMPARE(window.verify().firstBadId, 0);
}

void TestDeviceBookProcesses::killedWriterLosesNothingReported()
{
    const QString path = m_dir.filePath(QStringLiteral("killed.sqlite"));
    Writers w;
    startWriters(w, path, 120, this, 1000000);
    QTRY_VERIFY_WITH_TIMEOUT(w.output.at(0).count('\n') >= 20, 60000);
    w.processes.at(0)->kill(); // SIGKILL, mid-way through its events
    QTRY_VERIFY_WITH_TIMEOUT(allFinished(w), 90000);
    QCOMPARE(w.processes.at(0)->exitStatus(), QProcess::CrashExit);
    DeviceBook book;
    QVERIFY(book.open(path).recorded);
    QCOMPARE(integrity(book), QStringLiteral("ok"));
    checkReportedAreThere(w, book);
    QByteArray out;
    QCOMPARE(runCli(bookArguments(path, {"verify"}), &out), 0);
    QCOMPARE(runCli(bookArguments(path, {"history", "W3", "--json"}), &out), 0);
    const QList<QByteArray> lines = out.trimmed().split('\n');
    QCOMPARE(lines.size(), 120);
    const QJsonObject first = QJsonDocument::fromJson(lines.at(0)).object();
    QVERIFY(first.value(QStringLiteral("id")).isDouble());
    QCOMPARE(first.value(QStringLiteral("action")).toString(), QStringLiteral("setCounter"));
    QVERIFY(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z$"))
                .match(first.value(QStringLiteral("time")).toString()).hasMatch());
    QSqlQuery edit(book.database());
    QVERIFY(edit.exec(QStringLiteral("UPDATE events SET status = 'noAnswer' WHERE id = 50")));
    QCOMPARE(runCli(bookArguments(path, {"verify"}), &out), 7);
    QVERIFY2(out.contains(" 50 "), out.constData());
}

QTEST_GUILESS_MAIN(TestDeviceBookProcesses)
#include "tst_devicebook_processes.moc"
