#include "readjobs.h"

#include <QDir>

#include "backupfile.h"
#include "clitexts.h"
#include "countertext.h"
#include "deviceoutput.h"
#include "parameterfields.h"
#include "parametersheet.h"
#include "settingsfileio.h"
#include "settingsfilestrict.h"

namespace tavik7::cli {

namespace {

// key=value for each field the sheet refuses, the counter as the device sent it.
QStringList implausibleTexts(const ParameterSheet &sheet, const QString &counterDigits)
{
    QStringList texts;
    for (int field : sheet.implausibleFieldIds())
        texts.append(QLatin1String(kParameterFields[field].jsonKey) + QLatin1Char('=') + shownValue(sheet.record(), field));
    if (!sheet.counterPlausible())
        texts.append(QStringLiteral("counter=") + escapedText(counterDigits));
    return texts;
}

} // namespace

QStringList implausibleRecordTexts(const ParameterRecord &record)
{
    ParameterSheet sheet;
    sheet.setRecord(record);
    QStringList texts = implausibleTexts(sheet, QString());
    // A write sends the parameters alone: the counter is not the file's.
    texts.removeIf([](const QString &text) { return text.startsWith(QLatin1String("counter=")); });
    return texts;
}

QStringList implausibleFieldTexts(const DeviceReading &reading)
{
    ParameterSheet sheet;
    sheet.setRecord(reading.record);
    sheet.setCounterText(reading.counterText);
    return implausibleTexts(sheet, reading.counterDigits);
}

// ---------------------------------------------------------------- read

// The reading is printed only once the run is known to succeed: a failed
// port's JSON line is its failure line, as for any other failure. Plain
// output still shows the values --check refused, beside the complaint.
void CheckedReadJob::deviceRead(const DeviceReading &reading)
{
    const QStringList implausible = implausibleFieldTexts(reading);
    const QString named =
        cliText(CliText::FieldsImplausible, options().language).arg(implausible.join(QStringLiteral(", ")));
    if (!implausible.isEmpty() && options().check) {
        if (!options().json)
            printReading(reading);
        fail(ExitImplausible, named);
        return;
    }
    if (!implausible.isEmpty())
        note(named);
    if (!options().outputFile.isEmpty()) {
        const MessageId saved = saveSettingsFileNamed(options().outputFile, reading.record);
        if (saved != MessageId::SettingsSaved) {
            fail(ExitUsage, message(saved) + QStringLiteral(" (%1)").arg(QDir::toNativeSeparators(options().outputFile)));
            return;
        }
    }
    printReading(reading);
    finish(ExitDone);
}

void CheckedReadJob::printReading(const DeviceReading &reading)
{
    const int field = fieldByKey(options().field);
    const bool counter = options().field == QLatin1String("counter");
    const QString value = counter ? reading.counterDigits : field >= 0 ? fileValueText(reading.record, field) : QString();
    if ((field >= 0 || counter) && options().json) {
        print(jsonObject({{QStringLiteral("port"), port()}, {options().field, value}}) + '\n');
    } else if (field >= 0 || counter) {
        print((escapedText(value) + QLatin1Char('\n')).toUtf8());
    } else if (options().json) {
        print(deviceJsonLine(port(), reading.record, reading.counterDigits));
    } else {
        // Separated from the device before it, not from the top of the output.
        if (position() > 0)
            print("\n");
        print(devicePlainLines(port(), reading.record, reading.counterDigits));
    }
}

// ---------------------------------------------------------------- check

void CheckJob::deviceRead(const DeviceReading &reading)
{
    // The file was read strictly before any port was opened.
    const StrictSettingsReading file = readSettingsFileStrictNamed(options().inputFile);
    if (!file.ok) {
        fail(ExitUsage, QDir::toNativeSeparators(options().inputFile));
        return;
    }
    // What the firmware reports is not the file's to say, nor what --keep names.
    ParameterRecord wanted = settingsFromBackup(file.record, reading.record);
    for (const QString &key : options().keep) {
        const int field = fieldByKey(key);
        setFieldFromSettingsFileValue(wanted, field, settingsFileValue(reading.record, field));
    }
    const QList<int> fields = differingFields(reading.record, wanted);
    if (fields.isEmpty()) {
        if (options().json)
            print(jsonObject({{QStringLiteral("port"), port()}}) + '\n');
        finish(ExitDone);
        return;
    }
    const QString text = cliText(CliText::DeviceDiffers, options().language).arg(fieldNames(fields));
    if (options().json) {
        print(failureJsonLine(port(), QStringLiteral("differs"), ExitDiffers, text, &reading.record, &wanted));
    } else {
        if (options().ports.size() > 1)
            print((QStringLiteral("port=") + port() + QLatin1Char('\n')).toUtf8());
        print(differenceLines(reading.record, wanted));
    }
    fail(ExitDiffers, text);
}

} // namespace tavik7::cli
