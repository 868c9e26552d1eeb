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
// The significance text in the "LP" answer, which significance-text replaces.
const int kSignificanceTextAt =
    tavik7::kParameterAnswerBodyOffset + tavik7::kParameterFields[tavik7::FieldSignificance].telegramOffset;

int fieldNamed(const QString &key)
{
    for (int field = 0; field < tavik7::kParameterFieldCount; ++field) {
        if (key == QLatin1String(tavik7::kParameterFields[field].simulatorKey))
            return field;
    }
    return -1;
}

// The firmware version in hundredths, as the device holds it; indices and
// the leading plus as the bare numbers the device keeps; the rest as the
// settings file writes it.
QString shownValue(const ParameterRecord &r, int field)
{
    switch (tavik7::kParameterFields[field].kind) {
    case tavik7::FieldKind::Text: return tavik7::parameterValueText(r, field, tavik7::English);
    case tavik7::FieldKind::Combo:
    case tavik7::FieldKind::Check:
    case tavik7::FieldKind::Version: return QString::number(tavik7::fieldNumber(r, field));
    default: break;
    }
    return QString::fromLatin1(tavik7::settingsFileValue(r, field));
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
    default: break;
    }
    if (!isLatin1(value) || !tavik7::setFieldFromStrictValue(r, field, value.toLatin1()))
        return fail(error, QStringLiteral("%1: a value as the settings file writes it").arg(key));
    return true;
}

} // namespace

QStringList stateKeys()
{
    QStringList keys;
    for (const auto &[key, value] : DeviceState().values())
        keys.append(key);
    return keys;
}

// The default device, as the field table gives it, with counter 12345678.
DeviceState::DeviceState()
{
    tavik7::initParameterRecord(record);
    for (int field = 0; field < tavik7::kParameterFieldCount; ++field) {
        const tavik7::ParameterField &f = tavik7::kParameterFields[field];
        QString error;
        if (!setValue(QLatin1String(f.simulatorKey), QLatin1String(f.simulatorValue), &error))
            qFatal("tavik7-devsim: the default device does not parse: %s", qPrintable(error));
    }
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
        if (!isLatin1(value) || value.size() > tavik7::kSignificanceTextSize)
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
        values.append({QLatin1String(tavik7::kParameterFields[field].simulatorKey), shownValue(record, field)});
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
    const ParameterRecord before = record;
    record = written;
    for (int field = 0; field < tavik7::kParameterFieldCount; ++field) {
        if (!tavik7::kParameterFields[field].editable)
            tavik7::copyField(record, before, field);
    }
    // The device now holds a significance it was given, not an odd old one.
    significanceOverride.clear();
}

QByteArray DeviceState::parameterAnswer() const
{
    QByteArray answer = tavik7::buildParameterAnswer(record);
    if (significanceOverride.isEmpty())
        return answer;
    QByteArray field = significanceOverride;
    field.resize(tavik7::kSignificanceTextSize, '\0');
    answer.replace(kSignificanceTextAt, tavik7::kSignificanceTextSize, field);
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
