#include "parameterrecord.h"

#include <cstring>

namespace tavik7 {

void clearParameterRecord(ParameterRecord &record)
{
    std::memset(&record, 0, sizeof record);
}

void initParameterRecord(ParameterRecord &record)
{
    clearParameterRecord(record);
    record.unit[0] = '-';
    record.manufacturer[0] = '-';
    record.deviceType[0] = '-';
    record.serialNumber[0] = '-';
    record.yearOfManufacture[0] = '-';
    record.significance = kSignificanceExponentZero;
}

QByteArray significanceText(qint8 significance, quint8 leadingPlus)
{
    const char *text = nullptr;
    switch (significance) {
    case 0: text = "-3"; break;
    case 1: text = "-2"; break;
    case 2: text = "-1"; break;
    case 4: text = leadingPlus ? "+1" : "1"; break;
    case 5: text = leadingPlus ? "+2" : "2"; break;
    default: text = leadingPlus ? "+0" : "0"; break;
    }
    QByteArray field(text);
    field.resize(kSignificanceTextSize, '\0');
    return field;
}

SignificanceReading readSignificanceText(char c1, char c2)
{
    SignificanceReading r;
    r.recognised = true;
    switch (c1) {
    case '+':
        switch (c2) {
        case '1': r.significance = 4; r.leadingPlus = 1; break;
        case '2': r.significance = 5; r.leadingPlus = 1; break;
        case '0': r.significance = 3; r.leadingPlus = 1; break;
        default: r.significance = 3; r.leadingPlus = 0; break;
        }
        break;
    case '-':
        r.significance = c2 == '1' ? 2 : c2 == '2' ? 1 : 0;
        break;
    case '0':
        // A zero followed by another digit is not a form the device writes
        // itself; the user is asked to choose the significance again.
        switch (c2) {
        case '\0': r.significance = 3; break;
        case '1': r.significance = 4; r.notice = true; r.noticeText = QStringLiteral("01"); break;
        case '2': r.significance = 5; r.notice = true; r.noticeText = QStringLiteral("02"); break;
        case '0': r.significance = 3; r.notice = true; r.noticeText = QStringLiteral("00"); break;
        default: r.significance = 3; r.notice = true; break;
        }
        break;
    case '1': r.significance = 4; break;
    case '2': r.significance = 5; break;
    default: r.recognised = false; break;
    }
    return r;
}

void copyTextField(char *dest, const QByteArray &source, int width, int offset)
{
    int out = 0;
    for (int i = 0; i < width; ++i) {
        const int at = offset + i;
        const char c = (at >= 0 && at < source.size()) ? source.at(at) : '\0';
        if (c != '\0')
            dest[out++] = c;
    }
    while (out < width)
        dest[out++] = '\0';
}

QString fieldText(const char *field, int width)
{
    return QString::fromLatin1(field, int(qstrnlen(field, uint(width))));
}

void setFieldText(char *field, int width, const QString &text)
{
    const QByteArray bytes = text.toLatin1().left(width - 1);
    std::memset(field, 0, size_t(width));
    std::memcpy(field, bytes.constData(), size_t(bytes.size()));
}

} // namespace tavik7
