#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

// Strict UTF-8: text is taken only when every byte belongs to a whole, valid
// sequence, so no replacement character can slip into what is read.
namespace Utf8 {

enum class InitialBom {
    Drop, // a byte-order mark at the start is not part of the text
    Keep, // it is kept as U+FEFF, for callers that handle the mark themselves
};

// The text of bytes, or nothing at any invalid sequence (an overlong form, a
// surrogate, a stray continuation byte) or one cut off at the end.
[[nodiscard]] std::optional<QString> decode(QByteArrayView bytes, InitialBom bom = InitialBom::Drop);

} // namespace Utf8
