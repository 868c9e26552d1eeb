#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace tavik7 {

// The device's parameter set as it travels in the telegrams. Text fields are
// NUL-terminated or NUL-padded Latin-1; index fields hold a combo box index.
struct ParameterRecord
{
    char unit[4];
    qint8 significance;      // 0..5 stands for the decimal exponent -3..+2
    quint8 leadingPlus;      // a non-negative exponent is written with "+"
    char manufacturer[4];
    char deviceType[7];
    char serialNumber[10];
    char yearOfManufacture[5];
    quint16 softwareVersion; // firmware version in hundredths: 112 is 1.12
    quint16 softwareCrc;     // firmware checksum, display only
    qint8 baudRate;
    qint8 transmitMode;
    qint8 direction;
    qint8 telegramB;
    qint8 crcStartValue;
};

// Widths of the text fields including their terminator.
constexpr int kUnitWidth = 4;
constexpr int kManufacturerWidth = 4;
constexpr int kDeviceTypeWidth = 7;
constexpr int kSerialNumberWidth = 10;
constexpr int kYearWidth = 5;

// Index of the significance that stands for exponent 0; also the fallback.
constexpr qint8 kSignificanceExponentZero = 3;
// From this firmware version on the counter has nine digits instead of eight.
constexpr quint16 kNineDigitSoftwareVersion = 112;

// Every byte zero: the state before the table is read back into the record.
void clearParameterRecord(ParameterRecord &record);
// The placeholder shown until the first read: "-" in every text field, exponent 0.
void initParameterRecord(ParameterRecord &record);

// The significance field of both telegrams: a text such as "+1", NUL-padded.
constexpr int kSignificanceTextSize = 3;
[[nodiscard]] QByteArray significanceText(qint8 significance, quint8 leadingPlus);

struct SignificanceReading
{
    bool recognised = false;   // false: the record keeps its values
    qint8 significance = kSignificanceExponentZero;
    quint8 leadingPlus = 0;
    bool notice = false;       // the device holds a probably incompatible "0x" text
    QString noticeText;        // "01", "02", "00" or empty
};

// Reads the first two bytes of a received significance field.
[[nodiscard]] SignificanceReading readSignificanceText(char c1, char c2);

// Copies width bytes from offset in source into dest, leaving out NUL bytes and
// padding the rest with NUL. Bytes beyond the end of source read as NUL.
void copyTextField(char *dest, const QByteArray &source, int width, int offset);

// A text field as a string (up to the first NUL), and a string stored into a
// field of the given width: cut to width - 1 characters, NUL-terminated.
[[nodiscard]] QString fieldText(const char *field, int width);
void setFieldText(char *field, int width, const QString &text);

} // namespace tavik7
