#include "platform/core/PreferenceStore.h"

#include "platform/core/PreferenceFile.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr auto privateFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr auto privateDir = privateFile | QFileDevice::ExeOwner;
// Longest wait for another process's write; a lock left by a dead process is
// taken over at once.
constexpr int lockWaitMs = 5000;
// A writer killed between creating its lock and writing its name in it leaves
// a lock no one can tell the owner of; after this long it is taken over. A
// live owner keeps its lock whatever its age: the lock also holds an flock
// that only its owner's death releases.
constexpr int unknownLockAgeMs = 1000;
// Outside changes come in bursts (a temporary file, a rename): read them once.
constexpr int checkDelayMs = 50;

QString backupName(const QString &path)
{
    const QString stamp = QDateTime::currentDateTime().toString(u"yyyyMMdd-HHmmss"_s);
    QString target = path + u".broken-"_s + stamp;
    for (int n = 1; QFileInfo::exists(target); ++n)
        target = path + u".broken-"_s + stamp + u'-' + QString::number(n);
    return target;
}

// The original of a store that did not read whole, kept for the user.
QString keepCopy(const QString &path, const QByteArray &bytes)
{
    const QString target = backupName(path);
    QFile copy(target);
    if (!copy.open(QIODevice::WriteOnly | QIODevice::NewOnly, privateFile) || copy.write(bytes) != bytes.size()
        || !copy.flush())
        return {};
    return target;
}

bool writeWhole(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // The user's alone, whatever the umask or the replaced file said.
    ::fchmod(file.handle(), S_IRUSR | S_IWUSR);
    if (file.write(bytes) != bytes.size() || !file.flush() || ::fdatasync(file.handle()) != 0) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace

QString PreferenceStore::standardFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + u"/yumekazu/preferences.ini"_s;
}

PreferenceStore::PreferenceStore(QString filePath, QObject *parent)
    : QObject(parent), m_filePath(std::move(filePath))
{
    m_writeTimer.setSingleShot(true);
    m_writeTimer.setInterval(writeDelayMs);
    connect(&m_writeTimer, &QTimer::timeout, this, &PreferenceStore::startSync);
    m_checkTimer.setSingleShot(true);
    m_checkTimer.setInterval(checkDelayMs);
    connect(&m_checkTimer, &QTimer::timeout, this, &PreferenceStore::checkFile);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, &m_checkTimer, qOverload<>(&QTimer::start));
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, &m_checkTimer, qOverload<>(&QTimer::start));
    connect(&m_syncWatcher, &QFutureWatcher<SyncResult>::finished, this, &PreferenceStore::collectSync);
    apply(sync(m_filePath, {}, {}, {}));
    watch();
}

PreferenceStore::~PreferenceStore()
{
    flush();
}

PreferenceStore::Stamp PreferenceStore::stampOf(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return {true, quint64(info.st_dev), quint64(info.st_ino), quint64(info.st_size),
            qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec,
            qint64(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec};
}

PreferenceStore::SyncResult PreferenceStore::sync(const QString &path, const QHash<QString, QString> &known,
                                                  const Stamp &knownStamp, const QHash<QString, QString> &changes)
{
    SyncResult result;
    const QFileInfo info(path);
    const QString folder = info.absolutePath();
    if (changes.isEmpty() && stampOf(path) == knownStamp) {
        result = {true, known, knownStamp, {}};
        return result;
    }
    if (!QFileInfo::exists(folder)) {
        if (changes.isEmpty())
            return {true, known, {}, {}};
        if (!QDir().mkpath(folder))
            return result;
        QFile::setPermissions(folder, privateDir);
    }
    // Other processes write the same file: one at a time, each on top of the last.
    QLockFile lock(path + u".lock"_s);
    lock.setStaleLockTime(unknownLockAgeMs);
    // Polled often: QLockFile's own wait backs off to seconds, and a busy writer
    // would keep the lock from a patient one.
    QElapsedTimer waited;
    waited.start();
    bool locked = lock.tryLock(0);
    // Only a lock held by someone else is worth waiting for; a folder we may
    // not write to stays so.
    for (; !locked && lock.error() == QLockFile::LockFailedError && waited.elapsed() < lockWaitMs;
         locked = lock.tryLock(0))
        QThread::msleep(5);
    if (!locked && !changes.isEmpty())
        return result;

    result.values = known;
    const Stamp current = stampOf(path);
    bool rewrite = !changes.isEmpty();
    if (current.exists && current != knownStamp) {
        QFile file(path);
        QByteArray bytes;
        const bool readable = info.isFile() && file.open(QIODevice::ReadOnly);
        if (readable)
            bytes = file.readAll();
        if (!readable || bytes.contains('\0')) {
            // Not a text file at all: nothing in it can be kept but the file itself.
            const QString target = backupName(path);
            if (!QFile::rename(path, target))
                return result;
            result.backupPath = target;
        } else {
            const PreferenceFile::Contents contents = PreferenceFile::parse(bytes);
            for (auto it = contents.values.cbegin(); it != contents.values.cend(); ++it)
                result.values.insert(it.key(), it.value());
            if (!contents.whole) {
                result.backupPath = keepCopy(path, bytes);
                if (result.backupPath.isEmpty())
                    return result; // never replace what could not be kept
                rewrite = true;
            }
        }
    }
    for (auto it = changes.cbegin(); it != changes.cend(); ++it)
        result.values.insert(it.key(), it.value());
    if (rewrite && !writeWhole(path, PreferenceFile::serialize(result.values)))
        return result;
    result.stamp = stampOf(path);
    result.ok = true;
    return result;
}

void PreferenceStore::apply(const SyncResult &result)
{
    if (!result.ok) {
        // Not on disk: keep it pending and try again with the next write.
        for (auto it = m_sent.cbegin(); it != m_sent.cend(); ++it)
            m_changes.insert(it.key(), m_changes.value(it.key(), it.value()));
        m_sent.clear();
        if (!m_changes.isEmpty() && !m_writeTimer.isActive())
            m_writeTimer.start();
        return;
    }
    m_sent.clear();
    m_stamp = result.stamp;
    // What others wrote reaches every window, except keys changed here since.
    for (auto it = result.values.cbegin(); it != result.values.cend(); ++it) {
        const auto mine = m_values.constFind(it.key());
        if (m_changes.contains(it.key()) || (mine != m_values.constEnd() && *mine == it.value()))
            continue;
        m_values.insert(it.key(), it.value());
        Q_EMIT valueChanged(it.key());
    }
    if (!result.backupPath.isEmpty()) {
        m_backupPath = result.backupPath;
        Q_EMIT repaired(result.backupPath);
    }
}

void PreferenceStore::watch()
{
    const QString folder = QFileInfo(m_filePath).absolutePath();
    if (!m_watcher.directories().contains(folder) && QFileInfo(folder).isDir())
        m_watcher.addPath(folder);
    // A replaced file is a new one: watch that, not the one it replaced.
    if (m_watcher.files().contains(m_filePath))
        m_watcher.removePath(m_filePath);
    if (QFileInfo(m_filePath).isFile())
        m_watcher.addPath(m_filePath);
}

void PreferenceStore::checkFile()
{
    watch();
    if (m_sync.isRunning()) {
        m_checkTimer.start();
        return;
    }
    if (stampOf(m_filePath) != m_stamp)
        startSync();
}

bool PreferenceStore::contains(const QString &key) const
{
    return m_values.contains(key);
}

std::optional<QString> PreferenceStore::string(const QString &key) const
{
    const auto it = m_values.constFind(key);
    if (it == m_values.constEnd())
        return std::nullopt;
    return *it;
}

QString PreferenceStore::string(const QString &key, const QString &defaultValue) const
{
    return string(key).value_or(defaultValue);
}

int PreferenceStore::integer(const QString &key) const
{
    bool ok = false;
    const int value = m_values.value(key).trimmed().toInt(&ok);
    return ok ? value : 0;
}

void PreferenceStore::setString(const QString &key, const QString &value)
{
    store(key, value);
}

void PreferenceStore::setInteger(const QString &key, int value)
{
    store(key, QString::number(value));
}

void PreferenceStore::store(const QString &key, const QString &value)
{
    const auto it = m_values.constFind(key);
    if (it != m_values.constEnd() && *it == value)
        return;
    m_values.insert(key, value);
    m_changes.insert(key, value);
    // Not restarted by further changes: a change never waits longer than the delay.
    if (!m_writeTimer.isActive())
        m_writeTimer.start();
    Q_EMIT valueChanged(key);
}

// A write goes to a worker thread with copies of the values (cheap: the
// strings are shared), so a large note never stalls typing.
void PreferenceStore::startSync()
{
    if (m_sync.isRunning()) {
        m_writeTimer.start(); // one write at a time; try again shortly
        return;
    }
    collectSync();
    m_sent = std::exchange(m_changes, {});
    m_sync = QtConcurrent::run(&PreferenceStore::sync, m_filePath, m_values, m_stamp, m_sent);
    m_syncWatcher.setFuture(m_sync);
}

// Takes in the result of a finished background write.
void PreferenceStore::collectSync()
{
    if (!m_sync.isValid() || !m_sync.isFinished() || m_sync.isCanceled())
        return;
    const SyncResult result = m_sync.result();
    m_sync = {};
    apply(result);
    watch();
}

bool PreferenceStore::flush()
{
    m_writeTimer.stop();
    m_sync.waitForFinished();
    collectSync();
    if (m_changes.isEmpty())
        return true;
    m_sent = std::exchange(m_changes, {});
    const SyncResult result = sync(m_filePath, m_values, m_stamp, m_sent);
    apply(result);
    m_writeTimer.stop();
    watch();
    return result.ok;
}
