#include "common/TestMain.h"

#include <QFile>
#include <QIcon>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

QString resourcePath(const QString &name)
{
    return qEnvironmentVariable("YUMEKAZU_RESOURCE_DIR") + u'/' + name;
}

QString manualPath()
{
    return resourcePath(u"Yumekazu.pdf"_s);
}

QString toolPath()
{
    return qEnvironmentVariable("YUMEKAZU_BUILD_DIR") + u"/tools/yumekazu-make-manual"_s;
}

QString desktopEntryPath()
{
    return qEnvironmentVariable("YUMEKAZU_SOURCE_DIR") + u"/data/desktop/org.yumekazu.Yumekazu.desktop"_s;
}

// Runs a poppler tool and returns its standard output, or nothing on failure.
std::optional<QString> runTool(const QString &program, const QStringList &arguments)
{
    if (QStandardPaths::findExecutable(program).isEmpty())
        return std::nullopt;
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(process.readAllStandardOutput());
}

// pdftotext joins lines with newlines and may break a phrase; compare without them.
QString withoutBreaks(QString text)
{
    text.remove(QRegularExpression(u"[\\n\\r\\f]"_s));
    return text;
}

// Key=value lines of the [Desktop Entry] group, read as desktop files are
// specified (UTF-8, no escaping of the locale brackets).
QHash<QString, QString> parseDesktopEntry(const QByteArray &bytes)
{
    QHash<QString, QString> keys;
    bool inGroup = false;
    for (const QByteArray &raw : bytes.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            inGroup = line == u"[Desktop Entry]"_s;
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (inGroup && eq > 0)
            keys.insert(line.left(eq).trimmed(), line.mid(eq + 1).trimmed());
    }
    return keys;
}

} // namespace

class TestManual : public QObject {
    Q_OBJECT

private:
    QString m_text;

private Q_SLOTS:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(u"pdftotext"_s).isEmpty())
            QSKIP("pdftotext (poppler-utils) is not installed");
        const auto text = runTool(u"pdftotext"_s, {u"-enc"_s, u"UTF-8"_s, manualPath(), u"-"_s});
        QVERIFY2(text.has_value(), qPrintable(u"pdftotext cannot read "_s + manualPath()));
        m_text = *text;
    }

    void pdfIsAPagedDocument()
    {
        QFile file(manualPath());
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.errorString()));
        QVERIFY(file.read(5) == "%PDF-");
        const auto info = runTool(u"pdfinfo"_s, {manualPath()});
        QVERIFY(info.has_value());
        const QRegularExpressionMatch pages =
            QRegularExpression(u"^Pages:\\s+(\\d+)$"_s, QRegularExpression::MultilineOption).match(*info);
        QVERIFY2(pages.hasMatch(), qPrintable(*info));
        // A title page and the chapters after it.
        QVERIFY(pages.captured(1).toInt() >= 3);
        QVERIFY2(info->contains(u"A4"_s), qPrintable(*info));
        QVERIFY(info->contains(u"Title:           Yumekazu"_s));
        const auto fonts = runTool(u"pdffonts"_s, {manualPath()});
        QVERIFY(fonts.has_value());
        QVERIFY2(fonts->contains(u"NotoSansCJKjp"_s), qPrintable(*fonts));
    }

    void containsText_data()
    {
        QTest::addColumn<QString>("phrase");
        for (const char *heading : {"Yumekazu について", "ふたつのロック", "作業エリア", "設定",
                                    "メモの保存場所"})
            QTest::newRow(heading) << QString::fromUtf8(heading);
        for (const char *label :
             {"変更するにはカギをクリックします", "Touch IDで認証する", "認証エラー", "日時",
              "機械学習", "結果: ", "再ロード", "別スレッド", "読込はrtfにする（拡張子txt推奨）",
              "indexの近くに動物を表示（再起動必要）", "起動時に文例を表示（再起動必要）",
              "Yumekazu ヘルプ…", "添付マニュアルをお読みください", "preferences.ini.broken-",
              "動物・食べ物・旅行・天気・仕事・健康"})
            QTest::newRow(label) << QString::fromUtf8(label);
    }

    void containsText()
    {
        QFETCH(QString, phrase);
        const QString text = withoutBreaks(m_text);
        QVERIFY2(text.normalized(QString::NormalizationForm_KC).contains(phrase.normalized(QString::NormalizationForm_KC)),
                 qPrintable(phrase));
        // Searching in a viewer compares code points: the text layer must name
        // the ideographs themselves, not look-alike radicals.
        QVERIFY2(text.contains(phrase), qPrintable(u"only after normalisation: "_s + phrase));
    }

    void textLayerHasNoRadicals()
    {
        QString radicals;
        for (const QChar c : std::as_const(m_text)) {
            if (c.unicode() >= 0x2E80 && c.unicode() <= 0x2FDF)
                radicals.append(c);
        }
        QVERIFY2(radicals.isEmpty(), qPrintable(radicals));
    }

    void desktopEntry_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("type") << u"Type"_s << u"Application"_s;
        QTest::newRow("name") << u"Name"_s << u"Yumekazu"_s;
        QTest::newRow("japanese name") << u"Name[ja]"_s << u"ゆめかず"_s;
        QTest::newRow("exec") << u"Exec"_s << u"yumekazu"_s;
        QTest::newRow("icon") << u"Icon"_s << u"yumekazu"_s;
        QTest::newRow("terminal") << u"Terminal"_s << u"false"_s;
        QTest::newRow("bus activation") << u"DBusActivatable"_s << u"true"_s;
        QTest::newRow("categories") << u"Categories"_s << u"Utility;TextEditor;"_s;
    }

    void desktopEntry()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFile file(desktopEntryPath());
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.errorString()));
        const QByteArray bytes = file.readAll();
        auto decoder = QStringDecoder(QStringDecoder::Utf8);
        (void)decoder.decode(bytes);
        QVERIFY(!decoder.hasError());
        QCOMPARE(parseDesktopEntry(bytes).value(key), value);
    }

    void desktopEntryValidates()
    {
        if (QStandardPaths::findExecutable(u"desktop-file-validate"_s).isEmpty())
            QSKIP("desktop-file-validate (desktop-file-utils) is not installed");
        QProcess process;
        process.start(u"desktop-file-validate"_s, {desktopEntryPath()});
        QVERIFY(process.waitForFinished(30000));
        const QString output = QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
        QVERIFY2(process.exitCode() == 0 && !output.contains(u"error"_s), qPrintable(output));
    }

    // The build tool: a failed run must stop the build and leave the last good
    // manual in place, never a truncated or empty one.
    void toolRefusesBadInput_data()
    {
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<bool>("sourceExists");
        QTest::newRow("missing source") << QByteArray() << QStringList() << false;
        QTest::newRow("not UTF-8") << QByteArray("# \xff\xfe title\n") << QStringList() << true;
        QTest::newRow("font not installed")
            << QByteArray("# title\n") << QStringList{u"--font"_s, u"No Such Font Family 42"_s} << true;
        QTest::newRow("missing output argument") << QByteArray("# title\n") << QStringList{u"--only-source"_s} << true;
    }

    void toolRefusesBadInput()
    {
        QFETCH(QByteArray, source);
        QFETCH(QStringList, extra);
        QFETCH(bool, sourceExists);
        QTemporaryDir dir;
        const QString sourcePath = dir.filePath(u"manual.md"_s);
        const QString outputPath = dir.filePath(u"manual.pdf"_s);
        if (sourceExists) {
            QFile file(sourcePath);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(source);
        }
        {
            QFile previous(outputPath);
            QVERIFY(previous.open(QIODevice::WriteOnly));
            previous.write("previous manual");
        }
        QStringList arguments{sourcePath, outputPath};
        if (extra == QStringList{u"--only-source"_s})
            arguments = {sourcePath};
        else
            arguments += extra;
        QProcess tool;
        tool.start(toolPath(), arguments);
        QVERIFY(tool.waitForFinished(60000));
        QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
        QVERIFY(tool.exitCode() != 0);
        QVERIFY(!tool.readAllStandardError().isEmpty());
        QFile previous(outputPath);
        QVERIFY(previous.open(QIODevice::ReadOnly));
        QCOMPARE(previous.readAll(), QByteArray("previous manual"));
    }

    // Characters that share a glyph with look-alikes come back as written.
    void toolKeepsTextSearchable_data()
    {
        QTest::addColumn<QString>("line");
        QTest::newRow("middle dot") << u"動物・食べ物・旅行"_s;
        QTest::newRow("radical look-alikes") << u"日時 長い 見る 言う 一人 金曜"_s;
        QTest::newRow("latin and kana") << u"Touch IDで認証する Ctrl+Q"_s;
    }

    void toolKeepsTextSearchable()
    {
        QFETCH(QString, line);
        QTemporaryDir dir;
        const QString sourcePath = dir.filePath(u"manual.md"_s);
        const QString outputPath = dir.filePath(u"manual.pdf"_s);
        QFile file(sourcePath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write((u"# 見出し\n\n## 本文\n\n"_s + line + u'\n').toUtf8());
        file.close();
        QProcess tool;
        tool.start(toolPath(), {sourcePath, outputPath});
        QVERIFY(tool.waitForFinished(60000));
        QVERIFY2(tool.exitCode() == 0, tool.readAllStandardError().constData());
        const auto text = runTool(u"pdftotext"_s, {u"-enc"_s, u"UTF-8"_s, outputPath, u"-"_s});
        QVERIFY(text.has_value());
        QVERIFY2(text->contains(line), qPrintable(*text));
        // The title page comes first; the body starts on the next page.
        QVERIFY(text->indexOf(u'\f') < text->indexOf(line));
    }

    void iconIsBesideTheResources()
    {
        QFile icon(resourcePath(u"yumekazu.svg"_s));
        QVERIFY2(icon.open(QIODevice::ReadOnly), qPrintable(icon.errorString()));
        const QByteArray svg = icon.readAll();
        QVERIFY(svg.contains("<svg"));
        QVERIFY(svg.contains("viewBox=\"0 0 128 128\""));
        // The window icon is drawn by Qt's SVG plugin: it must render, with
        // the page opaque and the corners outside it left transparent.
        const QImage image = QIcon(icon.fileName()).pixmap(QSize(128, 128)).toImage();
        QVERIFY2(!image.isNull(), "the SVG icon does not render (package libqt6svg6)");
        QCOMPARE(image.size(), QSize(128, 128));
        QCOMPARE(qAlpha(image.pixel(40, 60)), 255);
        QCOMPARE(qAlpha(image.pixel(2, 2)), 0);
    }
};

YUMEKAZU_TEST_MAIN(TestManual)
#include "test_manual.moc"
