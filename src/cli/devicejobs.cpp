#include "devicejobs.h"

#include "backupfile.h"
#include "clitexts.h"
#include "countertext.h"
#include "deviceoutput.h"
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
        startWrite(record, reading);
}

void WriteJob::startWrite(const ParameterRecord &record, const DeviceReading &reading)
{
    connect(link(), &DeviceLink::parametersWritten, this, &WriteJob::onParametersWritten);
    // A changed direction makes the link read the counter and write it back
    // after the parameters, as the window's write does; the value stays.
    connect(link(), &DeviceLink::counterWriteDue, this, [this] {
        m_write.progress = WriteRecord::CounterDue;
        link()->writeCounter(counterDigitsForDevice(lastReading().counterText));
    });
    connect(link(), &DeviceLink::counterWritten, this,
            [this](const QByteArray &, bool echoed) { onCounterWritten(echoed); });
    connect(link(), &DeviceLink::idle, this, &WriteJob::onIdle);
    link()->startWriteSequence(record, reading.counterText);
}

void WriteJob::onParametersWritten(const ParameterRecord &record)
{
    m_write.before = lastReading().record;
    m_write.changes = parameterChanges(m_write.before, record, options().language);
    m_write.progress = WriteRecord::ParametersWritten;
}

void WriteJob::onCounterWritten(bool echoed)
{
    if (!echoed) {
        m_write.progress = WriteRecord::CounterFailed;
        return;
    }
    const QString counter = lastReading().counterText;
    m_write.changes.append(counterChange(counter, counter));
    m_write.progress = WriteRecord::CounterWritten;
}

void WriteJob::onIdle()
{
    // A time-out ends the request before it is reported: only acknowledged
    // writes are a success.
    const bool unanswered =
        m_write.progress == WriteRecord::Unacknowledged || m_write.progress == WriteRecord::CounterDue;
    if ((stage() != Stage::Working && stage() != Stage::Finishing) || unanswered)
        return;
    if (m_write.progress == WriteRecord::CounterFailed) {
        fail(ExitWrongAnswer, message(MessageId::WriteCounterError));
        return;
    }
    note(message(MessageId::ParametersWritten));
    finish(ExitDone);
}

void WriteJob::ending()
{
    // One history record per write, also when the counter's write-back failed.
    if (m_write.progress == WriteRecord::Unacknowledged)
        return;
    recordHistory(fieldText(m_write.before.serialNumber, kSerialNumberWidth), m_write.changes);
    m_write.progress = WriteRecord::Unacknowledged;
}

// ---------------------------------------------------------------- set-counter

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
    m_before = reading;
    m_entry = entry;
    connect(link(), &DeviceLink::counterWritten, this,
            [this](const QByteArray &, bool echoed) { onCounterWritten(echoed); });
    link()->writeCounter(counterDigitsForDevice(entry));
}

void CounterJob::onCounterWritten(bool echoed)
{
    if (!echoed) {
        fail(ExitWrongAnswer, message(MessageId::WriteCounterError));
        return;
    }
    recordHistory(fieldText(m_before.record.serialNumber, kSerialNumberWidth),
                  {counterChange(m_before.counterText, m_entry)});
    note(message(MessageId::CounterWritten));
    finish(ExitDone);
}

} // namespace tavik7::cli
