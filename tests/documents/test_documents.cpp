#include "app/JapaneseInterface.h"
#include "common/TestMain.h"
#include "documents/OpenText.h"
#include "documents/SaveText.h"
#include "documents/TextDecoder.h"
#include "documents/TextFile.h"
#include "platform/dialogs/QtPanelFactory.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using Text = std::optional<QString>; // nothing: refused

namespace {

constexpr int mayRefuse = -1;

// The open dialog's switch (-1: the save dialog), the name typed (null: the
// proposed one), whether it is accepted, the bytes in the file opened or
// saved, the text read or the name saved as, and what the dialog says when it
// refuses the name.
struct DialogCase { int sp1; QString name; bool accept; QByteArray bytes; Text outcome; QString refusal = {}; };
// A file at path (empty: one holding bytes), its text, and the error when it
// is refused (mayRefuse: read right, or refused as not text).
struct ReadCase { QString path; QByteArray bytes; Text text; int code; };

} // namespace

// Reading and writing note files, and the open and save actions through the
// real file dialogs, answered as a user would: the name typed into the name
// field (Japanese as an input method hands it over), then the button.
class TestDocuments : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QtPanelFactory m_panels;
    QTimer m_poll;

    QStringList m_seen;

    // Reads what the user sees of the modal file dialog once it runs its own
    // event loop, then answers it as a user would: name typed into the name
    // field (Japanese as an input method hands it over) and the button; or
    // cancels.
    void answerDialog(const QString &folder, const QString &name, bool accept)
    {
        m_poll.disconnect();
        m_poll.callOnTimeout([=, this] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            m_poll.stop();
            auto *field = dialog->findChild<QLineEdit *>(u"fileNameEdit"_s);
            QPushButton *button = dialog->findChild<QDialogButtonBox *>()->button(
                dialog->acceptMode() == QFileDialog::AcceptSave ? QDialogButtonBox::Save : QDialogButtonBox::Open);
            const auto *message = dialog->findChild<QLabel *>(u"messageLabel"_s);
            m_seen = QStringList{dialog->windowTitle(), button->text(), dialog->labelText(QFileDialog::FileName),
                                 field->text(), message && message->isVisible() ? message->text() : QString(),
                                 QString::number(dialog->fileMode()),
                                 QString::number(dialog->options() & (QFileDialog::DontUseNativeDialog | QFileDialog::ReadOnly))}
                + dialog->nameFilters();
            if (!accept) {
                m_seen << QString();
                return dialog->reject();
            }
            dialog->setDirectory(folder);
            if (!name.isNull()) {
                field->clear();
                QInputMethodEvent commit;
                commit.setCommitString(name);
                QApplication::sendEvent(field, &commit);
            }
            button->click();
            const auto *refused = dialog->findChild<QMessageBox *>(u"refusedType"_s);
            m_seen << (refused && refused->isVisible() ? refused->text() + refused->informativeText() : QString());
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
        QVERIFY(JapaneseInterface::install() && QLocale().standaloneMonthName(12) == u"12月"_s
                && QApplication::font().families().constFirst() == JapaneseInterface::fontFamily);
    }

    void fileDialogs_data()
    {
        QTest::addColumn<DialogCase>("row");

        const QByteArray note = u"保存する本文🐈\r\n"_s.toUtf8();
        QTest::newRow("open plain text") << DialogCase{0, u"note.txt"_s, true, note, u"保存する本文🐈\r\n"_s};
        QTest::newRow("open rich text as its source") << DialogCase{1, u"note.rtf"_s, true, "{\\rtf1 メモ}"_ba, u"{\\rtf1 メモ}"_s};
        QTest::newRow("open what is not text") << DialogCase{0, u"note.txt"_s, true, "\x89PNG\r\n\x1A\n\0\xFF\xFE"_ba, {}};
        QTest::newRow("open cancelled") << DialogCase{0, u"note.txt"_s, false, note, {}};
        // A typed name gets round the view's filter; the dialog still refuses it.
        QTest::newRow("open, typed name of another type") << DialogCase{0, u"note.md"_s, true, note, {}, u"「note.md」は開けません。拡張子がtxtのファイルを選んでください。"_s};
        QTest::newRow("open, txt typed while rtf is asked") << DialogCase{1, u"NOTE.TXT"_s, true, note, {}, u"「NOTE.TXT」は開けません。拡張子がrtfのファイルを選んでください。"_s};
        QTest::newRow("save under the proposed name") << DialogCase{-1, QString(), true, note, u"savetext.txt"_s};
        QTest::newRow("save, other extension") << DialogCase{-1, u"name.md"_s, true, note, u"name.md.txt"_s};
        QTest::newRow("save, upper-case extension") << DialogCase{-1, u"NAME.TXT"_s, true, note, u"NAME.TXT"_s};
        QTest::newRow("save, japanese name") << DialogCase{-1, u"日記"_s, true, note, u"日記.txt"_s};
        QTest::newRow("save an empty note") << DialogCase{-1, u"empty"_s, true, QByteArray(), u"empty.txt"_s};
        QTest::newRow("save cancelled") << DialogCase{-1, QString(), false, note, {}};
    }
    void fileDialogs()
    {
        QFETCH(const DialogCase, row);
        const auto &[sp1, name, accept, bytes, outcome, refusal] = row;

        const QTemporaryDir folder;
        answerDialog(folder.path(), name, accept);
        if (sp1 >= 0) {
            QVERIFY(writeFile(folder.filePath(name), bytes));
            QCOMPARE(chooseTextToOpen(sp1, m_panels, nullptr), outcome);
            QCOMPARE(m_seen, (QStringList{u"開く"_s, u"開く(&O)"_s, u"ファイル名(&N):"_s, QString(), QString(),
                                          QString::number(QFileDialog::ExistingFile), u"8"_s, sp1 == 0 ? u"*.txt"_s : u"*.rtf"_s, refusal}));
            return;
        }
        bool readAfterClosing = false;
        const SaveTextResult result = saveTextWithPanel(m_panels, nullptr, [&] {
            readAfterClosing = !QApplication::activeModalWidget();
            return QString::fromUtf8(bytes);
        });
        QCOMPARE(m_seen, (QStringList{u"Save your text"_s, u"Save now"_s, u"File name:"_s, u"savetext.txt"_s,
                                      u"Choose a folder and a name to store your text."_s, u"0"_s, u"8"_s, u"*.txt"_s, QString()}));
        // Exactly the note, read only once the dialog has closed.
        QCOMPARE(std::tuple(result, readAfterClosing, QDir(folder.path()).entryList(QDir::Files), fileContents(folder.filePath(outcome.value_or(u"-"_s)))),
                 std::tuple(outcome ? SaveTextResult::Saved : SaveTextResult::Cancelled, outcome.has_value(),
                            outcome ? QStringList{*outcome} : QStringList(), outcome ? bytes : "<unreadable>"_ba));
    }

    void reading_data()
    {
        QTest::addColumn<ReadCase>("row");

        const auto row = [](const char *name, const QString &path, const QByteArray &bytes, const Text &text, int code) {
            QTest::newRow(name) << ReadCase{path, bytes, text, code};
        };
        const auto file = [&row](const char *name, const QByteArray &bytes, const Text &text) {
            row(name, {}, bytes, text, text ? 0 : int(TextFile::NotText));
        };
        file("empty file", {}, u""_s);
        file("only the first bom is taken off", "\xEF\xBB\xBF\xEF\xBB\xBF" "a", u"\uFEFFa"_s);
        file("iso-2022-jp with a control character", "\x1B$B$3\x1B(B\x01", u"\x1B$B$3\x1B(B\x01"_s);
        file("utf-16 with emoji", QByteArray("\xFF\xFE\x2B\x73\x3D\xD8\x08\xDC", 8), u"猫🐈"_s);
        file("utf-16 odd length", QByteArray("\xFF\xFE" "a\0x", 5), {});
        file("utf-16 lone high surrogate at end", QByteArray("\xFF\xFE" "a\0\x3D\xD8", 6), {});
        file("utf-16 lone low surrogate", QByteArray("\xFF\xFE\x00\xDC" "a\0", 6), {});
        file("utf-16 high surrogate then letter", QByteArray("\xFE\xFF\xD8\x3D\x00" "a", 6), {});
        // Valid UTF-8 stays UTF-8 whatever control characters it holds.
        file("utf-8 with a vertical tab", "\x0Bxyz", u"\vxyz"_s);
        file("utf-8 with a zero byte", QByteArray("ab\0cd\n", 6), QString::fromUtf8("ab\0cd\n", 6));
        file("utf-16 ascii without a mark", QByteArray("a\0b\0c\0", 6), u"abc"_s);
        file("shift_jis private use", "\x82\xA0\xF0\x40\x82\xA2", {});
        file("shift_jis control character", "\x82\xA0\x82\xA2\x80", {});

        const QString fifo = m_dir.filePath(u"fifo"_s);
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        // Opening a FIFO for reading with no writer would block for ever.
        row("fifo", fifo, {}, {}, TextFile::NotRegularFile);
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
                const QByteArray bytes = fileContents(corpus.filePath(folder + u'/' + name));
                const Text text = folder == u"refuse"_s ? Text()
                                                        : QString::fromUtf8(fileContents(corpus.filePath(u"expected/"_s + name)));
                if (folder != u"expected"_s && ++files)
                    QTest::addRow("%s/%s", qPrintable(folder), qPrintable(name))
                        << ReadCase{{}, bytes, text, !text ? int(TextFile::NotText) : bytes.size() < 64 ? mayRefuse : 0};
            }
        }
        QVERIFY(files >= 200);
    }
    void reading()
    {
        QFETCH(const ReadCase, row);
        const auto &[path, bytes, text, code] = row;
        QVERIFY(!path.isEmpty() || writeFile(m_dir.filePath(u"reading.txt"_s), bytes));
        const Expected<QString> result = TextFile::read(path.isEmpty() ? m_dir.filePath(u"reading.txt"_s) : path);
        if (result)
            QCOMPARE(Text(*result), text);
        else
            QCOMPARE(result.error().code, code == mayRefuse ? int(TextFile::NotText) : code);
    }

    // Below the file: a legacy reading stops at the first byte it cannot
    // map, rather than putting in a substitute that a later check might miss.
    void legacyDecodingIsStrict()
    {
        QVERIFY(!TextDecoder::decodeStrictly("\x82\xA0\x85\x40", TextDecoder::Encoding::ShiftJis));
    }

    // Saving over a file of this mode (0: none) under umask 027 gives the
    // note this mode: the old file's, else any new file's, never a private
    // one. A read-only file is refused (0), and so is a write that fails
    // part-way (-1: past 1 KiB, with EFBIG as on a full disk): the earlier
    // file stays whole and no temporary file is left behind.
    void writing_data()
    {
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("after");
        QTest::newRow("new file") << 0 << 0640;
        QTest::newRow("existing 0644") << 0644 << 0644;
        QTest::newRow("existing 0604") << 0604 << 0604;
        QTest::newRow("read-only") << 0444 << 0;
        QTest::newRow("fails part-way") << 0644 << -1;
    }
    void writing()
    {
        QFETCH(int, before);
        QFETCH(int, after);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"note.txt"_s);
        QVERIFY(!before || (writeFile(path, "earlier") && ::chmod(QFile::encodeName(path).constData(), mode_t(before)) == 0));
        // Root may write any file: the read-only one is tried as nobody.
        const bool asNobody = after == 0 && ::geteuid() == 0;
        QVERIFY(!asNobody || ::chmod(QFile::encodeName(dir.path()).constData(), 0777) == 0);
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{after < 0 ? 1024 : RLIM_INFINITY, RLIM_INFINITY};
        rlimit saved{};
        const mode_t savedMask = ::umask(027);
        QVERIFY(::prlimit(0, RLIMIT_FSIZE, &limit, &saved) == 0 && (!asNobody || ::seteuid(65534) == 0));
        const Expected<void> result = TextFile::writeAtomically(path, QString(1000, u'猫'));
        QVERIFY((!asNobody || ::seteuid(0) == 0) && ::setrlimit(RLIMIT_FSIZE, &saved) == 0);
        ::umask(savedMask);
        struct stat info {};
        QCOMPARE(std::tuple(result ? 0 : result.error().code, fileContents(path), ::stat(QFile::encodeName(path).constData(), &info) ? 0 : int(info.st_mode & 07777), QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot)),
                 std::tuple(after > 0 ? 0 : int(TextFile::NotWritable), after > 0 ? QString(1000, u'猫').toUtf8() : "earlier"_ba, after > 0 ? after : before, QStringList{u"note.txt"_s}));
    }
};

YUMEKAZU_TEST_MAIN(TestDocuments)
#include "test_documents.moc"
