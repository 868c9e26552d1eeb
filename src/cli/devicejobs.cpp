#include "devicejobs.h"

#include <QDate>

#include "backupfile.h"
#include "clitexts.h"
#include "countertext.h"
#include "deviceoutput.h"
#include "inspectionreportpdf.h"
#include "plausibility.h"
#include "settingsfileio.h"

namespace tavik7::cli {

// ---------------------------------------------------------------- read

void ReadJob::deviceRead(const DeviceReading &reading)
{
    if (options().json) {
        print(deviceJsonLine(port(), reading.record, reading.counterDigits));
    } else {
        if (position() > 0)
            print("\n");
        print(devicePlainLines(port(), reading.record, reading.counterDigits));
    }
    if (!options().outputFile.isEmpty()) {
        const MessageId saved = saveSettingsFileNamed(options().outputFile, reading.record);
        if (saved != MessageId::SettingsSaved) {
            fail(ExitUsage, message(saved));
            return;
        }
    }
    finish(ExitDone);
}

// ---------------------------------------------------------------- write

void WriteJob::begin()
{
    if (!options().dryRun)
        recordChanges();
    readDevice();
}

void WriteJob::deviceRead(const DeviceReading &reading)
{
    // Loaded over what the device holds, as the window loads over its table:
    // a file that ends early leaves the device's values in the lines it lacks.
    ParameterRecord record = reading.record;
    const MessageId loaded = loadSettingsFileNamed(options().inputFile, record);
    if (loaded != MessageId::SettingsLoaded) {
        fail(ExitUsage, message(loaded));
        return;
    }
    // What the firmware reports is not the file's to change.
    record = settingsFromBackup(record, reading.record);
    const QList<int> implausible = implausibleParameterFields(record);
    if (options().dryRun) {
        if (options().ports.size() > 1)
            print((QStringLiteral("port=") + port() + QLatin1Char('\n')).toUtf8());
        print(differenceLines(reading.record, record));
    }
    if (!implausible.isEmpty()) {
        const QString fields = cliText(CliText::ImplausibleFields, options().language).arg(fieldNames(implausible));
        fail(ExitImplausible, message(MessageId::TableImplausible) + QLatin1Char(' ') + fields);
        return;
    }
    if (options().dryRun)
        finish(ExitDone);
    else
        startWrite(record);
}

void WriteJob::startWrite(const ParameterRecord &record)
{
    // The window's Write: a device that is to count the other way gets its
    // reading written back after the telegram; otherwise the counter is
    // set-counter's to change.
    connect(link(), &DeviceLink::finished, this, &WriteJob::onWritten);
    link()->startWriteSequence(record);
}

void WriteJob::onWritten(const DeviceResult &result)
{
    // Only an acknowledged write is a success; a failure has ended the job already.
    if ((stage() != Stage::Working && stage() != Stage::Finishing) || !result.ok())
        return;
    note(message(MessageId::ParametersWritten));
    if (result.counterWritten)
        note(message(MessageId::CounterWritten));
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
    connect(link(), &DeviceLink::finished, this, &CounterJob::onCounterWritten);
    link()->writeCounter(counterDigitsForDevice(entry));
}

void CounterJob::onCounterWritten(const DeviceResult &result)
{
    // A counter not echoed has ended the job already, as every failure.
    if (stage() == Stage::Done || !result.counterWritten)
        return;
    note(message(MessageId::CounterWritten));
    finish(ExitDone);
}

// ---------------------------------------------------------------- report

void ReportJob::begin()
{
    // The window's name check, made before the device is read.
    if (!options().outputFile.contains(QLatin1String(".pdf"))) {
        fail(ExitUsage, message(MessageId::PdfWrongName));
        return;
    }
    readDevice(DeviceResult::Sequence::Report);
}

void ReportJob::deviceRead(const DeviceReading &reading)
{
    const ParameterRecord &r = reading.record;
    const int length = counterLength(r.significance, r.softwareVersion);
    QStringList implausible;
    if (const QList<int> fields = implausibleParameterFields(r); !fields.isEmpty())
        implausible.append(fieldNames(fields));
    if (!counterTextPlausible(reading.counterText, length, length, r.significance))
        implausible.append(QStringLiteral("counter"));
    if (!implausible.isEmpty()) {
        const QString names = implausible.join(QStringLiteral(", "));
        fail(ExitImplausible, message(MessageId::PdfInvalidValues) + QLatin1Char(' ')
                                  + cliText(CliText::ImplausibleFields, options().language).arg(names));
        return;
    }
    QString error;
    if (!writeInspectionReportPdf(options().outputFile, r, reading.counterText, {}, QDate::currentDate(), &error)) {
        fail(ExitUsage, message(MessageId::PdfError) + QLatin1Char(' ') + error);
        return;
    }
    note(message(MessageId::PdfCreated));
    finish(ExitDone);
}

} // namespace tavik7::cli
