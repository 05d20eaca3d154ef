#include "common/TestMain.h"

#include <QFile>
#include <QIcon>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace {

const QString resources = qEnvironmentVariable("YUMEKAZU_RESOURCE_DIR") + u'/';

// Runs a tool and returns its standard output, or nothing on failure.
std::optional<QString> runTool(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The text layer as a viewer's search sees it; pdftotext may break a phrase.
QString pdfText(const QString &path, const QStringList &pages = {})
{
    return runTool(u"pdftotext"_s, pages + QStringList{u"-enc"_s, u"UTF-8"_s, path, u"-"_s}).value_or(QString()).remove(QRegularExpression(u"[\\n\\r]"_s));
}

} // namespace

class TestManual : public QObject {
    Q_OBJECT

    const QString m_pdf = resources + u"Yumekazu.pdf"_s;

private Q_SLOTS:
    // A viewer's search compares code points: the text layer must name the
    // ideographs themselves, not look-alike radicals.
    void shippedManual()
    {
        const QString text = pdfText(m_pdf);
        for (const char *phrase : {"Yumekazu について", "変更するにはカギをクリックします", "Touch IDで認証する", "認証エラー", "日時", "機械学習",
                                   "結果: ", "読込はrtfにする（拡張子txt推奨）", "起動時に文例を表示（再起動必要）", "Yumekazu ヘルプ…",
                                   "添付マニュアルをお読みください", "preferences.ini.broken-", "動物・食べ物・旅行・天気・仕事・健康"})
            QVERIFY2(text.contains(QString::fromUtf8(phrase)), phrase);
        // Each picture of a window sits on the page of the caption that explains it.
        const QStringList captions{u"図：ロックされたウインドウ"_s, u"図：管理者の認証が済み、指紋による本人確認を待つウインドウ"_s,
                                   u"図：指紋が一致しなかったときの警告"_s, u"図：作業エリア"_s, u"図：設定ウインドウ"_s};
        QStringList pages;
        for (const QString &line : runTool(u"pdfimages"_s, {u"-list"_s, m_pdf}).value_or(QString()).split(u'\n')) {
            const QStringList fields = line.simplified().split(u' ');
            if (fields.size() > 4 && fields.at(2) == u"image"_s && fields.at(3).toInt() >= 200)
                pages.append(fields.at(0));
        }
        QCOMPARE(pages.size(), captions.size());
        for (qsizetype i = 0; i < pages.size(); ++i)
            QVERIFY2(pdfText(m_pdf, {u"-f"_s, pages.at(i), u"-l"_s, pages.at(i)}).contains(captions.at(i)), qPrintable(captions.at(i)));
    }

    // The build tool: a failed run must stop the build and leave the last good
    // manual in place, never a truncated one or one with holes for pictures.
    // Characters that share a glyph with look-alikes come back as written, and
    // the body starts after the title page.
    void tool_data()
    {
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<QStringList>("extra");
        QTest::newRow("missing source") << QByteArray() << QStringList();
        QTest::newRow("not UTF-8") << QByteArray("# \xff\xfe title\n") << QStringList();
        QTest::newRow("font not installed") << QByteArray("# t\n") << QStringList{u"--font"_s, u"No Such Font 42"_s};
        QTest::newRow("missing picture") << QByteArray("# t\n\n![x](none.png)\n") << QStringList();
        QTest::newRow("searchable") << u"# 見出し\n\n## 本文\n\n動物・食べ物・旅行\n\n日時 長い 見る 言う 一人 金曜\n\nTouch IDで認証する Ctrl+Q\n"_s.toUtf8()
                                    << QStringList{u"動物・食べ物・旅行"_s, u"日時 長い 見る 言う 一人 金曜"_s, u"Touch IDで認証する Ctrl+Q"_s};
    }
    void tool()
    {
        QFETCH(QByteArray, source);
        QFETCH(QStringList, extra);
        const bool good = qstrcmp(QTest::currentDataTag(), "searchable") == 0;
        QTemporaryDir dir;
        const QString previous = dir.filePath(u"manual.pdf"_s), file = dir.filePath(u"manual.md"_s);
        QVERIFY(writeFile(previous, "previous manual") && (source.isEmpty() || writeFile(file, source)));
        QProcess tool;
        tool.start(qEnvironmentVariable("YUMEKAZU_BUILD_DIR") + u"/tools/yumekazu-make-manual"_s,
                   QStringList{file, previous} + (good ? QStringList() : extra));
        QVERIFY(tool.waitForFinished(60000) && tool.exitStatus() == QProcess::NormalExit);
        if (good) {
            QCOMPARE(tool.exitCode(), 0);
            const QString body = pdfText(previous, {u"-f"_s, u"2"_s});
            for (const QString &line : extra)
                QVERIFY2(body.contains(line), qPrintable(line + u" is not in "_s + body));
            return;
        }
        QVERIFY(tool.exitCode() != 0 && !tool.readAllStandardError().isEmpty());
        QCOMPARE(fileContents(previous), QByteArray("previous manual"));
    }

    // The window icon is drawn by Qt's SVG plugin: it must render, with the
    // page opaque and the corners outside it left transparent.
    void iconRenders()
    {
        const QImage image = QIcon(resources + u"yumekazu.svg"_s).pixmap(QSize(128, 128)).toImage();
        QVERIFY2(image.size() == QSize(128, 128), "the SVG icon does not render (package libqt6svg6)");
        QCOMPARE(std::pair(qAlpha(image.pixel(40, 60)), qAlpha(image.pixel(2, 2))), std::pair(255, 0));
    }
};

YUMEKAZU_TEST_MAIN(TestManual)
#include "test_manual.moc"
