#include "parameterfields.h"

#include <cstddef>
#include <cstring>
#include <functional>
#include <type_traits>

#include <QRegularExpression>

#include "countertext.h"
#include "plausibility.h"
#include "texttable.h"

namespace tavik7 {

namespace {

using R = ParameterRecord;

// Values are reached through their offsets, so the kinds must match the
// members' types: a Combo is a signed byte, a Check an unsigned one.
static_assert(std::is_standard_layout_v<R>);
static_assert(std::is_same_v<decltype(R::significance), qint8> && std::is_same_v<decltype(R::baudRate), qint8>
              && std::is_same_v<decltype(R::transmitMode), qint8> && std::is_same_v<decltype(R::direction), qint8>
              && std::is_same_v<decltype(R::telegramB), qint8> && std::is_same_v<decltype(R::crcStartValue), qint8>);
static_assert(std::is_same_v<decltype(R::leadingPlus), quint8>);
static_assert(std::is_same_v<decltype(R::softwareVersion), quint16> && std::is_same_v<decltype(R::softwareCrc), quint16>);
static_assert(sizeof R::unit == kUnitWidth && sizeof R::manufacturer == kManufacturerWidth
              && sizeof R::deviceType == kDeviceTypeWidth && sizeof R::serialNumber == kSerialNumberWidth
              && sizeof R::yearOfManufacture == kYearWidth);

bool inRange(int field)
{
    return field >= 0 && field < kParameterFieldCount;
}

constexpr int at(std::size_t offset)
{
    return int(offset);
}

template<typename T>
T loadNumber(const ParameterRecord &r, int offset)
{
    T value;
    std::memcpy(&value, reinterpret_cast<const char *>(&r) + offset, sizeof value);
    return value;
}

template<typename T>
void storeNumber(ParameterRecord &r, int offset, int number)
{
    const T value = T(number);
    std::memcpy(reinterpret_cast<char *>(&r) + offset, &value, sizeof value);
}

// A decimal integer between white space; 0 when it is none.
int decimalValue(const QByteArray &value)
{
    bool ok = false;
    const int number = value.trimmed().toInt(&ok);
    return ok ? number : 0;
}

// The text of a settings-file line stops at its line end or a NUL.
void storeFileText(char *field, int width, const QByteArray &value)
{
    int length = 0;
    while (length < value.size() && length < width - 1) {
        const char c = value.at(length);
        if (c == '\r' || c == '\n' || c == '\0')
            break;
        ++length;
    }
    std::memset(field, 0, size_t(width));
    std::memcpy(field, value.constData(), size_t(length));
}

quint16 fileCrc(const QByteArray &value)
{
    bool ok = false;
    const quint16 crc = value.trimmed().toUShort(&ok, 16);
    return ok ? crc : 0;
}

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

bool parseStrictNumber(const ParameterField &f, const QByteArray &value, int &number)
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

QString comboText(const ParameterField &f, int index, int language)
{
    if (index < 0 || index >= f.itemCount)
        return QString::number(index);
    return text(f.firstItemTextId + index, language);
}

} // namespace

// Columns: JSON key, kind, offset, text width, first item and item count,
// report row, telegram offset; editable, in the write telegram, carries the
// write attempt; plausibility flag, rule and its reason, service lock, cell
// widget; the simulator's name and default.
const ParameterField kParameterFields[] = {
    {"unit", FieldKind::Text, at(offsetof(R, unit)), kUnitWidth, 0, 0, 0, 5,
     true, true, false, 0, unitPlausible, "not 1 to 3 letters or digits", false, nullptr,
     "unit", "m3"},
    {"significance", FieldKind::Combo, at(offsetof(R, significance)), 0, 97, 6, 1, 2,
     true, true, false, -1, nullptr, nullptr, false, "comboBoxSignificance",
     "significance", "3"},
    {"leadingPlus", FieldKind::Check, at(offsetof(R, leadingPlus)), 0, 0, 0, -1, -1,
     true, true, false, -1, nullptr, nullptr, false, "checkBoxLeadingPlus",
     "leading-plus", "0"},
    {"manufacturer", FieldKind::Text, at(offsetof(R, manufacturer)), kManufacturerWidth, 0, 0, 2, 9,
     true, true, false, 2, manufacturerPlausible, "not letters, '_' or '&' only", false, nullptr,
     "manufacturer", "ABC"},
    {"deviceType", FieldKind::Text, at(offsetof(R, deviceType)), kDeviceTypeWidth, 0, 0, 3, 13,
     true, true, false, 3, printableAsciiPlausible, "not printable ASCII", false, nullptr,
     "device-type", "TAV7"},
    {"serialNumber", FieldKind::Text, at(offsetof(R, serialNumber)), kSerialNumberWidth, 0, 0, 4, 20,
     true, true, false, 4, printableAsciiPlausible, "not printable ASCII", true, nullptr,
     "serial", "123456789"},
    {"year", FieldKind::Text, at(offsetof(R, yearOfManufacture)), kYearWidth, 0, 0, 5, 30,
     true, true, false, 5, yearOfManufacturePlausible, "not a year from 1950 to 2049", true, nullptr,
     "year", "2024"},
    // The device keeps its firmware's version, whatever "SP" carries.
    {"softwareVersion", FieldKind::Version, at(offsetof(R, softwareVersion)), 0, 0, 0, 6, 0,
     false, true, true, 6, softwareVersionPlausible, "not a version of four characters such as 1.12", false,
     nullptr, "version", "112"},
    {"softwareCrc", FieldKind::Crc, at(offsetof(R, softwareCrc)), 0, 0, 0, 7, 40,
     false, false, false, -1, nullptr, nullptr, false, nullptr,
     "crc", "1a2b"},
    {"baudRate", FieldKind::Combo, at(offsetof(R, baudRate)), 0, 103, 3, 8, 35,
     true, true, false, -1, nullptr, nullptr, false, "comboBoxTableBaudrate",
     "baud-rate", "0"},
    {"transmitMode", FieldKind::Combo, at(offsetof(R, transmitMode)), 0, 106, 6, 9, 36,
     true, true, false, -1, nullptr, nullptr, false, "comboBoxTransmitMode",
     "transmit-mode", "2"},
    {"direction", FieldKind::Combo, at(offsetof(R, direction)), 0, 112, 2, 10, 37,
     true, true, false, -1, nullptr, nullptr, false, "comboBoxDirection",
     "direction", "0"},
    {"telegramB", FieldKind::Combo, at(offsetof(R, telegramB)), 0, 114, 4, 11, 38,
     true, true, false, -1, nullptr, nullptr, false, "comboBoxTelegramB",
     "telegram-b", "0"},
    {"crcStart", FieldKind::Combo, at(offsetof(R, crcStartValue)), 0, 118, 2, 12, 39,
     true, true, false, -1, nullptr, nullptr, false, "comboBoxCrcStartValue",
     "crc-start-value", "0"},
};
static_assert(sizeof kParameterFields / sizeof *kParameterFields == kParameterFieldCount,
              "one row per parameter field");

int fieldSize(int field)
{
    if (!inRange(field))
        return 0;
    switch (kParameterFields[field].kind) {
    case FieldKind::Text: return kParameterFields[field].width;
    case FieldKind::Combo:
    case FieldKind::Check: return 1;
    case FieldKind::Version:
    case FieldKind::Crc: return 2;
    }
    return 0;
}

// With the other per-kind rules here, so that a new kind is added in this file.
int parameterCellMaxLength(int row)
{
    if (!inRange(row))
        return -1;
    switch (kParameterFields[row].kind) {
    case FieldKind::Text: return kParameterFields[row].width - 1;
    // The version and the checksum are both shown with four characters.
    case FieldKind::Version:
    case FieldKind::Crc: return 4;
    case FieldKind::Combo:
    case FieldKind::Check: break;
    }
    return -1;
}

int fieldTelegramSize(int field)
{
    return field == FieldSignificance ? kSignificanceTextSize : fieldSize(field);
}

void copyField(ParameterRecord &to, const ParameterRecord &from, int field)
{
    if (!inRange(field))
        return;
    const int offset = kParameterFields[field].offset;
    std::memcpy(reinterpret_cast<char *>(&to) + offset, reinterpret_cast<const char *>(&from) + offset,
                size_t(fieldSize(field)));
}

const char *textFieldData(const ParameterRecord &record, int field)
{
    return reinterpret_cast<const char *>(&record) + kParameterFields[field].offset;
}

char *textFieldData(ParameterRecord &record, int field)
{
    return reinterpret_cast<char *>(&record) + kParameterFields[field].offset;
}

int fieldNumber(const ParameterRecord &record, int field)
{
    if (!inRange(field))
        return 0;
    const ParameterField &f = kParameterFields[field];
    switch (f.kind) {
    case FieldKind::Combo: return loadNumber<qint8>(record, f.offset);
    case FieldKind::Check: return loadNumber<quint8>(record, f.offset);
    case FieldKind::Version:
    case FieldKind::Crc: return loadNumber<quint16>(record, f.offset);
    case FieldKind::Text: break;
    }
    return 0;
}

void setFieldNumber(ParameterRecord &record, int field, int number)
{
    if (!inRange(field))
        return;
    const ParameterField &f = kParameterFields[field];
    switch (f.kind) {
    case FieldKind::Combo: storeNumber<qint8>(record, f.offset, number); break;
    case FieldKind::Check: storeNumber<quint8>(record, f.offset, number); break;
    case FieldKind::Version:
    case FieldKind::Crc: storeNumber<quint16>(record, f.offset, number); break;
    case FieldKind::Text: break;
    }
}

QByteArray settingsFileValue(const ParameterRecord &record, int field)
{
    if (!inRange(field))
        return QByteArray();
    const ParameterField &f = kParameterFields[field];
    switch (f.kind) {
    case FieldKind::Text: {
        const char *data = textFieldData(record, field);
        QByteArray value(data, int(qstrnlen(data, uint(f.width - 1))));
        return value.replace('\r', ' ').replace('\n', ' ');
    }
    case FieldKind::Combo: return QByteArray::number(fieldNumber(record, field));
    case FieldKind::Check:
    case FieldKind::Version:
    case FieldKind::Crc: break;
    }
    return parameterValueText(record, field, German).toLatin1();
}

void setFieldFromSettingsFileValue(ParameterRecord &record, int field, const QByteArray &value)
{
    if (!inRange(field))
        return;
    const ParameterField &f = kParameterFields[field];
    switch (f.kind) {
    case FieldKind::Text: storeFileText(textFieldData(record, field), f.width, value); break;
    // Stored as the file says, even outside the combo's items: the table and
    // the plausibility check decide what becomes of it.
    case FieldKind::Combo: setFieldNumber(record, field, decimalValue(value)); break;
    case FieldKind::Check: setFieldNumber(record, field, decimalValue(value) != 0 ? 1 : 0); break;
    case FieldKind::Version:
        setFieldNumber(record, field, parseSoftwareVersion(QString::fromLatin1(value.trimmed())));
        break;
    case FieldKind::Crc: setFieldNumber(record, field, fileCrc(value)); break;
    }
}

bool setFieldFromStrictValue(ParameterRecord &record, int field, const QByteArray &value)
{
    if (!inRange(field))
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
    if (!parseStrictNumber(f, value, number))
        return false;
    setFieldNumber(record, field, number);
    return true;
}

QString parameterValueText(const ParameterRecord &record, int field, int language)
{
    if (!inRange(field))
        return QString();
    const ParameterField &f = kParameterFields[field];
    const int number = fieldNumber(record, field);
    switch (f.kind) {
    case FieldKind::Text: return fieldText(textFieldData(record, field), f.width);
    case FieldKind::Combo: return comboText(f, number, language);
    case FieldKind::Check: return QString::number(number != 0 ? 1 : 0);
    case FieldKind::Version: return softwareVersionText(quint16(number));
    case FieldKind::Crc: return softwareCrcText(quint16(number));
    }
    return QString();
}

void setFieldFromCellText(ParameterRecord &record, int field, const QString &text)
{
    if (!inRange(field))
        return;
    const ParameterField &f = kParameterFields[field];
    switch (f.kind) {
    case FieldKind::Text: setFieldText(textFieldData(record, field), f.width, text); break;
    case FieldKind::Version: setFieldNumber(record, field, parseSoftwareVersion(text)); break;
    case FieldKind::Crc: setFieldNumber(record, field, parseSoftwareCrc(text)); break;
    case FieldKind::Combo:
    case FieldKind::Check: break;
    }
}

QString fieldChangeText(const QString &key, const QString &oldValue, const QString &newValue, int language)
{
    QString label = key;
    std::function<QString(const QString &)> shown = [](const QString &value) { return value; };
    if (key == QLatin1String("counter")) {
        label = language == German ? QStringLiteral("Zählwerksstand") : QStringLiteral("Counter status");
    } else {
        for (int field = 0; field < kParameterFieldCount; ++field) {
            if (key != QLatin1String(kParameterFields[field].jsonKey))
                continue;
            label = fieldLabel(field, language);
            // An empty value was not known when it was recorded: it stays empty.
            shown = [field, language](const QString &value) {
                if (value.isEmpty())
                    return value;
                ParameterRecord record;
                initParameterRecord(record);
                setFieldFromSettingsFileValue(record, field, value.toLatin1());
                return parameterValueText(record, field, language);
            };
        }
    }
    return label + QStringLiteral(": ") + shown(oldValue) + QStringLiteral(" -> ") + shown(newValue);
}

} // namespace tavik7
