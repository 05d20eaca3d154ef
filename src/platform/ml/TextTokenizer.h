#pragma once

#include <QString>

#include <optional>
#include <string>

// Turns a note into the space-separated tokens the fastText classifier reads.
// Training and prediction both go through here, so the two never disagree.
class TextTokenizer {
public:
    enum class Scheme {
        Words,      // ICU word segmentation (locale ja)
        Characters, // every non-space character on its own
    };

    explicit TextTokenizer(Scheme scheme = Scheme::Words) : m_scheme(scheme) {}

    static QString schemeName(Scheme scheme);
    static std::optional<Scheme> schemeFromName(const QString &name);

    // The tokens of text joined by single spaces, UTF-8, without a line end.
    // Both schemes split the same normal form: NFKC (half-width kana to
    // full-width, full-width letters and digits to ASCII), lower case, every
    // number (a run of digits, with separators such as 12:30, 3.5 or 2024/5/1)
    // folded to "0", and emoji without presentation selectors or skin tones.
    [[nodiscard]] std::string line(const QString &text) const;

private:
    Scheme m_scheme;
};
