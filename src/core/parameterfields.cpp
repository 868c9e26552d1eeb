#include "parameterfields.h"

#include <cstddef>
#include <cstring>
#include <functional>
#include <type_traits>

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

QString comboText(const ParameterField &f, int index, int language)
{
    if (index < 0 || index >= f.itemCount)
        return QString::number(index);
    return text(f.firstItemTextId + index, language);
}

} // namespace

// jsonKey, row label, bilingual label, kind, offset, width, first item, items, report row,
// telegram offset, plausibility flag, rule and its reason, service lock, cell widget
const ParameterField kParameterFields[kParameterFieldCount] = {
    {"unit", 59, 0, FieldKind::Text, at(offsetof(R, unit)), kUnitWidth, 0, 0, 0,
     5, 0, unitPlausible, "not 1 to 3 letters or digits", false, nullptr},
    {"significance", 60, 1, FieldKind::Combo, at(offsetof(R, significance)), 0, 97, 6, 1,
     2, -1, nullptr, nullptr, false, "comboBoxSignificance"},
    {"leadingPlus", 61, 2, FieldKind::Check, at(offsetof(R, leadingPlus)), 0, 0, 0, -1,
     -1, -1, nullptr, nullptr, false, "checkBoxLeadingPlus"},
    {"manufacturer", 62, 3, FieldKind::Text, at(offsetof(R, manufacturer)), kManufacturerWidth, 0, 0, 2,
     9, 2, manufacturerPlausible, "not letters, '_' or '&' only", false, nullptr},
    {"deviceType", 63, 4, FieldKind::Text, at(offsetof(R, deviceType)), kDeviceTypeWidth, 0, 0, 3,
     13, 3, printableAsciiPlausible, "not printable ASCII", false, nullptr},
    {"serialNumber", 64, 5, FieldKind::Text, at(offsetof(R, serialNumber)), kSerialNumberWidth, 0, 0, 4,
     20, 4, printableAsciiPlausible, "not printable ASCII", true, nullptr},
    {"year", 65, 6, FieldKind::Text, at(offsetof(R, yearOfManufacture)), kYearWidth, 0, 0, 5,
     30, 5, yearOfManufacturePlausible, "not a year from 1950 to 2049", true, nullptr},
    {"softwareVersion", 66, 7, FieldKind::Version, at(offsetof(R, softwareVersion)), 0, 0, 0, 6,
     0, 6, softwareVersionPlausible, "not a version of four characters such as 1.12", false, nullptr},
    {"softwareCrc", 67, 8, FieldKind::Crc, at(offsetof(R, softwareCrc)), 0, 0, 0, 7,
     40, -1, nullptr, nullptr, false, nullptr},
    {"baudRate", 68, 9, FieldKind::Combo, at(offsetof(R, baudRate)), 0, 103, 3, 8,
     35, -1, nullptr, nullptr, false, "comboBoxTableBaudrate"},
    {"transmitMode", 69, 10, FieldKind::Combo, at(offsetof(R, transmitMode)), 0, 106, 6, 9,
     36, -1, nullptr, nullptr, false, "comboBoxTransmitMode"},
    {"direction", 70, 11, FieldKind::Combo, at(offsetof(R, direction)), 0, 112, 2, 10,
     37, -1, nullptr, nullptr, false, "comboBoxDirection"},
    {"telegramB", 71, 12, FieldKind::Combo, at(offsetof(R, telegramB)), 0, 114, 4, 11,
     38, -1, nullptr, nullptr, false, "comboBoxTelegramB"},
    {"crcStart", 72, 13, FieldKind::Combo, at(offsetof(R, crcStartValue)), 0, 118, 2, 12,
     39, -1, nullptr, nullptr, false, "comboBoxCrcStartValue"},
};

QString bilingualFieldLabel(int field)
{
    if (!inRange(field))
        return QString();
    return bilingualLabel(kParameterFields[field].bilingualLabel);
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
            label = text(kParameterFields[field].labelTextId, language);
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
