#include "app/JapaneseInterface.h"
#include "common/TestMain.h"
#include "documents/OpenText.h"
#include "documents/SaveText.h"
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

#include <functional>

using namespace Qt::StringLiterals;

namespace {

// Hands the modal file dialog to act once it runs its own event loop.
void whenDialogOpens(QTimer &poll, std::function<void(QFileDialog *)> act)
{
    poll.callOnTimeout([&poll, act = std::move(act)] {
        if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget()))
            poll.stop(), act(dialog);
    });
    poll.start(10);
}

QPushButton *acceptButton(QFileDialog *dialog)
{
    const bool save = dialog->acceptMode() == QFileDialog::AcceptSave;
    return dialog->findChild<QDialogButtonBox *>()->button(save ? QDialogButtonBox::Save : QDialogButtonBox::Open);
}

// Types name into the dialog's name field (Japanese as an input method hands
// it over) and presses the accept button.
void accept(QFileDialog *dialog, const QString &folder, const QString &name)
{
    dialog->setDirectory(folder);
    auto *field = dialog->findChild<QLineEdit *>(u"fileNameEdit"_s);
    if (!name.isNull()) {
        field->clear();
        QInputMethodEvent commit;
        commit.setCommitString(name);
        QApplication::sendEvent(field, &commit);
    }
    acceptButton(dialog)->click();
    if (dialog->isVisible())
        dialog->reject();
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
}

} // namespace

class TestTextActions : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QtPanelFactory m_panels;

private Q_SLOTS:
    // Qt's own texts are Japanese whatever LANG says (the test runs under C).
    void initTestCase() { QVERIFY(JapaneseInterface::install()); }

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
        QTimer poll;
        whenDialogOpens(poll, [&](QFileDialog *dialog) {
            seen << dialog->nameFilters() << acceptButton(dialog)->text() << QString::number(dialog->fileMode());
            if (!chosen)
                dialog->grab().save(QDir(qEnvironmentVariable("YUMEKAZU_BUILD_DIR")).filePath(u"tests/japanese-open-dialog.png"_s));
            chosen ? accept(dialog, m_dir.path(), name) : dialog->reject();
        });

        QCOMPARE(chooseTextToOpen(sp1, m_panels, nullptr), text);
        const QString filter = sp1 == 0 ? u"*.txt"_s : u"*.rtf"_s;
        QCOMPARE(seen, (QStringList{filter, u"開く(&O)"_s, QString::number(QFileDialog::ExistingFile)}));
    }

    void saveDialog_data()
    {
        QTest::addColumn<QString>("typed"); // null: keep the proposed name
        QTest::addColumn<QString>("savedAs"); // null: cancelled

        QTest::newRow("proposed name") << QString() << u"savetext.txt"_s;
        QTest::newRow("name without extension") << u"name"_s << u"name.txt"_s;
        QTest::newRow("other extension") << u"name.md"_s << u"name.md.txt"_s;
        QTest::newRow("upper-case extension") << u"NAME.TXT"_s << u"NAME.TXT"_s;
        QTest::newRow("japanese name") << u"日記"_s << u"日記.txt"_s;
        QTest::newRow("cancelled") << QString() << QString();
    }
    void saveDialog()
    {
        QFETCH(QString, typed);
        QFETCH(QString, savedAs);

        QTemporaryDir folder;
        QStringList seen;
        QTimer poll;
        whenDialogOpens(poll, [&](QFileDialog *dialog) {
            const QString message = u"Choose a folder and a name to store your text."_s;
            for (const QLabel *label : dialog->findChildren<QLabel *>())
                if (label->text() == message && label->isVisible())
                    seen << message;
            seen << dialog->windowTitle() << acceptButton(dialog)->text() << dialog->labelText(QFileDialog::FileName)
                 << dialog->findChild<QLineEdit *>(u"fileNameEdit"_s)->text() << dialog->nameFilters()
                 << QString::number(dialog->options() & (QFileDialog::DontUseNativeDialog | QFileDialog::ReadOnly));
            savedAs.isNull() ? dialog->reject() : accept(dialog, folder.path(), typed);
        });
        const SaveTextResult result = saveTextWithPanel(m_panels, nullptr, [&] {
            // Read only once the dialog has closed.
            seen << (QApplication::activeModalWidget() ? u"note read too early"_s : u"note read"_s);
            return u"保存する本文🐈\r\n"_s;
        });

        QStringList expected{u"Choose a folder and a name to store your text."_s, u"Save your text"_s, u"Save now"_s,
                             u"File name:"_s, u"savetext.txt"_s, u"*.txt"_s,
                             QString::number(QFileDialog::DontUseNativeDialog)};
        QCOMPARE(result, savedAs.isNull() ? SaveTextResult::Cancelled : SaveTextResult::Saved);
        QCOMPARE(seen, savedAs.isNull() ? expected : expected << u"note read"_s);
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), savedAs.isNull() ? QStringList() : QStringList{savedAs});
        if (!savedAs.isNull())
            QCOMPARE(contents(folder.filePath(savedAs)), u"保存する本文🐈\r\n"_s.toUtf8());
    }
};

YUMEKAZU_TEST_MAIN(TestTextActions)
#include "test_text_actions.moc"
