#include "platform/core/TextMerge.h"

#include <algorithm>
#include <vector>

namespace {

// Beyond this many inserted and deleted characters the exact search costs
// more than it is worth; two such texts are merged as wholes.
constexpr qsizetype maxDistance = 2000;

using Edit = TextMerge::Edit;

// Myers' O(ND) difference of a and b (no common prefix or suffix assumed),
// as edits on a; offset is added to every position.
std::optional<QList<Edit>> myers(QStringView a, QStringView b, qsizetype offset)
{
    const qsizetype n = a.size(), m = b.size(), limit = std::min(n + m, maxDistance);
    std::vector<std::vector<qsizetype>> trace;
    std::vector<qsizetype> v(size_t(2 * limit + 3), 0);
    const auto at = [limit](qsizetype k) { return size_t(k + limit + 1); };
    for (qsizetype d = 0; d <= limit; ++d) {
        for (qsizetype k = -d; k <= d; k += 2) {
            qsizetype x = (k == -d || (k != d && v[at(k - 1)] < v[at(k + 1)])) ? v[at(k + 1)] : v[at(k - 1)] + 1;
            qsizetype y = x - k;
            while (x < n && y < m && a[x] == b[y])
                ++x, ++y;
            v[at(k)] = x;
            if (x < n || y < m)
                continue;
            trace.push_back(v);
            // Walk back through the saved fronts, one step per d.
            QList<Edit> edits;
            qsizetype cx = n, cy = m;
            for (qsizetype s = d; s > 0; --s) {
                const std::vector<qsizetype> &front = trace[size_t(s - 1)];
                const qsizetype ck = cx - cy;
                const bool down = ck == -s || (ck != s && front[at(ck - 1)] < front[at(ck + 1)]);
                const qsizetype pk = down ? ck + 1 : ck - 1, px = front[at(pk)], py = px - pk;
                while (cx > px + (down ? 0 : 1) && cy > py + (down ? 1 : 0))
                    --cx, --cy;
                // One character: inserted from b (down) or deleted from a.
                Edit step = down ? Edit{px, px, QString(b[py])} : Edit{px, px + 1, {}};
                if (!edits.isEmpty() && edits.front().start == step.end) {
                    edits.front().start = step.start;
                    edits.front().text.prepend(step.text);
                } else {
                    edits.prepend(step);
                }
                cx = px, cy = py;
            }
            for (Edit &edit : edits)
                edit.start += offset, edit.end += offset;
            return edits;
        }
        trace.push_back(v);
    }
    return std::nullopt;
}

QString applied(QStringView base, qsizetype from, qsizetype to, const QList<Edit> &edits)
{
    QString out;
    qsizetype pos = from;
    for (const Edit &edit : edits) {
        out += base.sliced(pos, edit.start - pos);
        out += edit.text;
        pos = edit.end;
    }
    out += base.sliced(pos, to - pos);
    return out;
}

// Whether edit touches the span [start, end): overlaps it, or both start at
// one place (two insertions there). Edits that merely meet do not.
bool clashes(const Edit &edit, qsizetype start, qsizetype end)
{
    return (edit.start < end && start < edit.end) || edit.start == start;
}

} // namespace

QList<Edit> TextMerge::difference(QStringView from, QStringView to)
{
    qsizetype prefix = 0;
    while (prefix < from.size() && prefix < to.size() && from[prefix] == to[prefix])
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < from.size() - prefix && suffix < to.size() - prefix
           && from[from.size() - 1 - suffix] == to[to.size() - 1 - suffix])
        ++suffix;
    const QStringView a = from.sliced(prefix, from.size() - prefix - suffix);
    const QStringView b = to.sliced(prefix, to.size() - prefix - suffix);
    if (a.isEmpty() && b.isEmpty())
        return {};
    if (a.isEmpty() || b.isEmpty())
        return {Edit{prefix, prefix + a.size(), b.toString()}};
    return myers(a, b, prefix).value_or(QList<Edit>{Edit{prefix, prefix + a.size(), b.toString()}});
}

QString TextMerge::merge(QStringView base, QStringView mine, QStringView theirs)
{
    if (mine == theirs || theirs == base)
        return mine.toString();
    if (mine == base)
        return theirs.toString();
    const QList<Edit> ours = difference(base, mine), others = difference(base, theirs);
    QString out;
    qsizetype pos = 0, i = 0, j = 0;
    while (i < ours.size() || j < others.size()) {
        // A cluster: the earliest edit and every edit of either side that
        // clashes with the span gathered so far.
        const bool oursFirst = j >= others.size() || (i < ours.size() && ours[i].start <= others[j].start);
        qsizetype start = oursFirst ? ours[i].start : others[j].start, end = oursFirst ? ours[i].end : others[j].end;
        QList<Edit> mineHere, theirsHere;
        for (bool grew = true; grew;) {
            grew = false;
            for (; i < ours.size() && clashes(ours[i], start, end); ++i, grew = true)
                end = std::max(end, ours[i].end), mineHere.append(ours[i]);
            for (; j < others.size() && clashes(others[j], start, end); ++j, grew = true)
                end = std::max(end, others[j].end), theirsHere.append(others[j]);
        }
        out += base.sliced(pos, start - pos);
        const QString a = applied(base, start, end, mineHere), b = applied(base, start, end, theirsHere);
        out += mineHere.isEmpty() ? b : theirsHere.isEmpty() || a == b ? a : b + a;
        pos = end;
    }
    out += base.sliced(pos);
    return out;
}
