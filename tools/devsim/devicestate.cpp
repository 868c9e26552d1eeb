#include "devicestate.h"

#include "countertext.h"
#include "crc16.h"
#include "telegram.h"

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

char *textField(ParameterRecord &r, const QString &key, int *width)
{
    if (key == QLatin1String("unit")) {
        *width = tavik7::kUnitWidth;
        return r.unit;
    }
    if (key == QLatin1String("manufacturer")) {
        *width = tavik7::kManufacturerWidth;
        return r.manufacturer;
    }
    if (key == QLatin1String("device-type")) {
        *width = tavik7::kDeviceTypeWidth;
        return r.deviceType;
    }
    if (key == QLatin1String("serial")) {
        *width = tavik7::kSerialNumberWidth;
        return r.serialNumber;
    }
    if (key == QLatin1String("year")) {
        *width = tavik7::kYearWidth;
        return r.yearOfManufacture;
    }
    return nullptr;
}

qint8 *indexField(ParameterRecord &r, const QString &key)
{
    if (key == QLatin1String("significance"))
        return &r.significance;
    if (key == QLatin1String("baud-rate"))
        return &r.baudRate;
    if (key == QLatin1String("transmit-mode"))
        return &r.transmitMode;
    if (key == QLatin1String("direction"))
        return &r.direction;
    if (key == QLatin1String("telegram-b"))
        return &r.telegramB;
    if (key == QLatin1String("crc-start-value"))
        return &r.crcStartValue;
    return nullptr;
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

} // namespace

QStringList stateKeys()
{
    return {QStringLiteral("version"),      QStringLiteral("counter"),
            QStringLiteral("unit"),         QStringLiteral("significance"),
            QStringLiteral("significance-text"), QStringLiteral("leading-plus"),
            QStringLiteral("manufacturer"), QStringLiteral("device-type"),
            QStringLiteral("serial"),       QStringLiteral("year"),
            QStringLiteral("crc"),          QStringLiteral("baud-rate"),
            QStringLiteral("transmit-mode"), QStringLiteral("direction"),
            QStringLiteral("telegram-b"),   QStringLiteral("crc-start-value")};
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
    int width = 0;
    if (char *field = textField(record, key, &width)) {
        if (!isLatin1(value) || value.size() > width - 1)
            return fail(error, QStringLiteral("%1: at most %2 Latin-1 characters").arg(key).arg(width - 1));
        tavik7::setFieldText(field, width, value);
        return true;
    }
    if (qint8 *field = indexField(record, key)) {
        bool ok = false;
        const int number = value.toInt(&ok);
        if (!ok || number < -128 || number > 127)
            return fail(error, QStringLiteral("%1: a number from -128 to 127").arg(key));
        *field = qint8(number);
        return true;
    }
    if (key == QLatin1String("version")) {
        bool ok = false;
        const uint number = value.toUInt(&ok);
        if (!ok || number > 0xFFFF)
            return fail(error, QStringLiteral("version: hundredths from 0 to 65535, e.g. 112"));
        record.softwareVersion = quint16(number);
        return true;
    }
    if (key == QLatin1String("crc")) {
        QString digits = value;
        if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
            digits = digits.mid(2);
        bool ok = false;
        const uint number = digits.toUInt(&ok, 16);
        if (digits.isEmpty() || !ok || number > 0xFFFF)
            return fail(error, QStringLiteral("crc: up to four hex digits"));
        record.softwareCrc = quint16(number);
        return true;
    }
    if (key == QLatin1String("leading-plus")) {
        if (value != QLatin1String("0") && value != QLatin1String("1"))
            return fail(error, QStringLiteral("leading-plus: 0 or 1"));
        record.leadingPlus = value == QLatin1String("1") ? 1 : 0;
        return true;
    }
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
    const ParameterRecord &r = record;
    auto number = [](int n) { return QString::number(n); };
    return {
        {QStringLiteral("version"), number(r.softwareVersion)},
        {QStringLiteral("counter"), QString::number(counter)},
        {QStringLiteral("unit"), tavik7::fieldText(r.unit, tavik7::kUnitWidth)},
        {QStringLiteral("significance"), number(r.significance)},
        {QStringLiteral("significance-text"), QString::fromLatin1(significanceOverride)},
        {QStringLiteral("leading-plus"), number(r.leadingPlus)},
        {QStringLiteral("manufacturer"), tavik7::fieldText(r.manufacturer, tavik7::kManufacturerWidth)},
        {QStringLiteral("device-type"), tavik7::fieldText(r.deviceType, tavik7::kDeviceTypeWidth)},
        {QStringLiteral("serial"), tavik7::fieldText(r.serialNumber, tavik7::kSerialNumberWidth)},
        {QStringLiteral("year"), tavik7::fieldText(r.yearOfManufacture, tavik7::kYearWidth)},
        {QStringLiteral("crc"), QStringLiteral("%1").arg(r.softwareCrc, 4, 16, QLatin1Char('0'))},
        {QStringLiteral("baud-rate"), number(r.baudRate)},
        {QStringLiteral("transmit-mode"), number(r.transmitMode)},
        {QStringLiteral("direction"), number(r.direction)},
        {QStringLiteral("telegram-b"), number(r.telegramB)},
        {QStringLiteral("crc-start-value"), number(r.crcStartValue)},
    };
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
