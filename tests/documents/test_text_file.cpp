#include "common/TestMain.h"
#include "documents/TextFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void put(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

const QString japanese = u"昨日は地域の猫とカラスに餌をあげた。\n明日は旅行。"_s;
const QString emoji = u"猫🐈と鳩🕊️ 👨‍👩‍👧"_s;

} // namespace

class TestTextFile : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void decoding_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text"); // null: must be refused
        QTest::addColumn<bool>("mayRefuse");

        const QByteArray utf8 = japanese.toUtf8();
        QByteArray le("\xFF\xFE"), be("\xFE\xFF");
        for (const QChar c : QString(emoji + japanese)) {
            le.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
            be.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xFF));
        }
        const QString refused;

        QTest::newRow("empty file") << QByteArray() << u""_s << false;
        QTest::newRow("utf-8 with bom") << "\xEF\xBB\xBF" + utf8 << japanese << false;
        QTest::newRow("bom only") << QByteArray("\xEF\xBB\xBF") << u""_s << false;
        QTest::newRow("only the first bom is taken off") << "\xEF\xBB\xBF\xEF\xBB\xBF" "a"_ba << u"\uFEFFa"_s << false;
        QTest::newRow("crlf and lone cr kept") << "a\r\nb\rc\n"_ba << u"a\r\nb\rc\n"_s << false;
        QTest::newRow("rich text as its source") << "{\\rtf1 {\\b \\u29483?}}"_ba << u"{\\rtf1 {\\b \\u29483?}}"_s << false;
        QTest::newRow("escape sequences that are not iso-2022-jp") << "\x1B[31mred\x1B[0m"_ba << u"\x1B[31mred\x1B[0m"_s << false;
        QTest::newRow("utf-16le with bom") << le << emoji + japanese << false;
        QTest::newRow("utf-16be with bom") << be << emoji + japanese << false;
        QTest::newRow("utf-16 bom only") << QByteArray("\xFF\xFE") << u""_s << false;
        QTest::newRow("utf-16 odd length") << le + 'x' << refused << false;
        QTest::newRow("utf-16 lone high surrogate at end") << QByteArray("\xFF\xFE" "a\0\x3D\xD8", 6) << refused << false;
        QTest::newRow("utf-16 lone low surrogate") << QByteArray("\xFF\xFE\x00\xDC" "a\0", 6) << refused << false;
        QTest::newRow("utf-16 high surrogate then letter") << QByteArray("\xFE\xFF\xD8\x3D\x00" "a", 6) << refused << false;
        QTest::newRow("shift_jis private use") << "\x82\xA0\xF0\x40\x82\xA2"_ba << refused << false;
        QTest::newRow("shift_jis control character") << "\x82\xA0\x82\xA2\x80"_ba << refused << false;
        QTest::newRow("iso-2022-jp with a control character") << "\x1B$B$3\x1B(B\x01"_ba << u"\x1B$B$3\x1B(B\x01"_s << false;
        QTest::newRow("overlong utf-8") << QByteArray("\xC0\xAF") << refused << false;
        QTest::newRow("utf-8 encoded surrogate") << QByteArray("\xED\xA0\x80") << refused << false;

        // The generated corpus: every encoding, short and long, and what must be
        // refused. Short texts may be refused, never read wrong.
        const QDir corpus(qEnvironmentVariable("YUMEKAZU_BUILD_DIR") + u"/tests/text-corpus"_s);
        int files = 0;
        for (const QString &folder : corpus.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            for (const QString &name : QDir(corpus.filePath(folder)).entryList(QDir::Files)) {
                const QByteArray bytes = contents(corpus.filePath(folder + u'/' + name));
                const QString text = folder == u"refuse"_s ? refused
                                                           : QString::fromUtf8(contents(corpus.filePath(u"expected/"_s + name)));
                if (folder != u"expected"_s && ++files)
                    QTest::addRow("%s/%s", qPrintable(folder), qPrintable(name)) << bytes << text << (bytes.size() < 64);
            }
        }
        QVERIFY(files >= 200);
    }

    void decoding()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QFETCH(bool, mayRefuse);

        const QString path = m_dir.filePath(u"decoding.txt"_s);
        put(path, bytes);
        const Expected<QString> result = TextFile::read(path);
        if (result)
            QCOMPARE(*result, text);
        else
            QVERIFY(result.error().code == TextFile::NotText && (text.isNull() || mayRefuse));
    }

    void refusesWhatIsNotAFileToRead_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<qint64>("sparseSize"); // a file of this many zero bytes at path
        QTest::addColumn<int>("code");          // 0: read

        const QString fifo = m_dir.filePath(u"fifo"_s);
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(QFile::link(fifo, m_dir.filePath(u"link-to-fifo.txt"_s)));
        QVERIFY(QDir().mkpath(m_dir.filePath(u"folder.txt"_s)));
        const QString big = m_dir.filePath(u"big.txt"_s);

        // Opening a FIFO for reading with no writer would block for ever.
        QTest::newRow("fifo") << fifo << qint64(0) << int(TextFile::NotRegularFile);
        QTest::newRow("link to a fifo") << m_dir.filePath(u"link-to-fifo.txt"_s) << qint64(0) << int(TextFile::NotRegularFile);
        QTest::newRow("folder") << m_dir.filePath(u"folder.txt"_s) << qint64(0) << int(TextFile::NotRegularFile);
        QTest::newRow("empty device") << u"/dev/null"_s << qint64(0) << int(TextFile::NotRegularFile);
        QTest::newRow("endless device") << u"/dev/zero"_s << qint64(0) << int(TextFile::NotRegularFile);
        QTest::newRow("missing") << m_dir.filePath(u"nothing-here.txt"_s) << qint64(0) << int(TextFile::Missing);
        QTest::newRow("empty path") << QString() << qint64(0) << int(TextFile::Missing);
        QTest::newRow("exactly the size limit") << big << TextFile::maxReadSize << 0;
        QTest::newRow("one byte over") << big << TextFile::maxReadSize + 1 << int(TextFile::TooLarge);
        QTest::newRow("far over") << big << qint64(8) * 1024 * 1024 * 1024 << int(TextFile::TooLarge);
    }

    void refusesWhatIsNotAFileToRead()
    {
        QFETCH(QString, path);
        QFETCH(qint64, sparseSize);
        QFETCH(int, code);

        if (sparseSize > 0) {
            // Sparse: the zero bytes cost no disk space and are valid UTF-8.
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.resize(sparseSize));
        }
        const Expected<QString> result = TextFile::read(path);
        QCOMPARE(result ? 0 : result.error().code, code);
        if (result)
            QCOMPARE(result->size(), sparseSize);
        else
            QVERIFY(result.error().domain == TextFile::errorDomain && !result.error().localizedDescription.isEmpty());
    }

    void writing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("written");

        QVERIFY(QDir().mkpath(m_dir.filePath(u"a-folder.txt"_s)));
        const QByteArray old = "the earlier text";

        QTest::newRow("japanese and emoji") << u"new.txt"_s << QByteArray() << japanese + emoji << true;
        QTest::newRow("crlf, lf and cr line ends") << u"new.txt"_s << QByteArray() << u"一\r\n二\n三\r四\r\n"_s << true;
        QTest::newRow("replaces a longer file") << u"existing.txt"_s << QByteArray(4096, 'x') << u"短い"_s << true;
        QTest::newRow("empties an existing file") << u"existing.txt"_s << old << QString() << true;
        // Permission bits do not stop root, which the tests may run as: this
        // fails for everyone.
        QTest::newRow("target is a folder") << u"a-folder.txt"_s << QByteArray() << japanese << false;
        // Writes past 1 KiB fail with EFBIG, as on a full disk.
        QTest::newRow("disk refuses mid-write") << u"existing.txt"_s << old << QString(100000, u'猫') << false;
    }

    void writing()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, before);
        QFETCH(QString, text);
        QFETCH(bool, written);

        const QString path = m_dir.filePath(name);
        QFile::remove(path);
        if (!before.isEmpty())
            put(path, before);
        const QStringList entriesBefore = QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

        rlimit saved{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = 1024;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        const Expected<void> result = TextFile::writeAtomically(path, text);
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);

        QCOMPARE(result.has_value(), written);
        if (written) {
            // Exactly the UTF-8 bytes: no byte-order mark, no line end conversion.
            QCOMPARE(contents(path), text.toUtf8());
            QCOMPARE(*TextFile::read(path), text);
            return;
        }
        QCOMPARE(result.error().code, int(TextFile::NotWritable));
        if (!before.isEmpty())
            QCOMPARE(contents(path), before);
        // No temporary file is left behind.
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), entriesBefore);
    }
};

YUMEKAZU_TEST_MAIN(TestTextFile)
#include "test_text_file.moc"
