// The device simulator, driven over its pseudo-terminal like the service tool
// drives a real device: raw bytes at 1200 baud through a plain file descriptor.

#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "devsim.h"
#include "parameterrecord.h"
#include "telegram.h"

using namespace tavik7;

namespace {

const QByteArray kOk("OK\r\n");
const QByteArray kError("Fehler!\r\n");
// Long enough for any answer of the simulator to have started.
constexpr int kQuietMs = 700;

// The PC side of the line.
class Port
{
public:
    Port() = default;
    Port(const Port &) = delete;
    Port &operator=(const Port &) = delete;
    ~Port() { close(); }

    bool open(const QString &path, speed_t speed = B1200)
    {
        m_fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_fd < 0)
            return false;
        tcflush(m_fd, TCIOFLUSH);
        return setSpeed(speed);
    }

    bool setSpeed(speed_t speed)
    {
        termios tio{};
        if (tcgetattr(m_fd, &tio) != 0)
            return false;
        cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        cfsetispeed(&tio, speed);
        cfsetospeed(&tio, speed);
        return tcsetattr(m_fd, TCSANOW, &tio) == 0;
    }

    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

    bool write(const QByteArray &bytes)
    {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
            if (n > 0) {
                done += n;
            } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                pollfd p{m_fd, POLLOUT, 0};
                poll(&p, 1, 100);
            } else {
                return false;
            }
        }
        return true;
    }

    // Reads until done() holds for the bytes so far, the line hangs up or the
    // time is over. Counts the reads that brought data.
    QByteArray readUntil(const std::function<bool(const QByteArray &)> &done, int timeoutMs)
    {
        QByteArray bytes;
        reads = 0;
        hungUp = false;
        QElapsedTimer timer;
        timer.start();
        while (!done(bytes) && timer.elapsed() < timeoutMs) {
            pollfd p{m_fd, POLLIN, 0};
            if (poll(&p, 1, 10) <= 0)
                continue;
            char buffer[256];
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n > 0) {
                bytes.append(buffer, int(n));
                ++reads;
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                hungUp = true;
                break;
            }
        }
        return bytes;
    }

    QByteArray readSize(int size, int timeoutMs = 3000)
    {
        return readUntil([size](const QByteArray &b) { return b.size() >= size; }, timeoutMs);
    }

    QByteArray readLine(int timeoutMs = 3000)
    {
        return readUntil([](const QByteArray &b) { return b.contains("\r\n"); }, timeoutMs);
    }

    // Everything that comes within the time.
    QByteArray readFor(int ms)
    {
        return readUntil([](const QByteArray &) { return false; }, ms);
    }

    QByteArray ask(const QByteArray &request)
    {
        write(request);
        return request.startsWith("LP") ? readSize(kParameterAnswerSize) : readLine();
    }

    int reads = 0;
    bool hungUp = false;

private:
    int m_fd = -1;
};

ParameterRecord defaultDevice()
{
    ParameterRecord r;
    initParameterRecord(r);
    setFieldText(r.unit, kUnitWidth, QStringLiteral("m3"));
    r.significance = 3;
    r.leadingPlus = 0;
    setFieldText(r.manufacturer, kManufacturerWidth, QStringLiteral("ABC"));
    setFieldText(r.deviceType, kDeviceTypeWidth, QStringLiteral("TAV7"));
    setFieldText(r.serialNumber, kSerialNumberWidth, QStringLiteral("123456789"));
    setFieldText(r.yearOfManufacture, kYearWidth, QStringLiteral("2024"));
    r.softwareVersion = 112;
    r.softwareCrc = 0x1A2B;
    r.baudRate = 0;
    r.transmitMode = 2;
    r.direction = 0;
    r.telegramB = 0;
    r.crcStartValue = 0;
    return r;
}

// Empty when equal, else the differing fields.
QString recordDiff(const ParameterRecord &a, const ParameterRecord &b)
{
    QStringList diff;
    auto text = [&](const char *name, const char *x, const char *y, int width) {
        if (fieldText(x, width) != fieldText(y, width))
            diff << QStringLiteral("%1: \"%2\" != \"%3\"").arg(QLatin1String(name), fieldText(x, width), fieldText(y, width));
    };
    auto number = [&](const char *name, int x, int y) {
        if (x != y)
            diff << QStringLiteral("%1: %2 != %3").arg(QLatin1String(name)).arg(x).arg(y);
    };
    text("unit", a.unit, b.unit, kUnitWidth);
    number("significance", a.significance, b.significance);
    number("leadingPlus", a.leadingPlus, b.leadingPlus);
    text("manufacturer", a.manufacturer, b.manufacturer, kManufacturerWidth);
    text("deviceType", a.deviceType, b.deviceType, kDeviceTypeWidth);
    text("serialNumber", a.serialNumber, b.serialNumber, kSerialNumberWidth);
    text("yearOfManufacture", a.yearOfManufacture, b.yearOfManufacture, kYearWidth);
    number("softwareVersion", a.softwareVersion, b.softwareVersion);
    number("softwareCrc", a.softwareCrc, b.softwareCrc);
    number("baudRate", a.baudRate, b.baudRate);
    number("transmitMode", a.transmitMode, b.transmitMode);
    number("direction", a.direction, b.direction);
    number("telegramB", a.telegramB, b.telegramB);
    number("crcStartValue", a.crcStartValue, b.crcStartValue);
    return diff.join(QLatin1String("; "));
}

struct Decoded
{
    ParameterAnswer answer;
    ParameterRecord record;
};

Decoded decode(const QByteArray &bytes)
{
    Decoded d;
    initParameterRecord(d.record);
    d.answer = decodeParameterAnswer(bytes, d.record);
    return d;
}

} // namespace

Q_DECLARE_METATYPE(ParameterRecord)

class TestDevSim : public QObject
{
    Q_OBJECT

private slots:
    void parameterRead_data();
    void parameterRead();
    void significanceText();
    void parameterWrite_data();
    void parameterWrite();
    void rejectedTelegram_data();
    void rejectedTelegram();
    void readCounter_data();
    void readCounter();
    void setCounter_data();
    void setCounter();

    void inputInPieces();
    void unknownAndOversizedInput();
    void incompleteCommandForgotten();
    void lineModes();
    void pacing();

    void faultAnswers_data();
    void faultAnswers();
    void badCrc();
    void slowAnswers_data();
    void slowAnswers();
    void controlInput();
    void endOfControlInput();
    void hangup_data();
    void hangup();
    void terminateDuringAnswer();

    void stateFile();
    void commandLine_data();
    void commandLine();
};

// ---- the four commands ------------------------------------------------------

void TestDevSim::parameterRead_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<ParameterRecord>("expected");

    QTest::newRow("default device") << QStringList() << defaultDevice();

    ParameterRecord r = defaultDevice();
    setFieldText(r.unit, kUnitWidth, QStringLiteral("kWh"));
    r.significance = 1;
    setFieldText(r.manufacturer, kManufacturerWidth, QStringLiteral("XYZ"));
    setFieldText(r.deviceType, kDeviceTypeWidth, QStringLiteral("T7-B"));
    setFieldText(r.serialNumber, kSerialNumberWidth, QStringLiteral("000000042"));
    setFieldText(r.yearOfManufacture, kYearWidth, QStringLiteral("1999"));
    r.softwareVersion = 111;
    r.softwareCrc = 0xBEEF;
    r.baudRate = 2;
    r.transmitMode = 5;
    r.direction = 1;
    r.telegramB = 3;
    r.crcStartValue = 1;
    QTest::newRow("every value set")
        << QStringList{"--unit", "kWh", "--significance", "1", "--manufacturer", "XYZ",
                       "--device-type", "T7-B", "--serial", "000000042", "--year", "1999",
                       "--version", "111", "--crc", "beef", "--baud-rate", "2",
                       "--transmit-mode", "5", "--direction", "1", "--telegram-b", "3",
                       "--crc-start-value", "1"}
        << r;

    ParameterRecord plus = defaultDevice();
    plus.significance = 5;
    plus.leadingPlus = 1;
    plus.direction = -7; // implausible values go out as they are
    QTest::newRow("leading plus, odd index")
        << QStringList{"--significance=5", "--leading-plus=1", "--direction=-7"} << plus;
}

void TestDevSim::parameterRead()
{
    QFETCH(QStringList, args);
    QFETCH(ParameterRecord, expected);

    DevSim sim;
    QVERIFY2(sim.start(args), qPrintable(sim.errorString()));
    Port port;
    QVERIFY(port.open(sim.portPath()));

    const QByteArray answer = port.ask("LP\r");
    QCOMPARE(answer.size(), kParameterAnswerSize);
    QCOMPARE(int(answer.at(0)), kParameterAnswerSize);
    const Decoded d = decode(answer);
    QCOMPARE(d.answer.status, ParameterAnswerStatus::CrcOk);
    QVERIFY(!d.answer.deviceError);
    QVERIFY2(recordDiff(d.record, expected).isEmpty(), qPrintable(recordDiff(d.record, expected)));
    QCOMPARE(answer, buildParameterAnswer(expected));

    QVERIFY(sim.waitForLine(QStringLiteral("TX ")));
    QCOMPARE(sim.received(), QStringList{QStringLiteral("RX LP")});
    QCOMPARE(sim.lineCount(QStringLiteral("TX ") + QString::fromLatin1(answer.toHex())), 1);
}

void TestDevSim::significanceText()
{
    // A device holding a significance text the PC program would never write.
    DevSim sim;
    QVERIFY(sim.start({"--significance-text", "01"}));
    Port port;
    QVERIFY(port.open(sim.portPath()));

    QByteArray answer = port.ask("LP\r");
    QCOMPARE(answer.mid(7, 3), QByteArray("01\0", 3));
    Decoded d = decode(answer);
    QCOMPARE(d.answer.status, ParameterAnswerStatus::CrcOk);
    QVERIFY(d.answer.significance.notice);
    QCOMPARE(d.answer.significance.noticeText, QStringLiteral("01"));

    // A written significance replaces the odd text.
    ParameterRecord r = defaultDevice();
    r.significance = 0;
    QCOMPARE(port.ask(buildWriteTelegram(r)), kOk);
    answer = port.ask("LP\r");
    QCOMPARE(answer.mid(7, 3), QByteArray("-3\0", 3));
    d = decode(answer);
    QCOMPARE(d.answer.status, ParameterAnswerStatus::CrcOk);
    QVERIFY(!d.answer.significance.notice);
    QCOMPARE(d.record.significance, qint8(0));
}

void TestDevSim::parameterWrite_data()
{
    QTest::addColumn<ParameterRecord>("written");

    ParameterRecord r = defaultDevice();
    setFieldText(r.unit, kUnitWidth, QStringLiteral("l"));
    r.significance = 4;
    r.leadingPlus = 1;
    setFieldText(r.manufacturer, kManufacturerWidth, QStringLiteral("QRS"));
    setFieldText(r.deviceType, kDeviceTypeWidth, QStringLiteral("ABCDEF"));
    setFieldText(r.serialNumber, kSerialNumberWidth, QStringLiteral("987654321"));
    setFieldText(r.yearOfManufacture, kYearWidth, QStringLiteral("2031"));
    r.baudRate = 1;
    r.transmitMode = 4;
    r.direction = 1;
    r.telegramB = 2;
    r.crcStartValue = 1;
    QTest::newRow("every field changed") << r;

    // CR and LF among the data must not end the telegram early.
    ParameterRecord lineEnds = defaultDevice();
    lineEnds.direction = '\r';
    lineEnds.telegramB = '\n';
    lineEnds.transmitMode = '\r';
    QTest::newRow("line ends in index bytes") << lineEnds;

    // A telegram whose first CRC held a line end carries a raised version.
    ParameterRecord raised = defaultDevice();
    for (int serial = 100000; serial < 200000; ++serial) {
        setFieldText(raised.serialNumber, kSerialNumberWidth, QString::number(serial));
        const QByteArray t = buildWriteTelegram(raised);
        if (quint8(t.at(4)) != (raised.softwareVersion & 0xFF))
            break;
    }
    QTest::newRow("raised version") << raised;
}

void TestDevSim::parameterWrite()
{
    QFETCH(ParameterRecord, written);

    DevSim sim;
    QVERIFY(sim.start());
    Port port;
    QVERIFY(port.open(sim.portPath()));

    const QByteArray telegram = buildWriteTelegram(written);
    QCOMPARE(telegram.size(), kWriteTelegramSize);
    if (QByteArray(QTest::currentDataTag()) == "line ends in index bytes")
        QVERIFY(telegram.mid(4, 40).contains('\r') && telegram.mid(4, 40).contains('\n'));
    if (QByteArray(QTest::currentDataTag()) == "raised version")
        QVERIFY(quint8(telegram.at(4)) != (written.softwareVersion & 0xFF));

    QCOMPARE(port.ask(telegram), kOk);
    QVERIFY(sim.waitForReceived(1));
    QCOMPARE(sim.received().at(0), QStringLiteral("RX SP ") + QString::fromLatin1(telegram.toHex()));

    // The firmware's own version and checksum stay whatever the telegram says.
    ParameterRecord expected = written;
    expected.softwareVersion = 112;
    expected.softwareCrc = 0x1A2B;
    const Decoded d = decode(port.ask("LP\r"));
    QCOMPARE(d.answer.status, ParameterAnswerStatus::CrcOk);
    QVERIFY2(recordDiff(d.record, expected).isEmpty(), qPrintable(recordDiff(d.record, expected)));
    QVERIFY(sim.waitForReceived(2));
    QCOMPARE(sim.received().at(1), QStringLiteral("RX LP"));
}

void TestDevSim::rejectedTelegram_data()
{
    QTest::addColumn<QByteArray>("telegram");

    ParameterRecord r = defaultDevice();
    setFieldText(r.unit, kUnitWidth, QStringLiteral("kg"));
    r.direction = 1;
    const QByteArray good = buildWriteTelegram(r);

    QByteArray t = good;
    t[44] = char(t.at(44) ^ 0x01);
    QTest::newRow("CRC byte changed") << t;

    t = good;
    t[30] = char(t.at(30) ^ 0x20);
    QTest::newRow("serial byte changed") << t;

    t = good;
    t[3] = char(40);
    QTest::newRow("wrong length byte") << t;

    t = good;
    t[46] = 'x';
    t[47] = 'y';
    t.append("\r\n"); // so that a device waiting for a line end is not left waiting
    QTest::newRow("no line end at its place") << t;

    QTest::newRow("short, wrong length byte") << QByteArray("SP \x05\x01\x02\r\n");
}

void TestDevSim::rejectedTelegram()
{
    QFETCH(QByteArray, telegram);

    DevSim sim;
    QVERIFY(sim.start());
    Port port;
    QVERIFY(port.open(sim.portPath()));

    QCOMPARE(port.ask(telegram).left(kError.size()), kError);

    // Nothing was stored.
    const Decoded d = decode(port.ask("LP\r"));
    QCOMPARE(d.answer.status, ParameterAnswerStatus::CrcOk);
    QVERIFY2(recordDiff(d.record, defaultDevice()).isEmpty(), qPrintable(recordDiff(d.record, defaultDevice())));
    QVERIFY(sim.waitForReceived(2));
    QVERIFY(sim.received().at(0).startsWith(QLatin1String("RX SP ")));
    QCOMPARE(sim.received().at(1), QStringLiteral("RX LP"));
}

void TestDevSim::readCounter_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("answer");

    QTest::newRow("nine digits from 1.12") << QStringList() << QByteArray("012345678\r\n");
    QTest::newRow("eight digits before 1.12") << QStringList{"--version", "111"} << QByteArray("12345678\r\n");
    QTest::newRow("nine digits above 1.12") << QStringList{"--version", "200", "--counter", "7"}
                                            << QByteArray("000000007\r\n");
    QTest::newRow("eight digits, higher digit rolled over")
        << QStringList{"--version", "100", "--counter", "987654321"} << QByteArray("87654321\r\n");
}

void TestDevSim::readCounter()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, answer);

    DevSim sim;
    QVERIFY(sim.start(args));
    Port port;
    QVERIFY(port.open(sim.portPath()));
    QCOMPARE(port.ask("L_ZLW\r"), answer);
    // Nothing follows the line end.
    QCOMPARE(port.readFor(200), QByteArray());
    QCOMPARE(sim.received(), QStringList{QStringLiteral("RX L_ZLW")});
}

void TestDevSim::setCounter_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QByteArray>("counterAfter");

    QTest::newRow("nine digits") << QStringList() << QByteArray("S_ZLW 987654321\r")
                                 << QByteArray("987654321\r\n") << QByteArray("987654321\r\n");
    QTest::newRow("few digits, CR LF") << QStringList() << QByteArray("S_ZLW 042\r\n")
                                       << QByteArray("042\r\n") << QByteArray("000000042\r\n");
    QTest::newRow("eight digits on 1.11") << QStringList{"--version", "111"} << QByteArray("S_ZLW 00000001\r")
                                          << QByteArray("00000001\r\n") << QByteArray("00000001\r\n");
    QTest::newRow("nine digits on 1.11") << QStringList{"--version", "111"} << QByteArray("S_ZLW 123456789\r")
                                         << kError << QByteArray("12345678\r\n");
    QTest::newRow("not digits") << QStringList() << QByteArray("S_ZLW 12,5\r") << kError
                                << QByteArray("012345678\r\n");
    QTest::newRow("no digits") << QStringList() << QByteArray("S_ZLW \r") << kError
                               << QByteArray("012345678\r\n");
}

void TestDevSim::setCounter()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, answer);
    QFETCH(QByteArray, counterAfter);

    DevSim sim;
    QVERIFY(sim.start(args));
    Port port;
    QVERIFY(port.open(sim.portPath()));
    QCOMPARE(port.ask(request), answer);
    QCOMPARE(port.ask("L_ZLW\r"), counterAfter);

    QByteArray logged = request;
    while (logged.endsWith('\r') || logged.endsWith('\n'))
        logged.chop(1);
    QCOMPARE(sim.received(), (QStringList{QStringLiteral("RX ") + QString::fromLatin1(logged),
                                          QStringLiteral("RX L_ZLW")}));
}

// ---- the line ---------------------------------------------------------------

void TestDevSim::inputInPieces()
{
    DevSim sim;
    QVERIFY(sim.start());
    Port port;
    QVERIFY(port.open(sim.portPath()));

    // One byte at a time, with stray line ends before it.
    for (const char c : QByteArray("\r\n\nL_ZLW\r")) {
        QVERIFY(port.write(QByteArray(1, c)));
        QTest::qSleep(15);
    }
    QCOMPARE(port.readLine(), QByteArray("012345678\r\n"));

    // A telegram cut at its CR-holding data byte and after it.
    ParameterRecord r = defaultDevice();
    r.direction = '\r';
    r.telegramB = '\n';
    const QByteArray telegram = buildWriteTelegram(r);
    QVERIFY(port.write(telegram.left(42)));
    QTest::qSleep(100);
    QVERIFY(port.write(telegram.mid(42, 1)));
    QTest::qSleep(100);
    QVERIFY(port.write(telegram.mid(43)));
    QCOMPARE(port.readLine(), kOk);

    // Several commands in one write are answered one after the other.
    QVERIFY(port.write("L_ZLW\r\nS_ZLW 5\rL_ZLW\r"));
    const QByteArray answers = port.readUntil([](const QByteArray &b) { return b.count("\r\n") >= 3; }, 3000);
    QCOMPARE(answers, QByteArray("012345678\r\n5\r\n000000005\r\n"));

    QVERIFY(sim.waitForReceived(5));
    QCOMPARE(sim.received(),
             (QStringList{"RX L_ZLW", "RX SP " + QString::fromLatin1(telegram.toHex()), "RX L_ZLW",
                          "RX S_ZLW 5", "RX L_ZLW"}));
}

void TestDevSim::unknownAndOversizedInput()
{
    DevSim sim;
    QVERIFY(sim.start());
    Port port;
    QVERIFY(port.open(sim.portPath()));

    // Unknown lines get no answer but are logged.
    QVERIFY(port.write(QByteArray("XYZ\rlp\r\x00\xff\r", 10)));
    QCOMPARE(port.readFor(kQuietMs), QByteArray());
    QVERIFY(sim.waitForReceived(3));
    QCOMPARE(sim.received(), (QStringList{"RX ? 58595a", "RX ? 6c70", "RX ? 00ff"}));

    // Endless input without a line end is dropped, and the device still listens.
    QByteArray flood(6000, 'A');
    QVERIFY(port.write(flood));
    QVERIFY(sim.waitForLine(QStringLiteral("INFO dropped")));
    QCOMPARE(port.ask("L_ZLW\r"), QByteArray("012345678\r\n"));
    QCOMPARE(sim.received().last(), QStringLiteral("RX L_ZLW"));
}

void TestDevSim::incompleteCommandForgotten()
{
    DevSim sim;
    QVERIFY(sim.start());
    Port port;
    QVERIFY(port.open(sim.portPath()));

    // A telegram broken off in the middle must not swallow the next request.
    const QByteArray telegram = buildWriteTelegram(defaultDevice());
    QVERIFY(port.write(telegram.left(20)));
    QVERIFY(sim.waitForLine(QStringLiteral("INFO incomplete input dropped"), 4000));
    QCOMPARE(port.ask("L_ZLW\r"), QByteArray("012345678\r\n"));
    QCOMPARE(sim.received(), QStringList{QStringLiteral("RX L_ZLW")});
}

void TestDevSim::lineModes()
{
    DevSim sim;
    QVERIFY(sim.start());
    Port port;
    QVERIFY(port.open(sim.portPath(), B9600));

    // Other rates belong to other interfaces, which do not know "LP".
    QVERIFY(port.write("LP\r"));
    QCOMPARE(port.readFor(kQuietMs), QByteArray());
    QVERIFY(sim.waitForLine(QStringLiteral("MODE boot-loader 9600")));

    QVERIFY(port.setSpeed(B2400));
    QVERIFY(port.write("LP\r"));
    QCOMPARE(port.readFor(kQuietMs), QByteArray());
    QVERIFY(sim.waitForLine(QStringLiteral("MODE namur-output 2400")));

    QVERIFY(port.setSpeed(B4800));
    QVERIFY(port.write("LP\r"));
    QCOMPARE(port.readFor(kQuietMs), QByteArray());

    // Half a command heard at another rate is not finished at 1200 baud.
    QVERIFY(sim.waitForLine(QStringLiteral("MODE unsupported 4800")));
    QVERIFY(port.setSpeed(B9600));
    const int ignored = sim.lineCount(QStringLiteral("INFO ignored"));
    QVERIFY(port.write("L_Z"));
    QVERIFY(sim.waitForLines(QStringLiteral("INFO ignored"), ignored + 1));
    QVERIFY(port.setSpeed(B1200));
    QVERIFY(port.write("LW\r"));
    QVERIFY(port.write("L_ZLW\r"));
    QCOMPARE(port.readLine(), QByteArray("012345678\r\n"));
    QVERIFY(sim.waitForReceived(2));
    QCOMPARE(sim.received(), (QStringList{"RX ? 4c57", "RX L_ZLW"}));
}

void TestDevSim::pacing()
{
    DevSim sim;
    QVERIFY(sim.start());
    Port port;
    QVERIFY(port.open(sim.portPath()));

    // 49 bytes of 10 bits at 1200 baud take 408 ms on a real line.
    QElapsedTimer timer;
    timer.start();
    const QByteArray answer = port.ask("LP\r");
    const qint64 elapsed = timer.elapsed();
    QCOMPARE(answer.size(), kParameterAnswerSize);
    QVERIFY2(elapsed >= 350, qPrintable(QStringLiteral("answer took only %1 ms").arg(elapsed)));
    QVERIFY2(port.reads > 1, "the answer came in one piece");
}

// ---- faults -----------------------------------------------------------------

void TestDevSim::faultAnswers_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("answer"); // empty: none

    const QByteArray garbage("\x00\x7f#", 3);
    QTest::newRow("silent LP") << QStringList{"--fault", "silent=LP"} << QByteArray("LP\r") << QByteArray();
    QTest::newRow("silent for all") << QStringList{"--fault", "silent"} << QByteArray("L_ZLW\r") << QByteArray();
    QTest::newRow("error L_ZLW") << QStringList{"--fault", "error=L_ZLW"} << QByteArray("L_ZLW\r") << kError;
    QTest::newRow("error LP") << QStringList{"--fault", "error=LP"} << QByteArray("LP\r") << kError;
    ParameterRecord changed = defaultDevice();
    setFieldText(changed.unit, kUnitWidth, QStringLiteral("kg"));
    QTest::newRow("error SP") << QStringList{"--fault", "error=SP"} << buildWriteTelegram(changed) << kError;
    QTest::newRow("silent SP") << QStringList{"--fault", "silent=SP"} << buildWriteTelegram(changed) << QByteArray();
    QTest::newRow("error S_ZLW") << QStringList{"--fault", "error=S_ZLW"} << QByteArray("S_ZLW 77\r") << kError;
    QTest::newRow("garbage S_ZLW") << QStringList{"--fault", "garbage=S_ZLW"} << QByteArray("S_ZLW 77\r")
                                   << garbage + "77\r\n";
    QTest::newRow("garbage and error") << QStringList{"--fault", "garbage", "--fault", "error"}
                                       << QByteArray("S_ZLW 77\r") << garbage + kError;
    QTest::newRow("badcrc ignored for L_ZLW") << QStringList{"--fault", "badcrc"} << QByteArray("L_ZLW\r")
                                              << QByteArray("012345678\r\n");
    QTest::newRow("fault for another command") << QStringList{"--fault", "silent=LP,SP,S_ZLW"}
                                               << QByteArray("L_ZLW\r") << QByteArray("012345678\r\n");
}

void TestDevSim::faultAnswers()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, answer);

    DevSim sim;
    QVERIFY(sim.start(args));
    Port port;
    QVERIFY(port.open(sim.portPath()));
    QVERIFY(port.write(request));
    const QByteArray got = port.readUntil(
        [&](const QByteArray &b) { return !answer.isEmpty() && b.size() >= answer.size(); }, kQuietMs + 300);
    QCOMPARE(got, answer);
    QCOMPARE(port.readFor(200), QByteArray());
    QVERIFY(sim.waitForReceived(1));

    // A refused or unanswered command is not carried out.
    if (answer.isEmpty() || answer.endsWith(kError)) {
        QVERIFY(sim.control("clear-faults"));
        QCOMPARE(port.ask("L_ZLW\r"), QByteArray("012345678\r\n"));
        const Decoded d = decode(port.ask("LP\r"));
        QVERIFY2(recordDiff(d.record, defaultDevice()).isEmpty(), qPrintable(recordDiff(d.record, defaultDevice())));
    }
}

void TestDevSim::badCrc()
{
    DevSim sim;
    QVERIFY(sim.start({"--fault-once", "badcrc=LP"}));
    Port port;
    QVERIFY(port.open(sim.portPath()));

    const QByteArray broken = port.ask("LP\r");
    QCOMPARE(broken.size(), kParameterAnswerSize);
    const Decoded d = decode(broken);
    QCOMPARE(d.answer.status, ParameterAnswerStatus::CrcError);
    // Only the last CRC byte is off; the record itself came through.
    QCOMPARE(broken.left(48), buildParameterAnswer(defaultDevice()).left(48));
    QVERIFY(sim.waitForLine(QStringLiteral("FAULT badcrc")));

    // The fault was for one answer only.
    QCOMPARE(decode(port.ask("LP\r")).answer.status, ParameterAnswerStatus::CrcOk);
}

void TestDevSim::slowAnswers_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("minReads");
    QTest::addColumn<int>("minMs");

    // About 25 pieces with 50 ms between them on top of the 408 ms.
    QTest::newRow("pieces") << QStringLiteral("pieces=LP") << 10 << 1200;
    QTest::newRow("bytewise") << QStringLiteral("bytewise") << 2 << 350;
}

void TestDevSim::slowAnswers()
{
    QFETCH(QString, fault);
    QFETCH(int, minReads);
    QFETCH(int, minMs);

    DevSim sim;
    QVERIFY(sim.start({"--fault", fault}));
    Port port;
    QVERIFY(port.open(sim.portPath()));

    QElapsedTimer timer;
    timer.start();
    const QByteArray answer = port.ask("LP\r");
    const qint64 elapsed = timer.elapsed();
    QCOMPARE(answer, buildParameterAnswer(defaultDevice()));
    QVERIFY2(port.reads >= minReads, qPrintable(QStringLiteral("%1 reads").arg(port.reads)));
    QVERIFY2(elapsed >= minMs, qPrintable(QStringLiteral("%1 ms").arg(elapsed)));
}

void TestDevSim::controlInput()
{
    DevSim sim;
    QVERIFY(sim.start());
    Port port;
    QVERIFY(port.open(sim.portPath()));

    QVERIFY(sim.control("fault badcrc=LP"));
    QCOMPARE(decode(port.ask("LP\r")).answer.status, ParameterAnswerStatus::CrcError);
    QCOMPARE(decode(port.ask("LP\r")).answer.status, ParameterAnswerStatus::CrcError);
    QVERIFY(sim.control("clear-faults"));
    QCOMPARE(decode(port.ask("LP\r")).answer.status, ParameterAnswerStatus::CrcOk);

    QVERIFY(sim.control("fault-once error=L_ZLW"));
    QCOMPARE(port.ask("L_ZLW\r"), kError);
    QCOMPARE(port.ask("L_ZLW\r"), QByteArray("012345678\r\n"));

    // The device changes without a restart.
    QVERIFY(sim.control("set counter=5"));
    QVERIFY(sim.control("set unit=kg"));
    QCOMPARE(port.ask("L_ZLW\r"), QByteArray("000000005\r\n"));
    QVERIFY(sim.control("set version=111"));
    QCOMPARE(port.ask("L_ZLW\r"), QByteArray("00000005\r\n"));
    const Decoded d = decode(port.ask("LP\r"));
    QCOMPARE(fieldText(d.record.unit, kUnitWidth), QStringLiteral("kg"));
    QCOMPARE(d.record.softwareVersion, quint16(111));

    QVERIFY(sim.control("state"));
    QVERIFY(sim.lines().contains(QStringLiteral("STATE counter=5")));
    QVERIFY(sim.lines().contains(QStringLiteral("STATE unit=kg")));

    // Refused lines change nothing.
    QVERIFY(!sim.control("set colour=red"));
    QVERIFY(!sim.control("set unit=toolong"));
    QVERIFY(!sim.control("set counter=12x"));
    QVERIFY(!sim.control("fault meltdown"));
    QVERIFY(!sim.control("fault silent=XX"));
    QVERIFY(!sim.control("dance"));
    QCOMPARE(port.ask("L_ZLW\r"), QByteArray("00000005\r\n"));

    QVERIFY(sim.control("quit"));
    QVERIFY(sim.waitForFinished());
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
}

void TestDevSim::endOfControlInput()
{
    DevSim sim;
    QVERIFY(sim.start());
    sim.closeControlInput();
    Port port;
    QVERIFY(port.open(sim.portPath()));
    QTest::qWait(100);
    QVERIFY(sim.isRunning());
    QCOMPARE(port.ask("L_ZLW\r"), QByteArray("012345678\r\n"));
    QVERIFY(sim.isRunning());
}

void TestDevSim::hangup_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("control");

    QTest::newRow("fault on LP") << QStringList{"--fault", "hangup=LP"} << QByteArray();
    QTest::newRow("control line") << QStringList() << QByteArray("hangup");
}

void TestDevSim::hangup()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, control);

    DevSim sim;
    QVERIFY(sim.start(args));
    Port port;
    QVERIFY(port.open(sim.portPath()));
    QCOMPARE(port.ask("L_ZLW\r"), QByteArray("012345678\r\n"));

    if (control.isEmpty()) {
        QVERIFY(port.write("LP\r"));
    } else {
        QVERIFY(sim.control(control));
    }
    const QByteArray rest = port.readFor(2000);
    QCOMPARE(rest, QByteArray());
    QVERIFY(port.hungUp);
    QVERIFY(sim.waitForFinished());
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
}

void TestDevSim::terminateDuringAnswer()
{
    DevSim sim;
    QVERIFY(sim.start({"--fault", "pieces"}));
    Port port;
    QVERIFY(port.open(sim.portPath()));
    QVERIFY(port.write("LP\r"));
    QVERIFY(sim.waitForReceived(1));

    // The answer would take well over a second; SIGTERM must not wait for it.
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(::kill(pid_t(sim.processId()), SIGTERM), 0);
    QVERIFY(sim.waitForFinished(3000));
    QVERIFY2(timer.elapsed() < 800, qPrintable(QStringLiteral("%1 ms").arg(timer.elapsed())));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
    QVERIFY(sim.lines().contains(QStringLiteral("INFO terminated")));
}

// ---- start-up -----------------------------------------------------------------

void TestDevSim::stateFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("device.state"));

    ParameterRecord written = defaultDevice();
    setFieldText(written.unit, kUnitWidth, QStringLiteral("ft3"));
    setFieldText(written.serialNumber, kSerialNumberWidth, QStringLiteral("55"));
    written.direction = 1;
    {
        DevSim sim;
        QVERIFY(sim.start({"--state", path}));
        Port port;
        QVERIFY(port.open(sim.portPath()));
        QCOMPARE(port.ask("L_ZLW\r"), QByteArray("012345678\r\n")); // a missing file: the defaults
        QCOMPARE(port.ask(buildWriteTelegram(written)), kOk);
        QCOMPARE(port.ask("S_ZLW 99\r"), QByteArray("99\r\n"));
        sim.stop();
        QCOMPARE(sim.exitCode(), 0);
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY2(text.contains("\ncounter=99\n") && text.contains("\nunit=ft3\n"), text.constData());
    file.close();

    {
        DevSim sim;
        QVERIFY(sim.start({"--state", path}));
        Port port;
        QVERIFY(port.open(sim.portPath()));
        QCOMPARE(port.ask("L_ZLW\r"), QByteArray("000000099\r\n"));
        const Decoded d = decode(port.ask("LP\r"));
        QVERIFY2(recordDiff(d.record, written).isEmpty(), qPrintable(recordDiff(d.record, written)));
    }
    {
        // Options win over the file.
        DevSim sim;
        QVERIFY(sim.start({"--state", path, "--counter", "3", "--version", "111"}));
        Port port;
        QVERIFY(port.open(sim.portPath()));
        QCOMPARE(port.ask("L_ZLW\r"), QByteArray("00000003\r\n"));
    }

    // A broken file is refused rather than half read.
    QVERIFY(file.open(QIODevice::Append));
    file.write("direction=sideways\n");
    file.close();
    DevSim sim;
    QVERIFY(!sim.start({"--state", path}));
    QCOMPARE(sim.exitCode(), 2);
}

void TestDevSim::commandLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");

    QTest::newRow("help") << QStringList{"--help"} << 0;
    QTest::newRow("unknown option") << QStringList{"--colour", "red"} << 2;
    QTest::newRow("missing value") << QStringList{"--counter"} << 2;
    QTest::newRow("stray argument") << QStringList{"LP"} << 2;
    QTest::newRow("version not a number") << QStringList{"--version", "1.12"} << 2;
    QTest::newRow("counter too long") << QStringList{"--counter", "1234567890"} << 2;
    QTest::newRow("serial too long") << QStringList{"--serial", "1234567890"} << 2;
    QTest::newRow("index out of range") << QStringList{"--direction", "128"} << 2;
    QTest::newRow("leading plus not 0 or 1") << QStringList{"--leading-plus", "2"} << 2;
    QTest::newRow("crc not hex") << QStringList{"--crc", "xyz"} << 2;
    QTest::newRow("unknown fault") << QStringList{"--fault", "smoke"} << 2;
    QTest::newRow("fault for unknown command") << QStringList{"--fault", "silent=LX"} << 2;
}

void TestDevSim::commandLine()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);

    QProcess process;
    process.start(QString::fromUtf8(TAVIK7_DEVSIM_PATH), args);
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), exitCode);
    if (exitCode == 0) {
        const QByteArray help = process.readAllStandardOutput();
        QVERIFY(help.startsWith("Usage: tavik7-devsim"));
        // The documented defaults are the ones the device has.
        QVERIFY(help.contains("[12345678, sent as 012345678]"));
        QVERIFY(help.contains("[123456789]"));
    } else {
        QVERIFY(!process.readAllStandardError().isEmpty());
        QVERIFY(process.readAllStandardOutput().isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestDevSim)
#include "tst_devsim.moc"
