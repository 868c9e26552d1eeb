// Listening to the device's NAMUR output and logging its telegrams.

#include "namurlistener.h"

#include <QDateTime>
#include <QDir>
#include <QSerialPort>

#include <utility>

#include "devicelink.h"
#include "namur.h"
#include "regularfile.h"

namespace tavik7 {

namespace {

constexpr qint32 kServiceBaudRate = 1200;

} // namespace

NamurListener::NamurListener(QObject *parent)
    : QObject(parent)
{
}

NamurListener::~NamurListener()
{
    // No signals from here: the user may be half torn down already. The
    // lines taken so far still belong in the file.
    blockSignals(true);
    closeLog();
}

void NamurListener::logFileChosen(const QString &path)
{
    m_record.pathToEmpty = path;
}

bool NamurListener::start(QSerialPort *port, const QString &logPath)
{
    if (m_state != State::Idle || !port || !port->isOpen())
        return false;
    // A pseudo-terminal refuses 7 data bits and even parity. Listening goes
    // on at 8N1 then: the receive step's 7-bit mask strips the parity bit,
    // which lands in bit 7.
    port->setBaudRate(kNamurBaudRate);
    port->setDataBits(QSerialPort::Data7);
    port->setParity(QSerialPort::EvenParity);
    port->clearError();
    port->flush();
    // What waited in the port, also in the driver where no read has fetched
    // it yet, was sent before Start: logged now, it would carry the start time.
    port->readAll();
    port->clear(QSerialPort::Input);

    m_record.port = port;
    m_record.pending.clear();
    m_record.unwritten.clear();
    m_record.reported = LogTrouble::None;
    m_record.logPath = logPath;
    if (!logPath.isEmpty()) {
        // Only the first start after the dialog (which asked before
        // overwriting) empties the file; later ones add to it.
        openLog(logPath == m_record.pathToEmpty);
        m_record.pathToEmpty.clear();
    }
    connect(port, &QSerialPort::readyRead, this, &NamurListener::onReadyRead);
    connect(port, &QIODevice::aboutToClose, this, &NamurListener::abandonPort);
    connect(port, &QObject::destroyed, this, &NamurListener::abandonPort);
    m_state = State::Listening;
    emit started();
    return true;
}

bool NamurListener::start(DeviceLink *link, const QString &logPath)
{
    if (m_state != State::Idle)
        return false;
    QSerialPort *port = link->lendPort();
    if (!port)
        return false;
    m_record.lender = link;
    if (start(port, logPath))
        return true;
    m_record.lender = nullptr;
    link->takePortBack();
    return false;
}

void NamurListener::stop()
{
    if (m_state != State::Listening)
        return;
    QSerialPort *port = m_record.port;
    if (port && port->isOpen()) {
        // Telegrams that reached the port before the click belong in the
        // log. A zero wait only fetches what the system already holds; the
        // data slot takes it, unless it is running right now.
        port->waitForReadyRead(0);
        if (port->bytesAvailable() > 0)
            take(port->readAll());
    }
    if (m_state != State::Listening)
        return;
    if (port) {
        port->setBaudRate(kServiceBaudRate);
        port->setDataBits(QSerialPort::Data8);
        port->setParity(QSerialPort::NoParity);
        port->clearError();
    }
    finish();
}

void NamurListener::abandonPort()
{
    finish();
}

void NamurListener::onReadyRead()
{
    if (m_state == State::Listening && m_record.port)
        take(m_record.port->readAll());
}

void NamurListener::take(QByteArray bytes)
{
    maskToSevenBits(bytes);
    m_record.pending.append(bytes);
    const NamurTelegrams taken = takeNamurTelegrams(m_record.pending);
    if (taken.telegrams.isEmpty() && taken.droppedBytes == 0)
        return;

    QStringList rendered;
    rendered.reserve(taken.telegrams.size());
    for (const QByteArray &telegram : taken.telegrams)
        rendered.append(renderNamurTelegram(telegram));
    if (!rendered.isEmpty())
        emit telegramsReceived(rendered);
    if (m_record.logPath.isEmpty())
        return;
    // One read takes a few milliseconds at most: its telegrams share the time.
    const QString timeStamp = namurTimeStamp(QDateTime::currentDateTime());
    if (taken.droppedBytes > 0)
        writeLogLine(namurDroppedLine(timeStamp, taken.droppedBytes), LineKind::Dropped);
    for (const QByteArray &telegram : taken.telegrams)
        writeLogLine(namurLogLine(timeStamp, telegram), isNamurTelegram(telegram) ? LineKind::Telegram : LineKind::Noise);
}

void NamurListener::writeLogLine(const QString &line, LineKind kind)
{
    // A receiver of a signal may have stopped the listening meanwhile.
    if (m_state != State::Listening || m_record.logPath.isEmpty())
        return;
    // Every 30th line puts the earlier ones on the disk; a file that could
    // not be opened before gets another chance here.
    if (++m_record.linesSinceFlush >= kNamurLinesPerReopen) {
        m_record.linesSinceFlush = 0;
        if (m_record.logFile.isOpen())
            flushLog();
        else
            openLog(false);
    }
    // Nothing is kept for a closed file: it would pile up without end.
    const bool kept = m_record.logFile.isOpen();
    if (kept) {
        m_record.unwritten += line.toLatin1();
        m_record.unwritten += "\r\n";
    }
    emit logLineWritten(line, kind);
    if (!kept)
        emit logLinesLost({line});
}

void NamurListener::openLog(bool truncate)
{
    // Like the output log and the change history: no link is followed and
    // only a regular file is written.
    QFile &file = m_record.logFile;
    if (platform::openRegularFile(file, m_record.logPath, true) && (!truncate || file.resize(0)))
        return;
    file.close();
    report(LogTrouble::Unwritable);
}

void NamurListener::flushLog()
{
    QByteArray &lines = m_record.unwritten;
    if (!lines.isEmpty() && m_record.logFile.write(lines) != lines.size()) {
        report(LogTrouble::Unwritable);
        // A short write may have put some of them in the file; all are told
        // as lost rather than one of them missing without a word.
        emit logLinesLost(QString::fromLatin1(lines).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts));
    }
    lines.clear();
    // The file stays open instead of being opened by its name again: a link
    // or another file put in its place must not take the following lines
    // and split the log in two.
    if (!platform::stillAtPath(m_record.logFile, m_record.logPath))
        report(LogTrouble::Replaced);
}

void NamurListener::closeLog()
{
    if (!m_record.logFile.isOpen())
        return;
    flushLog();
    m_record.logFile.close();
}

void NamurListener::finish()
{
    if (m_state != State::Listening)
        return;
    m_state = State::Idle;
    if (m_record.port)
        disconnect(m_record.port, nullptr, this, nullptr);
    m_record.port = nullptr;
    closeLog();
    m_record.logPath.clear();
    m_record.pending.clear();
    // Before anyone hears of the end: whoever reacts may ask the device at once.
    if (DeviceLink *link = std::exchange(m_record.lender, nullptr))
        link->takePortBack();
    emit stopped();
}

void NamurListener::report(LogTrouble trouble)
{
    if (m_record.reported == trouble)
        return;
    m_record.reported = trouble;
    emit logTrouble(trouble, m_record.logPath);
    if (trouble == LogTrouble::Replaced)
        emit noted({MessageId::NoteNamurLogReplaced, {QDir::toNativeSeparators(m_record.logPath)}});
}

} // namespace tavik7
