// Renders the user manual from its Markdown source into a paginated A4 PDF.
//
//   yumekazu-make-manual SOURCE.md OUTPUT.pdf [--font FAMILY]
//
// The first level-one heading becomes a title page of its own; the rest of the
// text follows on numbered pages. The output is replaced atomically, so an
// interrupted build never leaves a truncated manual behind.

#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QBuffer>
#include <QGuiApplication>
#include <QHash>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QRawFont>
#include <QSaveFile>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextStream>

#include <cstdio>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

constexpr auto defaultFamily = "Noto Sans CJK JP";
constexpr qreal bodyPointSize = 10.5;

void fail(const QString &message)
{
    QTextStream(stderr) << "yumekazu-make-manual: " << message << '\n';
}

std::optional<QString> readSource(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        fail(u"cannot read %1: %2"_s.arg(path, file.errorString()));
        return std::nullopt;
    }
    auto decoder = QStringDecoder(QStringDecoder::Utf8);
    QString text = decoder.decode(file.readAll());
    if (decoder.hasError()) {
        fail(u"%1 is not valid UTF-8"_s.arg(path));
        return std::nullopt;
    }
    return text;
}

// Without the Japanese font the PDF would be full of empty boxes, so a
// missing font stops the build instead of producing a useless manual.
bool fontIsAvailable(const QFont &font)
{
    return QFontInfo(font).family().compare(font.family(), Qt::CaseInsensitive) == 0;
}

// Title page: the first level-one heading and the paragraphs up to the first
// level-two heading, centred; the first chapter starts on a fresh page.
void layOutTitlePage(QTextDocument &document)
{
    bool onTitlePage = false;
    bool firstChapterSeen = false;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const int level = block.blockFormat().headingLevel();
        QTextCursor cursor(block);
        QTextBlockFormat format = block.blockFormat();
        if (level == 1 && !onTitlePage && !firstChapterSeen) {
            onTitlePage = true;
            format.setTopMargin(180);
            format.setBottomMargin(40);
        }
        if (level == 2) {
            if (!firstChapterSeen && onTitlePage)
                format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
            firstChapterSeen = true;
            onTitlePage = false;
            format.setTopMargin(18);
            format.setBottomMargin(6);
            cursor.setBlockFormat(format);
            continue;
        }
        if (onTitlePage) {
            format.setAlignment(Qt::AlignHCenter);
            cursor.setBlockFormat(format);
        } else if (level == 3) {
            format.setTopMargin(10);
            cursor.setBlockFormat(format);
        }
    }
}

// CJK fonts draw a radical and the ideograph it stands for with one glyph
// (U+2F47 KANGXI RADICAL SUN and U+65E5 日). The PDF text map then names the
// lowest code point for that glyph, the radical, and a search for 日付 in the
// viewer finds nothing. This table says which ideograph to name instead.
QHash<char32_t, char32_t> ideographsForRadicals(const QFont &font)
{
    const QRawFont raw = QRawFont::fromFont(font);
    const auto glyphsOf = [&raw](char32_t first, char32_t last) {
        QString all;
        for (char32_t c = first; c <= last; ++c)
            all.append(QChar(char16_t(c)));
        return raw.glyphIndexesForString(all);
    };
    constexpr char32_t firstIdeograph = 0x4E00;
    constexpr char32_t lastIdeograph = 0x9FFF;
    const QList<quint32> ideographGlyphs = glyphsOf(firstIdeograph, lastIdeograph);
    QHash<quint32, char32_t> ideographByGlyph;
    for (qsizetype i = 0; i < ideographGlyphs.size(); ++i) {
        if (ideographGlyphs.at(i) != 0 && !ideographByGlyph.contains(ideographGlyphs.at(i)))
            ideographByGlyph.insert(ideographGlyphs.at(i), firstIdeograph + char32_t(i));
    }
    // Radicals, kanbun marks, strokes and the rare ideographs below U+4E00.
    const std::pair<char32_t, char32_t> lookalikes[] = {
        {0x2E80, 0x2FDF}, {0x3190, 0x319F}, {0x31C0, 0x31EF}, {0x3400, 0x4DBF}};
    QHash<char32_t, char32_t> replacements;
    for (const auto &[first, last] : lookalikes) {
        const QList<quint32> glyphs = glyphsOf(first, last);
        for (qsizetype i = 0; i < glyphs.size(); ++i) {
            if (glyphs.at(i) == 0)
                continue;
            if (const auto it = ideographByGlyph.constFind(glyphs.at(i)); it != ideographByGlyph.cend())
                replacements.insert(first + char32_t(i), *it);
        }
    }
    return replacements;
}

// Rewrites the destinations of the ToUnicode maps in place. Every code point
// concerned is four hex digits before and after, so no byte offset in the
// file moves and the cross-reference table stays valid.
int fixTextMaps(QByteArray &pdf, const QHash<char32_t, char32_t> &replacements)
{
    static const QByteArray mapStart = QByteArrayLiteral("begincmap");
    static const QByteArray mapEnd = QByteArrayLiteral("endcmap");
    int replaced = 0;
    const auto replaceToken = [&](qsizetype at) {
        // at points at '<' of a destination token "<XXXX>".
        if (at + 5 >= pdf.size() || pdf.at(at + 5) != '>')
            return;
        bool ok = false;
        const auto value = char32_t(QByteArrayView(pdf).sliced(at + 1, 4).toUInt(&ok, 16));
        if (!ok)
            return;
        if (const auto it = replacements.constFind(value); it != replacements.cend()) {
            const QByteArray hex = QByteArray::number(uint(*it), 16).toUpper().rightJustified(4, '0');
            pdf.replace(at + 1, 4, hex);
            ++replaced;
        }
    };
    for (qsizetype begin = pdf.indexOf(mapStart); begin >= 0; begin = pdf.indexOf(mapStart, begin)) {
        const qsizetype end = pdf.indexOf(mapEnd, begin);
        if (end < 0)
            break;
        enum class Section { None, Range, Char } section = Section::None;
        qsizetype lineStart = begin;
        while (lineStart < end) {
            qsizetype lineEnd = pdf.indexOf('\n', lineStart);
            if (lineEnd < 0 || lineEnd > end)
                lineEnd = end;
            const QByteArrayView line = QByteArrayView(pdf).sliced(lineStart, lineEnd - lineStart).trimmed();
            if (line.endsWith("beginbfrange")) {
                section = Section::Range;
            } else if (line.endsWith("beginbfchar")) {
                section = Section::Char;
            } else if (line.startsWith("end")) {
                section = Section::None;
            } else if (section != Section::None && line.startsWith('<')) {
                // "<src> <dst>" or "<lo> <hi> <dst>" or "<lo> <hi> [<dst> ...]"
                QList<qsizetype> tokens;
                for (qsizetype i = lineStart; i < lineEnd; ++i) {
                    if (pdf.at(i) == '<')
                        tokens.append(i);
                }
                const bool array = line.contains('[');
                if (section == Section::Char && tokens.size() == 2) {
                    replaceToken(tokens.at(1));
                } else if (section == Section::Range && array) {
                    for (qsizetype t = 2; t < tokens.size(); ++t)
                        replaceToken(tokens.at(t));
                } else if (section == Section::Range && tokens.size() == 3
                           && line.sliced(1, 4) == line.sliced(8, 4)) {
                    // A one-code range; longer ones count up from their base.
                    replaceToken(tokens.at(2));
                }
            }
            lineStart = lineEnd + 1;
        }
        begin = end;
    }
    return replaced;
}

QString documentTitle(const QTextDocument &document)
{
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() == 1)
            return block.text();
    }
    return u"Yumekazu"_s;
}

} // namespace

int main(int argc, char *argv[])
{
    const QGuiApplication application(argc, argv);
    QStringList arguments = QCoreApplication::arguments().mid(1);
    QString family = QString::fromLatin1(defaultFamily);
    if (const qsizetype at = arguments.indexOf(u"--font"_s); at >= 0 && at + 1 < arguments.size()) {
        family = arguments.at(at + 1);
        arguments.remove(at, 2);
    }
    if (arguments.size() != 2) {
        fail(u"usage: yumekazu-make-manual SOURCE.md OUTPUT.pdf [--font FAMILY]"_s);
        return 2;
    }
    const QString sourcePath = arguments.at(0);
    const QString outputPath = arguments.at(1);

    const auto source = readSource(sourcePath);
    if (!source)
        return 1;

    QFont font(family, 1);
    font.setPointSizeF(bodyPointSize);
    if (!fontIsAvailable(font)) {
        fail(u"font \"%1\" is not installed (package fonts-noto-cjk)"_s.arg(family));
        return 1;
    }

    QTextDocument document;
    document.setDefaultFont(font);
    document.setMarkdown(*source, QTextDocument::MarkdownDialectGitHub);
    layOutTitlePage(document);

    QBuffer rendered;
    rendered.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&rendered);
        writer.setTitle(documentTitle(document));
        writer.setCreator(u"Yumekazu"_s);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
        writer.setResolution(300);
        // An unpaginated document is paginated by print(), which also sets
        // 2 cm margins and numbers the pages.
        document.print(&writer);
    }
    QByteArray pdf = rendered.buffer();
    if (!pdf.startsWith("%PDF-")) {
        fail(u"the PDF could not be rendered"_s);
        return 1;
    }
    fixTextMaps(pdf, ideographsForRadicals(font));

    QSaveFile output(outputPath);
    if (!output.open(QIODevice::WriteOnly) || output.write(pdf) != pdf.size() || !output.commit()) {
        fail(u"writing %1 failed: %2"_s.arg(outputPath, output.errorString()));
        return 1;
    }
    return 0;
}
