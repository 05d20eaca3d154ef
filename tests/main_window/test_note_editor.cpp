#include "app/JapaneseInterface.h"
#include "common/TestMain.h"
#include "documents/TextFile.h"
#include "main_window/NoteEditor.h"
#include "main_window/PreferenceKeys.h"
#include "platform/core/PreferenceStore.h"

#include <QCalendarWidget>
#include <QInputMethodEvent>
#include <QMenu>
#include <QPainter>
#include <QProcess>
#include <QSignalSpy>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

class TestNoteEditor : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<PreferenceStore> m_store;

    QString note() const { return m_store->string(PreferenceKeys::stringKey, u"<absent>"_s); }
    void write(const QString &text) { m_store->setString(PreferenceKeys::stringKey, text); }
    static void send(QWidget *editor, const QString &commit)
    {
        QInputMethodEvent event;
        event.setCommitString(commit);
        QCoreApplication::sendEvent(editor, &event);
    }
    static void moveCursor(QPlainTextEdit *editor, int position)
    {
        QTextCursor cursor = editor->textCursor();
        cursor.setPosition(position);
        editor->setTextCursor(cursor);
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(JapaneseInterface::install()); }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_store = std::make_unique<PreferenceStore>(m_dir->filePath(u"preferences.ini"_s));
    }

    // Open a file while the editor shows the same text, edit, save, open again.
    void lineEnds_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("cursor");
        QTest::addColumn<QString>("typed"); // a line feed is the Return key, DEL the Delete key
        QTest::addColumn<QString>("edited");

        QTest::newRow("crlf") << "一\r\n二\r\n"_ba << 4 << u"三\n"_s << u"一\r\n二\r\n三\r\n"_s;
        QTest::newRow("crlf, typing before a line end") << "一\r\n二"_ba << 1 << u"x\n"_s << u"一x\r\n\r\n二"_s;
        QTest::newRow("deleting a crlf") << "a\r\nb"_ba << 1 << u"\x7F"_s << u"ab"_s;
        QTest::newRow("cr only") << "一\r二\r"_ba << 2 << u"\n"_s << u"一\r\r二\r"_s;
        QTest::newRow("mixed keeps each") << "a\r\nb\nc\rd"_ba << 3 << u"X\n"_s << u"a\r\nbX\r\n\nc\rd"_s;
        QTest::newRow("lf") << "a\nb"_ba << 1 << u"\n"_s << u"a\n\nb"_s;
        QTest::newRow("no-break space, separators kept") << "a\u00A0b\u2028c"_ba << 5 << u"d"_s << u"a\u00A0b\u2028cd"_s;
    }
    void lineEnds()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, cursor);
        QFETCH(QString, typed);
        QFETCH(QString, edited);

        const QString path = m_dir->filePath(u"note.txt"_s);
        QVERIFY(TextFile::writeAtomically(path, QString::fromUtf8(file)));
        const QString opened = *TextFile::read(path);
        write(NoteEditor::displayForm(opened));
        NoteEditor editor(m_store.get());
        write(opened);
        // Showing it changes neither what the editor shows nor the note.
        QCOMPARE(editor.toPlainText(), NoteEditor::displayForm(opened));
        QCOMPARE(note(), opened);
        moveCursor(&editor, cursor);
        for (const QChar c : typed)
            c == u'\n' ? QTest::keyClick(&editor, Qt::Key_Return)
            : c == u'\x7F' ? QTest::keyClick(&editor, Qt::Key_Delete) : send(&editor, c);
        QCOMPARE(note(), edited);
        QCOMPARE(editor.toPlainText(), NoteEditor::displayForm(edited));
        QVERIFY(TextFile::writeAtomically(path, note()));
        QCOMPARE(*TextFile::read(path), edited);
    }

    void otherWindows()
    {
        NoteEditor typing(m_store.get()), reading(m_store.get());
        send(&typing, u"ねこ"_s);
        QCOMPARE(reading.toPlainText(), u"ねこ"_s);
        // The reader's cursor stays where it was while text changes after it.
        moveCursor(&reading, 1);
        send(&typing, u"と鳥"_s);
        QCOMPARE(note(), u"ねこと鳥"_s);
        QCOMPARE(reading.toPlainText(), u"ねこと鳥"_s);
        QCOMPARE(reading.textCursor().position(), 1);
        // So does a note written by another process after ours was written.
        QVERIFY(m_store->flush());
        QCOMPARE(QProcess::execute(qEnvironmentVariable("YUMEKAZU_BUILD_DIR") + u"/tests/preference_writer"_s,
                                   {m_store->filePath(), PreferenceKeys::stringKey, u"1"_s}), 0);
        QTRY_COMPARE(reading.toPlainText(), PreferenceKeys::stringKey + u" 1 "_s);
    }

    // A real input method (ibus with mozc, typed into with xdotool) through
    // tests/main_window/with-input-method; skipped elsewhere.
    void realInputMethod_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<int>("cursor");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("after");

        QTest::newRow("compose, convert, commit") << u""_s << 0 << u"type neko,key space,key Return"_s << u"猫"_s;
        QTest::newRow("insertion mid-text") << u"前後"_s << 1 << u"type aida,key Return"_s << u"前あいだ後"_s;
        QTest::newRow("escape cancels") << u"メモ"_s << 2 << u"type neko,key Escape"_s << u"メモ"_s;
        QTest::newRow("another window writes meanwhile") << u"前後"_s << 1 << u"type neko,write !,key Return"_s << u"前ねこ後!"_s;
        QTest::newRow("commit opens a new composition") << u""_s << 0 << u"type neko,key space,type a,write !,key Return"_s << u"猫あ!"_s;
        QTest::newRow("cursor moved while composing") << u"前後"_s << 2 << u"type neko,click"_s << u"前後ねこ"_s;
        QTest::newRow("window switched while composing") << u"前後"_s << 2 << u"type neko,switch"_s << u"前後ねこ"_s;
    }
    void realInputMethod()
    {
        if (QGuiApplication::platformName() != u"xcb"_s)
            QSKIP("needs the real input method, see with-input-method");
        QFETCH(QString, before);
        QFETCH(int, cursor);
        QFETCH(QString, steps);
        QFETCH(QString, after);

        const auto xdotool = [](const QStringList &args) { QCOMPARE(QProcess::execute(u"xdotool"_s, args), 0); };
        write(before);
        NoteEditor editor(m_store.get()), other(m_store.get());
        other.move(600, 0);
        for (NoteEditor *window : {&other, &editor})
            window->show();
        editor.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&editor));
        // The input method is ready once typing composes.
        xdotool({u"type"_s, u"a"_s});
        QTRY_VERIFY_WITH_TIMEOUT(editor.isComposing(), 20000);
        xdotool({u"key"_s, u"Escape"_s});
        QTRY_VERIFY(!editor.isComposing());
        moveCursor(&editor, cursor);
        QSignalSpy writes(m_store.get(), &PreferenceStore::valueChanged);
        for (const QString &step : steps.split(u',')) {
            const QString argument = step.section(u' ', 1);
            if (step.startsWith(u"type"_s)) {
                xdotool({u"type"_s, u"--delay"_s, u"80"_s, argument});
                QTRY_VERIFY(editor.isComposing());
                QTest::qWait(300);
                // What is composing is not stored.
                QCOMPARE(note(), editor.toPlainText());
            } else if (step.startsWith(u"key"_s)) {
                xdotool({u"key"_s, argument});
            } else if (step.startsWith(u"write"_s)) {
                write(note() + argument);
                QTest::qWait(300);
                QVERIFY(editor.isComposing() && !editor.toPlainText().contains(argument));
            } else if (step == u"click"_s) {
                const QPoint at = editor.viewport()->mapToGlobal(QPoint(3, 3));
                xdotool({u"mousemove"_s, QString::number(at.x()), QString::number(at.y()), u"click"_s, u"1"_s});
            } else {
                other.activateWindow();
                QVERIFY(QTest::qWaitForWindowActive(&other));
            }
        }
        QTRY_COMPARE_WITH_TIMEOUT(note(), after, 10000);
        QTest::qWait(1000);
        QCOMPARE(note(), after);
        QCOMPARE(editor.toPlainText(), after);
        QCOMPARE(other.toPlainText(), after);
        QVERIFY(after != before || writes.isEmpty());
    }

    // Qt's own texts are Japanese whatever LANG says (the test runs under C).
    void japaneseQtTexts()
    {
        QWidget window;
        auto *layout = new QVBoxLayout(&window);
        auto *editor = new NoteEditor(m_store.get(), &window);
        auto *calendar = new QCalendarWidget(&window);
        layout->addWidget(editor);
        layout->addWidget(calendar);
        calendar->setCurrentPage(2026, 12);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const std::unique_ptr<QMenu> menu(editor->createStandardContextMenu());
        QStringList texts;
        for (const QAction *action : menu->actions())
            texts << action->text().section(u'\t', 0, 0);
        QVERIFY2(texts.contains(u"元に戻す(&U)"_s) && texts.contains(u"貼り付け(&P)"_s), qPrintable(texts.join(u' ')));
        QCOMPARE(calendar->findChild<QToolButton *>(u"qt_calendar_monthbutton"_s)->text(), u"12月"_s);
        QCOMPARE(calendar->firstDayOfWeek(), Qt::Sunday);
        QCOMPARE(QApplication::font().families().constFirst(), JapaneseInterface::fontFamily);

        QImage shot = window.grab().toImage();
        QPainter(&shot).drawImage(QPoint(10, 10), menu->grab().toImage());
        QVERIFY(shot.save(QDir(qEnvironmentVariable("YUMEKAZU_BUILD_DIR")).filePath(u"tests/japanese-qt-texts.png"_s)));
    }
};

YUMEKAZU_TEST_MAIN(TestNoteEditor)
#include "test_note_editor.moc"
