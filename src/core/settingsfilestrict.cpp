#include "settingsfilestrict.h"

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QRegularExpression>

#include "countertext.h"
#include "parameterfields.h"
#include "settingsfile.h"

namespace tavik7 {

namespace {

bool allDigits(const QByteArray &value)
{
    if (value.isEmpty())
        return false;
    for (char c : value) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// Decimal without sign or blanks, within 0..count-1.
bool parseIndex(const QByteArray &value, int count, int &index)
{
    if (!allDigits(value) || value.size() > 3)
        return false;
    index = value.toInt();
    return index < count;
}

bool parseVersion(const QByteArray &value, int &version)
{
    static const QRegularExpression form(QStringLiteral("^[0-9]{1,3}\\.[0-9]{2}$"));
    if (!form.match(QString::fromLatin1(value)).hasMatch())
        return false;
    version = parseSoftwareVersion(QString::fromLatin1(value));
    return version <= 0xFFFF;
}

bool parseCrc(const QByteArray &value, int &crc)
{
    static const QRegularExpression form(QStringLiteral("^[0-9A-Fa-f]{1,4}$"));
    if (!form.match(QString::fromLatin1(value)).hasMatch())
        return false;
    crc = int(value.toUInt(nullptr, 16));
    return true;
}

bool parseNumber(const ParameterField &f, const QByteArray &value, int &number)
{
    switch (f.kind) {
    case FieldKind::Combo: return parseIndex(value, f.itemCount, number);
    case FieldKind::Check: return parseIndex(value, 2, number);
    case FieldKind::Version: return parseVersion(value, number);
    case FieldKind::Crc: return parseCrc(value, number);
    case FieldKind::Text: break;
    }
    return false;
}

StrictSettingsReading refused(int line, int field)
{
    StrictSettingsReading reading;
    reading.line = line;
    if (field >= 0)
        reading.key = bilingualFieldLabel(field);
    return reading;
}

} // namespace

bool setFieldFromStrictValue(ParameterRecord &record, int field, const QByteArray &value)
{
    if (field < 0 || field >= kParameterFieldCount)
        return false;
    const ParameterField &f = kParameterFields[field];
    if (f.kind == FieldKind::Text) {
        // A NUL would end the text early on the device; the line ends cannot occur here.
        if (value.size() > f.width - 1 || value.contains('\0') || value.contains('\r') || value.contains('\n'))
            return false;
        setFieldFromSettingsFileValue(record, field, value);
        return true;
    }
    int number = 0;
    if (!parseNumber(f, value, number))
        return false;
    setFieldNumber(record, field, number);
    return true;
}

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
