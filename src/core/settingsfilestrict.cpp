#include "settingsfilestrict.h"

#include <QFile>
#include <QFileInfo>
#include <QList>

#include "parameterfields.h"
#include "settingsfile.h"

namespace tavik7 {

namespace {

StrictSettingsReading refused(int line, int field)
{
    StrictSettingsReading reading;
    reading.line = line;
    if (field >= 0)
        reading.key = bilingualFieldLabel(field);
    return reading;
}

} // namespace

StrictSettingsReading readSettingsFileStrict(const QByteArray &bytes)
{
    // Split on LF only: a line without its CR is then seen and refused.
    QList<QByteArray> lines = bytes.split('\n');
    const bool endsWithLineEnd = lines.constLast().isEmpty();
    if (endsWithLineEnd)
        lines.removeLast();
    if (lines.isEmpty() || lines.constFirst() + '\n' != kSettingsFileHeader)
        return refused(1, -1);
    StrictSettingsReading reading;
    initParameterRecord(reading.record);
    for (int field = 0; field < kParameterFieldCount; ++field) {
        const int number = field + 2;
        const QByteArray line = lines.value(number - 1);
        const QByteArray prefix = settingsFileKey(field) + '=';
        const bool lastLine = number == lines.size();
        if (!line.startsWith(prefix) || !line.endsWith('\r') || (lastLine && !endsWithLineEnd))
            return refused(number, field);
        if (!setFieldFromStrictValue(reading.record, field, line.mid(prefix.size(), line.size() - prefix.size() - 1)))
            return refused(number, field);
    }
    if (lines.size() > kParameterFieldCount + 1)
        return refused(kParameterFieldCount + 2, -1);
    reading.ok = true;
    reading.fault = StrictSettingsReading::Fault::None;
    return reading;
}

StrictSettingsReading readSettingsFileStrictNamed(const QString &path)
{
    const auto whole = [](StrictSettingsReading::Fault fault) {
        StrictSettingsReading reading;
        reading.fault = fault;
        return reading;
    };
    using Fault = StrictSettingsReading::Fault;
    // A FIFO or device would make the reader wait, or never end.
    QFile file(path);
    if (!QFileInfo(path).isFile())
        return whole(Fault::NotRegularFile);
    if (!file.open(QIODevice::ReadOnly))
        return whole(Fault::Unreadable);
    const QByteArray bytes = file.read(kLargestSettingsFileBytes + 1);
    if (bytes.size() > kLargestSettingsFileBytes)
        return whole(Fault::TooLarge);
    return readSettingsFileStrict(bytes);
}

} // namespace tavik7
