// Faults only the whole window meets: bytes on the line that no request asked
// for, a port that vanishes while connected, a per-user folder that cannot
// take the logs. The answers a request gets are the device link's own tests.

#include <QtTest>

#include <limits>
#include <optional>

#include <poll.h>
#include <unistd.h>

#include "filesizelimit.h"
#include "rawline.h"
#include "residentmemory.h"
#include "samplerecord.h"
#include "telegram.h"
#include "windowtest.h"

namespace {

// Waits, running the event loop, until the program has sent request on the
// line's far end, then answers it with bytes (if any).
bool serve(RawLine &line, const QByteArray &request, const QByteArray &bytes = {})
{
    QByteArray received;
    const bool asked = QTest::qWaitFor(
        [&] {
            char buffer[256];
            const ssize_t n = ::read(line.masterFd(), buffer, sizeof buffer);
            received.append(buffer, n > 0 ? n : 0);
            return received.contains(request + '\r');
        },
        5000);
    return asked && ::write(line.masterFd(), bytes.constData(), size_t(bytes.size())) == bytes.size();
}

// A read that a sound device answers; counterAnswer as given.
bool serveRead(RawLine &line, const QByteArray &counterAnswer = "012345678\r\n")
{
    return serve(line, "LP", tavik7::buildParameterAnswer(sampleRecord())) && serve(line, "L_ZLW", counterAnswer);
}

} // namespace

class TestFaultInjection : public DeviceWindow
{
    Q_OBJECT

private slots:
    void strayBytesNeverReachAnAnswer();
    void portThatVanishesLeavesTheList();
    void unusablePerUserFolder_data();
    void unusablePerUserFolder();

private:
    bool connectLine(RawLine &line)
    {
        window = openWindowOn(line.portPath());
        if (!connectWindow(*window, line.portPath()))
            return false;
        shortenTimeouts(1000, 200);
        return true;
    }
    bool readEndsWith(const QList<int> &ids)
    {
        return QTest::qWaitFor([&] { return consoleMessages(*window) == germanMessages(ids); }, 5000)
            && button("pushButtonReadSettings")->isEnabled();
    }
};

void TestFaultInjection::strayBytesNeverReachAnAnswer()
{
    RawLine line;
    QVERIFY(connectLine(line));

    // Noise with nothing asked and NAMUR off is read and dropped, not kept.
    [[maybe_unused]] const qint64 before = residentKiB();
    const QByteArray chunk(1024 * 1024, '\x55');
    for (int i = 0; i < 16; ++i)
        QVERIFY(line.send(chunk));
#if !defined(__SANITIZE_ADDRESS__) // its quarantine keeps freed memory resident
    QVERIFY2(residentKiB() - before < 8 * 1024, qPrintable(QString::number(residentKiB() - before)));
#endif

    // Listening that ends in the middle of a telegram leaves nothing for the read after it.
    button("pushButtonStartNamur")->click();
    QVERIFY(line.send(QByteArray(64 * 1024, 'x') + "\x1c" "0123"));
    button("pushButtonStopNamur")->click();
    // Whatever follows the counter's CR LF is not part of its answer.
    button("pushButtonReadSettings")->click();
    QVERIFY(serveRead(line, QByteArray("012345678\r\n\x00\x7f#", 14)));
    QVERIFY(readEndsWith({1, 3}));

    // The counter answer comes after its time-out and lies unread in the
    // driver when the next read starts: it must not begin that read's answer.
    button("pushButtonReadSettings")->click();
    QVERIFY(serve(line, "LP", tavik7::buildParameterAnswer(sampleRecord())) && serve(line, "L_ZLW"));
    QVERIFY(readEndsWith({70}));
    QCOMPARE(::write(line.masterFd(), "012345678\r\n", 11), ssize_t(11));
    pollfd readable{int(deviceLinkOf(*window)->serialPort()->handle()), POLLIN, 0};
    QCOMPARE(::poll(&readable, 1, 5000), 1);
    button("pushButtonReadSettings")->click();
    QVERIFY(serveRead(line));
    QVERIFY(readEndsWith({1, 3}));
}

void TestFaultInjection::portThatVanishesLeavesTheList()
{
    QVERIFY(connectDevice());
    shortenTimeouts(60000, 60000);
    QVERIFY(sim->control("fault silent=LP"));
    button("pushButtonReadSettings")->click();
    QVERIFY(sim->waitForReceived(1));
    QCOMPARE(::kill(pid_t(sim->processId()), SIGKILL), 0);

    // The request ends with the line, long before its time-out, and the port leaves the list.
    QTRY_COMPARE(consoleMessages(*window), germanMessages({70}));
    QCOMPARE(window->windowTitle(), QStringLiteral("TAVIK7 PC Software: nicht verbunden"));
    auto *devices = w<QComboBox>("comboBoxDevice");
    QVERIFY(devices->isEnabled());
    // Unless another program on this machine has taken the freed terminal number at once.
    const QString gone = sim->portPath();
    QTRY_VERIFY(devices->findText(gone) < 0 || QFileInfo::exists(gone));

    // A new adapter appears in the list and works.
    sim = std::make_unique<DevSim>();
    QVERIFY(sim->start());
    qputenv("TAVIK7_EXTRA_PORTS", QFile::encodeName(sim->portPath()));
    QTRY_VERIFY(devices->findText(sim->portPath()) >= 0);
    QVERIFY(connectWindow(*window, sim->portPath()));
    QVERIFY(readSettings());
}

void TestFaultInjection::unusablePerUserFolder_data()
{
    QTest::addColumn<QString>("blocked"); // what lies where the folder should be, or "full"
    QTest::newRow("a file where the program's folder should be") << "APPDATA/KLV TAVIK7 PC Software";
    QTest::newRow("APPDATA a file") << "APPDATA";
    QTest::newRow("disk full") << "full";
}

// The logs are the program's own business: the technician's work goes on,
// silently without them, and no byte of what was there is lost.
void TestFaultInjection::unusablePerUserFolder()
{
    QFETCH(QString, blocked);
    const QByteArray own("the technician's own file\r\n");
    QMap<QString, QByteArray> kept;
    if (blocked != QLatin1String("full")) {
        QVERIFY(QDir(appData->path()).mkpath(QStringLiteral("APPDATA")));
        const QString path = appData->filePath(blocked);
        QDir(path).removeRecursively();
        QVERIFY(writeFile(path, own));
        kept.insert(path, own);
        qputenv("APPDATA", QFile::encodeName(appData->filePath(QStringLiteral("APPDATA"))));
    }

    RawLine line;
    QVERIFY(connectLine(line));
    std::optional<FileSizeLimit> full;
    if (blocked == QLatin1String("full")) {
        for (const QString &name : QDir(folder()).entryList(QDir::Files))
            kept.insert(folder() + name, readFile(folder() + name));
        // Room for part of a record in the smallest log, none in the others.
        qsizetype room = std::numeric_limits<qsizetype>::max();
        for (const QByteArray &content : std::as_const(kept))
            room = qMin(room, content.size() + 10);
        QVERIFY(full.emplace(rlim_t(room)).active());
    }
    QVERIFY(!kept.isEmpty());
    button("pushButtonReadSettings")->click();
    const bool read = serveRead(line) && readEndsWith({1, 3});
    full.reset();
    QVERIFY(read);
    for (auto it = kept.cbegin(); it != kept.cend(); ++it)
        QVERIFY2(readFile(it.key()) == it.value(), qPrintable(it.key())); // not even grown
}

QTEST_MAIN(TestFaultInjection)
#include "tst_faultinjection.moc"
