#include "platform/ml/TextTokenizer.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

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
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isSpace() || c.isNull())
            continue;
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            out.append(text.mid(i, 2));
            ++i;
        } else if (!c.isPunct()) {
            out.append(QString(c));
        }
    }
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

QStringList TextTokenizer::tokens(const QString &text) const
{
    // Full-width letters and digits, half-width kana and letter case should not
    // make different words of the same thing.
    const QString normalized = text.normalized(QString::NormalizationForm_KC).toLower();
    QStringList out;
    icu::BreakIterator *breaker = m_scheme == Scheme::Words ? wordBreaker() : nullptr;
    if (!breaker) {
        appendCharacters(normalized, out);
    } else {
        const icu::UnicodeString ustr(false, reinterpret_cast<const UChar *>(normalized.utf16()),
                                      int32_t(normalized.size()));
        breaker->setText(ustr);
        for (int32_t start = breaker->first(), end = breaker->next(); end != icu::BreakIterator::DONE;
             start = end, end = breaker->next()) {
            // Spaces and punctuation carry no topic.
            if (breaker->getRuleStatus() == UBRK_WORD_NONE)
                continue;
            QString word = normalized.mid(start, end - start);
            word.removeIf([](QChar c) { return c.isSpace() || c.isNull(); });
            if (!word.isEmpty())
                out.append(word);
        }
        breaker->setText(icu::UnicodeString());
    }
    for (QString &t : out)
        t = defused(t);
    out.removeAll(QString());
    return out;
}

std::string TextTokenizer::line(const QString &text) const
{
    return tokens(text).join(u' ').toStdString();
}
