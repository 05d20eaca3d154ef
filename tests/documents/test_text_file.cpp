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

private Q_SLOTS:
    void decoding_data();
    void decoding();
    void refusesWhatIsNotARegularFile_data();
    void refusesWhatIsNotARegularFile();
    void sizeLimit_data();
    void sizeLimit();
    void writeRoundTrip_data();
    void writeRoundTrip();
    void failedWriteKeepsWhatWasThere_data();
    void failedWriteKeepsWhatWasThere();

private:
    QTemporaryDir m_dir;
};

void TestTextFile::decoding_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<QString>("text");

    const QByteArray utf8 = japanese.toUtf8();
    QByteArray le("\xFF\xFE"), be("\xFE\xFF");
    for (const QChar c : QString(emoji + japanese)) {
        le.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
        be.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xFF));
    }

    QTest::newRow("empty file") << QByteArray() << true << QString();
    QTest::newRow("utf-8") << utf8 << true << japanese;
    QTest::newRow("utf-8 with bom") << "\xEF\xBB\xBF" + utf8 << true << japanese;
    QTest::newRow("bom only") << QByteArray("\xEF\xBB\xBF") << true << QString();
    QTest::newRow("only the first bom is taken off")
        << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF" "a") << true << u"\uFEFFa"_s;
    QTest::newRow("crlf and lone cr kept") << QByteArray("a\r\nb\rc\n") << true << u"a\r\nb\rc\n"_s;
    QTest::newRow("rich text as its source")
        << QByteArray("{\\rtf1\\ansi {\\b \\u29483?}}") << true << u"{\\rtf1\\ansi {\\b \\u29483?}}"_s;
    QTest::newRow("utf-16le with bom") << le << true << emoji + japanese;
    QTest::newRow("utf-16be with bom") << be << true << emoji + japanese;
    QTest::newRow("utf-16 bom only") << QByteArray("\xFF\xFE") << true << QString();
    QTest::newRow("utf-16 odd length") << le + 'x' << false << QString();
    QTest::newRow("utf-16 lone high surrogate at end") << QByteArray("\xFF\xFE" "a\0\x3D\xD8", 6) << false << QString();
    QTest::newRow("utf-16 lone low surrogate") << QByteArray("\xFF\xFE\x00\xDC" "a\0", 6) << false << QString();
    QTest::newRow("utf-16 high surrogate then letter") << QByteArray("\xFE\xFF\xD8\x3D\x00" "a", 6) << false << QString();
    QTest::newRow("invalid utf-8") << QByteArray("ab\xC3\x28") << false << QString();
    QTest::newRow("latin-1") << QByteArray("caf\xE9 cr\xE8me") << false << QString();
    QTest::newRow("shift_jis") << QByteArray("\x93\xfa\x96\x7b\x8c\xea") << false << QString();
    QTest::newRow("utf-8 cut off at the end") << utf8.chopped(1) << false << QString();
    QTest::newRow("overlong utf-8") << QByteArray("\xC0\xAF") << false << QString();
    QTest::newRow("utf-8 encoded surrogate") << QByteArray("\xED\xA0\x80") << false << QString();
}

void TestTextFile::decoding()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, readable);
    QFETCH(QString, text);

    const QString path = m_dir.filePath(u"decoding.txt"_s);
    put(path, bytes);
    const Expected<QString> result = TextFile::read(path);
    QCOMPARE(result.has_value(), readable);
    if (readable)
        QCOMPARE(*result, text);
    else
        QCOMPARE(result.error().code, int(TextFile::NotText));
}

void TestTextFile::refusesWhatIsNotARegularFile_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("code");

    const QString fifo = m_dir.filePath(u"fifo"_s);
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QVERIFY(QFile::link(fifo, m_dir.filePath(u"link-to-fifo.txt"_s)));
    QVERIFY(QDir().mkpath(m_dir.filePath(u"folder.txt"_s)));

    // Opening a FIFO for reading with no writer would block for ever.
    QTest::newRow("fifo") << fifo << int(TextFile::NotRegularFile);
    QTest::newRow("link to a fifo") << m_dir.filePath(u"link-to-fifo.txt"_s) << int(TextFile::NotRegularFile);
    QTest::newRow("folder") << m_dir.filePath(u"folder.txt"_s) << int(TextFile::NotRegularFile);
    QTest::newRow("empty device") << u"/dev/null"_s << int(TextFile::NotRegularFile);
    QTest::newRow("endless device") << u"/dev/zero"_s << int(TextFile::NotRegularFile);
    QTest::newRow("missing") << m_dir.filePath(u"nothing-here.txt"_s) << int(TextFile::Missing);
    QTest::newRow("empty path") << QString() << int(TextFile::Missing);
}

void TestTextFile::refusesWhatIsNotARegularFile()
{
    QFETCH(QString, path);
    QFETCH(int, code);

    const Expected<QString> result = TextFile::read(path);
    QVERIFY(!result);
    QCOMPARE(result.error().code, code);
    QCOMPARE(result.error().domain, TextFile::errorDomain);
    QVERIFY(!result.error().localizedDescription.isEmpty());
}

void TestTextFile::sizeLimit_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("readable");

    QTest::newRow("exactly the limit") << TextFile::maxReadSize << true;
    QTest::newRow("one byte over") << TextFile::maxReadSize + 1 << false;
    QTest::newRow("far over") << qint64(8) * 1024 * 1024 * 1024 << false;
}

void TestTextFile::sizeLimit()
{
    QFETCH(qint64, size);
    QFETCH(bool, readable);

    // Sparse: the zero bytes cost no disk space and are valid UTF-8.
    const QString path = m_dir.filePath(u"big.txt"_s);
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QVERIFY(file.resize(size));
    }
    const Expected<QString> result = TextFile::read(path);
    QFile::remove(path);
    QCOMPARE(result.has_value(), readable);
    if (readable)
        QCOMPARE(result->size(), size);
    else
        QCOMPARE(result.error().code, int(TextFile::TooLarge));
}

void TestTextFile::writeRoundTrip_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("text");

    QTest::newRow("japanese") << QByteArray() << japanese;
    QTest::newRow("emoji") << QByteArray() << emoji;
    QTest::newRow("crlf, lf and cr line ends") << QByteArray() << u"一\r\n二\n三\r四\r\n"_s;
    QTest::newRow("empty note") << QByteArray() << QString();
    QTest::newRow("replaces a longer file") << QByteArray(4096, 'x') << u"短い"_s;
    QTest::newRow("empties an existing file") << QByteArray("old text") << QString();
}

void TestTextFile::writeRoundTrip()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, text);

    const QString path = m_dir.filePath(u"round-trip.txt"_s);
    QFile::remove(path);
    if (!before.isEmpty())
        put(path, before);

    QVERIFY(TextFile::writeAtomically(path, text));
    // Exactly the UTF-8 bytes: no byte-order mark, no line end conversion.
    QCOMPARE(contents(path), text.toUtf8());
    const Expected<QString> back = TextFile::read(path);
    QVERIFY(back);
    QCOMPARE(*back, text);
}

void TestTextFile::failedWriteKeepsWhatWasThere_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("limitFileSize");

    put(m_dir.filePath(u"plain-file"_s), "not a folder");
    QVERIFY(QDir().mkpath(m_dir.filePath(u"a-folder.txt"_s)));

    // Permission bits do not stop root, which the tests may run as: these
    // fail for everyone.
    QTest::newRow("parent is a file") << m_dir.filePath(u"plain-file/note.txt"_s) << false;
    QTest::newRow("target is a folder") << m_dir.filePath(u"a-folder.txt"_s) << false;
    QTest::newRow("parent missing") << m_dir.filePath(u"no-such-folder/note.txt"_s) << false;
    QTest::newRow("disk refuses mid-write") << m_dir.filePath(u"existing.txt"_s) << true;
}

void TestTextFile::failedWriteKeepsWhatWasThere()
{
    QFETCH(QString, path);
    QFETCH(bool, limitFileSize);

    const QByteArray old = "the earlier text";
    if (limitFileSize)
        put(path, old);
    const QStringList entriesBefore = QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

    Expected<void> result;
    if (limitFileSize) {
        // Writes past 1 KiB fail with EFBIG, as on a full disk.
        rlimit saved{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = 1024;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        result = TextFile::writeAtomically(path, QString(100000, u'猫'));
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);
    } else {
        result = TextFile::writeAtomically(path, japanese);
    }

    QVERIFY(!result);
    QCOMPARE(result.error().code, int(TextFile::NotWritable));
    if (limitFileSize)
        QCOMPARE(contents(path), old);
    // No temporary file is left behind.
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), entriesBefore);
}

YUMEKAZU_TEST_MAIN(TestTextFile)
#include "test_text_file.moc"
