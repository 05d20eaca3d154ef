#include "common/TestMain.h"
#include "documents/OpenText.h"
#include "documents/SaveText.h"
#include "platform/dialogs/ModalResponse.h"
#include "platform/dialogs/PanelFactory.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

QString flag(bool value)
{
    return value ? u"true"_s : u"false"_s;
}

// Answers every dialog with a fixed response and path, and writes down each
// property set and call, in order.
class FakePanelFactory final : public PanelFactory {
public:
    int response = ModalResponse::OK;
    std::optional<QString> path;
    QStringList log;
    int panelsAlive = 0;

    std::unique_ptr<OpenPanel> makeOpenPanel(QWidget *) override { return std::make_unique<Open>(*this); }
    std::unique_ptr<SavePanel> makeSavePanel(QWidget *) override { return std::make_unique<Save>(*this); }

private:
    class Open final : public OpenPanel {
    public:
        explicit Open(FakePanelFactory &f) : m_f(f) { ++m_f.panelsAlive; }
        ~Open() override { --m_f.panelsAlive; }
        void setAllowedFileTypes(const QStringList &v) override
        {
            m_f.log << u"allowedFileTypes="_s + v.join(u',');
            OpenPanel::setAllowedFileTypes(v);
        }
        void setAllowsMultipleSelection(bool v) override
        {
            m_f.log << u"allowsMultipleSelection="_s + flag(v);
            OpenPanel::setAllowsMultipleSelection(v);
        }
        void setCanChooseDirectories(bool v) override
        {
            m_f.log << u"canChooseDirectories="_s + flag(v);
            OpenPanel::setCanChooseDirectories(v);
        }
        void setCanChooseFiles(bool v) override
        {
            m_f.log << u"canChooseFiles="_s + flag(v);
            OpenPanel::setCanChooseFiles(v);
        }
        int runModal() override { return m_f.log << u"runModal"_s, m_f.response; }
        std::optional<QString> url() const override { return m_f.log << u"url"_s, m_f.path; }

    private:
        FakePanelFactory &m_f;
    };

    class Save final : public SavePanel {
    public:
        explicit Save(FakePanelFactory &f) : m_f(f) { ++m_f.panelsAlive; }
        ~Save() override { --m_f.panelsAlive; }
        void setAllowedFileTypes(const QStringList &v) override
        {
            m_f.log << u"allowedFileTypes="_s + v.join(u',');
            SavePanel::setAllowedFileTypes(v);
        }
        void setCanCreateDirectories(bool v) override
        {
            m_f.log << u"canCreateDirectories="_s + flag(v);
            SavePanel::setCanCreateDirectories(v);
        }
        void setExtensionHidden(bool v) override
        {
            m_f.log << u"isExtensionHidden="_s + flag(v);
            SavePanel::setExtensionHidden(v);
        }
        void setAllowsOtherFileTypes(bool v) override
        {
            m_f.log << u"allowsOtherFileTypes="_s + flag(v);
            SavePanel::setAllowsOtherFileTypes(v);
        }
        void setTitle(const QString &v) override { m_f.log << u"title="_s + v, SavePanel::setTitle(v); }
        void setMessage(const QString &v) override { m_f.log << u"message="_s + v, SavePanel::setMessage(v); }
        void setPrompt(const QString &v) override { m_f.log << u"prompt="_s + v, SavePanel::setPrompt(v); }
        void setNameFieldLabel(const QString &v) override
        {
            m_f.log << u"nameFieldLabel="_s + v;
            SavePanel::setNameFieldLabel(v);
        }
        void setNameFieldStringValue(const QString &v) override
        {
            m_f.log << u"nameFieldStringValue="_s + v;
            SavePanel::setNameFieldStringValue(v);
        }
        int runModal() override { return m_f.log << u"runModal"_s, m_f.response; }
        std::optional<QString> url() const override { return m_f.log << u"url"_s, m_f.path; }

    private:
        FakePanelFactory &m_f;
    };
};

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

class TestTextActions : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void openPanelSettings_data();
    void openPanelSettings();
    void openOutcomes_data();
    void openOutcomes();
    void savePanelSettingsAndOrder();
    void saveOutcomes_data();
    void saveOutcomes();
    void roundTrip_data();
    void roundTrip();

private:
    QTemporaryDir m_dir;
};

void TestTextActions::openPanelSettings_data()
{
    QTest::addColumn<int>("sp1");
    QTest::addColumn<QString>("fileType");

    QTest::newRow("off") << 0 << u"txt"_s;
    QTest::newRow("on") << 1 << u"rtf"_s;
    QTest::newRow("any other value") << 2 << u"rtf"_s;
    QTest::newRow("negative") << -1 << u"rtf"_s;
}

void TestTextActions::openPanelSettings()
{
    QFETCH(int, sp1);
    QFETCH(QString, fileType);

    FakePanelFactory panels;
    panels.response = ModalResponse::Cancel;
    QCOMPARE(chooseTextToOpen(sp1, panels, nullptr), std::nullopt);
    const QStringList expected{u"allowedFileTypes="_s + fileType, u"allowsMultipleSelection=false"_s,
                               u"canChooseDirectories=false"_s, u"canChooseFiles=true"_s, u"runModal"_s};
    QCOMPARE(panels.log, expected);
    QCOMPARE(panels.panelsAlive, 0);
}

void TestTextActions::openOutcomes_data()
{
    QTest::addColumn<int>("response");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<std::optional<QString>>("text");

    QTest::newRow("chosen file") << ModalResponse::OK << u"a.txt"_s << "メモ\r\n"_ba << std::optional(u"メモ\r\n"_s);
    QTest::newRow("empty file empties the note") << ModalResponse::OK << u"a.txt"_s << QByteArray()
                                                 << std::optional(QString());
    QTest::newRow("cancelled") << ModalResponse::Cancel << u"a.txt"_s << "メモ"_ba << std::optional<QString>();
    QTest::newRow("unknown response") << 7 << u"a.txt"_s << "メモ"_ba << std::optional<QString>();
    QTest::newRow("ok without a file") << ModalResponse::OK << QString() << QByteArray() << std::optional<QString>();
    QTest::newRow("file vanished") << ModalResponse::OK << u"gone.txt"_s << QByteArray() << std::optional<QString>();
    QTest::newRow("not text") << ModalResponse::OK << u"a.txt"_s << "caf\xE9"_ba << std::optional<QString>();
}

void TestTextActions::openOutcomes()
{
    QFETCH(int, response);
    QFETCH(QString, fileName);
    QFETCH(QByteArray, bytes);
    QFETCH(std::optional<QString>, text);

    FakePanelFactory panels;
    panels.response = response;
    if (!fileName.isEmpty()) {
        panels.path = m_dir.filePath(fileName);
        QFile file(*panels.path);
        QVERIFY(fileName == u"gone.txt"_s || (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size()));
    }
    QCOMPARE(chooseTextToOpen(0, panels, nullptr), text);
    QCOMPARE(panels.panelsAlive, 0);
}

void TestTextActions::savePanelSettingsAndOrder()
{
    FakePanelFactory panels;
    panels.path = m_dir.filePath(u"order.txt"_s);
    const SaveTextResult result = saveTextWithPanel(panels, nullptr, [&panels] {
        panels.log << u"note read"_s;
        return u"本文"_s;
    });
    QCOMPARE(result, SaveTextResult::Saved);
    const QStringList expected{
        u"allowedFileTypes=txt"_s,
        u"canCreateDirectories=true"_s,
        u"isExtensionHidden=false"_s,
        u"allowsOtherFileTypes=false"_s,
        u"title=Save your text"_s,
        u"message=Choose a folder and a name to store your text."_s,
        u"prompt=Save now"_s,
        u"nameFieldLabel=File name:"_s,
        u"nameFieldStringValue=savetext"_s,
        u"runModal"_s,
        u"url"_s,
        // Only after the dialog has closed.
        u"note read"_s,
    };
    QCOMPARE(panels.log, expected);
    QCOMPARE(panels.panelsAlive, 0);
}

void TestTextActions::saveOutcomes_data()
{
    QTest::addColumn<int>("response");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<SaveTextResult>("result");
    QTest::addColumn<QByteArray>("bytesAfter");

    QVERIFY(QDir().mkpath(m_dir.filePath(u"taken.txt"_s)));
    const QByteArray note = u"新しい本文"_s.toUtf8();

    QTest::newRow("saved over an earlier file") << ModalResponse::OK << u"earlier.txt"_s << SaveTextResult::Saved << note;
    QTest::newRow("cancel keeps the earlier file")
        << ModalResponse::Cancel << u"earlier.txt"_s << SaveTextResult::Cancelled << "earlier"_ba;
    QTest::newRow("ok without a place") << ModalResponse::OK << QString() << SaveTextResult::Cancelled << QByteArray();
    QTest::newRow("place is a folder") << ModalResponse::OK << u"taken.txt"_s << SaveTextResult::Failed << QByteArray();
}

void TestTextActions::saveOutcomes()
{
    QFETCH(int, response);
    QFETCH(QString, fileName);
    QFETCH(SaveTextResult, result);
    QFETCH(QByteArray, bytesAfter);

    const QString earlier = m_dir.filePath(u"earlier.txt"_s);
    QFile file(earlier);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write("earlier") == 7);
    file.close();

    FakePanelFactory panels;
    panels.response = response;
    if (!fileName.isEmpty())
        panels.path = m_dir.filePath(fileName);
    bool noteRead = false;
    QCOMPARE(saveTextWithPanel(panels, nullptr, [&noteRead] { return noteRead = true, u"新しい本文"_s; }), result);
    QCOMPARE(noteRead, result != SaveTextResult::Cancelled);
    if (panels.path && QFileInfo(*panels.path).isFile())
        QCOMPARE(contents(*panels.path), bytesAfter);
}

void TestTextActions::roundTrip_data()
{
    QTest::addColumn<QString>("note");

    QTest::newRow("japanese") << u"今日は雨。\n明日は晴れ。"_s;
    QTest::newRow("emoji") << u"🐈‍⬛🐦🕊️"_s;
    QTest::newRow("crlf") << u"一行目\r\n二行目\r\n"_s;
    QTest::newRow("empty") << QString();
}

void TestTextActions::roundTrip()
{
    QFETCH(QString, note);

    FakePanelFactory panels;
    panels.path = m_dir.filePath(u"savetext.txt"_s);
    QCOMPARE(saveTextWithPanel(panels, nullptr, [&note] { return note; }), SaveTextResult::Saved);
    QCOMPARE(contents(*panels.path), note.toUtf8());
    QCOMPARE(QFileInfo(*panels.path).size(), note.toUtf8().size());
    QCOMPARE(chooseTextToOpen(0, panels, nullptr), std::optional(note));
}

YUMEKAZU_TEST_MAIN(TestTextActions)
#include "test_text_actions.moc"
