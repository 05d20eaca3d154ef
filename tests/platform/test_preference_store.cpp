#include "common/TestMain.h"
#include "platform/core/PreferenceFile.h"
#include "platform/core/PreferenceStore.h"

#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>

#include <csignal>

using namespace Qt::StringLiterals;

// What a store file holds (null: a folder in its place), the note and switch
// read from it, and whether it had to be repaired.
struct LoadCase { QByteArray contents; QString note; int toggle; bool repaired; };

class TestPreferenceStore : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;

    PreferenceFile::Contents onDisk() const { return PreferenceFile::parse(fileContents(m_path)); }
    // Another process sharing the store, setting key to "key <n> <padding>"
    // for n up to count (for ever when 0), run by tracer when one is given.
    QProcess *startWriter(const QString &key, int count, int padding = 0, QStringList tracer = {})
    {
        auto *writer = new QProcess(this);
        tracer << qEnvironmentVariable("YUMEKAZU_BUILD_DIR") + u"/tests/preference_writer"_s << m_path << key
               << QString::number(count) << QString::number(padding);
        writer->start(tracer.takeFirst(), tracer);
        return writer;
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_path = m_dir->filePath(u"yumekazu/preferences.ini"_s);
    }

    void valuesRoundTrip_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("text, line ends, ini syntax, escapes, edge spaces")
            << u"  猫🐱 👨‍👩‍👧\n二\r\n\n三\r\t[General]\nkey=value ; # \\ \"quoted\" a,b \u0001" "12\u0000" "3a  "_s;
        QTest::newRow("type markers") << u"@Variant(x) @@"_s;
        QTest::newRow("empty") << QString();
    }
    void valuesRoundTrip()
    {
        QFETCH(QString, value);
        PreferenceStore(m_path).setString(u"StringKey"_s, value); // the destructor persists
        // Earlier versions read and wrote the file through QSettings.
        const QString older = m_path + u".older"_s;
        QSettings(older, QSettings::IniFormat).setValue(u"Group/Key"_s, value);
        QCOMPARE(std::tuple(PreferenceStore(m_path).string(u"StringKey"_s),
                            QSettings(m_path, QSettings::IniFormat).value(u"StringKey"_s).toString(),
                            PreferenceStore(older).string(u"Group/Key"_s)),
                 std::tuple(std::optional(value), value, std::optional(value)));
    }

    // What a file holds, what the store reads from it, and whether it had to
    // repair it (keeping the original beside it, and writing the file anew).
    void loadsWhatParses_data()
    {
        QTest::addColumn<LoadCase>("row");
        const QString none = u"(none)"_s;
        QTest::newRow("integer") << LoadCase{"[General]\nIntKeyToggle3=-7\n"_ba, none, -7, false};
        QTest::newRow("not a number") << LoadCase{"[General]\nIntKeyToggle3=yes\n"_ba, none, 0, false};
        QTest::newRow("comments") << LoadCase{"; x\nStringKey = \" a;b \" ; y\nIntKeyToggle3=1\n"_ba, u" a;b "_s, 1, false};
        QTest::newRow("truncated") << LoadCase{"IntKeyToggle3=1\nStringKey=猫の\xe3\x81"_ba, u"猫の"_s, 1, true};
        QTest::newRow("cut in quotes") << LoadCase{"StringKey=\"a, b\nIntKeyToggle3=2\n"_ba, u"a, b"_s, 2, true};
        QTest::newRow("bad line") << LoadCase{"StringKey=\xc3\x28\nIntKeyToggle3=2\n"_ba, none, 2, true};
        QTest::newRow("broken section") << LoadCase{"[General\nStringKey=abc\n"_ba, none, 0, true};
        QTest::newRow("binary") << LoadCase{QByteArray("IntKeyToggle3=1\0\x01\x02", 18), none, 0, true};
        QTest::newRow("a folder") << LoadCase{QByteArray(), none, 0, true};
    }
    void loadsWhatParses()
    {
        QFETCH(const LoadCase, row);
        const auto &[contents, note, toggle, repaired] = row;
        QVERIFY(QDir().mkpath(contents.isNull() ? m_path : m_dir->filePath(u"yumekazu"_s)));
        QVERIFY(contents.isNull() || writeFile(m_path, contents));
        {
            PreferenceStore store(m_path);
            QCOMPARE(std::tuple(store.string(u"StringKey"_s, u"(none)"_s), store.integer(u"IntKeyToggle3"_s), bool(store.backupPath())),
                     std::tuple(note, toggle, repaired));
            QVERIFY(!repaired || contents.isNull() || fileContents(*store.backupPath()) == contents);
        }
        // Repaired at once, with nothing changed: the file now reads whole and
        // keeps what was read.
        PreferenceStore reopened(m_path);
        QCOMPARE(std::tuple(bool(reopened.backupPath()), reopened.string(u"StringKey"_s, u"(none)"_s), reopened.integer(u"IntKeyToggle3"_s)),
                 std::tuple(false, note, toggle));
    }

    void writesSoonAndPrivatelyButNeverDefaults()
    {
        PreferenceStore store(m_path);
        QSignalSpy spy(&store, &PreferenceStore::valueChanged);
        QVERIFY(!store.contains(u"IntKeyToggle1"_s) && store.flush() && !QFileInfo::exists(m_path));
        for (int i = 0; i < 2; ++i) {
            store.setString(u"StringKey"_s, u"まだ保存されていない"_s);
            store.setInteger(u"IntKeyToggle1"_s, 1);
        }
        QCOMPARE(QList<QVariantList>(spy), (QList<QVariantList>{{u"StringKey"_s}, {u"IntKeyToggle1"_s}}));
        // A crash after this point must not lose the note: it reaches the disk
        // on its own, without a flush or a clean exit.
        QTRY_VERIFY_WITH_TIMEOUT(!store.hasPendingChanges(), 1500);
        QCOMPARE(onDisk().values.value(u"StringKey"_s), u"まだ保存されていない"_s);
        const auto others = QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther;
        QVERIFY(!(QFile::permissions(m_path) & others) && !(QFile::permissions(QFileInfo(m_path).absolutePath()) & others));
        // A change made while a write is under way (held up here by another
        // writer's lock) is not undone when that write ends.
        QLockFile otherWriter(m_path + u".lock"_s);
        QVERIFY(otherWriter.tryLock(0));
        store.setString(u"StringKey"_s, u"前"_s);
        QTest::qWait(PreferenceStore::writeDelayMs + 100);
        spy.clear();
        store.setString(u"StringKey"_s, u"後"_s);
        otherWriter.unlock();
        QTRY_VERIFY(!store.hasPendingChanges());
        QCOMPARE(std::pair(spy.count(), onDisk().values.value(u"StringKey"_s)), std::pair(qsizetype(1), u"後"_s));

        // A write that fails stays pending, and is made once it can be.
        const QString folder = QFileInfo(m_path).absolutePath();
        QVERIFY(QDir().rename(folder, folder + u".moved"_s) && QFile(folder).open(QIODevice::WriteOnly));
        store.setString(u"StringKey"_s, u"残る"_s);
        QVERIFY(!store.flush() && store.hasPendingChanges());
        QVERIFY(QFile::remove(folder) && store.flush());
        QCOMPARE(onDisk().values.value(u"StringKey"_s), u"残る"_s);
    }

    // Other processes write their own keys, interleaved, while this one holds
    // the store open: no key is lost, theirs reach us unasked, nobody ever
    // reads half a file, and one killed mid-write leaves a whole one.
    void processesShareTheStore()
    {
        PreferenceStore store(m_path);
        store.setString(u"IntKeyToggle1"_s, u"1"_s);
        QVERIFY(store.flush());
        QProcess *big = startWriter(u"StringKey"_s, 0, 100000);
        QTRY_VERIFY(QFileInfo(m_path).size() > 300000);
        QProcess *first = startWriter(u"First"_s, 200), *second = startWriter(u"Second"_s, 200);
        while (first->state() != QProcess::NotRunning || second->state() != QProcess::NotRunning) {
            QVERIFY(!QFileInfo::exists(m_path) || onDisk().whole);
            QTest::qWait(5);
        }
        QCOMPARE(first->exitCode() + second->exitCode(), 0);
        ::kill(pid_t(big->processId()), SIGKILL);
        QVERIFY(big->waitForFinished());
        QTRY_VERIFY(store.string(u"First"_s) == u"First 200 "_s && store.string(u"Second"_s) == u"Second 200 "_s);
        QVERIFY(onDisk().whole && onDisk().values.value(u"Second"_s) == u"Second 200 "_s
                && onDisk().values.value(u"StringKey"_s).endsWith(u' ' + QString(100000, u'猫')));
        // The killed writer's lock is left behind, and taken over at once.
        store.setString(u"IntKeyToggle1"_s, u"2"_s);
        QVERIFY(store.flush());
        QCOMPARE(onDisk().values.value(u"First"_s), u"First 200 "_s);
        // So is one left nameless by a writer killed as it made it, once it is a little old.
        QFile nameless(m_path + u".lock"_s);
        QVERIFY(nameless.open(QIODevice::WriteOnly) && nameless.setFileTime(QDateTime::currentDateTime().addSecs(-2), QFileDevice::FileModificationTime));
        store.setString(u"IntKeyToggle1"_s, u"3"_s);
        QVERIFY(store.flush());
        // Each write is on the disk before it replaces the file.
        QProcess *traced = startWriter(u"Synced"_s, 1, 0, {u"strace"_s, u"-f"_s, u"-e"_s, u"trace=fdatasync,rename,renameat,renameat2"_s});
        QVERIFY(traced->waitForFinished() && traced->exitCode() == 0);
        QVERIFY(QString::fromUtf8(traced->readAllStandardError()).contains(QRegularExpression(u"fdatasync\\(.*\\n.*rename"_s)));
    }
};

YUMEKAZU_TEST_MAIN(TestPreferenceStore)
#include "test_preference_store.moc"
