#pragma once

#include <QByteArray>
#include <QString>

#include "console.h"

class QIODevice;

namespace tavik7 {

// The device's controller (ATmega168): 16 KiB of flash whose last 2 KiB hold
// the boot loader. An image reaching into that section would be refused or
// silently dropped by the boot loader, leaving a half-written application.
constexpr quint32 kDeviceFlashBytes = 16 * 1024;
constexpr quint32 kBootSectionStartByte = kDeviceFlashBytes - 2 * 1024;

enum class IntelHexFault {
    None,
    NoStartCode,      // a line that does not begin with ':'
    NotHex,           // a character that is not a hex digit, or an odd count
    LengthMismatch,   // the byte count does not match the record's length
    BadChecksum,
    UnknownType,      // a record type other than 00..05
    BadAddressRecord, // a type 02..05 record of the wrong length or address
    OutsideFlash,     // data at or beyond the boot loader's section
    AfterEnd,         // anything but blank lines after the end-of-file record
    NoEndRecord,
    NoData,           // nothing to write: no data record before the end record
    Unreadable,
    NotRegularFile,   // a pipe, a device or a folder under the image's name
};

struct IntelHexCheck
{
    IntelHexFault fault = IntelHexFault::None;
    int line = 0; // 1-based; for a missing end record the line after the last; 0: unreadable

    [[nodiscard]] bool ok() const { return fault == IntelHexFault::None; }
};

// Checks a firmware image before anything reaches the device: avrdude erases
// the chip before it reads a faulty record, so a bad image would leave a
// device without firmware.
[[nodiscard]] IntelHexCheck checkIntelHex(QIODevice &device, quint32 flashLimit = kBootSectionStartByte);
[[nodiscard]] IntelHexCheck checkIntelHexFile(const QString &path, quint32 flashLimit = kBootSectionStartByte);

// The fault in plain English words, for a command line ("bad checksum").
[[nodiscard]] QString intelHexFaultText(IntelHexFault fault);
// The same in the window's language (German 0, English 1).
[[nodiscard]] QString intelHexFaultText(IntelHexFault fault, int language);
// The console's note on an image refused: which file, which line, what is
// wrong there, in words for either language.
[[nodiscard]] ConsoleEntry firmwareImageNote(const QString &shownPath, const IntelHexCheck &check);

} // namespace tavik7
