#include "app/JapaneseInterface.h"
#include "common/TestMain.h"
#include "documents/OpenText.h"
#include "documents/SaveText.h"
#include "documents/TextDecoder.h"
#include "documents/TextFile.h"
#include "platform/dialogs/QtPanelFactory.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>
#include <functional>

#include <sys/resource.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;
using Encoding = TextDecoder::Encoding;
using Text = std::optional<QString>; // nothing: refused

namespace {

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool put(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

constexpr int mayRefuse = -1;

QPushButton *acceptButton(QFileDialog *dialog)
{
    const bool save = dialog->acceptMode() == QFileDialog::AcceptSave;
    return dialog->findChild<QDialogButtonBox *>()->button(save ? QDialogButtonBox::Save : QDialogButtonBox::Open);
}

} // namespace

// Reading and writing note files, and the open and save actions through the
// real file dialogs, answered as a user would: the name typed into the name
// field (Japanese as an input method hands it over), then the button.
class TestDocuments : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QtPanelFactory m_panels;
    QTimer m_poll;

    // Hands the modal dialog to look once it runs its own event loop, then
    // accepts name in folder (the proposed name when null), or cancels.
    void whenDialogOpens(std::function<void(QFileDialog *)> look, const QString &folder, const QString &name, bool accept)
    {
        m_poll.disconnect();
        m_poll.callOnTimeout([=, this] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            m_poll.stop();
            look(dialog);
            if (!accept)
                return dialog->reject();
            dialog->setDirectory(folder);
            if (!name.isNull()) {
                dialog->findChild<QLineEdit *>(u"fileNameEdit"_s)->clear();
                QInputMethodEvent commit;
                commit.setCommitString(name);
                QApplication::sendEvent(dialog->findChild<QLineEdit *>(u"fileNameEdit"_s), &commit);
            }
            acceptButton(dialog)->click();
            if (dialog->isVisible())
                dialog->reject();
        });
        m_poll.start(10);
    }

private Q_SLOTS:
    // Qt's own texts, dates and the font are Japanese whatever LANG says (the
    // test runs under C).
    void initTestCase()
    {
        QVERIFY(JapaneseInterface::install());
        QCOMPARE(std::pair(QLocale().standaloneMonthName(12), QApplication::font().families().constFirst()),
                 std::pair(u"12月"_s, JapaneseInterface::fontFamily));
    }

    void openDialog_data()
    {
        QTest::addColumn<int>("sp1");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("chosen");
        QTest::addColumn<std::optional<QString>>("text");

        QTest::newRow("plain text") << 0 << "メモ\r\n"_ba << true << std::optional(u"メモ\r\n"_s);
        QTest::newRow("rich text as its source") << 1 << "{\\rtf1 メモ}"_ba << true << std::optional(u"{\\rtf1 メモ}"_s);
        QTest::newRow("any other value offers rich text") << -1 << "{\\rtf1}"_ba << true << std::optional(u"{\\rtf1}"_s);
        QTest::newRow("not text") << 0 << "\x89PNG\r\n\x1A\n\0\xFF\xFE"_ba << true << std::optional<QString>();
        QTest::newRow("cancelled") << 0 << "メモ"_ba << false << std::optional<QString>();
    }
    void openDialog()
    {
        QFETCH(int, sp1);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, chosen);
        QFETCH(std::optional<QString>, text);

        const QString name = sp1 == 0 ? u"note.txt"_s : u"note.rtf"_s;
        QFile file(m_dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size());
        file.close();
        QStringList seen;
        whenDialogOpens([&](QFileDialog *dialog) {
            seen << dialog->nameFilters() << acceptButton(dialog)->text() << QString::number(dialog->fileMode());
        }, m_dir.path(), name, chosen);
        QCOMPARE(chooseTextToOpen(sp1, m_panels, nullptr), text);
        const QString filter = sp1 == 0 ? u"*.txt"_s : u"*.rtf"_s;
        QCOMPARE(seen, (QStringList{filter, u"開く(&O)"_s, QString::number(QFileDialog::ExistingFile)}));
    }

    void saveDialog_data()
    {
        QTest::addColumn<QString>("typed"); // null: keep the proposed name
        QTest::addColumn<QString>("savedAs"); // null: cancelled

        QTest::newRow("proposed name") << QString() << u"savetext.txt"_s;
        QTest::newRow("other extension") << u"name.md"_s << u"name.md.txt"_s;
        QTest::newRow("upper-case extension") << u"NAME.TXT"_s << u"NAME.TXT"_s;
        QTest::newRow("japanese name") << u"日記"_s << u"日記.txt"_s;
        QTest::newRow("cancelled") << QString() << QString();
    }
    void saveDialog()
    {
        QFETCH(QString, typed);
        QFETCH(QString, savedAs);

        const QTemporaryDir folder;
        const QString message = u"Choose a folder and a name to store your text."_s;
        QStringList seen;
        whenDialogOpens([&](QFileDialog *dialog) {
            for (const QLabel *label : dialog->findChildren<QLabel *>())
                if (label->text() == message && label->isVisible())
                    seen << message;
            seen << dialog->windowTitle() << acceptButton(dialog)->text() << dialog->labelText(QFileDialog::FileName)
                 << dialog->findChild<QLineEdit *>(u"fileNameEdit"_s)->text() << dialog->nameFilters()
                 << QString::number(dialog->options() & (QFileDialog::DontUseNativeDialog | QFileDialog::ReadOnly));
        }, folder.path(), typed, !savedAs.isNull());
        const SaveTextResult result = saveTextWithPanel(m_panels, nullptr, [&] {
            // Read only once the dialog has closed.
            seen << (QApplication::activeModalWidget() ? u"note read too early"_s : u"note read"_s);
            return u"保存する本文🐈\r\n"_s;
        });

        QStringList expected{message, u"Save your text"_s, u"Save now"_s, u"File name:"_s, u"savetext.txt"_s,
                             u"*.txt"_s, QString::number(QFileDialog::DontUseNativeDialog)};
        QCOMPARE(result, savedAs.isNull() ? SaveTextResult::Cancelled : SaveTextResult::Saved);
        QCOMPARE(seen, savedAs.isNull() ? expected : expected << u"note read"_s);
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), savedAs.isNull() ? QStringList() : QStringList{savedAs});
        QFile saved(folder.filePath(savedAs));
        QVERIFY(savedAs.isNull() || (saved.open(QIODevice::ReadOnly) && saved.readAll() == u"保存する本文🐈\r\n"_s.toUtf8()));
    }

    void reading_data()
    {
        QTest::addColumn<QString>("path"); // empty: a file holding bytes
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<Text>("text");
        QTest::addColumn<int>("code"); // the error when refused; mayRefuse: refused as not text or read right

        const auto row = [](const char *name, const QString &path, const QByteArray &bytes, const Text &text, int code) {
            QTest::newRow(name) << path << bytes << text << code;
        };
        const auto file = [&row](const char *name, const QByteArray &bytes, const Text &text) {
            row(name, {}, bytes, text, text ? 0 : int(TextFile::NotText));
        };
        file("empty file", {}, u""_s);
        file("bom only", "\xEF\xBB\xBF", u""_s);
        file("only the first bom is taken off", "\xEF\xBB\xBF\xEF\xBB\xBF" "a", u"\uFEFFa"_s);
        file("crlf and lone cr kept", "a\r\nb\rc\n", u"a\r\nb\rc\n"_s);
        file("rich text as its source", "{\\rtf1 {\\b \\u29483?}}", u"{\\rtf1 {\\b \\u29483?}}"_s);
        file("escape sequences that are not iso-2022-jp", "\x1B[31mred\x1B[0m", u"\x1B[31mred\x1B[0m"_s);
        file("iso-2022-jp with a control character", "\x1B$B$3\x1B(B\x01", u"\x1B$B$3\x1B(B\x01"_s);
        file("utf-16 with emoji", QByteArray("\xFF\xFE\x2B\x73\x3D\xD8\x08\xDC", 8), u"猫🐈"_s);
        file("utf-16 bom only", "\xFF\xFE", u""_s);
        file("utf-16 odd length", QByteArray("\xFF\xFE" "a\0x", 5), {});
        file("utf-16 lone high surrogate at end", QByteArray("\xFF\xFE" "a\0\x3D\xD8", 6), {});
        file("utf-16 lone low surrogate", QByteArray("\xFF\xFE\x00\xDC" "a\0", 6), {});
        file("utf-16 high surrogate then letter", QByteArray("\xFE\xFF\xD8\x3D\x00" "a", 6), {});
        file("utf-8 encoded surrogate", "\xED\xA0\x80", {});
        file("shift_jis private use", "\x82\xA0\xF0\x40\x82\xA2", {});
        file("shift_jis control character", "\x82\xA0\x82\xA2\x80", {});

        const QString fifo = m_dir.filePath(u"fifo"_s), big = m_dir.filePath(u"big.txt"_s);
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(QFile::link(fifo, m_dir.filePath(u"link-to-fifo.txt"_s)) && QDir().mkpath(m_dir.filePath(u"folder"_s)));
        // Opening a FIFO for reading with no writer would block for ever.
        row("fifo", fifo, {}, {}, TextFile::NotRegularFile);
        row("link to a fifo", m_dir.filePath(u"link-to-fifo.txt"_s), {}, {}, TextFile::NotRegularFile);
        row("folder", m_dir.filePath(u"folder"_s), {}, {}, TextFile::NotRegularFile);
        row("endless device", u"/dev/zero"_s, {}, {}, TextFile::NotRegularFile);
        row("missing", m_dir.filePath(u"nothing-here.txt"_s), {}, {}, TextFile::Missing);
        // Zero bytes are valid UTF-8.
        file("exactly the size limit", QByteArray(TextFile::maxReadSize, '\0'), QString(TextFile::maxReadSize, QChar()));
        row("one byte over", {}, QByteArray(TextFile::maxReadSize + 1, '\0'), {}, TextFile::TooLarge);

        // The generated corpus: every encoding, short and long, and what must be
        // refused. Short texts may be refused, never read wrong.
        const QDir corpus(qEnvironmentVariable("YUMEKAZU_BUILD_DIR") + u"/tests/text-corpus"_s);
        int files = 0;
        for (const QString &folder : corpus.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            for (const QString &name : QDir(corpus.filePath(folder)).entryList(QDir::Files)) {
                const QByteArray bytes = contents(corpus.filePath(folder + u'/' + name));
                const Text text = folder == u"refuse"_s ? Text()
                                                        : QString::fromUtf8(contents(corpus.filePath(u"expected/"_s + name)));
                if (folder != u"expected"_s && ++files)
                    QTest::addRow("%s/%s", qPrintable(folder), qPrintable(name))
                        << QString() << bytes << text << (!text ? int(TextFile::NotText) : bytes.size() < 64 ? mayRefuse : 0);
            }
        }
        QVERIFY(files >= 200);
    }
    void reading()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, bytes);
        QFETCH(Text, text);
        QFETCH(int, code);

        if (path.isEmpty())
            QVERIFY(put(path = m_dir.filePath(u"reading.txt"_s), bytes));
        const Expected<QString> result = TextFile::read(path);
        if (result)
            QCOMPARE(Text(*result), text);
        else
            QCOMPARE(result.error().code, code == mayRefuse ? int(TextFile::NotText) : code);
    }

    // Below the file: each legacy reading stops at the first byte it cannot
    // map, rather than putting in a substitute that a later check might miss;
    // and a detector that cannot tell leaves only a lone reading with kana.
    void decoder_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("encoding"); // -1: guessed with a detector that cannot tell
        QTest::addColumn<Text>("text");

        QTest::newRow("shift_jis unmapped pair") << "\x82\xA0\x85\x40"_ba << int(Encoding::ShiftJis) << Text();
        QTest::newRow("euc-jp stray byte") << "\xA4\xA2\xFF"_ba << int(Encoding::EucJp) << Text();
        QTest::newRow("iso-2022-jp outside the table") << "\x1B$B\x7F\x7F\x1B(B"_ba << int(Encoding::Iso2022Jp) << Text();
        QTest::newRow("unsure: shift_jis with kana") << "\x82\xA0\x94\x4C!"_ba << -1 << Text(u"あ猫!"_s);
        QTest::newRow("unsure: shift_jis kanji only") << "\x94\x4C\x8C\xA2!"_ba << -1 << Text();
    }
    void decoder()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, encoding);
        QFETCH(Text, text);

        const auto guessed = TextDecoder::decode(bytes, [](QByteArrayView) -> std::optional<Encoding> { return {}; });
        QCOMPARE(encoding < 0 ? (guessed ? Text(guessed->text) : Text())
                              : TextDecoder::decodeStrictly(bytes, Encoding(encoding)),
                 text);
    }

    // Over a file of 4 KiB.
    void writing_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("written");

        QTest::newRow("replaces a longer file") << u"短い\r\n二\r"_s << true;
        QTest::newRow("empties an existing file") << QString() << true;
        // Writes past 1 KiB fail with EFBIG, as on a full disk.
        QTest::newRow("disk refuses mid-write") << QString(100000, u'猫') << false;
    }
    void writing()
    {
        QFETCH(QString, text);
        QFETCH(bool, written);

        const QString path = m_dir.filePath(u"existing.txt"_s);
        QVERIFY(put(path, QByteArray(4096, 'x')));
        const QStringList entries = QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        rlimit saved{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        const rlimit small{1024, saved.rlim_max};
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        const Expected<void> result = TextFile::writeAtomically(path, text);
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);

        // Exactly the UTF-8 bytes: no byte-order mark, no line end conversion.
        // On failure the earlier file is whole and no temporary file is left.
        QCOMPARE(result ? 0 : result.error().code, written ? 0 : int(TextFile::NotWritable));
        QCOMPARE(contents(path), written ? text.toUtf8() : QByteArray(4096, 'x'));
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), entries);
    }
};

YUMEKAZU_TEST_MAIN(TestDocuments)
#include "test_documents.moc"
