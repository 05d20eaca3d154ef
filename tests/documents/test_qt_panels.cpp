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

// Waits, inside the dialog's own event loop, for the modal file dialog and
// hands it to act once.
class DialogDriver {
public:
    explicit DialogDriver(std::function<void(QFileDialog *)> act) : m_act(std::move(act))
    {
        m_poll.setInterval(10);
        QObject::connect(&m_poll, &QTimer::timeout, &m_poll, [this] {
            if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
                m_poll.stop();
                m_act(dialog);
            }
        });
        m_poll.start();
    }

private:
    std::function<void(QFileDialog *)> m_act;
    QTimer m_poll;
};

QPushButton *acceptButton(QFileDialog *dialog)
{
    auto *box = dialog->findChild<QDialogButtonBox *>();
    if (!box)
        return nullptr;
    return box->button(dialog->acceptMode() == QFileDialog::AcceptSave ? QDialogButtonBox::Save
                                                                       : QDialogButtonBox::Open);
}

void type(QLineEdit *field, const QString &text)
{
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    bool latin1 = true;
    for (const QChar c : text)
        latin1 = latin1 && c.unicode() < 0x80;
    if (latin1) {
        QTest::keyClicks(field, text);
        return;
    }
    // How an input method hands over composed text.
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QApplication::sendEvent(field, &commit);
}

} // namespace

class TestQtPanels : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void saveDialog_data();
    void saveDialog();
    void openDialog_data();
    void openDialog();
};

void TestQtPanels::saveDialog_data()
{
    QTest::addColumn<QString>("typed"); // null: keep the proposed name
    QTest::addColumn<QString>("savedAs");

    QTest::newRow("proposed name") << QString() << u"savetext.txt"_s;
    QTest::newRow("name without extension") << u"name"_s << u"name.txt"_s;
    QTest::newRow("other extension") << u"name.md"_s << u"name.md.txt"_s;
    QTest::newRow("upper-case extension") << u"NAME.TXT"_s << u"NAME.TXT"_s;
    QTest::newRow("japanese name") << u"日記"_s << u"日記.txt"_s;
}

void TestQtPanels::saveDialog()
{
    QFETCH(QString, typed);
    QFETCH(QString, savedAs);

    QTemporaryDir folder;
    const QString message = u"Choose a folder and a name to store your text."_s;
    QString title, acceptLabel, buttonText, nameLabel, proposed;
    QStringList filters;
    bool nonNative = false, canCreateFolders = false, messageShown = false, accepted = false;

    const DialogDriver driver([&](QFileDialog *dialog) {
        title = dialog->windowTitle();
        acceptLabel = dialog->labelText(QFileDialog::Accept);
        nameLabel = dialog->labelText(QFileDialog::FileName);
        filters = dialog->nameFilters();
        nonNative = dialog->testOption(QFileDialog::DontUseNativeDialog);
        canCreateFolders = !dialog->testOption(QFileDialog::ReadOnly);
        for (const QLabel *label : dialog->findChildren<QLabel *>())
            messageShown = messageShown || (label->text() == message && label->isVisible());
        auto *nameField = dialog->findChild<QLineEdit *>(u"fileNameEdit"_s);
        QPushButton *button = acceptButton(dialog);
        if (!nameField || !button) {
            dialog->reject();
            return;
        }
        proposed = nameField->text();
        buttonText = button->text();
        dialog->setDirectory(folder.path());
        if (!typed.isNull())
            type(nameField, typed);
        button->click();
        accepted = dialog->isHidden();
        if (!accepted)
            dialog->reject();
    });

    QtPanelFactory panels;
    const SaveTextResult result = saveTextWithPanel(panels, nullptr, [] { return u"保存する本文🐈\r\n"_s; });

    QCOMPARE(title, u"Save your text"_s);
    QVERIFY(messageShown);
    QCOMPARE(acceptLabel, u"Save now"_s);
    QCOMPARE(buttonText, u"Save now"_s);
    QCOMPARE(nameLabel, u"File name:"_s);
    QCOMPARE(proposed, u"savetext.txt"_s);
    QCOMPARE(filters, QStringList{u"*.txt"_s});
    QVERIFY(nonNative);
    QVERIFY(canCreateFolders);
    QVERIFY(accepted);
    QCOMPARE(result, SaveTextResult::Saved);
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{savedAs});
    QFile saved(QDir(folder.path()).filePath(savedAs));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), u"保存する本文🐈\r\n"_s.toUtf8());
}

void TestQtPanels::openDialog_data()
{
    QTest::addColumn<int>("sp1");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QString>("filter");

    QTest::newRow("plain text, chosen") << 0 << true << u"*.txt"_s;
    QTest::newRow("rich text, chosen") << 1 << true << u"*.rtf"_s;
    QTest::newRow("cancelled") << 0 << false << u"*.txt"_s;
}

void TestQtPanels::openDialog()
{
    QFETCH(int, sp1);
    QFETCH(bool, accept);
    QFETCH(QString, filter);

    QTemporaryDir folder;
    const QString path = folder.filePath(filter.mid(2).prepend(u"note."_s));
    const QByteArray bytes = "{\\rtf1 メモ}\n";
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    }

    QStringList filters;
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    bool nonNative = false;
    const DialogDriver driver([&](QFileDialog *dialog) {
        filters = dialog->nameFilters();
        mode = dialog->fileMode();
        nonNative = dialog->testOption(QFileDialog::DontUseNativeDialog);
        auto *nameField = dialog->findChild<QLineEdit *>(u"fileNameEdit"_s);
        QPushButton *button = acceptButton(dialog);
        if (!accept || !nameField || !button) {
            dialog->reject();
            return;
        }
        dialog->setDirectory(folder.path());
        type(nameField, QFileInfo(path).fileName());
        button->click();
        if (dialog->isVisible())
            dialog->reject();
    });

    QtPanelFactory panels;
    const std::optional<QString> text = chooseTextToOpen(sp1, panels, nullptr);

    QCOMPARE(filters, QStringList{filter});
    QCOMPARE(mode, QFileDialog::ExistingFile);
    QVERIFY(nonNative);
    QCOMPARE(text, accept ? std::optional(QString::fromUtf8(bytes)) : std::nullopt);
}

YUMEKAZU_TEST_MAIN(TestQtPanels)
#include "test_qt_panels.moc"
