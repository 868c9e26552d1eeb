#pragma once

#include <QRect>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <array>
#include <optional>

#include "messageid.h"
#include "parameterrecord.h"

namespace tavik7 {

// One counter type: the three choices read off the mechanical counter and
// the device settings that type needs.
struct WizardRow
{
    const char *numberOfDigits; // "8" or "9"
    const char *uaValue;        // "---", "0.01", "0.1", "1", "10" or "100"
    const char *decimalPlaces;  // "3", "2", "1", "0" or "x10"
    quint16 fractionDigits;     // digits after the comma in the wizard's entry
    quint16 requiredFirmware;   // 0: not supported; 111: exactly V1.11; 112: V1.12 or later
    qint16 significanceExponent;
    quint8 graduationMarkDigit; // 1: the entry's last digit is the counter's last graduation mark

    [[nodiscard]] bool supported() const { return requiredFirmware != 0; }
};

constexpr int kWizardRowCount = 55;
constexpr quint16 kFirmwareV111 = 111;
constexpr quint16 kFirmwareV112 = 112;

// Digits first, then Ua value, then decimal places, each in the order the
// combo boxes offer them; the combo fills rely on that order.
extern const std::array<WizardRow, kWizardRowCount> kWizardTable;

// Index of the first row with these three texts, or -1 when there is none or
// that row is not supported.
[[nodiscard]] int findWizardRow(const QString &numberOfDigits, const QString &uaValue, const QString &decimalPlaces);

// The row at index, or nullptr for -1 and other indices outside the table.
[[nodiscard]] const WizardRow *wizardRow(int index);

// Items of the wizard's combo boxes, the empty "nothing chosen" item first.
[[nodiscard]] QStringList numberOfDigitsItems(int language);
[[nodiscard]] QStringList directionItems(int language);
[[nodiscard]] QStringList uaItems(const QString &numberOfDigits);
[[nodiscard]] QStringList decimalPlacesItems(const QString &numberOfDigits, const QString &uaValue);

// Whether a device running softwareVersion can take a counter type that needs
// requiredFirmware. A V1.11 type needs exactly V1.11: later firmware counts
// nine digits.
[[nodiscard]] bool firmwareFits(quint16 requiredFirmware, quint16 softwareVersion);

// The firmware image the wizard offers for a counter type.
[[nodiscard]] QString firmwareFileName(quint16 requiredFirmware);
// What the flash question pleads for: the firmware that image holds.
[[nodiscard]] MessageId firmwareFlashPlea(quint16 requiredFirmware);

// The digits after the comma that the wizard frames in red: how many, and
// whether the entry puts one more digit to the right of the comma's usual
// place. None for rows without such digits.
struct CounterFrame
{
    int fractionDigits = 0;
    bool shifted = false;
};
[[nodiscard]] std::optional<CounterFrame> counterFrame(const WizardRow &row);

// The wizard's counter entry for a row, prefilled from the settings counter.
struct WizardEntry
{
    int integerDigits = 0; // 0: the row gives no entry
    int maxLength = 0;
    QString text;
    bool showFactor = false;     // "x10" beside the entry
    bool graduationMark = false; // the technician is told the last digit is a graduation mark
    std::optional<CounterFrame> frame;
};
[[nodiscard]] WizardEntry prepareWizardEntry(const WizardRow &row, const QString &counterText);

// The three red lines of a frame, in the wizard page's pixels.
struct CounterFrameLines
{
    QRect above, below, vertical;
};
// On the page's fixed grid, which fits only a font whose digits are 14 pixels wide.
[[nodiscard]] CounterFrameLines counterFrameLinesAtGrid(const CounterFrame &frame);
// Around digits that end at textRightPx and are fractionWidthPx wide as the
// entry's font draws them: Arial's bold digits at 20 pixels are 11 wide, not the grid's 14.
[[nodiscard]] CounterFrameLines counterFrameLinesAround(int textRightPx, int fractionWidthPx);

// A row's symbol; Form leaves the check mark the form draws, which the
// direction row always keeps.
enum class WizardSymbol { Form, Next, Done, Failed };

struct WizardChoiceView
{
    QStringList items;
    int current = 0;
    bool enabled = true;
};

// Everything the wizard tab shows. wizardView(step) fills what the step (1 to
// 7) alone decides: the five choice rows (digits, Ua, decimal places,
// firmware, direction) up to the step, the check marks on the rows done and
// the arrow on the one waiting, the counter row and Program from step 6. The
// wizard flow adds the rest.
struct WizardView
{
    int choiceRowsShown = 0;
    std::array<WizardSymbol, 6> symbols{}; // the five choice rows, then the counter row
    bool counterRow = false;               // its symbol, caption and entry, and Program
    std::array<WizardChoiceView, 4> choices; // digits, Ua, decimal places, direction
    QString firmware;
    WizardEntry entry;
    int entryPrefill = 0; // changes each time the entry is to be filled anew from `entry`
    bool entryEnabled = true;
};
[[nodiscard]] WizardView wizardView(int step);

// What programming writes for a significance exponent.
struct WizardSignificance
{
    int significanceIndex = 3;
    int decimals = 0; // digits after the comma of the settings counter
    quint8 leadingPlus = 1;
};
[[nodiscard]] WizardSignificance wizardSignificance(int significanceExponent);

// Index of the parameter table's direction combo for the wizard's direction
// choice, -1 when nothing is chosen.
[[nodiscard]] int tableDirectionIndex(int wizardDirectionIndex);

// The wizard entry as the settings counter: commas removed, then a comma
// before the last `decimals` digits.
[[nodiscard]] QString wizardCounterTransfer(const QString &entryText, int decimals);

// Counters without a Ua value ("---") count to the right only: the wizard's
// direction is fixed to this index of its direction combo, and no other
// choice reaches the device.
constexpr int kWizardDirectionRight = 1;
[[nodiscard]] bool wizardDirectionFixed(const QString &uaValue);

// What programming sends: the table's record with the row's significance and
// leading plus and the chosen direction, and the wizard entry as the
// settings counter, cut to the counter's length for that significance.
struct WizardProgram
{
    ParameterRecord record{};
    QString counterText;
    QByteArray counterDigits; // as "S_ZLW" sends them; empty when the entry holds none
};
// row may be nullptr (nothing chosen): the significance of exponent 0 is written.
[[nodiscard]] WizardProgram wizardProgram(const ParameterRecord &table, const WizardRow *row,
                                          int wizardDirectionIndex, const QString &entryText);

} // namespace tavik7
