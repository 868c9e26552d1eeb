#pragma once

#include <QByteArray>
#include <QList>
#include <QtGlobal>

#include <optional>

namespace devsim {

// The boot loader of the Tavik7's ATmega168: the AVR109 serial protocol as
// avrdude's "avr109" programmer speaks it at 9600 baud. It keeps a simulated
// flash memory; what avrdude writes there can be read back and verified.
//
// The boot loader lives in the top 2 KiB of the flash and cannot overwrite
// itself: writes into that section are dropped, as the chip's SPM lock would,
// so an image that reaches into it fails avrdude's verification.
class BootLoader
{
public:
    static constexpr int kFlashSize = 16 * 1024;
    static constexpr int kBootSectionStart = kFlashSize - 2 * 1024;
    static constexpr int kEepromSize = 512;
    static constexpr int kBlockSize = 128; // one flash page

    BootLoader();

    // One carried-out command, for the simulator's log.
    struct Event
    {
        QByteArray description; // e.g. "S", "A 0x0040", "B F 128 @0x0080", "e"
        bool sessionEnd = false; // 'E': the boot loader starts the application
    };

    // Takes bytes from the line and returns the answer bytes. A command whose
    // arguments have not all arrived waits for them; the events of the
    // commands carried out go to *events.
    [[nodiscard]] QByteArray feed(const QByteArray &bytes, QList<Event> *events);

    // True while a command waits for the rest of its bytes.
    [[nodiscard]] bool hasPendingInput() const { return !m_pending.isEmpty(); }
    // Forgets a broken-off command, as after a reset of the device.
    void dropPendingInput() { m_pending.clear(); }

    [[nodiscard]] const QByteArray &flash() const { return m_flash; }
    // True once if the flash was erased or written since the last call.
    [[nodiscard]] bool takeFlashChanged()
    {
        const bool changed = m_flashChanged;
        m_flashChanged = false;
        return changed;
    }

private:
    // Carries out the command at the start of m_pending; false if it is not complete yet.
    bool takeCommand(QByteArray *answer, QList<Event> *events);
    void writeBlock(char memory, const QByteArray &data);
    [[nodiscard]] QByteArray readBlock(char memory, int size);

    QByteArray m_flash;
    QByteArray m_eeprom;
    QByteArray m_pending;
    quint32 m_address = 0; // words for the flash, bytes for the EEPROM
    bool m_flashChanged = false;
};

// The firmware version that an image announces with its marker "TAVIKFW:"
// followed by the version with two decimals ("TAVIKFW:1.12" gives 112).
// Nothing when the image has no well-formed marker.
[[nodiscard]] std::optional<quint16> firmwareVersionInImage(const QByteArray &image);

constexpr char kFirmwareMarker[] = "TAVIKFW:";

} // namespace devsim
