#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <optional>

#include "parameterrecord.h"

namespace tavik7 {

// One device's row of a production job: the fields it sets (its own columns,
// and with a defaults file every other field a write changes) and the
// counter it sets, if any.
struct ProvisionRow
{
    int line = 0;          // the CSV line, 1 being the header
    QList<int> fields;     // field numbers the row sets, in field order
    ParameterRecord values{}; // valid at fields only
    QString serialNumber;
    QString counter;       // digits as given (a comma may stand in them); empty: left alone

    // The device's record with this row's fields over it: what a write sends.
    [[nodiscard]] ParameterRecord over(const ParameterRecord &device) const;
    // The fields of device that differ from the row (the counter aside).
    [[nodiscard]] QList<int> differing(const ParameterRecord &device) const;
};

struct ProvisionJob
{
    QString hash; // SHA-256 of the file's bytes, lower-case hex: the job's name in the book
    QList<ProvisionRow> rows;
    QHash<QString, int> rowOfSerial; // index into rows

    [[nodiscard]] int indexOfSerial(const QString &serialNumber) const { return rowOfSerial.value(serialNumber, -1); }
};

// Why a job file is refused. Nothing of a refused file is used.
struct ProvisionJobReading
{
    enum class Fault {
        None,
        NoHeader,        // an empty file
        UnknownKey,      // where: the header's column
        DuplicateKey,
        DeviceOwnKey,    // softwareVersion, softwareCrc: a write keeps the device's
        NoSerialColumn,
        BadQuoting,      // a quote that does not close within its line
        ColumnCount,     // a row with more or fewer cells than the header
        BadValue,        // a value its field does not take, or an implausible one
        BadCounter,      // not 8 or 9 digits, with a comma at most
        EmptySerial,
        DuplicateSerial, // other: the line that has it first
        FreshSerial,     // the serial number that marks a fresh device
        NoRows,
    };
    Fault fault = Fault::NoHeader;
    int line = 0;
    int column = 0;  // 1-based; 0: the line as a whole
    QString key;     // the column's key
    QString value;   // the cell as given
    int other = 0;   // DuplicateSerial: the line that has it first
    ProvisionJob job;

    [[nodiscard]] bool ok() const { return fault == Fault::None; }
};

// The key of the optional counter column.
inline constexpr char kCounterColumn[] = "counter";

// Reads a job: a header of JSON keys as "read --json" names them,
// serialNumber among them, then one row per device; a cell left empty is
// taken from defaults (a settings file already read strictly) when given,
// else left as the device holds it. freshSerial: the serial number a fresh
// device shows besides an empty one; a row cannot have it.
[[nodiscard]] ProvisionJobReading readProvisionJob(const QByteArray &bytes,
                                                   const std::optional<ParameterRecord> &defaults = std::nullopt,
                                                   const QString &freshSerial = QString());

// A device's serial number as the job compares it: the field's text, trimmed.
[[nodiscard]] QString provisionSerial(const ParameterRecord &device);

// A job file is a table of devices; a file much larger than 100,000 rows is none.
inline constexpr qint64 kLargestJobFileBytes = 32 * 1024 * 1024;

// The firmware version (in hundredths) a firmware image's name gives
// ("tavik_v1_12.hex" is 112); nothing when the name gives none.
[[nodiscard]] std::optional<quint16> firmwareVersionOfImage(const QString &fileName);

} // namespace tavik7
