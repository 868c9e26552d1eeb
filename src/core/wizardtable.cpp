#include "wizardtable.h"

#include "countertext.h"

#include "texttable.h"

namespace tavik7 {

namespace {

constexpr WizardRow unsupported(const char *digits, const char *ua, const char *places)
{
    return {digits, ua, places, 0, 0, 0, 0};
}

constexpr int kDigitsItemTextId = 82;   // "", "8", "9"
constexpr int kDirectionItemTextId = 79; // "", right, left

} // namespace

const std::array<WizardRow, kWizardRowCount> kWizardTable = {{
    // 8 digits, Ua "---"
    /* 0 */ unsupported("8", "---", "3"),
    /* 1 */ {"8", "---", "2", 2, 111, -2, 0},
    /* 2 */ {"8", "---", "1", 1, 111, -1, 0},
    /* 3 */ {"8", "---", "0", 0, 111, 0, 0},
    /* 4 */ {"8", "---", "x10", 0, 111, 1, 0},
    // 8 digits, Ua 0.01
    /* 5 */ unsupported("8", "0.01", "3"),
    /* 6 */ {"8", "0.01", "2", 3, 112, -3, 1},
    /* 7 */ unsupported("8", "0.01", "1"),
    /* 8 */ unsupported("8", "0.01", "0"),
    /* 9 */ unsupported("8", "0.01", "x10"),
    // 8 digits, Ua 0.1
    /* 10 */ unsupported("8", "0.1", "3"),
    /* 11 */ {"8", "0.1", "2", 2, 111, -2, 0},
    /* 12 */ {"8", "0.1", "1", 2, 112, -2, 1},
    /* 13 */ unsupported("8", "0.1", "0"),
    /* 14 */ unsupported("8", "0.1", "x10"),
    // 8 digits, Ua 1
    /* 15 */ unsupported("8", "1", "3"),
    /* 16 */ unsupported("8", "1", "2"),
    /* 17 */ {"8", "1", "1", 1, 111, -1, 0},
    /* 18 */ {"8", "1", "0", 1, 112, -1, 1},
    /* 19 */ unsupported("8", "1", "x10"),
    // 8 digits, Ua 10
    /* 20 */ unsupported("8", "10", "3"),
    /* 21 */ unsupported("8", "10", "2"),
    /* 22 */ unsupported("8", "10", "1"),
    /* 23 */ {"8", "10", "0", 0, 111, 0, 0},
    /* 24 */ {"8", "10", "x10", 1, 112, 0, 1},
    // 8 digits, Ua 100
    /* 25 */ unsupported("8", "100", "3"),
    /* 26 */ unsupported("8", "100", "2"),
    /* 27 */ unsupported("8", "100", "1"),
    /* 28 */ unsupported("8", "100", "0"),
    /* 29 */ {"8", "100", "x10", 0, 111, 1, 0},
    // 9 digits, Ua 0.01
    /* 30 */ {"9", "0.01", "3", 3, 112, -3, 0},
    /* 31 */ unsupported("9", "0.01", "2"),
    /* 32 */ unsupported("9", "0.01", "1"),
    /* 33 */ unsupported("9", "0.01", "0"),
    /* 34 */ unsupported("9", "0.01", "x10"),
    // 9 digits, Ua 0.1
    /* 35 */ unsupported("9", "0.1", "3"),
    /* 36 */ {"9", "0.1", "2", 2, 112, -2, 0},
    /* 37 */ unsupported("9", "0.1", "1"),
    /* 38 */ unsupported("9", "0.1", "0"),
    /* 39 */ unsupported("9", "0.1", "x10"),
    // 9 digits, Ua 1
    /* 40 */ unsupported("9", "1", "3"),
    /* 41 */ unsupported("9", "1", "2"),
    /* 42 */ {"9", "1", "1", 1, 112, -1, 0},
    /* 43 */ unsupported("9", "1", "0"),
    /* 44 */ unsupported("9", "1", "x10"),
    // 9 digits, Ua 10
    /* 45 */ unsupported("9", "10", "3"),
    /* 46 */ unsupported("9", "10", "2"),
    /* 47 */ unsupported("9", "10", "1"),
    /* 48 */ {"9", "10", "0", 0, 112, 0, 0},
    /* 49 */ unsupported("9", "10", "x10"),
    // 9 digits, Ua 100
    /* 50 */ unsupported("9", "100", "3"),
    /* 51 */ unsupported("9", "100", "2"),
    /* 52 */ unsupported("9", "100", "1"),
    /* 53 */ unsupported("9", "100", "0"),
    /* 54 */ {"9", "100", "x10", 0, 112, 1, 0},
}};

int findWizardRow(const QString &numberOfDigits, const QString &uaValue, const QString &decimalPlaces)
{
    for (int i = 0; i < kWizardRowCount; ++i) {
        const WizardRow &row = kWizardTable[i];
        if (numberOfDigits == QLatin1String(row.numberOfDigits) && uaValue == QLatin1String(row.uaValue)
            && decimalPlaces == QLatin1String(row.decimalPlaces))
            return row.supported() ? i : -1;
    }
    return -1;
}

const WizardRow *wizardRow(int index)
{
    if (index < 0 || index >= kWizardRowCount)
        return nullptr;
    return &kWizardTable[index];
}

QStringList numberOfDigitsItems(int language)
{
    return {text(kDigitsItemTextId, language), text(kDigitsItemTextId + 1, language),
            text(kDigitsItemTextId + 2, language)};
}

QStringList directionItems(int language)
{
    return {text(kDirectionItemTextId, language), text(kDirectionItemTextId + 1, language),
            text(kDirectionItemTextId + 2, language)};
}

QStringList uaItems(const QString &numberOfDigits)
{
    QStringList items{QString()};
    for (const WizardRow &row : kWizardTable) {
        if (!row.supported() || numberOfDigits != QLatin1String(row.numberOfDigits))
            continue;
        const QString ua = QString::fromLatin1(row.uaValue);
        if (!items.contains(ua))
            items.append(ua);
    }
    return items;
}

QStringList decimalPlacesItems(const QString &numberOfDigits, const QString &uaValue)
{
    QStringList items{QString()};
    for (const WizardRow &row : kWizardTable) {
        if (row.supported() && numberOfDigits == QLatin1String(row.numberOfDigits)
            && uaValue == QLatin1String(row.uaValue))
            items.append(QString::fromLatin1(row.decimalPlaces));
    }
    return items;
}

bool firmwareFits(quint16 requiredFirmware, quint16 softwareVersion)
{
    if (requiredFirmware == kFirmwareV111)
        return softwareVersion == kFirmwareV111;
    if (requiredFirmware == kFirmwareV112)
        return softwareVersion >= kFirmwareV112;
    return false;
}

QString firmwareFileName(quint16 requiredFirmware)
{
    return requiredFirmware == kFirmwareV111 ? QStringLiteral("tavik_v1_11.hex") : QStringLiteral("tavik_v1_12.hex");
}

MessageId firmwareFlashPlea(quint16 requiredFirmware)
{
    return requiredFirmware == kFirmwareV111 ? MessageId::PleaseFlashV111 : MessageId::PleaseFlashV112;
}

WizardEntry prepareWizardEntry(const WizardRow &row, const QString &counterText)
{
    WizardEntry entry;
    if (!row.supported())
        return entry;
    entry.showFactor = QLatin1String(row.decimalPlaces) == QLatin1String("x10");
    entry.graduationMark = row.graduationMarkDigit == 1;
    const int deviceDigits = row.requiredFirmware == kFirmwareV111 ? 8 : 9;
    entry.integerDigits = deviceDigits - int(row.fractionDigits);
    if (entry.integerDigits <= 0) {
        entry.integerDigits = 0;
        return entry;
    }
    entry.frame = counterFrame(row);

    QString digits = counterText;
    digits.remove(QLatin1Char(','));
    const int k = entry.integerDigits;
    const int fraction = int(row.fractionDigits);
    if (fraction == 0) {
        entry.maxLength = k;
        entry.text = digits.left(k);
    } else {
        entry.maxLength = k + fraction + 1;
        entry.text = digits.left(k) + QLatin1Char(',') + digits.mid(k, fraction);
    }
    return entry;
}

std::optional<CounterFrame> counterFrame(const WizardRow &row)
{
    const int fraction = int(row.fractionDigits);
    if (!row.supported() || fraction < 1 || fraction > 3)
        return std::nullopt;
    // "8", "1", "0": the one digit after the comma is a graduation mark, not a decimal.
    if (QLatin1String(row.numberOfDigits) == QLatin1String("8") && QLatin1String(row.uaValue) == QLatin1String("1")
        && QLatin1String(row.decimalPlaces) == QLatin1String("0"))
        return std::nullopt;
    // Eight-digit counters on nine-digit firmware, and graduation marks, put
    // one more digit to the right of the comma's usual place.
    const bool shifted = QLatin1String(row.numberOfDigits) != QLatin1String("8") || row.graduationMarkDigit != 0;
    return CounterFrame{fraction, shifted};
}

namespace {

// The entry's pixel grid: one digit of the bold 20 px font is about 14 px wide.
constexpr int kDigitWidthPx = 14;
constexpr int kFrameRightEdgePx = 618;
constexpr int kFrameAboveY = 319;
constexpr int kFrameBelowY = 343;
constexpr int kFrameLineHeightPx = 20;
constexpr int kFrameWidthPx[3] = {18, 31, 45}; // one, two and three digits after the comma
constexpr QRect kFrameVertical{601, 330, 30, 23};

} // namespace

CounterFrameLines counterFrameLinesAtGrid(const CounterFrame &frame)
{
    const int x0 = frame.shifted ? kDigitWidthPx : 0;
    const int width = kFrameWidthPx[qBound(1, frame.fractionDigits, 3) - 1];
    const int left = kFrameRightEdgePx - width + x0;
    return {QRect(left, kFrameAboveY, width, kFrameLineHeightPx), QRect(left, kFrameBelowY, width, kFrameLineHeightPx),
            kFrameVertical.translated(x0, 0)};
}

CounterFrameLines counterFrameLinesAround(int textRightPx, int fractionWidthPx)
{
    // A pixel of room before the digits (the comma's ink comes close), two after.
    const int right = textRightPx + 2;
    const int width = fractionWidthPx + 3;
    return {QRect(right - width, kFrameAboveY, width, kFrameLineHeightPx),
            QRect(right - width, kFrameBelowY, width, kFrameLineHeightPx),
            kFrameVertical.translated(right - kFrameRightEdgePx, 0)};
}

WizardSignificance wizardSignificance(int significanceExponent)
{
    switch (significanceExponent) {
    case -3: return {0, 3, 0};
    case -2: return {1, 2, 0};
    case -1: return {2, 1, 0};
    case 1: return {4, 0, 1};
    case 2: return {5, 0, 1};
    default: return {3, 0, 1};
    }
}

int tableDirectionIndex(int wizardDirectionIndex)
{
    switch (wizardDirectionIndex) {
    case 1: return 0; // right
    case 2: return 1; // left
    default: return -1;
    }
}

QString wizardCounterTransfer(const QString &entryText, int decimals)
{
    QString digits = entryText;
    digits.remove(QLatin1Char(','));
    if (decimals <= 0)
        return digits;
    const int integerDigits = qMax(0, int(digits.size()) - decimals);
    return digits.left(integerDigits) + QLatin1Char(',') + digits.mid(integerDigits);
}

bool wizardDirectionFixed(const QString &uaValue)
{
    return uaValue == QLatin1String("---");
}

WizardProgram wizardProgram(const ParameterRecord &table, const WizardRow *row, int wizardDirectionIndex,
                            const QString &entryText)
{
    WizardProgram program;
    program.record = table;
    const WizardSignificance written = wizardSignificance(row ? row->significanceExponent : 0);
    program.record.significance = qint8(written.significanceIndex);
    program.record.leadingPlus = written.leadingPlus;
    const int direction = tableDirectionIndex(row && wizardDirectionFixed(QLatin1String(row->uaValue)) ? kWizardDirectionRight
                                                                               : wizardDirectionIndex);
    if (direction >= 0)
        program.record.direction = qint8(direction);
    const int length = counterLength(program.record.significance, program.record.softwareVersion);
    program.counterText = wizardCounterTransfer(entryText, written.decimals).left(length);
    program.counterDigits = counterDigitsForDevice(program.counterText);
    return program;
}

WizardView wizardView(int step)
{
    WizardView view;
    view.choiceRowsShown = qMin(step, 5);
    for (int row = 0; row < qMin(step, 4); ++row)
        view.symbols[row] = row + 1 < step ? WizardSymbol::Done : WizardSymbol::Next;
    view.counterRow = step >= 6;
    view.symbols[5] = step >= 7 ? WizardSymbol::Done : WizardSymbol::Next;
    return view;
}

} // namespace tavik7
