#pragma once

#include "parameterrecord.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QtGlobal>

namespace devsim {

// What the simulated device remembers: its parameter record, its counter and,
// for trying out the PC program's reaction to odd devices, an optional raw
// significance field that replaces the one derived from the record.
//
// Every value can be set by name, with the same names on the command line
// (--name VALUE), in the state file (name=value) and on the control input
// (set name=value).
class DeviceState
{
public:
    DeviceState(); // the default device of the field table

    tavik7::ParameterRecord record{};
    quint64 counter = 0;
    QByteArray significanceOverride; // empty: derived from the record

    // Sets one value by name; false with a reason for an unknown name or a
    // value the device could not hold.
    bool setValue(const QString &key, const QString &value, QString *error);

    // All values as name/value pairs, in a fixed order.
    [[nodiscard]] QList<QPair<QString, QString>> values() const;

    // The counter as the device prints it: as many digits as its firmware
    // has, zero-padded, higher digits cut off as by a rolled-over counter.
    [[nodiscard]] QByteArray counterText() const;
    [[nodiscard]] int counterDigits() const;

    // Applies an accepted write telegram. The fields the user cannot set (the
    // firmware's version and checksum) stay: the telegram's version may be
    // raised by the PC to keep line ends out of the CRC, and the checksum is
    // not in it at all.
    void applyWrittenRecord(const tavik7::ParameterRecord &written);

    // The "LP" answer for the current state.
    [[nodiscard]] QByteArray parameterAnswer() const;

    // key=value lines; '#' starts a comment. A missing file is no error.
    bool load(const QString &path, QString *error);
    bool save(const QString &path, QString *error) const;
};

// The names setValue() knows, for the help text.
QStringList stateKeys();

} // namespace devsim
