#include "common/TestMain.h"
#include "platform/core/PreferenceStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>

#include <csignal>

#include <memory>

using namespace Qt::StringLiterals;

class TestPreferenceStore : public QObject {
    Q_OBJECT

private:
    QString m_path;

    static void writeRaw(const QString &path, const QByteArray &bytes)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    static QByteArray readRaw(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private Q_SLOTS:
    void init()
    {
        // A fresh folder per case: QSettings caches files by name within a process.
        static int n = 0;
        m_path = QFileInfo(PreferenceStore::standardFilePath()).absolutePath() + u"/case"_s
            + QString::number(++n) + u"/preferences.ini"_s;
    }

    void readingNeverWrites()
    {
        {
            PreferenceStore store(m_path);
            QCOMPARE(store.string(u"StringKey"_s), std::nullopt);
            QCOMPARE(store.string(u"bunreiKey"_s, u"default"_s), u"default"_s);
            QCOMPARE(store.integer(u"IntKeyToggle1"_s), 0);
            QVERIFY(!store.contains(u"IntKeyToggle1"_s));
            QVERIFY(store.flush());
        }
        QVERIFY(!QFileInfo::exists(m_path));
    }

    void valuesRoundTrip_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("japanese") << u"昨日は猫に餌をあげた。"_s;
        QTest::newRow("emoji") << u"🐱🐤 👨‍👩‍👧"_s;
        QTest::newRow("line breaks") << u"一行目\n二行目\r\n\n三行目\r"_s;
        QTest::newRow("ini syntax") << u"[General]\nkey=value ; # \\ \"quoted\" @Variant(x)"_s;
        QTest::newRow("edge spaces") << u"  先頭と末尾の空白  "_s;
        QTest::newRow("empty") << QString();
        QTest::newRow("one megabyte") << QString(512 * 1024, u'あ');
    }
    void valuesRoundTrip()
    {
        QFETCH(QString, value);
        {
            PreferenceStore store(m_path);
            store.setString(u"StringKey"_s, value);
            QCOMPARE(store.string(u"StringKey"_s), value);
        } // the destructor persists
        PreferenceStore reopened(m_path);
        QCOMPARE(reopened.string(u"StringKey"_s), value);
        QVERIFY(!reopened.backupPath());
    }

    void integersAsStored_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("expected");
        QTest::newRow("one") << QByteArray("IntKeyToggle3=1") << 1;
        QTest::newRow("two by hand") << QByteArray("IntKeyToggle3=2") << 2;
        QTest::newRow("negative") << QByteArray("IntKeyToggle3=-7") << -7;
        QTest::newRow("not a number") << QByteArray("IntKeyToggle3=yes") << 0;
        QTest::newRow("absent") << QByteArray("Other=1") << 0;
    }
    void integersAsStored()
    {
        QFETCH(QByteArray, line);
        QFETCH(int, expected);
        writeRaw(m_path, "[General]\n" + line + "\n");
        PreferenceStore store(m_path);
        QCOMPARE(store.integer(u"IntKeyToggle3"_s), expected);
    }

    void changesAreSignalledOnce()
    {
        PreferenceStore store(m_path);
        QSignalSpy spy(&store, &PreferenceStore::valueChanged);
        store.setString(u"StringKey"_s, u"a"_s);
        store.setString(u"StringKey"_s, u"a"_s);
        store.setInteger(u"IntKeyToggle1"_s, 1);
        store.setInteger(u"IntKeyToggle1"_s, 1);
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(0).at(0).toString(), u"StringKey"_s);
        QCOMPARE(spy.at(1).at(0).toString(), u"IntKeyToggle1"_s);
    }

    void persistsSoonWithoutFlushAndPrivately()
    {
        PreferenceStore store(m_path);
        store.setString(u"StringKey"_s, u"まだ保存されていない"_s);
        QVERIFY(store.hasPendingChanges());
        // A crash after this point must not lose the note: it reaches the disk
        // on its own, without a flush or a clean exit.
        QTRY_VERIFY_WITH_TIMEOUT(!store.hasPendingChanges(), 1500);
        QSettings onDisk(m_path, QSettings::IniFormat);
        QCOMPARE(onDisk.value(u"StringKey"_s).toString(), u"まだ保存されていない"_s);
        QCOMPARE(QFile::permissions(m_path) & ~(QFile::ReadUser | QFile::ReadOwner | QFile::WriteUser
                                                | QFile::WriteOwner),
                 QFileDevice::Permissions());
        const auto dirPermissions = QFile::permissions(QFileInfo(m_path).absolutePath());
        QVERIFY(!(dirPermissions & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteOther)));
        // Replaced atomically: no temporary file is left beside it.
        const QStringList left = QDir(QFileInfo(m_path).absolutePath()).entryList(QDir::Files);
        QCOMPARE(left, QStringList{u"preferences.ini"_s});
    }

    void corruptFileIsKeptAside_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<bool>("directory");
        QTest::newRow("binary") << QByteArray("\x00\x01\x02\x03", 4) << false;
        QTest::newRow("broken section") << QByteArray("[General\nStringKey=abc\n") << false;
        QTest::newRow("not utf-8") << QByteArray("[General]\nStringKey=\xc3\x28\n") << false;
        QTest::newRow("a folder") << QByteArray() << true;
    }
    void corruptFileIsKeptAside()
    {
        QFETCH(QByteArray, contents);
        QFETCH(bool, directory);
        if (directory)
            QVERIFY(QDir().mkpath(m_path));
        else
            writeRaw(m_path, contents);

        PreferenceStore store(m_path);
        QVERIFY(store.backupPath());
        QVERIFY(store.backupPath()->startsWith(m_path + u".broken-"_s));
        QCOMPARE(store.string(u"StringKey"_s), std::nullopt);
        if (!directory)
            QCOMPARE(readRaw(*store.backupPath()), contents);
        store.setString(u"StringKey"_s, u"新しいメモ"_s);
        QVERIFY(store.flush());
        if (!directory)
            QCOMPARE(readRaw(*store.backupPath()), contents);
        QCOMPARE(PreferenceStore(m_path).string(u"StringKey"_s), u"新しいメモ"_s);
    }

    void killedProcessLosesAtMostASecond()
    {
        QProcess writer;
        writer.start(qEnvironmentVariable("YUMEKAZU_BUILD_DIR") + u"/tests/preference_writer"_s, {m_path});
        QVERIFY(writer.waitForStarted());
        QList<std::pair<int, qint64>> changes; // counter, milliseconds since start
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 2500 && writer.state() == QProcess::Running) {
            writer.waitForReadyRead(100);
            while (writer.canReadLine()) {
                const QList<QByteArray> fields = writer.readLine().trimmed().split(' ');
                changes.append({fields.value(0).toInt(), fields.value(1).toLongLong()});
            }
        }
        ::kill(pid_t(writer.processId()), SIGKILL);
        writer.waitForFinished();
        while (writer.canReadLine()) {
            const QList<QByteArray> fields = writer.readLine().trimmed().split(' ');
            changes.append({fields.value(0).toInt(), fields.value(1).toLongLong()});
        }
        QVERIFY(changes.size() > 20);

        // The file is whole, and no older than a second before the kill.
        PreferenceStore reopened(m_path);
        QVERIFY(!reopened.backupPath());
        const QString note = reopened.string(u"StringKey"_s).value_or(QString());
        const int saved = note.section(u' ', 1, 1).toInt();
        QVERIFY(saved > 0);
        QVERIFY(note.endsWith(QString(20000, u'猫')));
        const qint64 last = changes.constLast().second;
        const auto savedChange = std::find_if(changes.cbegin(), changes.cend(),
                                              [saved](const auto &c) { return c.first == saved; });
        QVERIFY(savedChange != changes.cend());
        QVERIFY2(last - savedChange->second <= 1000,
                 qPrintable(u"lost %1 ms of changes"_s.arg(last - savedChange->second)));
    }

    void failedWriteStaysPending()
    {
        // A path below a regular file can never be created.
        const QString blocker = QFileInfo(m_path).absolutePath() + u"/blocker"_s;
        writeRaw(blocker, "x");
        auto store = std::make_unique<PreferenceStore>(blocker + u"/preferences.ini"_s);
        store->setString(u"StringKey"_s, u"残る"_s);
        QVERIFY(!store->flush());
        QVERIFY(store->hasPendingChanges());
        QCOMPARE(store->string(u"StringKey"_s), u"残る"_s);
        QVERIFY(QFile::remove(blocker));
        QVERIFY(store->flush());
        QCOMPARE(PreferenceStore(blocker + u"/preferences.ini"_s).string(u"StringKey"_s), u"残る"_s);
    }
};

YUMEKAZU_TEST_MAIN(TestPreferenceStore)
#include "test_preference_store.moc"
