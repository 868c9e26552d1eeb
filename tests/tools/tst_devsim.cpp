// What the simulator does that the window tests cannot see: the timing on the
// line, counter widths and persistence across restarts. Talks to it through a
// plain file descriptor so that nothing of the program under test stands between.

#include <QtTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include "devsim.h"
#include "telegram.h"

using namespace tavik7;

// The simulator together with the PC side of its line, raw at 1200 baud.
struct Line
{
    DevSim sim;
    int fd = -1;

    ~Line() { if (fd >= 0) ::close(fd); }

    bool start(const QStringList &args = {})
    {
        // Opened without waiting for a carrier, then made blocking so that a
        // read gives up after a tenth of a second instead of at once.
        fd = sim.start(args) ? ::open(sim.portPath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK) : -1;
        termios tio{};
        if (fd < 0 || fcntl(fd, F_SETFL, 0) != 0 || tcgetattr(fd, &tio) != 0)
            return false;
        cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 1;
        return cfsetspeed(&tio, B1200) == 0 && tcsetattr(fd, TCSANOW, &tio) == 0;
    }

    // What arrives until there are at least size bytes or 3 s are over.
    QByteArray ask(const QByteArray &request, qsizetype size)
    {
        if (::write(fd, request.constData(), size_t(request.size())) != request.size())
            return {};
        QByteArray bytes;
        char buffer[256];
        for (QDeadlineTimer deadline(3000); bytes.size() < size && !deadline.hasExpired();)
            bytes.append(buffer, std::max<ssize_t>(0, ::read(fd, buffer, sizeof buffer)));
        return bytes;
    }
};

#define START(line, ...) QVERIFY2((line).start(__VA_ARGS__), qPrintable((line).sim.errorString()))

class TestDevSim : public QObject
{
    Q_OBJECT

private slots:
    // Paced as the real line is, and keeping what it was sent.
    void pacedAndPersistent()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QStringList args{QStringLiteral("--state"), dir.filePath(QStringLiteral("device.state"))};
        ParameterRecord record;
        initParameterRecord(record);
        {
            Line line;
            START(line, args);
            // A pseudo-terminal passes bytes at once; at 1200 baud 49 bytes of 10 bits take 408 ms.
            const QDeadlineTimer quickest(350);
            const QByteArray answer = line.ask("LP\r", kParameterAnswerSize);
            QVERIFY2(quickest.hasExpired(), "answer came faster than the line allows");
            QCOMPARE(decodeParameterAnswer(answer, record).status, ParameterAnswerStatus::CrcOk);
            setFieldText(record.unit, kUnitWidth, QStringLiteral("ft3"));
            record.direction = 1;
            QCOMPARE(line.ask(buildWriteTelegram(record), 4), QByteArray("OK\r\n"));
            QCOMPARE(line.ask("S_ZLW 99\r", 4), QByteArray("99\r\n"));
            // Killed, not asked to quit: a device keeps what it stored through a power cut.
        }
        Line line;
        START(line, args);
        QCOMPARE(line.ask("L_ZLW\r", 11), QByteArray("000000099\r\n"));
        QCOMPARE(line.ask("LP\r", kParameterAnswerSize), buildParameterAnswer(record));
    }

    // Quick answers leave a disturbed one at the line's pace: the device
    // link's tests of a bad answer count on its tail coming late.
    void quickAnswersButDisturbedPaced()
    {
        Line line;
        START(line, {QStringLiteral("--quick-answers"), QStringLiteral("--fault-once"), QStringLiteral("badcrc=LP")});
        const QDeadlineTimer quickest(350);
        const QByteArray disturbed = line.ask("LP\r", kParameterAnswerSize);
        QVERIFY2(quickest.hasExpired(), "a disturbed answer came faster than the line allows");
        ParameterRecord record;
        initParameterRecord(record);
        QCOMPARE(decodeParameterAnswer(disturbed, record).status, ParameterAnswerStatus::CrcError);
        QCOMPARE(decodeParameterAnswer(line.ask("LP\r", kParameterAnswerSize), record).status,
                 ParameterAnswerStatus::CrcOk);
    }
};

QTEST_GUILESS_MAIN(TestDevSim)
#include "tst_devsim.moc"
