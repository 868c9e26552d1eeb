#pragma once

// Field-by-field comparison of parameter records (the struct has padding, so
// memcmp would compare bytes nobody writes).

#include "parameterfields.h"

#include <cstring>

namespace fuzz {

inline bool sameRecord(const tavik7::ParameterRecord &a, const tavik7::ParameterRecord &b)
{
    using namespace tavik7;
    for (int field = 0; field < kParameterFieldCount; ++field) {
        const ParameterField &f = kParameterFields[field];
        const bool same = f.kind == FieldKind::Text
            ? std::memcmp(textFieldData(a, field), textFieldData(b, field), size_t(f.width)) == 0
            : fieldNumber(a, field) == fieldNumber(b, field);
        if (!same)
            return false;
    }
    return true;
}

// Every byte of the record set to pattern: a field that a reader leaves alone
// keeps it, one it writes (almost) never ends up holding it by chance.
inline tavik7::ParameterRecord patternRecord(unsigned char pattern)
{
    tavik7::ParameterRecord r;
    std::memset(&r, pattern, sizeof r);
    return r;
}

} // namespace fuzz
