#include "documents/TextDecoder.h"

#include "platform/core/Utf8.h"

#include <QLibrary>
#include <QtEndian>

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

#include <algorithm>
#include <memory>

#include <uchardet/uchardet.h>

using namespace Qt::StringLiterals;

namespace {

// freedesktop's detector, loaded when a file is first read rather than with
// the program: starting up and showing the locked window need none of it.
struct Uchardet {
    decltype(&uchardet_new) create = nullptr;
    decltype(&uchardet_delete) destroy = nullptr;
    decltype(&uchardet_handle_data) handleData = nullptr;
    decltype(&uchardet_data_end) dataEnd = nullptr;
    decltype(&uchardet_get_charset) charset = nullptr;

    // Null when the library is not installed.
    static const Uchardet *get()
    {
        static const std::optional<Uchardet> loaded = []() -> std::optional<Uchardet> {
            QLibrary library(u"uchardet"_s, 0);
            if (!library.load())
                return std::nullopt;
            const auto resolve = [&library]<typename F>(F &function, const char *name) {
                function = reinterpret_cast<F>(library.resolve(name));
                return function != nullptr;
            };
            Uchardet api;
            if (!resolve(api.create, "uchardet_new") || !resolve(api.destroy, "uchardet_delete")
                || !resolve(api.handleData, "uchardet_handle_data") || !resolve(api.dataEnd, "uchardet_data_end")
                || !resolve(api.charset, "uchardet_get_charset"))
                return std::nullopt;
            return api;
        }();
        return loaded ? &*loaded : nullptr;
    }
};

std::optional<QString> decodeUtf16(QByteArrayView bytes, bool bigEndian)
{
    // Qt's decoder would quietly put in replacement characters for an odd
    // byte or a lone surrogate.
    if (bytes.size() % 2 != 0)
        return std::nullopt;
    QString text;
    text.reserve(bytes.size() / 2);
    bool afterHighSurrogate = false;
    for (qsizetype i = 0; i < bytes.size(); i += 2) {
        const char16_t unit = bigEndian ? qFromBigEndian<char16_t>(bytes.data() + i)
                                        : qFromLittleEndian<char16_t>(bytes.data() + i);
        if (afterHighSurrogate != QChar::isLowSurrogate(unit))
            return std::nullopt;
        afterHighSurrogate = QChar::isHighSurrogate(unit);
        text.append(QChar(unit));
    }
    if (afterHighSurrogate)
        return std::nullopt;
    return text;
}

std::optional<QString> decodeWithIcu(QByteArrayView bytes, const char *converterName)
{
    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<UConverter, decltype(&ucnv_close)> converter(ucnv_open(converterName, &status),
                                                                       &ucnv_close);
    if (U_FAILURE(status))
        return std::nullopt;
    ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    // None of these encodings takes fewer bytes than UTF-16 code units.
    QString text(bytes.size() + 1, Qt::Uninitialized);
    const int32_t length = ucnv_toUChars(converter.get(), reinterpret_cast<UChar *>(text.data()),
                                         int32_t(text.size()), bytes.data(), int32_t(bytes.size()), &status);
    if (U_FAILURE(status) || status == U_STRING_NOT_TERMINATED_WARNING)
        return std::nullopt;
    text.truncate(length);
    return text;
}

// Whether a decoded text could be something a person wrote: no control
// characters besides line ends, tabs and form feeds, no private-use code
// points. Bytes in the wrong legacy encoding nearly always break this.
bool looksWritten(const QString &text)
{
    return std::none_of(text.cbegin(), text.cend(), [](QChar c) {
        const char16_t u = c.unicode();
        return (u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r' && u != u'\f') || (u >= 0x7F && u < 0xA0)
            || (u >= 0xE000 && u <= 0xF8FF) || u == 0xFFFD;
    });
}

// Code units of Japanese prose: ASCII, Latin-1 signs, Greek and Cyrillic
// (both in JIS X 0208), punctuation, arrows, maths, box drawing, shapes,
// circled numbers, CJK symbols, kana, kanji (with the compatibility forms
// such as 﨑) and full- and half-width forms.
bool japaneseUnit(char16_t u)
{
    return (u >= 0x20 && u < 0x7F) || u == u'\t' || u == u'\n' || u == u'\r' || (u >= 0xA0 && u <= 0xFF)
        || (u >= 0x391 && u <= 0x451) || (u >= 0x2010 && u <= 0x2312) || (u >= 0x2460 && u <= 0x25FF)
        || (u >= 0x2600 && u <= 0x266F) || (u >= 0x3000 && u <= 0x30FF) || (u >= 0x3200 && u <= 0x33FF)
        || (u >= 0x4E00 && u <= 0x9FFF) || (u >= 0xF900 && u <= 0xFAFF) || (u >= 0xFF01 && u <= 0xFFEF);
}

bool allJapanese(const std::optional<QString> &text)
{
    return text && std::all_of(text->cbegin(), text->cend(), [](QChar c) { return japaneseUnit(c.unicode()); });
}

// UTF-16 without a byte-order mark: taken only when one byte order gives
// Japanese text throughout and the other does not.
std::optional<TextDecoder::Decoded> utf16WithoutMark(QByteArrayView bytes)
{
    if (bytes.size() < 2 || bytes.size() % 2 != 0)
        return std::nullopt;
    std::optional<QString> little = decodeUtf16(bytes, false);
    std::optional<QString> big = decodeUtf16(bytes, true);
    const bool littleFits = allJapanese(little), bigFits = allJapanese(big);
    if (littleFits == bigFits)
        return std::nullopt;
    if (littleFits)
        return TextDecoder::Decoded{TextDecoder::Encoding::Utf16LE, std::move(*little)};
    return TextDecoder::Decoded{TextDecoder::Encoding::Utf16BE, std::move(*big)};
}

std::optional<QString> legacyText(QByteArrayView bytes, TextDecoder::Encoding encoding)
{
    std::optional<QString> text = TextDecoder::decodeStrictly(bytes, encoding);
    if (text && !looksWritten(*text))
        return std::nullopt;
    return text;
}

// Whether most bytes above ASCII form valid UTF-8 sequences.
bool mostlyUtf8(QByteArrayView bytes)
{
    qsizetype high = 0, inSequences = 0;
    for (qsizetype i = 0; i < bytes.size();) {
        const uchar lead = uchar(bytes[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        const qsizetype length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xF0 && lead <= 0xF4                 ? 4
                                                                               : 1;
        bool valid = length > 1 && i + length <= bytes.size();
        for (qsizetype k = 1; valid && k < length; ++k)
            valid = (uchar(bytes[i + k]) & 0xC0) == 0x80;
        const qsizetype step = valid ? length : 1;
        high += step;
        inSequences += valid ? step : 0;
        i += step;
    }
    return high > 0 && inSequences * 10 >= high * 8;
}

// The side of the byte pairs (0: first, 1: second) on which zero bytes sit,
// when they sit on one side only, in at least a quarter of the pairs and
// more than once: ASCII written as UTF-16. -1 otherwise.
int zerosInPairs(QByteArrayView bytes)
{
    qsizetype zeros[2] = {0, 0};
    for (qsizetype i = 0; i < bytes.size(); ++i)
        zeros[i % 2] += bytes[i] == '\0' ? 1 : 0;
    const int side = zeros[1] > zeros[0] ? 1 : 0;
    return bytes.size() % 2 == 0 && zeros[1 - side] == 0 && zeros[side] >= 2 && zeros[side] * 8 >= bytes.size() ? side : -1;
}

// At least half kana and Japanese punctuation: in UTF-16 every second byte
// of these is '0', a pattern no UTF-8 text has.
bool mostlyKana(const QString &text)
{
    return std::count_if(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() >= 0x3000 && c.unicode() <= 0x30FF; }) * 2
        >= text.size();
}

bool hasKana(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() >= 0x3041 && c.unicode() <= 0x30FA; });
}

} // namespace

std::optional<TextDecoder::Decoded> TextDecoder::decode(QByteArrayView bytes, Detector detector)
{
    const auto decodeAs = [bytes](Encoding encoding, qsizetype markSize) -> std::optional<Decoded> {
        std::optional<QString> text = decodeStrictly(bytes.sliced(markSize), encoding);
        if (!text)
            return std::nullopt;
        return Decoded{encoding, std::move(*text)};
    };
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return decodeAs(Encoding::Utf8, 3);
    if (bytes.startsWith("\xFF\xFE"))
        return decodeAs(Encoding::Utf16LE, 2);
    if (bytes.startsWith("\xFE\xFF"))
        return decodeAs(Encoding::Utf16BE, 2);

    const bool sevenBit = std::all_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) < 0x80; });
    // 7-bit text passes as UTF-8, so an escape sequence alone decides; but
    // only when the whole file then decodes as ISO-2022-JP.
    if (sevenBit && bytes.contains('\x1B')) {
        std::optional<QString> text = decodeStrictly(bytes, Encoding::Iso2022Jp);
        if (text && looksWritten(*text))
            return Decoded{Encoding::Iso2022Jp, std::move(*text)};
    }
    // Valid UTF-8 is UTF-8, control characters and all, unless its pairs of
    // bytes plainly are UTF-16: zero bytes on one side of many pairs (ASCII),
    // or mostly kana, whose "、" and "。" read as control characters.
    const bool controls = std::any_of(bytes.begin(), bytes.end(), [](char c) {
        return uchar(c) < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\x1B';
    });
    if (const int zeroSide = zerosInPairs(bytes); zeroSide >= 0) {
        // The zero is the high byte of ASCII: second in little-endian pairs.
        const Encoding order = zeroSide == 1 ? Encoding::Utf16LE : Encoding::Utf16BE;
        if (std::optional<QString> text = decodeStrictly(bytes, order); text && looksWritten(*text))
            return Decoded{order, std::move(*text)};
    }
    std::optional<Decoded> utf16 = utf16WithoutMark(bytes);
    if (utf16 && controls && mostlyKana(utf16->text))
        return utf16;
    // First, so that what the save action writes always reads back as it was.
    if (std::optional<Decoded> utf8 = decodeAs(Encoding::Utf8, 0))
        return utf8;

    // UTF-8 with a cut or a stray byte is damaged, not another encoding.
    if (mostlyUtf8(bytes))
        return std::nullopt;
    std::optional<QString> shiftJis = legacyText(bytes, Encoding::ShiftJis);
    std::optional<QString> eucJp = legacyText(bytes, Encoding::EucJp);
    if (utf16 && !shiftJis && !eucJp)
        return utf16;
    // Shift_JIS kanji read as UTF-16 are kanji too: then the detector decides.
    const std::optional<Encoding> detected = detector ? detector(bytes) : std::nullopt;
    if (utf16 && detected == utf16->encoding)
        return utf16;
    if (detected == Encoding::ShiftJis && shiftJis)
        return Decoded{Encoding::ShiftJis, std::move(*shiftJis)};
    if (detected == Encoding::EucJp && eucJp)
        return Decoded{Encoding::EucJp, std::move(*eucJp)};
    // The detector may be unsure about short texts or rare characters; a
    // single reading that fits and has kana in it is still Japanese.
    if (!detected && !utf16 && shiftJis.has_value() != eucJp.has_value()) {
        std::optional<QString> &text = shiftJis ? shiftJis : eucJp;
        if (hasKana(*text))
            return Decoded{shiftJis ? Encoding::ShiftJis : Encoding::EucJp, std::move(*text)};
    }
    return std::nullopt;
}

std::optional<TextDecoder::Encoding> TextDecoder::detect(QByteArrayView bytes)
{
    const Uchardet *api = Uchardet::get();
    if (!api)
        return std::nullopt;
    const std::unique_ptr<std::remove_pointer_t<uchardet_t>, decltype(&uchardet_delete)> detector(api->create(),
                                                                                                  api->destroy);
    if (!detector || api->handleData(detector.get(), bytes.data(), size_t(bytes.size())) != 0)
        return std::nullopt;
    api->dataEnd(detector.get());
    const QByteArrayView charset(api->charset(detector.get()));
    if (charset == "SHIFT_JIS")
        return Encoding::ShiftJis;
    if (charset == "EUC-JP")
        return Encoding::EucJp;
    if (charset == "ISO-2022-JP")
        return Encoding::Iso2022Jp;
    if (charset == "UTF-16LE")
        return Encoding::Utf16LE;
    if (charset == "UTF-16BE")
        return Encoding::Utf16BE;
    return std::nullopt;
}

std::optional<QString> TextDecoder::decodeStrictly(QByteArrayView bytes, Encoding encoding)
{
    switch (encoding) {
    case Encoding::Utf8: return Utf8::decode(bytes, Utf8::InitialBom::Keep);
    case Encoding::Utf16LE: return decodeUtf16(bytes, false);
    case Encoding::Utf16BE: return decodeUtf16(bytes, true);
    // The Windows form of Shift_JIS, with the NEC and IBM extensions.
    case Encoding::ShiftJis: return decodeWithIcu(bytes, "ibm-943_P15A-2003");
    case Encoding::EucJp: return decodeWithIcu(bytes, "EUC-JP");
    case Encoding::Iso2022Jp: return decodeWithIcu(bytes, "ISO-2022-JP");
    }
    return std::nullopt;
}

QString TextDecoder::name(Encoding encoding)
{
    switch (encoding) {
    case Encoding::Utf8: return u"UTF-8"_s;
    case Encoding::Utf16LE: return u"UTF-16LE"_s;
    case Encoding::Utf16BE: return u"UTF-16BE"_s;
    case Encoding::ShiftJis: return u"Shift_JIS"_s;
    case Encoding::EucJp: return u"EUC-JP"_s;
    case Encoding::Iso2022Jp: return u"ISO-2022-JP"_s;
    }
    return {};
}
