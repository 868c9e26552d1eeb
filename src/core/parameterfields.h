#pragma once

#include <QByteArray>
#include <QString>

#include "parameterrecord.h"
#include "texttable.h"

namespace tavik7 {

// The device's parameters, in the order of the table's rows and the
// settings file's lines. Everything that lists them iterates kParameterFields.
enum ParameterFieldId : int {
    FieldUnit,
    FieldSignificance,
    FieldLeadingPlus,
    FieldManufacturer,
    FieldDeviceType,
    FieldSerialNumber,
    FieldYear,
    FieldSoftwareVersion,
    FieldSoftwareCrc,
    FieldBaudRate,
    FieldTransmitMode,
    FieldDirection,
    FieldTelegramB,
    FieldCrcStartValue,
    ParameterFieldIdEnd // not a field: the count
};
constexpr int kParameterFieldCount = ParameterFieldIdEnd;

enum class FieldKind {
    Text,    // Latin-1 bytes of a fixed width, NUL-terminated or NUL-padded
    Combo,   // index of a combo box item, signed byte
    Check,   // yes (any non-zero byte) or no
    Version, // firmware version in hundredths, 2 bytes
    Crc,     // firmware checksum, 2 bytes, as hex digits
};

// Everything the program does with a field follows from its row; its labels
// are the row of the same number in the label table (fieldLabel()).
struct ParameterField
{
    const char *jsonKey;      // the field's name, as JSON, --set and the code spell it
    FieldKind kind;
    int offset;               // of the value within ParameterRecord
    int width;                // Text: bytes including the terminator
    int firstItemTextId;      // Combo: TextId of item 0, the others follow it
    int itemCount;            // Combo
    int reportRow;            // row of the inspection report; -1: shown within another row
    int telegramOffset;       // of the value in the telegrams' body (telegram.h);
                              // -1: carried by another field (the leading plus
                              // is in the significance text)
    bool editable;            // set by the user (table, file, --set); otherwise the
                              // device's own, which a write leaves as the device has it
    bool inWriteTelegram;     // sent with "SP"
    bool carriesWriteAttempt; // raised by the attempt number in "SP" to keep line
                              // ends out of its CRC; exactly one field does
    int plausibilityFlag;     // the window's flag for this cell's rule; -1: no rule
    bool (*rule)(const QString &text); // the cell's rule on its cut text; nullptr: none
    const char *ruleReason;   // what a text that fails the rule is not, in English
    bool serviceLocked;       // the cell opens to the service key (F3) only
    const char *objectName;   // of the table's cell widget; nullptr for a text cell
    const char *simulatorKey;   // the simulator's option and state-file name
    const char *simulatorValue; // the simulator's default device, as it takes the value
};

extern const ParameterField kParameterFields[];

// Bytes the field takes in the record, and in the telegrams (where the
// significance is a text of its own).
[[nodiscard]] int fieldSize(int field);
[[nodiscard]] int fieldTelegramSize(int field);

// The functions below take a field number (ParameterFieldId); all but
// textFieldData treat a number outside as no field.

// Field's bytes of from into to.
void copyField(ParameterRecord &to, const ParameterRecord &from, int field);

// The bytes of a Text field (width bytes, not necessarily terminated); field
// must be one of the Text fields.
[[nodiscard]] const char *textFieldData(const ParameterRecord &record, int field);
[[nodiscard]] char *textFieldData(ParameterRecord &record, int field);

// The value of a Combo, Check, Version or Crc field as stored: a Check field
// may hold any byte. 0 for a Text field.
[[nodiscard]] int fieldNumber(const ParameterRecord &record, int field);
// Stores number cut to the field's size; a Text field is left alone.
void setFieldNumber(ParameterRecord &record, int field, int number);

// Field of record as the settings file writes it: "kWh", "1", "1.12",
// "0a3f". A line end in a text becomes a blank, so it cannot end its line.
[[nodiscard]] QByteArray settingsFileValue(const ParameterRecord &record, int field);
// Stores a value read from the settings file (the text after "="): a text up
// to the line end or NUL, an index without a range check, anything that is
// no number as 0.
void setFieldFromSettingsFileValue(ParameterRecord &record, int field, const QByteArray &value);

// Field of record as the table shows it: the text of a text field, the item
// text of a combo box field in the given language (the bare index when no item
// stands for it), "1" or "0" for the leading plus.
[[nodiscard]] QString parameterValueText(const ParameterRecord &record, int field, int language);
// A value in settings-file form, stored only when it parses completely and
// fits the field (no blanks, an index of an item, a version such as 1.12,
// one to four hex digits, a text without line ends or NUL); record is
// unchanged otherwise.
[[nodiscard]] bool setFieldFromStrictValue(ParameterRecord &record, int field, const QByteArray &value);

// Stores what a table cell holds into a Text, Version or Crc field: a text
// is cut to its width less the terminator, a checksum that is not one to
// four hex digits reads as 0. Combo and Check fields are left alone.
void setFieldFromCellText(ParameterRecord &record, int field, const QString &text);

// A recorded change as the table words it: the row's label and both values
// as the table shows them ("Baudrate: 0: 2400 Bps -> 2: 9600 Bps"). key is
// the field's JSON key, or "counter" for the counter status; the values are
// as the settings file writes them. A key of no field stands as it is.
[[nodiscard]] QString fieldChangeText(const QString &key, const QString &oldValue, const QString &newValue,
                                      int language);

} // namespace tavik7
