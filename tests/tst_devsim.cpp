// What the simulator does that the window tests cannot see: the timing on the
// line, counter widths, persistence across restarts and hostile input. Talks
// to it through a plain file descriptor so that nothing of the program under
// test stands between.

#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "devsim.h"
#include "telegram.h"

using namespace tavik7;

namespace {

// The PC side of the line, raw at 1200 baud.
class Port
{
public:
    ~Port() { if (m_fd >= 0) ::close(m_fd); }

    bool open(const QString &path)
    {
        // Opened without waiting for a carrier, then made blocking so that a
        // large write waits for the simulator to drain the line.
        m_fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios tio{};
        if (m_fd < 0 || fcntl(m_fd, F_SETFL, 0) != 0 || tcgetattr(m_fd, &tio) != 0)
            return false;
        cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        cfsetispeed(&tio, B1200);
        cfsetospeed(&tio, B1200);
        return tcsetattr(m_fd, TCSANOW, &tio) == 0;
    }

    bool write(const QByteArray &bytes)
    {
        return ::write(m_fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }

    // What arrives until there are at least size bytes or the time is over.
    QByteArray read(qsizetype size, int timeoutMs = 3000)
    {
        QByteArray bytes;
        QElapsedTimer timer;
        timer.start();
        while (bytes.size() < size && timer.elapsed() < timeoutMs) {
            pollfd p{m_fd, POLLIN, 0};
            char buffer[256];
            const ssize_t n = poll(&p, 1, 10) > 0 ? ::read(m_fd, buffer, sizeof buffer) : 0;
            if (n > 0)
                bytes.append(buffer, n);
        }
        return bytes;
    }

    QByteArray ask(const QByteArray &request, qsizetype answerSize)
    {
        return write(request) ? read(answerSize) : QByteArray();
    }

private:
    int m_fd = -1;
};

} // namespace

class TestDevSim : public QObject
{
    Q_OBJECT

private slots:
    void answerPacedAtLineRate();
    void answers_data();
    void answers();
    void stateSurvivesRestart();
    void survivesRandomInput();
};

void TestDevSim::answerPacedAtLineRate()
{
    DevSim sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    Port port;
    QVERIFY(port.open(sim.portPath()));

    // A pseudo-terminal passes bytes at once; at 1200 baud 49 bytes of 10 bits take 408 ms.
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(port.ask("LP\r", kParameterAnswerSize).size(), kParameterAnswerSize);
    QVERIFY2(timer.elapsed() >= 350, qPrintable(QStringLiteral("answer took %1 ms").arg(timer.elapsed())));
}

void TestDevSim::answers_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("answer");
    auto row = [](const char *tag, const QStringList &args, const QByteArray &request, const QByteArray &answer) {
        QTest::newRow(tag) << args << request << answer;
    };

    const QStringList v111{QStringLiteral("--version"), QStringLiteral("111")};
    const QByteArray garbage("\x00\x7f#", 3);
    row("nine counter digits from 1.12", {}, "L_ZLW\r", "012345678\r\n");
    row("eight counter digits before 1.12", v111, "L_ZLW\r", "12345678\r\n");
    row("eight digits drop the top one", v111 + QStringList{"--counter", "987654321"}, "L_ZLW\r", "87654321\r\n");
    row("nine digits refused before 1.12", v111, "S_ZLW 123456789\r", "Fehler!\r\n");
    row("garbage before the echo", {"--fault", "garbage=S_ZLW"}, "S_ZLW 77\r", garbage + "77\r\n");
    row("garbage before an error", {"--fault", "garbage", "--fault", "error"}, "L_ZLW\r", garbage + "Fehler!\r\n");
}

void TestDevSim::answers()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, answer);

    DevSim sim;
    QVERIFY2(sim.start(args), qPrintable(sim.errorString()));
    Port port;
    QVERIFY(port.open(sim.portPath()));
    QCOMPARE(port.ask(request, answer.size()), answer);
}

void TestDevSim::stateSurvivesRestart()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QStringList args{QStringLiteral("--state"), dir.filePath(QStringLiteral("device.state"))};
    ParameterRecord record;
    initParameterRecord(record);
    {
        DevSim sim;
        QVERIFY2(sim.start(args), qPrintable(sim.errorString()));
        Port port;
        QVERIFY(port.open(sim.portPath()));
        const QByteArray answer = port.ask("LP\r", kParameterAnswerSize);
        QCOMPARE(decodeParameterAnswer(answer, record).status, ParameterAnswerStatus::CrcOk);
        setFieldText(record.unit, kUnitWidth, QStringLiteral("ft3"));
        record.direction = 1;
        QCOMPARE(port.ask(buildWriteTelegram(record), 4), QByteArray("OK\r\n"));
        QCOMPARE(port.ask("S_ZLW 99\r", 4), QByteArray("99\r\n"));
        // Killed, not asked to quit: a device keeps what it stored through a power cut.
    }
    DevSim sim;
    QVERIFY2(sim.start(args), qPrintable(sim.errorString()));
    Port port;
    QVERIFY(port.open(sim.portPath()));
    QCOMPARE(port.ask("L_ZLW\r", 11), QByteArray("000000099\r\n"));
    QCOMPARE(port.ask("LP\r", kParameterAnswerSize), buildParameterAnswer(record));
}

void TestDevSim::survivesRandomInput()
{
    DevSim sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    Port port;
    QVERIFY(port.open(sim.portPath()));

    // A fixed seed keeps a failure reproducible. The tail has no line end and
    // outgrows the simulator's input buffer, so that it has to throw it away.
    QRandomGenerator random(20240611);
    QByteArray noise(8000, '\0');
    random.fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
    noise.replace(2000, 6000, QByteArray(6000, 'A'));
    QVERIFY(port.write(noise));

    // CR LF ends whatever the noise left half done, even a telegram without its length.
    ParameterRecord record;
    initParameterRecord(record);
    const QByteArray answer = port.ask("\r\nLP\r", kParameterAnswerSize);
    QCOMPARE(decodeParameterAnswer(answer, record).status, ParameterAnswerStatus::CrcOk);
}

QTEST_GUILESS_MAIN(TestDevSim)
#include "tst_devsim.moc"
