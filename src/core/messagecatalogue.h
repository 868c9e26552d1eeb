#pragma once

#include <QString>
#include <QStringList>

#include "messageid.h"

namespace tavik7 {

// The text of a console message or note in a language, with its placeholders
// %1.. still in it. Messages come from the text table; the notes from
// MessageId::NoteFirst on have their own texts. Empty for an unknown id.
[[nodiscard]] QString catalogueText(MessageId id, int language);

// The text with %1..%9 replaced by the arguments in one pass, so that an
// argument holding "%2" (a path may) is never replaced itself. A placeholder
// without its argument stays as it is.
[[nodiscard]] QString renderMessage(MessageId id, const QStringList &arguments, int language);

} // namespace tavik7
