#pragma once

#include <QString>
#include <QStringList>

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

    [[nodiscard]] Scheme scheme() const { return m_scheme; }
    [[nodiscard]] QStringList tokens(const QString &text) const;
    // The tokens joined by single spaces, UTF-8, without a line end.
    [[nodiscard]] std::string line(const QString &text) const;

private:
    Scheme m_scheme;
};
