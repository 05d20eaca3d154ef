// Renders the user manual from its Markdown source into a paginated A4 PDF.
//
//   yumekazu-make-manual SOURCE.md OUTPUT.pdf [--font FAMILY] [--pictures DIR]
//
// The first level-one heading becomes a title page of its own; the rest of the
// text follows on numbered pages. Pictures named in the source (![text](x.png))
// are read from DIR (default: beside the source) and printed at the size their
// resolution gives; a missing picture is an error, not a blank space. The
// output is replaced atomically, so an interrupted build never leaves a
// truncated manual behind.

#include "platform/core/AtomicFile.h"
#include "platform/core/SystemError.h"
#include "platform/core/Utf8.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontInfo>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QRawFont>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextFragment>
#include <QTextImageFormat>
#include <QTextDocument>
#include <QTextStream>
#include <QUrl>

#include <algorithm>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

constexpr auto defaultFamily = "Noto Sans CJK JP";
constexpr qreal bodyPointSize = 10.5;
constexpr int resolution = 300;
// Space under the title, in layout units (printer dots).
constexpr qreal titleGap = resolution * 0.5;

void fail(const QString &message)
{
    QTextStream(stderr) << "yumekazu-make-manual: " << message << '\n';
}

// Removes "name VALUE" from the arguments and returns VALUE, or nothing.
std::optional<QString> takeOption(QStringList &arguments, const QString &name)
{
    const qsizetype at = arguments.indexOf(name);
    if (at < 0 || at + 1 >= arguments.size())
        return std::nullopt;
    const QString value = arguments.at(at + 1);
    arguments.remove(at, 2);
    return value;
}

std::optional<QString> readSource(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        fail(u"cannot read %1: %2"_s.arg(path, file.errorString()));
        return std::nullopt;
    }
    std::optional<QString> text = Utf8::decode(file.readAll());
    if (!text)
        fail(u"%1 is not valid UTF-8"_s.arg(path));
    return text;
}

// Without the Japanese font the PDF would be full of empty boxes, so a
// missing font stops the build instead of producing a useless manual.
bool fontIsAvailable(const QFont &font)
{
    return QFontInfo(font).family().compare(font.family(), Qt::CaseInsensitive) == 0;
}

// Title page: the first level-one heading and the paragraphs up to the first
// level-two heading; the first chapter starts on a fresh page.
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
            format.setBottomMargin(titleGap);
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
            cursor.setBlockFormat(format);
        } else if (level == 3) {
            format.setTopMargin(10);
            cursor.setBlockFormat(format);
        }
    }
}

// CJK fonts draw several code points with one glyph: a radical and the
// ideograph it stands for (U+2F47 and 日), U+2027 and the katakana middle dot
// ・. The PDF text map names the lowest code point for each glyph, so a viewer
// search for 日時 would find nothing. The document's own characters tell which
// code point was meant; this table maps every other code point that shares a
// glyph with one of them to that character.
QHash<char32_t, char32_t> intendedCharacters(const QFont &font, const QString &documentText)
{
    const QRawFont raw = QRawFont::fromFont(font);
    QString used = documentText + u"0123456789"_s;
    std::sort(used.begin(), used.end());
    used.erase(std::unique(used.begin(), used.end()), used.end());
    used.removeIf([](QChar c) { return c.isSurrogate(); });
    const QList<quint32> usedGlyphs = raw.glyphIndexesForString(used);
    QHash<quint32, char32_t> meantByGlyph;
    for (qsizetype i = 0; i < usedGlyphs.size() && i < used.size(); ++i) {
        if (usedGlyphs.at(i) != 0 && !meantByGlyph.contains(usedGlyphs.at(i)))
            meantByGlyph.insert(usedGlyphs.at(i), used.at(i).unicode());
    }
    QString everyCharacter;
    for (char32_t c = 1; c <= 0xFFFF; ++c) {
        if (!QChar::isSurrogate(c))
            everyCharacter.append(QChar(char16_t(c)));
    }
    const QList<quint32> glyphs = raw.glyphIndexesForString(everyCharacter);
    QHash<char32_t, char32_t> replacements;
    for (qsizetype i = 0; i < glyphs.size() && i < everyCharacter.size(); ++i) {
        const QChar c = everyCharacter.at(i);
        if (glyphs.at(i) == 0 || std::binary_search(used.cbegin(), used.cend(), c))
            continue;
        if (const auto it = meantByGlyph.constFind(glyphs.at(i)); it != meantByGlyph.cend())
            replacements.insert(c.unicode(), *it);
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

// Loads every picture the text names and sizes it by its stored resolution,
// in the document's layout units (1/96 inch, scaled by print()).
bool placePictures(QTextDocument &document, const QString &directory)
{
    struct Placement {
        int position;
        int length;
        QTextImageFormat format;
    };
    QList<Placement> placements;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.charFormat().isImageFormat())
                placements.append({fragment.position(), fragment.length(), fragment.charFormat().toImageFormat()});
        }
    }
    for (auto &[position, length, format] : placements) {
        const QString path = directory + u'/' + format.name();
        const QImage image(path);
        if (image.isNull() || image.dotsPerMeterX() <= 0 || image.dotsPerMeterY() <= 0) {
            fail(u"cannot read the picture %1"_s.arg(path));
            return false;
        }
        document.addResource(QTextDocument::ImageResource, QUrl(format.name()), image);
        format.setWidth(image.width() * 96.0 / (image.dotsPerMeterX() * 0.0254));
        format.setHeight(image.height() * 96.0 / (image.dotsPerMeterY() * 0.0254));
        QTextCursor cursor(&document);
        cursor.setPosition(position);
        cursor.setPosition(position + length, QTextCursor::KeepAnchor);
        cursor.setCharFormat(format);
    }
    return true;
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
    const QString family = takeOption(arguments, u"--font"_s).value_or(QString::fromLatin1(defaultFamily));
    const std::optional<QString> pictures = takeOption(arguments, u"--pictures"_s);
    if (arguments.size() != 2) {
        fail(u"usage: yumekazu-make-manual SOURCE.md OUTPUT.pdf [--font FAMILY] [--pictures DIR]"_s);
        return 2;
    }
    const QString sourcePath = arguments.at(0);
    const QString outputPath = arguments.at(1);

    const auto source = readSource(sourcePath);
    if (!source)
        return 1;

    QFont font(family);
    font.setPointSizeF(bodyPointSize);
    if (!fontIsAvailable(font)) {
        fail(u"font \"%1\" is not installed (package fonts-noto-cjk)"_s.arg(family));
        return 1;
    }

    QTextDocument document;
    document.setDefaultFont(font);
    document.setMarkdown(*source, QTextDocument::MarkdownDialectGitHub);
    layOutTitlePage(document);
    if (!placePictures(document, pictures.value_or(QFileInfo(sourcePath).absolutePath())))
        return 1;

    QBuffer rendered;
    rendered.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&rendered);
        writer.setTitle(documentTitle(document));
        writer.setCreator(u"Yumekazu"_s);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
        writer.setResolution(resolution);
        // An unpaginated document is paginated by print(), which also sets
        // 2 cm margins and numbers the pages.
        document.print(&writer);
    }
    QByteArray pdf = rendered.buffer();
    if (!pdf.startsWith("%PDF-")) {
        fail(u"the PDF could not be rendered"_s);
        return 1;
    }
    fixTextMaps(pdf, intendedCharacters(font, document.toPlainText()));

    if (const auto written = AtomicFile::write(outputPath, pdf); !written) {
        fail(u"writing %1 failed: %2"_s.arg(outputPath, systemErrorText(written.error())));
        return 1;
    }
    return 0;
}
