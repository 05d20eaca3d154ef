// Builds a corpus of text files in the encodings Japanese users' files come
// in, from a few UTF-8 source texts, plus files that must be refused; and
// prints how the decoder fares on it with each charset detector.
//
//   yumekazu-text-corpus generate SOURCE_DIR OUT_DIR
//   yumekazu-text-corpus compare OUT_DIR
//
// OUT_DIR/<encoding>/<piece>.txt holds the bytes, OUT_DIR/expected/<piece>.txt
// the text in UTF-8; OUT_DIR/refuse/ holds what must not decode.

#include "documents/TextDecoder.h"
#include "platform/core/AtomicFile.h"
#include "platform/core/Utf8.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QTextStream>

#include <unicode/ucnv.h>
#include <unicode/ucsdet.h>

#include <cstdio>
#include <memory>
#include <random>

using namespace Qt::StringLiterals;
using Encoding = TextDecoder::Encoding;

namespace {

QTextStream out(stdout);

std::optional<QByteArray> encodeWithIcu(const QString &text, const char *converterName)
{
    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<UConverter, decltype(&ucnv_close)> converter(ucnv_open(converterName, &status),
                                                                       &ucnv_close);
    ucnv_setFromUCallBack(converter.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    QByteArray bytes(text.size() * 4 + 16, Qt::Uninitialized);
    const int32_t length = ucnv_fromUChars(converter.get(), bytes.data(), int32_t(bytes.size()),
                                           reinterpret_cast<const UChar *>(text.utf16()), int32_t(text.size()),
                                           &status);
    if (U_FAILURE(status))
        return std::nullopt;
    bytes.truncate(length);
    return bytes;
}

QByteArray utf16(const QString &text, bool bigEndian)
{
    QByteArray bytes;
    for (const QChar c : text) {
        const char high = char(c.unicode() >> 8), low = char(c.unicode() & 0xFF);
        bytes.append(bigEndian ? high : low).append(bigEndian ? low : high);
    }
    return bytes;
}

bool write(const QString &path, const QByteArray &bytes)
{
    return QDir().mkpath(QFileInfo(path).path()) && AtomicFile::write(path, bytes);
}

// Short and long pieces of a source text: prefixes of a few characters up to
// the whole, and its first lines.
QMap<QString, QString> pieces(const QString &source)
{
    QMap<QString, QString> result{{u"whole"_s, source}};
    for (const int length : {3, 6, 12, 24, 48, 96})
        if (length < source.size())
            result.insert(u"first%1"_s.arg(length, 2, 10, QChar(u'0')), source.left(length));
    const qsizetype lineEnd = source.indexOf(QRegularExpression(u"[\r\n]"_s));
    if (lineEnd > 0) {
        result.insert(u"line1"_s, source.left(lineEnd));
        const qsizetype second = source.indexOf(QRegularExpression(u"[\r\n]"_s), lineEnd + 2);
        if (second > 0)
            result.insert(u"lines2"_s, source.left(second + 1));
    }
    return result;
}

int generate(const QString &sourceDir, const QString &outDir)
{
    QDir(outDir).removeRecursively();
    QSet<QByteArray> written;
    int files = 0;
    const auto put = [&](const QString &folder, const QString &name, const QByteArray &bytes) {
        // The same bytes under two names would be counted twice.
        if (written.contains(bytes))
            return;
        written.insert(bytes);
        files += write(outDir + u'/' + folder + u'/' + name + u".txt"_s, bytes);
    };

    const QFileInfoList sources = QDir(sourceDir).entryInfoList({u"*.txt"_s}, QDir::Files, QDir::Name);
    for (const QFileInfo &info : sources) {
        QFile file(info.filePath());
        // A source that is not whole UTF-8 would make wrong expected texts.
        const std::optional<QString> source = file.open(QIODevice::ReadOnly) ? Utf8::decode(file.readAll()) : std::nullopt;
        if (!source)
            return 1;
        const bool chinese = info.baseName() == u"chinese"_s;
        for (auto [piece, text] : pieces(*source).asKeyValueRange()) {
            const QString name = info.baseName() + u'-' + piece;
            write(outDir + u"/expected/"_s + name + u".txt"_s, text.toUtf8());
            put(u"UTF-8"_s, name, text.toUtf8());
            put(u"UTF-8 BOM"_s, name, "\xEF\xBB\xBF" + text.toUtf8());
            put(u"UTF-16LE BOM"_s, name, "\xFF\xFE" + utf16(text, false));
            put(u"UTF-16BE BOM"_s, name, "\xFE\xFF" + utf16(text, true));
            // Kana in UTF-16 may give printable ASCII ("かき" is "0K0M"):
            // such bytes are an ASCII file, and stay as they are.
            for (const bool bigEndian : {false, true}) {
                const QByteArray bytes = utf16(text, bigEndian);
                if (!std::all_of(bytes.begin(), bytes.end(), [](char c) { return c >= 0x20 && c < 0x7F; }))
                    put(bigEndian ? u"UTF-16BE"_s : u"UTF-16LE"_s, name, bytes);
            }
            const auto legacy = [&](const QString &folder, const char *converter, std::optional<Encoding> check) {
                const std::optional<QByteArray> bytes = encodeWithIcu(text, converter);
                // Only what reads back as the source: a converter may map
                // a character it cannot hold to a look-alike.
                if (bytes && (!check || TextDecoder::decodeStrictly(*bytes, *check) == text))
                    put(folder, name, *bytes);
            };
            if (chinese) {
                legacy(u"refuse"_s, "GB18030", std::nullopt);
                legacy(u"refuse"_s, "Big5", std::nullopt);
            } else {
                legacy(u"Shift_JIS"_s, "ibm-943_P15A-2003", Encoding::ShiftJis);
                legacy(u"EUC-JP"_s, "EUC-JP", Encoding::EucJp);
                legacy(u"ISO-2022-JP"_s, "ISO-2022-JP", Encoding::Iso2022Jp);
            }
        }
    }

    // What must be refused: random bytes, binary files, other scripts'
    // legacy encodings and broken UTF-8.
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> byte(0, 255);
    const auto noise = [&](int size) {
        QByteArray bytes(size, Qt::Uninitialized);
        for (char &c : bytes)
            c = char(byte(random));
        return bytes;
    };
    for (const int size : {16, 40, 64, 100, 256, 1000, 4096, 20000})
        for (int i = 0; i < 3; ++i)
            put(u"refuse"_s, u"random-%1-%2"_s.arg(size).arg(i), noise(size));
    put(u"refuse"_s, u"png"_s, "\x89PNG\r\n\x1A\n\0\0\0\rIHDR"_ba + noise(500));
    put(u"refuse"_s, u"elf"_s, "\x7F" "ELF\x02\x01\x01"_ba + QByteArray(9, '\0') + noise(2000));
    put(u"refuse"_s, u"gzip"_s, "\x1F\x8B\x08\x00"_ba + noise(300));
    put(u"refuse"_s, u"pdf-stream"_s, "%PDF-1.4\n%\xE2\xE3\xCF\xD3\nstream\n"_ba + noise(800));
    put(u"refuse"_s, u"latin1"_s, *encodeWithIcu(u"Café crème, déjà vu: naïve façade à l'hôtel. Où est la gare? Très bien, merci!"_s, "ISO-8859-1"));
    put(u"refuse"_s, u"cp1252"_s, *encodeWithIcu(u"“Smart quotes” – and an em dash — cost €5… ½ price, ©2026 ™"_s, "windows-1252"));
    put(u"refuse"_s, u"utf8-cut"_s, u"日本語の文章が途中で"_s.toUtf8().chopped(1));
    put(u"refuse"_s, u"utf8-bad-middle"_s, u"前半は正しい"_s.toUtf8() + "\xC0\xAF" + u"後半も正しい"_s.toUtf8());
    put(u"refuse"_s, u"iso2022-broken"_s, "\x1B$B$3$s$K$A$O\x1B(Bok\x80"_ba);
    put(u"refuse"_s, u"euc-cut"_s, encodeWithIcu(u"途中で切れた"_s, "EUC-JP")->chopped(1));
    put(u"refuse"_s, u"sjis-cut"_s, encodeWithIcu(u"途中で切れたファイルです"_s, "ibm-943_P15A-2003")->chopped(1));
    out << files << " files in " << outDir << Qt::endl;
    return 0;
}

std::optional<Encoding> detectWithIcu(QByteArrayView bytes)
{
    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<UCharsetDetector, decltype(&ucsdet_close)> detector(ucsdet_open(&status), &ucsdet_close);
    ucsdet_setText(detector.get(), bytes.data(), int32_t(bytes.size()), &status);
    const UCharsetMatch *match = ucsdet_detect(detector.get(), &status);
    if (U_FAILURE(status) || !match)
        return std::nullopt;
    const QByteArrayView name(ucsdet_getName(match, &status));
    if (name == "Shift_JIS")
        return Encoding::ShiftJis;
    if (name == "EUC-JP")
        return Encoding::EucJp;
    if (name == "ISO-2022-JP")
        return Encoding::Iso2022Jp;
    return std::nullopt;
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void confusionTable(const QString &corpus, const char *title, TextDecoder::Detector detector)
{
    const QStringList columns{u"UTF-8"_s, u"UTF-16LE"_s, u"UTF-16BE"_s, u"Shift_JIS"_s, u"EUC-JP"_s,
                              u"ISO-2022-JP"_s, u"refused"_s, u"wrong text"_s};
    out << "\n### " << title << "\n\n| file's encoding | size | files | " << columns.join(u" | "_s) << " |\n|"
        << QString(u"---|"_s).repeated(columns.size() + 3) << '\n';
    int wrongSmall = 0, wrongLarge = 0, refusedLarge = 0, files = 0;
    const QStringList folders = QDir(corpus).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &folder : folders) {
        if (folder == u"expected"_s)
            continue;
        for (const bool large : {false, true}) {
            QMap<QString, int> counts;
            int rowFiles = 0;
            for (const QFileInfo &info : QDir(corpus + u'/' + folder).entryInfoList(QDir::Files)) {
                const QByteArray bytes = contents(info.filePath());
                if ((bytes.size() >= 64) != large)
                    continue;
                ++rowFiles;
                const std::optional<TextDecoder::Decoded> decoded = TextDecoder::decode(bytes, detector);
                if (!decoded) {
                    ++counts[u"refused"_s];
                    refusedLarge += large && folder != u"refuse"_s;
                    if (folder != u"refuse"_s)
                        out << "<!-- refused: " << folder << '/' << info.fileName() << " -->\n";
                    continue;
                }
                counts[TextDecoder::name(decoded->encoding)]++;
                const bool right = folder != u"refuse"_s
                    && decoded->text == QString::fromUtf8(contents(corpus + u"/expected/"_s + info.fileName()));
                if (!right) {
                    ++counts[u"wrong text"_s];
                    (large ? wrongLarge : wrongSmall)++;
                    out << "<!-- wrong: " << folder << '/' << info.fileName() << " as "
                        << TextDecoder::name(decoded->encoding) << " -->\n";
                }
            }
            if (rowFiles == 0)
                continue;
            files += rowFiles;
            out << "| " << folder << " | " << (large ? "≥ 64 B" : "< 64 B") << " | " << rowFiles;
            for (const QString &column : columns)
                out << " | " << counts.value(column);
            out << " |\n";
        }
    }
    out << "\n" << files << " files; of 64 bytes or more: " << wrongLarge << " wrong, " << refusedLarge
        << " text files refused; below 64 bytes: " << wrongSmall << " wrong.\n";
}

} // namespace

int main(int argc, char *argv[])
{
    const QStringList args = [&] {
        QStringList list;
        for (int i = 1; i < argc; ++i)
            list << QString::fromLocal8Bit(argv[i]);
        return list;
    }();
    if (args.size() == 3 && args[0] == u"generate"_s)
        return generate(args[1], args[2]);
    if (args.size() == 2 && args[0] == u"compare"_s) {
        confusionTable(args[1], "Decoder with uchardet (freedesktop)", &TextDecoder::detect);
        confusionTable(args[1], "Decoder with ICU's charset detector", &detectWithIcu);
        return 0;
    }
    std::fputs("usage: yumekazu-text-corpus generate SOURCE_DIR OUT_DIR | compare OUT_DIR\n", stderr);
    return 2;
}
