#include "devicejobs.h"

#include <QDate>
#include <QDir>

#include "backupfile.h"
#include "clitexts.h"
#include "countertext.h"
#include "deviceoutput.h"
#include "inspectionreportpdf.h"
#include "parametersheet.h"
#include "readjobs.h"
#include "reportoutput.h"
#include "settingsfileio.h"
#include "writeplan.h"

namespace tavik7::cli {

// ---------------------------------------------------------------- write

void WriteJob::begin()
{
    if (!options().dryRun)
        recordChanges();
    readDevice();
}

void WriteJob::deviceRead(const DeviceReading &reading)
{
    if (m_progress == Progress::Verifying) {
        verify(reading);
        return;
    }
    // The file (read strictly before the port opened), --set and --keep over
    // the device's record; the firmware's version and CRC stay the device's.
    const ParameterRecord record = plannedWriteRecord(reading.record, options());
    ParameterSheet sheet;
    sheet.setRecord(record);
    const QList<int> implausible = sheet.implausibleFieldIds();
    if (options().dryRun && !options().json) {
        if (options().ports.size() > 1)
            print((QStringLiteral("port=") + port() + QLatin1Char('\n')).toUtf8());
        print(differenceLines(reading.record, record));
    }
    if (!implausible.isEmpty()) {
        fail(ExitImplausible, cliText(CliText::ImplausibleFields, options().language)
                                  .arg(implausibleRecordTexts(record).join(QStringLiteral(", "))));
        return;
    }
    if (!options().dryRun) {
        startWrite(record);
        return;
    }
    // The port's one JSON line: what the write would change.
    if (options().json)
        print(writeJsonLine(port(), differingFields(reading.record, record), false));
    finish(ExitDone);
}

void WriteJob::startWrite(const ParameterRecord &record)
{
    // The parameters alone, as the window's Write settings slot sends them:
    // the counter is set-counter's to change.
    connect(link(), &DeviceLink::parametersWritten, this, [this] { m_progress = Progress::ParametersWritten; });
    connect(link(), &DeviceLink::idle, this, &WriteJob::onIdle);
    m_written = record;
    link()->writeParameters(record);
}

// --verify: the device read again after its OK must hold every field written.
void WriteJob::verify(const DeviceReading &reading)
{
    const QList<int> fields = differingFields(reading.record, m_written);
    if (fields.isEmpty()) {
        if (options().json)
            print(writeJsonLine(port(), differingFields(m_before, m_written), true));
        finish(ExitDone);
        return;
    }
    const QString text = cliText(CliText::ReadBackDiffers, options().language).arg(fieldNames(fields));
    if (options().json)
        print(failureJsonLine(port(), QStringLiteral("differs"), ExitDiffers, text, &reading.record, &m_written));
    else
        print(differenceLines(reading.record, m_written));
    fail(ExitDiffers, text);
}

void WriteJob::onIdle()
{
    // A time-out ends the request before it is reported: only an
    // acknowledged write is a success.
    if ((stage() != Stage::Working && stage() != Stage::Finishing) || m_progress != Progress::ParametersWritten)
        return;
    note(message(MessageId::ParametersWritten));
    if (options().verify && stage() == Stage::Working) {
        m_before = lastReading().record;
        m_progress = Progress::Verifying;
        // Not from inside the link's own signal.
        QMetaObject::invokeMethod(this, [this] { readDevice(); }, Qt::QueuedConnection);
        return;
    }
    if (options().json)
        print(writeJsonLine(port(), differingFields(lastReading().record, m_written), false));
    finish(ExitDone);
}

// ---------------------------------------------------------------- set-counter

void CounterJob::begin()
{
    recordChanges();
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
    connect(link(), &DeviceLink::counterWritten, this,
            [this](const QByteArray &digits, bool echoed) { onCounterWritten(digits, echoed); });
    link()->writeCounter(counterDigitsForDevice(entry));
}

void CounterJob::onCounterWritten(const QByteArray &digits, bool echoed)
{
    if (!echoed) {
        fail(ExitWrongAnswer, message(MessageId::WriteCounterError));
        return;
    }
    if (options().json) {
        print(jsonObject({{QStringLiteral("port"), port()},
                          {QStringLiteral("counter"), lastReading().counterDigits},
                          {QStringLiteral("newCounter"), QString::fromLatin1(digits)}})
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
    if (target != QLatin1String(kStandardOutputName) && !target.contains(QLatin1String(".pdf"))) {
        fail(ExitUsage, message(MessageId::PdfWrongName));
        return;
    }
    readDevice(DeviceLink::ReportSequence);
}

void ReportJob::deviceRead(const DeviceReading &reading)
{
    const ParameterRecord &r = reading.record;
    if (const QStringList implausible = implausibleFieldTexts(reading); !implausible.isEmpty()) {
        fail(ExitImplausible, cliText(CliText::NoReportImplausible, options().language)
                                  .arg(implausible.join(QStringLiteral(", "))));
        return;
    }
    QString error;
    QByteArray pdf; // for -o -
    if (!writeReportTo(options().outputFile, r, reading.counterText, options().notes, &pdf, &error)) {
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
