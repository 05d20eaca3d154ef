#include "platform/ml/TextTokenizer.h"

#include <QStringList>

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Break iterators are not thread-safe and costly to create: one per thread.
icu::BreakIterator *wordBreaker()
{
    thread_local const std::unique_ptr<icu::BreakIterator> breaker = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> b(icu::BreakIterator::createWordInstance(icu::Locale::getJapanese(), status));
        if (U_FAILURE(status))
            b.reset();
        return b;
    }();
    return breaker.get();
}

icu::UnicodeString aliased(const QString &text)
{
    return icu::UnicodeString(false, reinterpret_cast<const UChar *>(text.utf16()), int32_t(text.size()));
}

QString fromIcu(const icu::UnicodeString &text)
{
    return QString(reinterpret_cast<const QChar *>(text.getBuffer()), text.length());
}

bool isEmoji(char32_t c)
{
    return u_hasBinaryProperty(UChar32(c), UCHAR_EXTENDED_PICTOGRAPHIC)
        || u_hasBinaryProperty(UChar32(c), UCHAR_REGIONAL_INDICATOR);
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Drops emoji variation selectors and skin tones, which make no other emoji
// of the same picture, and folds every number to "0": a time, a date or a
// size says nothing about the topic, only that a number is there.
QString simplified(const QString &text)
{
    static const QString separators = u".,:/"_s;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        const char16_t c = text.at(i).unicode();
        const char16_t next = i + 1 < text.size() ? text.at(i + 1).unicode() : 0;
        if (c == 0xFE0E || c == 0xFE0F) {
            ++i;
        } else if (c == 0xD83C && next >= 0xDFFB && next <= 0xDFFF) { // U+1F3FB..U+1F3FF
            i += 2;
        } else if (!isDigit(text.at(i))) {
            out.append(text.at(i++));
        } else {
            while (i < text.size()
                   && (isDigit(text.at(i))
                       || (separators.contains(text.at(i)) && i + 1 < text.size() && isDigit(text.at(i + 1)))))
                ++i;
            out.append(u'0');
        }
    }
    return out;
}

// fastText reads "__label__..." in its input as a label, never as a word; a note
// must not be able to smuggle one in.
QString defused(QString token)
{
    static const QString prefix = u"__label__"_s;
    while (token.startsWith(prefix))
        token.remove(0, 2);
    return token;
}

void appendCharacters(const QString &text, QStringList &out)
{
    for (qsizetype i = 0; i < text.size();) {
        const char32_t c = text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()
            ? QChar::surrogateToUcs4(text.at(i), text.at(i + 1))
            : text.at(i).unicode();
        const qsizetype length = c > 0xFFFF ? 2 : 1;
        const auto category = QChar::category(c);
        if (!QChar::isSpace(c) && !QChar::isPunct(c) && category != QChar::Other_Format
            && category != QChar::Other_Control)
            out.append(text.mid(i, length));
        i += length;
    }
}

void appendWords(const QString &text, icu::BreakIterator &breaker, QStringList &out)
{
    const icu::UnicodeString ustr = aliased(text);
    breaker.setText(ustr);
    for (int32_t start = breaker.first(), end = breaker.next(); end != icu::BreakIterator::DONE;
         start = end, end = breaker.next()) {
        QString word = text.mid(start, end - start);
        // Spaces and punctuation carry no topic; emoji, which the word rules
        // count with them, do.
        if (breaker.getRuleStatus() == UBRK_WORD_NONE) {
            const auto codePoints = word.toUcs4();
            if (std::none_of(codePoints.cbegin(), codePoints.cend(), isEmoji))
                continue;
        }
        word.removeIf([](QChar c) { return c.isSpace() || c.isNull(); });
        if (!word.isEmpty())
            out.append(word);
    }
    breaker.setText(icu::UnicodeString());
}

QString normalized(const QString &text)
{
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2 *nfkc = icu::Normalizer2::getNFKCInstance(status);
    icu::UnicodeString composed;
    if (U_SUCCESS(status))
        composed = nfkc->normalize(aliased(text), status);
    // ICU's tables are built in; Qt's own NFKC is the same form should they fail.
    QString out = U_SUCCESS(status) ? fromIcu(composed) : text.normalized(QString::NormalizationForm_KC);
    return simplified(out.toLower());
}

} // namespace

QString TextTokenizer::schemeName(Scheme scheme)
{
    return scheme == Scheme::Words ? u"words"_s : u"characters"_s;
}

std::optional<TextTokenizer::Scheme> TextTokenizer::schemeFromName(const QString &name)
{
    if (name == u"words"_s)
        return Scheme::Words;
    if (name == u"characters"_s)
        return Scheme::Characters;
    return std::nullopt;
}

std::string TextTokenizer::line(const QString &text) const
{
    const QString normal = normalized(text);
    QStringList out;
    icu::BreakIterator *breaker = m_scheme == Scheme::Words ? wordBreaker() : nullptr;
    if (breaker)
        appendWords(normal, *breaker, out);
    else
        appendCharacters(normal, out);
    for (QString &t : out)
        t = defused(t);
    out.removeAll(QString());
    return out.join(u' ').toStdString();
}
