#pragma once

#include <QList>
#include <QString>

// Three-way merge of plain text: two versions made from one base, each with
// its own edits, become one text holding both sides' edits. Where both sides
// changed the same span, neither is dropped: the other side's text comes
// first and this side's follows it.
class TextMerge {
public:
    // Replace [start, end) of the base with text.
    struct Edit {
        qsizetype start = 0;
        qsizetype end = 0;
        QString text;
        bool operator==(const Edit &) const = default;
    };

    // The edits that turn from into to, in order, none overlapping. Exact up
    // to a budget of changed characters; beyond it, one edit spans them all.
    [[nodiscard]] static QList<Edit> difference(QStringView from, QStringView to);

    // base with the edits of mine and of theirs (both made from base).
    [[nodiscard]] static QString merge(QStringView base, QStringView mine, QStringView theirs);
};
