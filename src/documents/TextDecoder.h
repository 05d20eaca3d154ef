#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

// Turns the bytes of a text file into text without being told their
// encoding. Covers what Japanese users' files come in: UTF-8 (with or without
// a byte-order mark), UTF-16 in either byte order, Shift_JIS with the Windows
// extensions, EUC-JP and ISO-2022-JP. Every candidate is decoded strictly:
// one invalid or unmapped sequence rules it out, and when the bytes fit no
// candidate with certainty nothing is returned rather than a guess.
class TextDecoder {
public:
    enum class Encoding { Utf8, Utf16LE, Utf16BE, ShiftJis, EucJp, Iso2022Jp };

    struct Decoded {
        Encoding encoding;
        QString text;
    };

    // Names the legacy encoding of bytes that are neither UTF-8 nor UTF-16,
    // or nothing when it cannot tell.
    using Detector = std::optional<Encoding> (*)(QByteArrayView bytes);

    // The text of bytes, byte-order mark removed; nothing when they are not
    // text in one of the encodings above.
    [[nodiscard]] static std::optional<Decoded> decode(QByteArrayView bytes, Detector detector = &detect);

    // The statistical detector the decoder relies on.
    [[nodiscard]] static std::optional<Encoding> detect(QByteArrayView bytes);

    // bytes in encoding (no byte-order mark), or nothing at the first invalid
    // or unmapped sequence, or at a sequence cut off at the end.
    [[nodiscard]] static std::optional<QString> decodeStrictly(QByteArrayView bytes, Encoding encoding);

    [[nodiscard]] static QString name(Encoding encoding);
};
