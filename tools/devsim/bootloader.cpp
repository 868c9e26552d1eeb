#include "bootloader.h"

#include <cstring>

namespace devsim {

namespace {

constexpr char kEscape = 0x1B;
constexpr char kDone = '\r';
constexpr char kUnknown = '?';
// What the boot loader calls itself; avrdude only shows it.
const QByteArray kProgrammerId("AVRBOOT");
const QByteArray kBootLoaderVersion("10");
// ATmega168; the protocol sends the three signature bytes last one first.
const QByteArray kSignatureReversed("\x06\x94\x1E", 3);
// The one device code offered. The boot loader ignores the code avrdude
// selects with 'T', as AVR109 boot loaders do.
constexpr char kDeviceCode = 0x35;
constexpr char kFuseValue = char(0xFF);

QByteArray hexAddress(quint32 address)
{
    return "0x" + QByteArray::number(address, 16).rightJustified(4, '0');
}

} // namespace

BootLoader::BootLoader()
    : m_flash(kFlashSize, char(0xFF)), m_eeprom(kEepromSize, char(0xFF))
{
}

QByteArray BootLoader::feed(const QByteArray &bytes, QList<Event> *events)
{
    m_pending.append(bytes);
    QByteArray answer;
    while (!m_pending.isEmpty() && takeCommand(&answer, events)) {
    }
    return answer;
}

bool BootLoader::takeCommand(QByteArray *answer, QList<Event> *events)
{
    const char command = m_pending.at(0);
    const qsizetype available = m_pending.size();
    auto argument = [this](int i) { return quint8(m_pending.at(i)); };
    auto done = [&](qsizetype length, const QByteArray &reply, const QByteArray &description,
                    bool sessionEnd = false) {
        m_pending.remove(0, length);
        answer->append(reply);
        if (!description.isEmpty())
            events->append({description, sessionEnd});
        return true;
    };

    switch (command) {
    case kEscape:
        // avrdude sends it to wake a Butterfly; a plain boot loader stays silent.
        return done(1, {}, {});
    case 'S': return done(1, kProgrammerId, "S");
    case 'V': return done(1, kBootLoaderVersion, "V");
    case 'v': return done(1, QByteArray(1, kUnknown), "v"); // no hardware version
    case 'p': return done(1, "S", "p");                     // a serial programmer
    case 'a': return done(1, "Y", "a");                     // addresses auto-increment
    case 'b': {
        QByteArray reply("Y");
        reply.append(char(kBlockSize >> 8));
        reply.append(char(kBlockSize & 0xFF));
        return done(1, reply, "b");
    }
    case 't': return done(1, QByteArray(1, kDeviceCode) + QByteArray(1, '\0'), "t");
    case 's': return done(1, kSignatureReversed, "s");
    case 'P': return done(1, QByteArray(1, kDone), "P");
    case 'L': return done(1, QByteArray(1, kDone), "L");
    case 'E': return done(1, QByteArray(1, kDone), "E", true);
    case 'e':
        // The boot section survives a chip erase: the boot loader erases
        // the application section page by page.
        std::memset(m_flash.data(), 0xFF, kBootSectionStart);
        m_flashChanged = true;
        return done(1, QByteArray(1, kDone), "e");
    case 'r': // lock bits
    case 'F': // low fuse
    case 'N': // high fuse
    case 'Q': // extended fuse
        return done(1, QByteArray(1, kFuseValue), QByteArray(1, command));
    case 'T':
    case 'x':
    case 'y':
    case 'l':
        if (available < 2)
            return false;
        return done(2, QByteArray(1, kDone), QByteArray(1, command) + ' ' + QByteArray::number(argument(1), 16));
    case 'A':
        if (available < 3)
            return false;
        m_address = quint32(argument(1)) << 8 | argument(2);
        return done(3, QByteArray(1, kDone), "A " + hexAddress(m_address));
    case 'H':
        if (available < 4)
            return false;
        m_address = quint32(argument(1)) << 16 | quint32(argument(2)) << 8 | argument(3);
        return done(4, QByteArray(1, kDone), "H " + hexAddress(m_address));
    case 'B':
    case 'g': {
        if (available < 4)
            return false;
        const int size = argument(1) << 8 | argument(2);
        const char memory = char(argument(3));
        const QByteArray description = QByteArray(1, command) + ' ' + memory + ' ' + QByteArray::number(size)
            + " @" + hexAddress(m_address);
        if (memory != 'F' && memory != 'E')
            return done(4, QByteArray(1, kUnknown), description + " unknown memory");
        if (command == 'g')
            return done(4, readBlock(memory, size), description);
        if (available < 4 + size)
            return false;
        writeBlock(memory, m_pending.mid(4, size));
        return done(4 + size, QByteArray(1, kDone), description);
    }
    case 'R': {
        // One flash word, high byte first.
        const quint32 byteAddress = m_address * 2;
        QByteArray reply(2, char(0xFF));
        if (byteAddress + 1 < quint32(kFlashSize)) {
            reply[0] = m_flash.at(byteAddress + 1);
            reply[1] = m_flash.at(byteAddress);
        }
        ++m_address;
        return done(1, reply, "R");
    }
    case 'd': {
        const char value = m_address < quint32(kEepromSize) ? m_eeprom.at(m_address) : char(0xFF);
        ++m_address;
        return done(1, QByteArray(1, value), "d");
    }
    case 'D':
        if (available < 2)
            return false;
        if (m_address < quint32(kEepromSize))
            m_eeprom[m_address] = m_pending.at(1);
        ++m_address;
        return done(2, QByteArray(1, kDone), "D");
    default:
        return done(1, QByteArray(1, kUnknown), "unknown " + QByteArray::number(quint8(command), 16));
    }
}

void BootLoader::writeBlock(char memory, const QByteArray &data)
{
    if (memory == 'E') {
        for (const char byte : data) {
            if (m_address < quint32(kEepromSize))
                m_eeprom[m_address] = byte;
            ++m_address;
        }
        return;
    }
    m_flashChanged = true;
    const quint32 start = m_address * 2;
    for (qsizetype i = 0; i < data.size(); ++i) {
        const quint32 at = start + quint32(i);
        if (at < quint32(kBootSectionStart))
            m_flash[at] = data.at(i);
    }
    m_address += quint32(data.size() + 1) / 2;
}

QByteArray BootLoader::readBlock(char memory, int size)
{
    QByteArray data(size, char(0xFF));
    if (memory == 'E') {
        for (int i = 0; i < size; ++i) {
            if (m_address < quint32(kEepromSize))
                data[i] = m_eeprom.at(m_address);
            ++m_address;
        }
        return data;
    }
    const quint32 start = m_address * 2;
    for (int i = 0; i < size; ++i) {
        if (start + quint32(i) < quint32(kFlashSize))
            data[i] = m_flash.at(start + quint32(i));
    }
    m_address += quint32(size + 1) / 2;
    return data;
}

std::optional<quint16> firmwareVersionInImage(const QByteArray &image)
{
    const qsizetype at = image.indexOf(kFirmwareMarker);
    if (at < 0)
        return std::nullopt;
    // "M.mm": one or two digits, a point, exactly two digits.
    const QByteArray rest = image.mid(at + qsizetype(std::strlen(kFirmwareMarker)), 6);
    const qsizetype point = rest.indexOf('.');
    if (point < 1 || point > 2 || rest.size() < point + 3)
        return std::nullopt;
    const QByteArray major = rest.left(point);
    const QByteArray minor = rest.mid(point + 1, 2);
    auto digits = [](const QByteArray &text) {
        for (const char c : text) {
            if (c < '0' || c > '9')
                return false;
        }
        return true;
    };
    if (!digits(major) || !digits(minor))
        return std::nullopt;
    // A third decimal would make it a different version than the one read.
    if (rest.size() > point + 3 && rest.at(point + 3) >= '0' && rest.at(point + 3) <= '9')
        return std::nullopt;
    return quint16(major.toUInt() * 100 + minor.toUInt());
}

} // namespace devsim
