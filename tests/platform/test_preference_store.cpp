#include "common/TestMain.h"
#include "platform/core/PreferenceFile.h"
#include "platform/core/PreferenceStore.h"
#include "platform/core/TextMerge.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>

#include <csignal>

#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

// What a store file holds (null: a folder in its place), the note and switch
// read from it, and whether it had to be repaired.
struct LoadCase { QByteArray contents; QString note; int toggle; bool repaired; };
using Reason = PreferenceStore::WriteFailure::Reason;

namespace {

mode_t modeOf(const QString &path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

bool mount(const QString &what, const QString &where, const char *type, unsigned long flags, const char *options = nullptr)
{
    return ::mount(QFile::encodeName(what).constData(), QFile::encodeName(where).constData(), type, flags, options) == 0;
}

} // namespace

class TestPreferenceStore : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;

    PreferenceFile::Contents onDisk() const { return PreferenceFile::parse(fileContents(m_path)); }
    QString folder() const { return QFileInfo(m_path).absolutePath(); }
    QStringList backups() const { return QDir(folder()).entryList({u"*.broken-*"_s}, QDir::Files | QDir::Hidden); }
    bool m_root = false;
    // Another process sharing the store (tests/platform/preference_writer.cpp),
    // run by tracer when one is given.
    QProcess *start(const QStringList &arguments, QStringList tracer = {})
    {
        auto *writer = new QProcess(this);
        tracer << qEnvironmentVariable("YUMEKAZU_BUILD_DIR") + u"/tests/preference_writer"_s << arguments;
        writer->start(tracer.takeFirst(), tracer);
        return writer;
    }

private Q_SLOTS:
    // As root, mounts made here (a small disk, a read-only folder) stay in
    // this process.
    void initTestCase()
    {
        m_root = ::geteuid() == 0 && ::unshare(CLONE_NEWNS) == 0 && mount({}, u"/"_s, nullptr, MS_REC | MS_PRIVATE);
    }
    void cleanup()
    {
        for (const QString &mounted : {m_path, folder()})
            while (::umount2(QFile::encodeName(mounted).constData(), MNT_DETACH) == 0) {}
    }

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
        const int otherWriter = ::open(QFile::encodeName(m_path + u".lock"_s).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        QVERIFY(::flock(otherWriter, LOCK_EX | LOCK_NB) == 0);
        store.setString(u"StringKey"_s, u"前"_s);
        QTest::qWait(PreferenceStore::writeDelayMs + 100);
        spy.clear();
        store.setString(u"StringKey"_s, u"後"_s);
        ::close(otherWriter);
        QTRY_VERIFY(!store.hasPendingChanges());
        QCOMPARE(std::pair(spy.count(), onDisk().values.value(u"StringKey"_s)), std::pair(qsizetype(1), u"後"_s));

    }

    // Other processes write their own keys, interleaved, while this one holds
    // the store open: no key is lost, theirs reach us unasked, nobody ever
    // reads half a file, and one killed mid-write leaves a whole one.
    void processesShareTheStore()
    {
        PreferenceStore store(m_path);
        store.setString(u"IntKeyToggle1"_s, u"1"_s);
        QVERIFY(store.flush());
        QProcess *big = start({m_path, u"StringKey"_s, u"0"_s, u"100000"_s});
        QTRY_VERIFY(QFileInfo(m_path).size() > 300000);
        QProcess *first = start({m_path, u"First"_s, u"200"_s}), *second = start({m_path, u"Second"_s, u"200"_s});
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
        // Each write is on the disk before it replaces the file, and so is the
        // copy kept of a broken store before the repaired one replaces it.
        const QString broken = m_dir->filePath(u"broken.ini"_s);
        QVERIFY(writeFile(broken, "StringKey=\xc3\x28\n"));
        QProcess *traced = start({broken, u"Synced"_s, u"1"_s}, {u"strace"_s, u"-f"_s, u"-e"_s, u"trace=fdatasync,rename,renameat,renameat2"_s});
        QVERIFY(traced->waitForFinished() && traced->exitCode() == 0);
        QVERIFY(QString::fromUtf8(traced->readAllStandardError()).contains(QRegularExpression(u"fdatasync\\(.*\\n.*fdatasync\\(.*\\n.*rename"_s)));
    }
    // A full disk: an edit is stored as long as the new file fits, even when
    // the old and the new copy do not fit side by side; beyond that the store
    // says so, keeps the edit and stores it once there is room again.
    void fullDisk()
    {
        if (!m_root)
            QSKIP("mounts a small disk: root only");
        QVERIFY(QDir().mkpath(folder()) && mount(u"tmpfs"_s, folder(), "tmpfs", 0, "size=64k,mode=0700"));
        PreferenceStore store(m_path);
        QSignalSpy told(&store, &PreferenceStore::writeFailureChanged);
        QString note(12000, u'猫'); // 36 KB
        store.setString(u"StringKey"_s, note);
        QVERIFY(store.flush());
        QFile filler(folder() + u"/filler"_s);
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        while (filler.write(QByteArray(4096, 'x')) > 0) {}
        note[6000] = u'犬';
        store.setString(u"StringKey"_s, note);
        QVERIFY(store.flush());
        QCOMPARE(std::pair(onDisk().values.value(u"StringKey"_s), modeOf(m_path)), std::pair(note, mode_t(0600)));
        store.setString(u"StringKey"_s, note + QString(3000, u'鳥'));
        QVERIFY(!store.flush());
        QCOMPARE(std::tuple(store.writeFailure().value_or(PreferenceStore::WriteFailure{}).reason, store.writeFailure()->path, told.count(), onDisk().values.value(u"StringKey"_s)),
                 std::tuple(Reason::NoSpace, m_path, qsizetype(1), note));
        QVERIFY(filler.remove());
        QTRY_VERIFY_WITH_TIMEOUT(!store.writeFailure() && !store.hasPendingChanges(), 2000);
        QCOMPARE(onDisk().values.value(u"StringKey"_s), note + QString(3000, u'鳥'));
    }

    // Places the store cannot write to: it says so within two seconds, with
    // what and where, changes nothing it must not, never piles up copies,
    // and stores the edit by itself once it can.
    void cannotWrite_data()
    {
        QTest::addColumn<QString>("place");
        QTest::addColumn<int>("reason");
        QTest::newRow("read-only folder") << u"read-only"_s << int(Reason::ReadOnly);
        QTest::newRow("broken store that cannot be replaced") << u"pinned"_s << int(Reason::Other);
        QTest::newRow("link to a file that is not a store") << u"link"_s << int(Reason::NotAStore);
    }
    void cannotWrite()
    {
        QFETCH(QString, place);
        QFETCH(int, reason);
        if (place != u"link"_s && !m_root)
            QSKIP("mounts: root only");
        const QString elsewhere = m_dir->filePath(u"notes.txt"_s);
        const QByteArray broken = "[General]\nStringKey=前\nroot:x:0:0:root:/root:/bin/bash\n";
        QVERIFY(QDir().mkpath(folder()) && writeFile(elsewhere, broken) && QFile::setPermissions(elsewhere, QFile::ReadOwner | QFile::ReadGroup));
        if (place == u"link"_s)
            QVERIFY(QFile::link(elsewhere, m_path));
        else if (place == u"pinned"_s) // the file itself on a read-only mount of its own
            QVERIFY(writeFile(m_path, broken) && mount(m_path, m_path, nullptr, MS_BIND) && mount({}, m_path, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY));
        else
            QVERIFY(mount(folder(), folder(), nullptr, MS_BIND) && mount({}, folder(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY));
        PreferenceStore store(m_path);
        QElapsedTimer typing;
        typing.start();
        for (int n = 0; typing.elapsed() < 2500; ++n) {
            store.setString(u"StringKey"_s, u"前 "_s + QString::number(n));
            QTest::qWait(150);
        }
        QVERIFY(store.hasPendingChanges() && store.writeFailure());
        QCOMPARE(std::pair(int(store.writeFailure()->reason), store.writeFailure()->path), std::pair(reason, place == u"link"_s ? elsewhere : place == u"read-only"_s ? folder() : m_path));
        // What it read still counts; what is not ours is untouched.
        QCOMPARE(std::tuple(store.string(u"StringKey"_s)->startsWith(u"前 "_s), fileContents(elsewhere), modeOf(elsewhere), backups().size()),
                 std::tuple(true, broken, mode_t(0440), place == u"pinned"_s ? 1 : 0));
        if (place == u"link"_s)
            QVERIFY(QFile::remove(m_path));
        else
            cleanup();
        QTRY_VERIFY_WITH_TIMEOUT(!store.writeFailure() && !store.hasPendingChanges(), 2500);
        QCOMPARE(onDisk().values.value(u"StringKey"_s), *store.string(u"StringKey"_s));
    }

    // A chain of links to a store is read and written through to its end, and
    // each link stays a link. A folder this user may not write to is reported
    // as such.
    void linksAndPermissions()
    {
        const QString target = m_dir->filePath(u"dotfiles/yumekazu.ini"_s), middle = m_dir->filePath(u"dotfiles/current.ini"_s);
        QVERIFY(QDir().mkpath(folder()) && QDir().mkpath(QFileInfo(target).absolutePath()) && writeFile(target, "[General]\nStringKey=a\n") && QFile::link(target, middle) && QFile::link(middle, m_path));
        PreferenceStore(m_path).setString(u"StringKey"_s, PreferenceStore(m_path).string(u"StringKey"_s).value() + u'b');
        QCOMPARE(std::tuple(QFileInfo(m_path).isSymLink(), QFileInfo(middle).isSymLink(), PreferenceFile::parse(fileContents(target)).values.value(u"StringKey"_s)), std::tuple(true, true, u"ab"_s));
        if (!m_root)
            QSKIP("runs a writer as another user: root only");
        QVERIFY(QFile::remove(m_path) && QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeOther));
        QVERIFY(::chown(QFile::encodeName(folder()).constData(), 65534, 65534) == 0 && QFile::setPermissions(folder(), QFile::ReadOwner | QFile::ExeOwner));
        QProcess *writer = start({m_path, u"StringKey"_s, u"1"_s}, {u"setpriv"_s, u"--reuid=65534"_s, u"--regid=65534"_s, u"--clear-groups"_s});
        QVERIFY(writer->waitForFinished());
        QCOMPARE(std::pair(writer->exitCode(), writer->readAllStandardOutput().trimmed()), std::pair(1, QByteArray("failed: " + QByteArray::number(int(Reason::NoPermission)))));
    }

    // Base, this side's text, the other side's, and the two merged.
    void merge_data()
    {
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("apart") << QStringList{u"猫と犬と鳥"_s, u"猫と犬と小鳥"_s, u"黒猫と犬と鳥"_s, u"黒猫と犬と小鳥"_s};
        QTest::newRow("both at one place") << QStringList{u"ab"_s, u"aXb"_s, u"aYb"_s, u"aYXb"_s};
        QTest::newRow("same span replaced") << QStringList{u"a bc d"_s, u"a XX d"_s, u"a YY d"_s, u"a YYXX d"_s};
        QTest::newRow("deleted here, typed there") << QStringList{u"one two three"_s, u"one three"_s, u"one two three four"_s, u"one three four"_s};
        QTest::newRow("one side only") << QStringList{u"abc"_s, u"abc"_s, u"abcd"_s, u"abcd"_s};
        QTest::newRow("many edits each side") << QStringList{u"0123456789"_s, u"0a23456b89"_s, u"01c345d6789e"_s, u"0ac345d6b89e"_s};
    }
    void merge()
    {
        QFETCH(QStringList, texts);
        QCOMPARE(TextMerge::merge(texts[0], texts[1], texts[2]), texts[3]);
    }

    // A copy started before the config folder exists sees what another
    // writes there. Two copies without a session bus type into one note
    // 150 ms apart, one at its start and one at its end: every word ends up
    // on disk and in both editors.
    void twoCopiesTypeIntoOneNote()
    {
        const PreferenceStore early(m_path);
        QVERIFY(start({m_path, u"Other"_s, u"1"_s})->waitForFinished());
        QTRY_COMPARE(early.string(u"Other"_s), u"Other 1 "_s);
        QList<QProcess *> copies;
        for (const auto &[word, where] : {std::pair(u"early"_s, u"START"_s), std::pair(u"late"_s, u"END"_s)}) {
            copies << start({u"--type"_s, m_path, word, u"12"_s, u"150"_s, where});
            QTest::qWait(220);
        }
        for (QProcess *copy : copies)
            QVERIFY(copy->waitForFinished(15000) && copy->exitCode() == 0);
        const QStringList texts{onDisk().values.value(u"StringKey"_s), QString::fromUtf8(copies[0]->readAllStandardOutput()),
                                QString::fromUtf8(copies[1]->readAllStandardOutput())};
        for (const QString &text : texts)
            for (int n = 1; n <= 12; ++n)
                QVERIFY2(text.contains(u"early%1 "_s.arg(n)) && text.contains(u" late%1"_s.arg(n)), qPrintable(text));
    }
};

YUMEKAZU_TEST_MAIN(TestPreferenceStore)
#include "test_preference_store.moc"
