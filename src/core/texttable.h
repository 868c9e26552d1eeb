#pragma once

#include <QString>

namespace tavik7 {

enum Language { German = 0, English = 1 };

constexpr int kTextCount = 249;
constexpr int kFirstMessageTextId = 132;
constexpr int kMessageCount = kTextCount - kFirstMessageTextId; // 117
constexpr int kFirstBilingualTextId = 124;
constexpr int kBilingualLabelCount = 15;

// The entries the program asks for by name rather than from a form or a field.
enum TextId : int {
    LoadSettingsCaption = 120,
    SaveSettingsCaption = 121,
    SaveReportCaption = 122,
    SelectFileCaption = 123,
};

// One entry of the text table: German first, English second, both Latin-1
// bytes, NUL-terminated. The English slot of the last bilingual entry is null.
struct TextPair
{
    const char *german;
    const char *english;
};

extern const TextPair kTextTable[kTextCount];

// Raw Latin-1 bytes of an entry, or nullptr for an id out of range or the null slot.
[[nodiscard]] const char *rawText(int textId, int language);

// The entry converted from Latin-1; empty for an id out of range.
[[nodiscard]] QString text(int textId, int language);

// MessageId m is TextId 132 + m.
[[nodiscard]] QString messageText(int messageId, int language);

// The labels of parameter field f (ParameterFieldId): its table row's name
// in the interface language, and its "German/English" name, which the
// settings file, the change history and the report print whatever the
// language. Empty for a number that is no field.
[[nodiscard]] QString fieldLabel(int field, int language);
[[nodiscard]] QString bilingualFieldLabel(int field);

// Label k (0..14) of the fixed "German/English" labels, which the entries 124..131
// hold slot after slot rather than as language pairs.
[[nodiscard]] QString bilingualLabel(int k);

} // namespace tavik7
