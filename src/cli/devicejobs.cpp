#include "devicejobs.h"

#include <QDate>
#include <QDir>

#include "backupfile.h"
#include "clitexts.h"
#include "countertext.h"
#include "deviceoutput.h"
#include "exitwords.h"
#include "inspectionreport.h"
#include "inspectionreportpdf.h"
#include "parametersheet.h"
#include "readjobs.h"
#include "reportsession.h"
#include "reportoutput.h"
#include "settingsfileio.h"
#include "writeplan.h"

namespace tavik7::cli {

// ---------------------------------------------------------------- write

void WriteJob::begin()
{
    if (options().dryRun) {
        readDevice();
        return;
    }
    recordChanges();
    startWrite();
}

// The plan over what the device holds; the checks the window's Write makes.
std::optional<ParameterRecord> WriteJob::plan(const ParameterRecord &device)
{
    // The file (read strictly before the port opened), --set and --keep over
    // the device's record; the firmware's version and CRC stay the device's.
    return plausibleWrite(plannedWriteRecord(device, options()));
}

std::optional<ParameterRecord> WriteJob::plausibleWrite(const ParameterRecord &record)
{
    ParameterSheet sheet;
    sheet.setRecord(record);
    if (!sheet.implausibleFieldIds().isEmpty()) {
        m_refusal = cliText(CliText::ImplausibleFields, options().language)
                        .arg(implausibleRecordTexts(record).join(QStringLiteral(", ")));
        return std::nullopt;
    }
    return record;
}

void WriteJob::deviceRead(const DeviceReading &reading)
{
    // --dry-run: what a write would change, nothing sent.
    const ParameterRecord record = plannedWriteRecord(reading.record, options());
    const bool plausible = plan(reading.record).has_value();
    if (!options().json) {
        if (options().ports.size() > 1)
            print((QStringLiteral("port=") + port() + QLatin1Char('\n')).toUtf8());
        print(differenceLines(reading.record, record));
    }
    if (!plausible) {
        fail(ExitImplausible, m_refusal);
        return;
    }
    if (options().json)
        print(writeJsonLine(port(), differingFields(reading.record, record), false));
    finish(ExitDone);
}

void WriteJob::requestFailed(const DeviceResult &result)
{
    if (result.status == DeviceResult::Status::Refused) {
        fail(ExitImplausible, m_refusal);
        return;
    }
    if (!result.sent) {
        PortJob::requestFailed(result);
        return;
    }
    // The telegram went out: the device may hold its record now, and a
    // script must not take the failure for "nothing written".
    QString text = failureText(result);
    QList<QPair<QString, QString>> facts{{QStringLiteral("sent"), QStringLiteral("yes")}};
    if (const ConsoleEntry note = result.deviceMayHold(); note.id != MessageId::None)
        text += QLatin1Char(' ') + message(note);
    if (const std::optional<CounterReading> left = result.counterNotWrittenBack())
        facts.append({QStringLiteral("counter"), QString::fromLatin1(left->digits)});
    const int exitCode = exitCodeFor(result.status);
    if (options().json)
        print(failureJsonLine(port(), errorWord(exitCode, port()), exitCode, text, facts));
    fail(exitCode, text);
}

void WriteJob::startWrite()
{
    // The window's Write: LP, and a device that is to count the other way
    // gets its reading (L_ZLW before the SP) written back after the telegram
    // (S_ZLW); otherwise the counter is set-counter's to change. --verify
    // reads the device again after its OK.
    setStage(Stage::Working);
    auto *session = new WriteSession(link(), this);
    keeper()->follow(session);
    connect(session, &WriteSession::written, this, &WriteJob::onWritten);
    connect(session, &WriteSession::finished, this, &WriteJob::onEnd);
    if (!session->start([this](const ParameterRecord &device) { return plan(device); }, options().verify))
        notAsked();
}

void WriteJob::onWritten(const WriteEnd &end)
{
    if (!end.write.ok() || (stage() != Stage::Working && stage() != Stage::Finishing))
        return;
    m_written = end;
    note(message(MessageId::ParametersWritten));
    if (end.write.counterWritten)
        note(message(MessageId::CounterWritten));
    // Interrupted while the write was on the wire: it is seen through, no more.
    if (stage() != Stage::Working)
        qobject_cast<WriteSession *>(sender())->setReadBack(false);
}

// Cut during the read-back, the write itself is done: a script must not
// take the end for "nothing written".
void WriteJob::interrupt()
{
    if (m_written && stage() == Stage::Working && options().json) {
        print(failureJsonLine(port(), errorWord(ExitInterrupted, port()), ExitInterrupted, interruptedText(),
                              {{QStringLiteral("sent"), QStringLiteral("yes")}}));
    }
    PortJob::interrupt();
}

QString WriteJob::interruptedText() const
{
    return cliText(m_written ? CliText::InterruptedAfterWrite : CliText::Interrupted, options().language);
}

void WriteJob::onEnd(const WriteEnd &end)
{
    if (stage() == Stage::Done)
        return;
    if (end.status == WriteEnd::Status::Failed || end.status == WriteEnd::Status::Refused) {
        requestFailed(end.failure());
        return;
    }
    if (end.readBack) {
        verify(end);
        return;
    }
    if (options().json)
        print(writeJsonLine(port(), end.changed, false));
    finish(ExitDone);
}

// --verify: the device read again after its OK must hold every field written.
void WriteJob::verify(const WriteEnd &end)
{
    if (end.differing.isEmpty()) {
        if (options().json)
            print(writeJsonLine(port(), end.changed, true));
        finish(ExitDone);
        return;
    }
    const ParameterRecord &read = *end.readBack->record;
    const ParameterRecord &written = *end.write.written;
    const QString text = cliText(CliText::ReadBackDiffers, options().language).arg(fieldNames(end.differing));
    if (options().json)
        print(failureJsonLine(port(), QStringLiteral("differs"), ExitDiffers, text, &read, &written));
    else
        print(differenceLines(read, written));
    fail(ExitDiffers, text);
}

// ---------------------------------------------------------------- set-counter

void CounterJob::begin()
{
    recordChanges();
    // The read is an event of its own: the counter is set from what it showed.
    readDevice();
}

void CounterJob::deviceRead(const DeviceReading &reading)
{
    const ParameterRecord &r = reading.record;
    const int length = counterLength(r.significance, r.softwareVersion);
    // Digits alone get the comma the entry would show; a comma given must sit there.
    const QString &digits = options().digits;
    const QString entry = digits.contains(QLatin1Char(','))
        ? digits
        : formatCounterText(digits, r.significance, r.softwareVersion);
    if (entry.size() != length || !counterTextPlausible(entry, length, length, r.significance)) {
        fail(ExitImplausible, message(MessageId::CounterImplausible) + QLatin1Char(' ')
                                  + cliText(CliText::CounterDigitsWrong, options().language)
                                        .arg(counterDigits(r.softwareVersion)));
        return;
    }
    follow(link()->writeCounter(counterDigitsForDevice(entry)),
           [this](const DeviceResult &result) { onCounterWritten(result); });
}

void CounterJob::onCounterWritten(const DeviceResult &result)
{
    // A counter not echoed has ended the job already, as every failure.
    if (stage() == Stage::Done || !result.counterWritten)
        return;
    if (options().json) {
        print(jsonObject({{QStringLiteral("port"), port()},
                          {QStringLiteral("counter"), lastReading().counterDigits},
                          {QStringLiteral("newCounter"), QString::fromLatin1(result.counterWritten->digits)}})
              + '\n');
    }
    note(message(MessageId::CounterWritten));
    finish(ExitDone);
}

// ---------------------------------------------------------------- report

void ReportJob::begin()
{
    // The window's name check, made before the device is read.
    const QString &target = options().outputFile;
    if (const MessageId fault = reportNameFault(target);
        target != QLatin1String(kStandardOutputName) && fault != MessageId::None) {
        fail(ExitUsage, message(fault));
        return;
    }
    setStage(Stage::Reading);
    auto *session = new ReportSession(link(), this);
    keeper()->follow(session);
    connect(session, &ReportSession::finished, this, [this](const ReportEnd &end) {
        if (stage() == Stage::Done)
            return;
        if (!end.read.ok()) {
            requestFailed(end.read);
            return;
        }
        m_plausible = end.plausible();
        DeviceReading reading;
        reading.record = *end.read.record;
        reading.counterDigits = QString::fromLatin1(end.read.counter->digits);
        reading.counterText = end.read.counter->text;
        // Not from inside the port's data slot.
        QMetaObject::invokeMethod(
            this,
            [this, reading] {
                if (stage() != Stage::Reading)
                    return;
                setStage(Stage::Working);
                deviceRead(reading);
            },
            Qt::QueuedConnection);
    });
    if (!session->start())
        notAsked();
}

void ReportJob::deviceRead(const DeviceReading &reading)
{
    const ParameterRecord &r = reading.record;
    if (!m_plausible) {
        // The verdict is the session's; the words name each field refused.
        keeper()->recordReport(QString(), QStringLiteral("implausible"));
        fail(ExitImplausible, cliText(CliText::NoReportImplausible, options().language)
                                  .arg(implausibleFieldTexts(reading).join(QStringLiteral(", "))));
        return;
    }
    QString error;
    QByteArray pdf; // for -o -
    const bool written = writeReportTo(options().outputFile, r, reading.counterText, options().notes, &pdf, &error);
    const bool toFile = options().outputFile != QLatin1String(kStandardOutputName);
    keeper()->recordReportWritten(toFile ? options().outputFile : QString(), written, options().notes);
    if (!written) {
        fail(ExitUsage, message(MessageId::PdfError) + QLatin1Char(' ') + error);
        return;
    }
    print(pdf);
    if (options().json) {
        const QString file = QDir::toNativeSeparators(options().outputFile);
        print(jsonObject({{QStringLiteral("port"), port()}, {QStringLiteral("report"), file}}) + '\n');
    }
    note(message(MessageId::PdfCreated));
    finish(ExitDone);
}

} // namespace tavik7::cli
