#include "intelhex.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>

#include <cctype>

namespace tavik7 {

namespace {

// Longest record: ':' + 2 * (1 + 2 + 1 + 255 + 1) hex digits, plus CR LF.
constexpr qint64 kLongestLineBytes = 1 + 2 * 260 + 2;

enum RecordType : int {
    Data = 0,
    EndOfFile = 1,
    ExtendedSegmentAddress = 2,
    StartSegmentAddress = 3,
    ExtendedLinearAddress = 4,
    StartLinearAddress = 5,
};

struct Record
{
    int type = 0;
    quint32 address = 0;
    QByteArray data;
};

// Hex digits to bytes, then the record's own length and checksum.
IntelHexFault parseRecord(const QByteArray &line, Record &record)
{
    if (!line.startsWith(':'))
        return IntelHexFault::NoStartCode;
    const QByteArray digits = line.mid(1);
    for (char c : digits) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return IntelHexFault::NotHex;
    }
    if (digits.size() % 2 != 0)
        return IntelHexFault::NotHex;
    const QByteArray bytes = QByteArray::fromHex(digits);
    if (bytes.size() < 5 || bytes.size() != 5 + quint8(bytes.at(0)))
        return IntelHexFault::LengthMismatch;
    quint8 sum = 0;
    for (char byte : bytes)
        sum = quint8(sum + quint8(byte));
    if (sum != 0)
        return IntelHexFault::BadChecksum;
    record.address = quint32(quint8(bytes.at(1))) << 8 | quint8(bytes.at(2));
    record.type = quint8(bytes.at(3));
    record.data = bytes.mid(4, bytes.size() - 5);
    return record.type <= StartLinearAddress ? IntelHexFault::None : IntelHexFault::UnknownType;
}

// What an address record must look like: its data length and a zero address field.
bool addressRecordWellFormed(const Record &record)
{
    const int wanted = record.type == ExtendedSegmentAddress || record.type == ExtendedLinearAddress ? 2 : 4;
    return record.address == 0 && record.data.size() == wanted;
}

quint32 bigEndian16(const QByteArray &data)
{
    return quint32(quint8(data.at(0))) << 8 | quint8(data.at(1));
}

} // namespace

IntelHexCheck checkIntelHex(QIODevice &device, quint32 flashLimit)
{
    quint32 base = 0;
    int endLine = 0;
    bool anyData = false;
    int number = 1;
    for (; !device.atEnd(); ++number) {
        QByteArray line = device.readLine(kLongestLineBytes + 2);
        if (line.size() > kLongestLineBytes)
            return {IntelHexFault::LengthMismatch, number};
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        if (endLine > 0)
            return {IntelHexFault::AfterEnd, number};
        Record record;
        if (const IntelHexFault fault = parseRecord(line, record); fault != IntelHexFault::None)
            return {fault, number};
        if (record.type == Data) {
            // In 64 bits: an extended linear address of 0xFFFF would carry a
            // 32-bit sum past 4 GiB and back to the bottom of the flash.
            if (quint64(base) + record.address + quint64(record.data.size()) > flashLimit)
                return {IntelHexFault::OutsideFlash, number};
            anyData = anyData || !record.data.isEmpty();
        } else if (record.type == EndOfFile) {
            if (!record.data.isEmpty())
                return {IntelHexFault::BadAddressRecord, number};
            endLine = number;
        } else if (!addressRecordWellFormed(record)) {
            return {IntelHexFault::BadAddressRecord, number};
        } else if (record.type == ExtendedSegmentAddress) {
            base = bigEndian16(record.data) << 4;
        } else if (record.type == ExtendedLinearAddress) {
            base = bigEndian16(record.data) << 16;
        }
    }
    // A missing end record is named where it should have stood. An image of
    // nothing would still have avrdude erase the chip.
    if (endLine == 0)
        return {IntelHexFault::NoEndRecord, number};
    return anyData ? IntelHexCheck{} : IntelHexCheck{IntelHexFault::NoData, endLine};
}

IntelHexCheck checkIntelHexFile(const QString &path, quint32 flashLimit)
{
    // Looked at before it is opened: opening a named pipe waits for a writer
    // that may never come, and a character device never ends.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return {IntelHexFault::NotRegularFile, 0};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {IntelHexFault::Unreadable, 0};
    return checkIntelHex(file, flashLimit);
}

QString intelHexFaultText(IntelHexFault fault)
{
    return intelHexFaultText(fault, 1);
}

QString intelHexFaultText(IntelHexFault fault, int language)
{
    if (language == 0) {
        switch (fault) {
        case IntelHexFault::None: return QString();
        case IntelHexFault::NoStartCode: return QStringLiteral("Zeile beginnt nicht mit ':'");
        case IntelHexFault::NotHex: return QStringLiteral("nicht hexadezimal");
        case IntelHexFault::LengthMismatch: return QStringLiteral("Satzlänge passt nicht zur Byteanzahl");
        case IntelHexFault::BadChecksum: return QStringLiteral("Prüfsumme falsch");
        case IntelHexFault::UnknownType: return QStringLiteral("unbekannter Satztyp");
        case IntelHexFault::BadAddressRecord: return QStringLiteral("fehlerhafter Adress- oder Endesatz");
        case IntelHexFault::OutsideFlash: return QStringLiteral("Adresse außerhalb des Anwendungsflashs");
        case IntelHexFault::AfterEnd: return QStringLiteral("Sätze nach dem Endesatz");
        case IntelHexFault::NoEndRecord: return QStringLiteral("kein Endesatz");
        case IntelHexFault::NoData: return QStringLiteral("keine Datensätze");
        case IntelHexFault::Unreadable: return QStringLiteral("nicht lesbar");
        case IntelHexFault::NotRegularFile: return QStringLiteral("keine reguläre Datei");
        }
        return QString();
    }
    switch (fault) {
    case IntelHexFault::None: return QString();
    case IntelHexFault::NoStartCode: return QStringLiteral("record does not start with ':'");
    case IntelHexFault::NotHex: return QStringLiteral("not hexadecimal");
    case IntelHexFault::LengthMismatch: return QStringLiteral("record length does not match its byte count");
    case IntelHexFault::BadChecksum: return QStringLiteral("bad checksum");
    case IntelHexFault::UnknownType: return QStringLiteral("unknown record type");
    case IntelHexFault::BadAddressRecord: return QStringLiteral("malformed address or end record");
    case IntelHexFault::OutsideFlash: return QStringLiteral("address outside the application flash");
    case IntelHexFault::AfterEnd: return QStringLiteral("records after the end-of-file record");
    case IntelHexFault::NoEndRecord: return QStringLiteral("no end-of-file record");
    case IntelHexFault::NoData: return QStringLiteral("no data records");
    case IntelHexFault::Unreadable: return QStringLiteral("cannot be read");
    case IntelHexFault::NotRegularFile: return QStringLiteral("not a regular file");
    }
    return QString();
}

ConsoleEntry firmwareImageNote(const QString &shownPath, const IntelHexCheck &check)
{
    if (check.ok())
        return {};
    const QString german = intelHexFaultText(check.fault, 0);
    const QString english = intelHexFaultText(check.fault, 1);
    if (check.line == 0)
        return {MessageId::NoteFirmwareFileFault, {shownPath, german, english}};
    return {MessageId::NoteFirmwareImageFault, {shownPath, QString::number(check.line), german, english}};
}

} // namespace tavik7
