#include "writeplan.h"

#include "backupfile.h"
#include "clitexts.h"
#include "deviceoutput.h"
#include "parameterfields.h"
#include "settingsfilestrict.h"

namespace tavik7::cli {

namespace {

struct SetArgument
{
    int field = -1;
    QByteArray value;
};

SetArgument splitSetArgument(const QString &argument)
{
    const qsizetype equals = argument.indexOf(QLatin1Char('='));
    if (equals < 0)
        return {};
    return {fieldByKey(argument.left(equals)), argument.mid(equals + 1).toLatin1()};
}

} // namespace

QString checkSetArgument(const QString &argument, int language)
{
    const SetArgument set = splitSetArgument(argument);
    // A write keeps what the device holds as its own; a value for it would
    // be dropped without a word.
    if (set.field >= 0 && !kParameterFields[set.field].editable) {
        return cliText(CliText::SetDeviceOwn, language)
            .arg(argument, QLatin1String(kParameterFields[set.field].jsonKey));
    }
    ParameterRecord scratch;
    initParameterRecord(scratch);
    // Latin-1 is what the device stores; a character outside it would not survive.
    const bool latin1 = QString::fromLatin1(set.value) == argument.mid(argument.indexOf(QLatin1Char('=')) + 1);
    if (set.field >= 0 && latin1 && setFieldFromStrictValue(scratch, set.field, set.value))
        return {};
    return cliText(CliText::BadSetValue, language).arg(argument);
}

ParameterRecord askedWriteRecord(const ParameterRecord &device, const CliOptions &options)
{
    ParameterRecord record = device;
    if (!options.inputFile.isEmpty()) {
        const StrictSettingsReading file = readSettingsFileStrictNamed(options.inputFile);
        if (file.ok)
            record = file.record;
    }
    for (const QString &argument : options.setValues) {
        const SetArgument set = splitSetArgument(argument);
        [[maybe_unused]] const bool stored = setFieldFromStrictValue(record, set.field, set.value);
    }
    return record;
}

ParameterRecord plannedWriteRecord(const ParameterRecord &device, const CliOptions &options)
{
    ParameterRecord record = askedWriteRecord(device, options);
    for (const QString &key : options.keep) {
        const int field = fieldByKey(key);
        setFieldFromSettingsFileValue(record, field, settingsFileValue(device, field));
    }
    return settingsFromBackup(record, device);
}

} // namespace tavik7::cli
