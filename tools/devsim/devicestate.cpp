#include "devicestate.h"

#include "countertext.h"
#include "crc16.h"
#include "parameterfields.h"
#include "telegram.h"
#include "texttable.h"

#include <QFile>
#include <QSaveFile>
#include <QStringList>


namespace devsim {

using tavik7::ParameterRecord;

namespace {

// The counter has at most nine digits on any firmware.
constexpr int kMaxCounterDigits = 9;
constexpr int kSignificanceFieldOffset = 7;
constexpr int kSignificanceFieldWidth = 3;

// The simulator's names of the parameter fields on the command line, in the
// state file and on the control input, in the order of the field table.
const char *const kFieldNames[tavik7::kParameterFieldCount] = {
    "unit", "significance", "leading-plus", "manufacturer", "device-type", "serial", "year",
    "version", "crc", "baud-rate", "transmit-mode", "direction", "telegram-b", "crc-start-value",
};

int fieldNamed(const QString &key)
{
    for (int field = 0; field < tavik7::kParameterFieldCount; ++field) {
        if (key == QLatin1String(kFieldNames[field]))
            return field;
    }
    return -1;
}

// The firmware version in hundredths, as the device holds it; indices and
// the leading plus as the bare numbers the device keeps.
QString shownValue(const ParameterRecord &r, int field)
{
    switch (tavik7::kParameterFields[field].kind) {
    case tavik7::FieldKind::Text:
    case tavik7::FieldKind::Crc: return tavik7::parameterValueText(r, field, tavik7::English);
    case tavik7::FieldKind::Combo:
    case tavik7::FieldKind::Check:
    case tavik7::FieldKind::Version: break;
    }
    return QString::number(tavik7::fieldNumber(r, field));
}

bool isLatin1(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() > 0xFF)
            return false;
    }
    return true;
}

bool allDigits(const QString &text)
{
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

bool fail(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

// Takes only what the device could hold, so that a test names its device exactly.
bool setFieldValue(ParameterRecord &r, int field, const QString &key, const QString &value, QString *error)
{
    const tavik7::ParameterField &f = tavik7::kParameterFields[field];
    bool ok = false;
    switch (f.kind) {
    case tavik7::FieldKind::Text:
        if (!isLatin1(value) || value.size() > f.width - 1)
            return fail(error, QStringLiteral("%1: at most %2 Latin-1 characters").arg(key).arg(f.width - 1));
        tavik7::setFieldFromCellText(r, field, value);
        return true;
    case tavik7::FieldKind::Combo: {
        const int number = value.toInt(&ok);
        if (!ok || number < -128 || number > 127)
            return fail(error, QStringLiteral("%1: a number from -128 to 127").arg(key));
        tavik7::setFieldNumber(r, field, number);
        return true;
    }
    case tavik7::FieldKind::Check:
        if (value != QLatin1String("0") && value != QLatin1String("1"))
            return fail(error, QStringLiteral("%1: 0 or 1").arg(key));
        tavik7::setFieldNumber(r, field, value.toInt());
        return true;
    case tavik7::FieldKind::Version: {
        const uint number = value.toUInt(&ok);
        if (!ok || number > 0xFFFF)
            return fail(error, QStringLiteral("%1: hundredths from 0 to 65535, e.g. 112").arg(key));
        tavik7::setFieldNumber(r, field, int(number));
        return true;
    }
    case tavik7::FieldKind::Crc: {
        const QString digits = value.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? value.mid(2) : value;
        const uint number = digits.toUInt(&ok, 16);
        if (digits.isEmpty() || !ok || number > 0xFFFF)
            return fail(error, QStringLiteral("%1: up to four hex digits").arg(key));
        tavik7::setFieldNumber(r, field, int(number));
        return true;
    }
    }
    return false;
}

} // namespace

QStringList stateKeys()
{
    QStringList keys;
    for (const auto &[key, value] : DeviceState().values())
        keys.append(key);
    return keys;
}

// The default device: a nine-digit firmware (1.12) counting cubic metres with
// exponent 0, neutral maker data, firmware checksum 1a2b, transmit mode
// index 2 and every other index 0, counter 12345678.
DeviceState::DeviceState()
{
    tavik7::initParameterRecord(record);
    tavik7::setFieldText(record.unit, tavik7::kUnitWidth, QStringLiteral("m3"));
    record.significance = tavik7::kSignificanceExponentZero;
    record.leadingPlus = 0;
    tavik7::setFieldText(record.manufacturer, tavik7::kManufacturerWidth, QStringLiteral("ABC"));
    tavik7::setFieldText(record.deviceType, tavik7::kDeviceTypeWidth, QStringLiteral("TAV7"));
    tavik7::setFieldText(record.serialNumber, tavik7::kSerialNumberWidth, QStringLiteral("123456789"));
    tavik7::setFieldText(record.yearOfManufacture, tavik7::kYearWidth, QStringLiteral("2024"));
    record.softwareVersion = 112;
    record.softwareCrc = 0x1A2B;
    record.baudRate = 0;
    record.transmitMode = 2;
    record.direction = 0;
    record.telegramB = 0;
    record.crcStartValue = 0;
    counter = 12345678;
}

bool DeviceState::setValue(const QString &key, const QString &value, QString *error)
{
    const int field = fieldNamed(key);
    if (field >= 0)
        return setFieldValue(record, field, key, value, error);
    if (key == QLatin1String("counter")) {
        if (value.isEmpty() || value.size() > kMaxCounterDigits || !allDigits(value))
            return fail(error, QStringLiteral("counter: 1 to %1 digits").arg(kMaxCounterDigits));
        counter = value.toULongLong();
        return true;
    }
    if (key == QLatin1String("significance-text")) {
        if (!isLatin1(value) || value.size() > kSignificanceFieldWidth)
            return fail(error, QStringLiteral("significance-text: at most 3 Latin-1 characters"));
        significanceOverride = value.toLatin1();
        return true;
    }
    return fail(error, QStringLiteral("unknown name \"%1\"").arg(key));
}

QList<QPair<QString, QString>> DeviceState::values() const
{
    QList<QPair<QString, QString>> values;
    for (int field = 0; field < tavik7::kParameterFieldCount; ++field) {
        values.append({QLatin1String(kFieldNames[field]), shownValue(record, field)});
        if (field == tavik7::FieldSignificance)
            values.append({QStringLiteral("significance-text"), QString::fromLatin1(significanceOverride)});
    }
    values.append({QStringLiteral("counter"), QString::number(counter)});
    return values;
}

int DeviceState::counterDigits() const
{
    return tavik7::counterDigits(record.softwareVersion);
}

QByteArray DeviceState::counterText() const
{
    const int digits = counterDigits();
    quint64 modulus = 1;
    for (int i = 0; i < digits; ++i)
        modulus *= 10;
    return QByteArray::number(counter % modulus).rightJustified(digits, '0');
}

void DeviceState::applyWrittenRecord(const ParameterRecord &written)
{
    const quint16 version = record.softwareVersion;
    const quint16 firmwareCrc = record.softwareCrc;
    record = written;
    record.softwareVersion = version;
    record.softwareCrc = firmwareCrc;
    // The device now holds a significance it was given, not an odd old one.
    significanceOverride.clear();
}

QByteArray DeviceState::parameterAnswer() const
{
    QByteArray answer = tavik7::buildParameterAnswer(record);
    if (significanceOverride.isEmpty())
        return answer;
    QByteArray field = significanceOverride;
    field.resize(kSignificanceFieldWidth, '\0');
    answer.replace(kSignificanceFieldOffset, kSignificanceFieldWidth, field);
    answer.chop(2);
    const quint16 crc = tavik7::crc16(answer);
    answer.append(char(crc & 0xFF));
    answer.append(char(crc >> 8));
    return answer;
}

bool DeviceState::load(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, QStringLiteral("%1: %2").arg(path, file.errorString()));
    int lineNumber = 0;
    while (!file.atEnd()) {
        ++lineNumber;
        QString line = QString::fromUtf8(file.readLine());
        while (line.endsWith(QLatin1Char('\n')) || line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.trimmed().isEmpty() || line.trimmed().startsWith(QLatin1Char('#')))
            continue;
        const int equals = line.indexOf(QLatin1Char('='));
        QString reason = QStringLiteral("name=value expected");
        if (equals < 0 || !setValue(line.left(equals).trimmed(), line.mid(equals + 1), &reason))
            return fail(error, QStringLiteral("%1:%2: %3").arg(path).arg(lineNumber).arg(reason));
    }
    return true;
}

bool DeviceState::save(const QString &path, QString *error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(error, QStringLiteral("%1: %2").arg(path, file.errorString()));
    QByteArray text("# tavik7-devsim device state\n");
    for (const auto &[key, value] : values()) {
        if (key == QLatin1String("significance-text") && significanceOverride.isEmpty())
            continue;
        text += key.toUtf8() + '=' + value.toUtf8() + '\n';
    }
    file.write(text);
    if (!file.commit())
        return fail(error, QStringLiteral("%1: %2").arg(path, file.errorString()));
    return true;
}

} // namespace devsim
