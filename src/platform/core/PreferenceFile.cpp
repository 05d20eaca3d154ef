#include "platform/core/PreferenceFile.h"

#include "platform/core/Utf8.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

bool isHexDigit(char16_t c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// One logical line as QSettings delimits it: a quoted part may span line
// ends, a backslash escapes the next byte, and ';' outside quotes starts a
// comment. Returns the line's bytes and moves pos past its comment.
QByteArrayView nextLine(QByteArrayView data, qsizetype &pos, qsizetype &equals)
{
    const qsizetype size = data.size();
    while (pos < size && (data[pos] == ' ' || data[pos] == '\t' || data[pos] == '\n' || data[pos] == '\r'))
        ++pos;
    const qsizetype start = pos;
    bool inQuotes = false;
    equals = -1;
    qsizetype end = size;
    qsizetype firstBreak = -1;
    for (qsizetype i = start; i < size; ++i) {
        const char c = data[i];
        if (firstBreak < 0 && (c == '\n' || c == '\r'))
            firstBreak = i;
        if (c == '\\') {
            ++i;
        } else if (c == '"') {
            inQuotes = !inQuotes;
        } else if (c == '=' && !inQuotes && equals < 0) {
            equals = i - start;
        } else if (!inQuotes && (c == '\n' || c == '\r' || c == ';')) {
            end = i;
            break;
        }
    }
    // A quote never closed would swallow the rest of the file: it ends with its line.
    if (inQuotes && end == size && firstBreak >= 0)
        end = firstBreak;
    pos = end;
    if (end < size && data[end] == ';')
        while (pos < size && data[pos] != '\n' && data[pos] != '\r')
            ++pos;
    return data.sliced(start, std::min(end, size) - start);
}

// As QSettings sees keys: no empty parts between, before or after slashes.
QString normalizedKey(const QString &key)
{
    return key.split(u'/', Qt::SkipEmptyParts).join(u'/');
}

QString unescapeKey(const QString &key)
{
    QString out;
    for (qsizetype i = 0; i < key.size(); ++i) {
        const QChar c = key[i];
        bool ok = false;
        if (c == u'\\') {
            out += u'/';
        } else if (c == u'%' && key.mid(i + 1, 1) == u"U"_s && key.size() >= i + 6) {
            const char16_t unit = char16_t(key.mid(i + 2, 4).toUShort(&ok, 16));
            out += ok ? QChar(unit) : c;
            i += ok ? 5 : 0;
        } else if (c == u'%' && key.size() >= i + 3) {
            const char16_t unit = char16_t(key.mid(i + 1, 2).toUShort(&ok, 16));
            out += ok ? QChar(unit) : c;
            i += ok ? 2 : 0;
        } else {
            out += c;
        }
    }
    return out;
}

// The value after '=', unescaped the way QSettings does; commas are kept as
// text rather than splitting the value into a list.
QString unescapeValue(const QString &raw, bool &unterminated)
{
    static constexpr char16_t simple[][2] = {{u'a', u'\a'}, {u'b', u'\b'}, {u'f', u'\f'}, {u'n', u'\n'},
                                             {u'r', u'\r'}, {u't', u'\t'}, {u'v', u'\v'}, {u'"', u'"'},
                                             {u'?', u'?'},  {u'\'', u'\''}, {u'\\', u'\\'}};
    QString out;
    bool inQuotes = false;
    bool quoted = false;
    qsizetype keep = 0; // trailing spaces before this index are the value's own
    qsizetype i = 0;
    const auto skipSpaces = [&] {
        while (i < raw.size() && (raw[i] == u' ' || raw[i] == u'\t'))
            ++i;
    };
    skipSpaces();
    while (i < raw.size()) {
        const char16_t c = raw[i++].unicode();
        if (c == u'"') {
            quoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes)
                skipSpaces();
            keep = out.size();
            continue;
        }
        if (c != u'\\') {
            out += QChar(c);
            if (inQuotes)
                keep = out.size();
            continue;
        }
        if (i >= raw.size())
            break;
        const char16_t e = raw[i++].unicode();
        const auto found = std::find_if(std::begin(simple), std::end(simple), [e](const auto &p) { return p[0] == e; });
        if (found != std::end(simple)) {
            out += QChar((*found)[1]);
        } else if (e == u'x' || (e >= u'0' && e <= u'7')) {
            const bool hex = e == u'x';
            const qsizetype digits = i;
            char16_t value = hex ? 0 : char16_t(e - u'0');
            while (i < raw.size() && (hex ? isHexDigit(raw[i].unicode()) : (raw[i] >= u'0' && raw[i] <= u'7')))
                value = char16_t(value * (hex ? 16 : 8) + QStringView(raw).sliced(i++, 1).toUShort(nullptr, 16));
            if (!hex || i > digits)
                out += QChar(value);
        } else if (e == u'\r' || e == u'\n') {
            if (i < raw.size() && (raw[i] == u'\r' || raw[i] == u'\n') && raw[i] != QChar(e))
                ++i;
        }
        keep = out.size();
    }
    unterminated = inQuotes;
    if (!quoted)
        while (out.size() > keep && (out.back() == u' ' || out.back() == u'\t'))
            out.chop(1);
    if (out.startsWith(u"@@"_s))
        out.remove(0, 1);
    else if (out.startsWith(u"@String("_s) && out.endsWith(u')'))
        out = out.sliced(8, out.size() - 9);
    return out;
}

QByteArray escapeKey(QStringView key)
{
    QByteArray out;
    for (const QChar c : key) {
        const char16_t u = c.unicode();
        if (u == u'/')
            out += '\\';
        else if ((u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'_'
                 || u == u'-' || u == u'.')
            out += char(u);
        else if (u <= 0xFF)
            out += '%' + QByteArray::number(u, 16).toUpper().rightJustified(2, '0');
        else
            out += "%U" + QByteArray::number(u, 16).toUpper().rightJustified(4, '0');
    }
    return out;
}

void escapeValue(const QString &value, QByteArray &out)
{
    const QString text = value.startsWith(u'@') ? u'@' + value : value;
    const qsizetype start = out.size();
    bool needsQuotes = false;
    bool escapeHexDigit = false;
    qsizetype plainFrom = 0; // runs of plain characters are encoded together
    const auto flushPlain = [&](qsizetype to) {
        if (to > plainFrom)
            out += QStringView(text).sliced(plainFrom, to - plainFrom).toUtf8();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        // A surrogate without its other half has no UTF-8 form.
        const bool lone = QChar::isHighSurrogate(c) ? !(i + 1 < text.size() && text[i + 1].isLowSurrogate())
                          : QChar::isLowSurrogate(c) && !(i > 0 && text[i - 1].isHighSurrogate());
        const bool special = c < 0x20 || c == u'"' || c == u'\\' || lone || (escapeHexDigit && isHexDigit(c));
        needsQuotes = needsQuotes || c == u';' || c == u',' || c == u'=';
        if (!special) {
            escapeHexDigit = false;
            continue;
        }
        flushPlain(i);
        plainFrom = i + 1;
        static constexpr char names[] = "0......abtnvfr";
        if (escapeHexDigit && isHexDigit(c)) {
            // Read back, a digit right after an escape would extend it.
            out += "\\x" + QByteArray::number(c, 16);
            continue;
        }
        escapeHexDigit = false;
        if (c == u'"' || c == u'\\') {
            out += '\\';
            out += char(c);
        } else if (c < sizeof names - 1 && names[c] != '.') {
            out += '\\';
            out += names[c];
            escapeHexDigit = c == 0;
        } else {
            out += "\\x" + QByteArray::number(c, 16);
            escapeHexDigit = true;
        }
    }
    flushPlain(text.size());
    if (needsQuotes || (out.size() > start && (out[start] == ' ' || out.back() == ' '))) {
        out.insert(start, '"');
        out += '"';
    }
}

} // namespace

PreferenceFile::Contents PreferenceFile::parse(QByteArrayView bytes)
{
    Contents contents;
    QString prefix;
    bool sectionOk = true;
    qsizetype pos = 0;
    qsizetype equals = -1;
    while (pos < bytes.size()) {
        QByteArrayView line = nextLine(bytes, pos, equals);
        if (line.isEmpty())
            continue;
        // A last line without its line end was cut short: keep what is whole.
        bool cut = pos >= bytes.size() && !bytes.endsWith('\n') && !bytes.endsWith('\r');
        std::optional<QString> text = Utf8::decode(line);
        for (int trim = 1; !text && cut && trim <= 3 && trim < line.size(); ++trim)
            text = Utf8::decode(line.chopped(trim));
        if (cut || !text)
            contents.whole = false;
        if (!text)
            continue;
        if (line.startsWith('[')) {
            const qsizetype close = text->indexOf(u']');
            sectionOk = close > 0;
            contents.whole = contents.whole && sectionOk;
            const QString name = text->sliced(1, std::max<qsizetype>(close - 1, 0)).trimmed();
            // "[General]" holds the keys without a section; a section really
            // named so is written "[%General]".
            prefix = name.compare(u"general"_s, Qt::CaseInsensitive) == 0    ? QString()
                     : name.compare(u"%general"_s, Qt::CaseInsensitive) == 0 ? name.sliced(1) + u'/'
                                                                             : unescapeKey(name) + u'/';
            continue;
        }
        const QString key = equals > 0 ? normalizedKey(prefix + unescapeKey(QString::fromUtf8(line.first(equals)).trimmed()))
                                       : QString();
        if (!sectionOk || key.isEmpty()) {
            contents.whole = false;
            continue;
        }
        bool unterminated = false;
        const qsizetype valueStart = QString::fromUtf8(line.first(equals + 1)).size();
        contents.values.insert(key, unescapeValue(text->sliced(std::min(valueStart, text->size())), unterminated));
        if (unterminated)
            contents.whole = false;
    }
    return contents;
}

QByteArray PreferenceFile::serialize(const QHash<QString, QString> &values)
{
    QStringList keys = values.keys();
    // General first, then each section: sorted, so a file only changes where a value does.
    std::sort(keys.begin(), keys.end(), [](const QString &a, const QString &b) {
        return std::pair(a.contains(u'/'), a) < std::pair(b.contains(u'/'), b);
    });
    qsizetype size = 16;
    for (const QString &value : values)
        size += value.size() * 3 + 8;
    QByteArray out;
    out.reserve(size);
    out += "[General]\n";
    QString section;
    for (const QString &key : keys) {
        const qsizetype slash = key.indexOf(u'/');
        QStringView name(key);
        if (slash >= 0) {
            if (key.first(slash) != section) {
                section = key.first(slash);
                const bool general = section.compare(u"general"_s, Qt::CaseInsensitive) == 0;
                out += "\n[" + (general ? '%' + section.toUtf8() : escapeKey(section)) + "]\n";
            }
            name = name.sliced(slash + 1);
        }
        out += escapeKey(name) + '=';
        escapeValue(values.value(key), out);
        out += '\n';
    }
    return out;
}
