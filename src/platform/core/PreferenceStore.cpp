#include "platform/core/PreferenceStore.h"

#include "platform/core/AtomicFile.h"
#include "platform/core/PreferenceFile.h"
#include "platform/core/SystemError.h"
#include "platform/core/TextMerge.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Longest wait for another process's write.
constexpr int lockWaitMs = 5000;
// Outside changes come in bursts (a temporary file, a rename): read them once.
constexpr int checkDelayMs = 50;

using WriteFailure = PreferenceStore::WriteFailure;

WriteFailure failureOf(int error, const QString &path)
{
    using enum WriteFailure::Reason;
    const WriteFailure::Reason reason = AtomicFile::isSpaceError(error) || error == EFBIG ? NoSpace
                                        : error == EROFS                                  ? ReadOnly
                                        : error == EACCES || error == EPERM               ? NoPermission
                                        : error == EWOULDBLOCK                            ? Busy
                                                                                          : Other;
    return {reason, path, systemErrorText(error)};
}

// Other processes write the same file: one at a time, each on top of the
// last. An flock on a file that is kept: the kernel frees it when its holder
// dies, whatever the holder was doing, and once made it needs no room on the
// disk to be taken again.
class StoreLock {
public:
    explicit StoreLock(const QString &path)
    {
        const QByteArray name = QFile::encodeName(path);
        m_fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (m_fd < 0) {
            m_error = errno;
            // A folder that became read-only may still hold one to lock.
            m_fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        }
    }
    ~StoreLock()
    {
        if (m_fd >= 0)
            ::close(m_fd); // releases the lock too
    }
    StoreLock(const StoreLock &) = delete;
    StoreLock &operator=(const StoreLock &) = delete;

    // Waits a while for another holder; false with error() set otherwise.
    bool lock()
    {
        if (m_fd < 0)
            return false;
        QElapsedTimer waited;
        waited.start();
        while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            if ((errno != EWOULDBLOCK && errno != EINTR) || waited.elapsed() > lockWaitMs) {
                m_error = errno;
                return false;
            }
            QThread::msleep(5);
        }
        return true;
    }
    [[nodiscard]] int error() const { return m_error; }

private:
    int m_fd = -1;
    int m_error = 0;
};

QString backupName(const QString &path)
{
    const QString stamp = QDateTime::currentDateTime().toString(u"yyyyMMdd-HHmmss"_s);
    QString target = path + u".broken-"_s + stamp;
    for (int n = 1; QFileInfo::exists(target); ++n)
        target = path + u".broken-"_s + stamp + u'-' + QString::number(n);
    return target;
}

// The original of a store that did not read whole, kept for the user: once
// per content, however often the same broken file is met.
QString keepCopy(const QString &path, const QByteArray &bytes)
{
    const QFileInfo info(path);
    for (const QFileInfo &kept : info.absoluteDir().entryInfoList({info.fileName() + u".broken-*"_s}, QDir::Files | QDir::Hidden)) {
        QFile copy(kept.filePath());
        if (kept.size() == bytes.size() && !kept.isSymLink() && copy.open(QIODevice::ReadOnly) && copy.readAll() == bytes)
            return kept.filePath();
    }
    const QString target = backupName(path);
    QFile copy(target);
    if (!copy.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return {};
    // On the disk before the repaired store replaces the only other copy.
    if (copy.write(bytes) != bytes.size() || !copy.flush() || ::fdatasync(copy.handle()) != 0) {
        copy.remove();
        return {};
    }
    return target;
}

// The store's folder and those above it that are missing, private to the user.
int makeFolder(const QString &folder)
{
    if (QFileInfo(folder).isDir())
        return 0;
    if (const int error = makeFolder(QFileInfo(folder).absolutePath()); error != 0)
        return error;
    return ::mkdir(QFile::encodeName(folder).constData(), 0700) == 0 || errno == EEXIST ? 0 : errno;
}

bool isInteger(const QString &value)
{
    bool ok = false;
    (void)value.trimmed().toLongLong(&ok);
    return ok;
}

// A value changed here (mine) and elsewhere (theirs) since both were base.
// Text keeps both sides' edits; a switch keeps the one set last, here.
QString mergeValues(const QString &base, const QString &mine, const QString &theirs)
{
    if (theirs == base || mine == theirs || (isInteger(mine) && isInteger(theirs)))
        return mine;
    if (mine == base)
        return theirs;
    return TextMerge::merge(base, mine, theirs);
}

} // namespace

QString PreferenceStore::standardFilePath(const QString &relativePath)
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u'/' + relativePath;
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

PreferenceStore::SyncResult PreferenceStore::sync(const QString &path, const QHash<QString, QString> &base,
                                                  const Stamp &baseStamp, const QHash<QString, QString> &changes)
{
    SyncResult result;
    result.values = base;
    const QFileInfo info(path);
    const QString folder = info.absolutePath();
    const auto fail = [&result](WriteFailure failure) {
        result.failure = std::move(failure);
        return result;
    };
    if (changes.isEmpty() && (stampOf(path) == baseStamp || !QFileInfo::exists(folder))) {
        result.ok = result.read = true;
        result.stamp = baseStamp;
        return result;
    }
    if (const int error = makeFolder(folder); error != 0)
        return fail(failureOf(error, folder));
    StoreLock lock(path + u".lock"_s);
    // Reading alone needs no lock: writers replace the file whole.
    if (!lock.lock() && !changes.isEmpty())
        return fail(failureOf(lock.error(), folder));

    const Stamp current = stampOf(path);
    // A link is followed to read and write a store, never to repair what it
    // points at: that file is not ours to change.
    const bool link = info.isSymLink();
    const WriteFailure notAStore{WriteFailure::Reason::NotAStore, info.symLinkTarget(), {}};
    bool rewrite = !changes.isEmpty();
    if (current.exists && current != baseStamp) {
        QFile file(path);
        QByteArray bytes;
        const bool readable = info.isFile() && file.open(QIODevice::ReadOnly);
        if (readable)
            bytes = file.readAll();
        if ((!readable || bytes.contains('\0')) && link)
            return fail(notAStore);
        if (!readable || bytes.contains('\0')) {
            // Not a text file at all: nothing in it can be kept but the file itself.
            const QString target = backupName(path);
            if (::rename(QFile::encodeName(path).constData(), QFile::encodeName(target).constData()) != 0)
                return fail(failureOf(errno, path));
            result.backupPath = target;
        } else {
            const PreferenceFile::Contents contents = PreferenceFile::parse(bytes);
            for (auto it = contents.values.cbegin(); it != contents.values.cend(); ++it)
                result.values.insert(it.key(), it.value());
            result.read = true;
            if (!contents.whole && link)
                return fail(notAStore);
            if (!contents.whole) {
                errno = 0;
                result.backupPath = keepCopy(path, bytes);
                if (result.backupPath.isEmpty())
                    return fail(failureOf(errno ? errno : EIO, folder)); // never replace what could not be kept
                rewrite = true;
            }
        }
    }
    result.read = true;
    QHash<QString, QString> stored = result.values;
    for (auto it = changes.cbegin(); it != changes.cend(); ++it) {
        const QString merged = mergeValues(base.value(it.key()), it.value(), result.values.value(it.key()));
        stored.insert(it.key(), merged);
        result.written.insert(it.key(), merged);
    }
    if (rewrite) {
        const Expected<AtomicFile::Method, int> written =
            AtomicFile::write(path, PreferenceFile::serialize(stored), {.mode = 0600, .inPlaceWhenFull = true});
        if (!written)
            return fail(failureOf(written.error(), AtomicFile::target(path)));
    }
    result.stamp = stampOf(path);
    result.ok = true;
    return result;
}

void PreferenceStore::setValue(const QString &key, const QString &value)
{
    const auto it = m_values.constFind(key);
    if (it != m_values.constEnd() && *it == value)
        return;
    m_values.insert(key, value);
    Q_EMIT valueChanged(key);
}

void PreferenceStore::apply(const SyncResult &result)
{
    const QHash<QString, QString> sent = std::exchange(m_sent, {});
    if (result.ok) {
        QHash<QString, QString> disk = result.values;
        disk.insert(result.written);
        // What others wrote reaches every window; a key changed here during
        // the write keeps that change, merged with what the disk now holds.
        for (auto it = disk.cbegin(); it != disk.cend(); ++it) {
            if (!m_pending.contains(it.key())) {
                setValue(it.key(), it.value());
                continue;
            }
            const QString localBase = sent.contains(it.key()) ? sent.value(it.key()) : m_base.value(it.key());
            setValue(it.key(), mergeValues(localBase, m_values.value(it.key()), it.value()));
            if (m_values.value(it.key()) == it.value())
                m_pending.remove(it.key());
        }
        m_base = disk;
        m_stamp = result.stamp;
    } else {
        // Not on disk: kept pending and tried again. What the disk held is
        // taken in, merged with what is pending here (made on m_base).
        for (auto it = sent.cbegin(); it != sent.cend(); ++it)
            m_pending.insert(it.key());
        if (result.read) {
            for (auto it = result.values.cbegin(); it != result.values.cend(); ++it) {
                const auto known = m_base.constFind(it.key());
                if (known != m_base.constEnd() && *known == it.value())
                    continue;
                const QString base = m_base.value(it.key());
                setValue(it.key(), m_pending.contains(it.key()) ? mergeValues(base, m_values.value(it.key()), it.value())
                                                                : it.value());
                m_base.insert(it.key(), it.value());
            }
        }
    }
    if (m_failure != result.failure) {
        m_failure = result.failure;
        Q_EMIT writeFailureChanged();
    }
    if (!m_pending.isEmpty() && !m_writeTimer.isActive())
        m_writeTimer.start(m_failure ? retryDelayMs : writeDelayMs);
    if (!result.backupPath.isEmpty()) {
        m_backupPath = result.backupPath;
        Q_EMIT repaired(result.backupPath);
    }
}

// The nearest folder that exists is watched, so a store folder made after
// the start (by another copy) is seen.
void PreferenceStore::watch()
{
    QString folder = QFileInfo(m_filePath).absolutePath();
    while (!QFileInfo(folder).isDir() && QFileInfo(folder).absolutePath() != folder)
        folder = QFileInfo(folder).absolutePath();
    const QStringList watched = m_watcher.directories();
    if (!watched.contains(folder)) {
        if (!watched.isEmpty())
            m_watcher.removePaths(watched);
        m_watcher.addPath(folder);
    }
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
    m_pending.insert(key);
    // Not restarted by further changes: a change never waits longer than the delay.
    if (!m_writeTimer.isActive())
        m_writeTimer.start(writeDelayMs);
    Q_EMIT valueChanged(key);
}

QHash<QString, QString> PreferenceStore::takePending()
{
    QHash<QString, QString> changes;
    for (const QString &key : std::exchange(m_pending, {}))
        changes.insert(key, m_values.value(key));
    return changes;
}

// A write goes to a worker thread with copies of the values (cheap: the
// strings are shared), so a large note never stalls typing.
void PreferenceStore::startSync()
{
    if (m_sync.isRunning()) {
        m_writeTimer.start(writeDelayMs); // one write at a time; the next follows it
        return;
    }
    collectSync();
    m_sent = takePending();
    m_sync = QtConcurrent::run(&PreferenceStore::sync, m_filePath, m_base, m_stamp, m_sent);
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
    m_sync.waitForFinished();
    collectSync();
    // A change merged with another process's may need one more round.
    for (int round = 0; round < 3 && hasPendingChanges(); ++round) {
        m_sent = takePending();
        const SyncResult result = sync(m_filePath, m_base, m_stamp, m_sent);
        apply(result);
        if (!result.ok)
            break;
    }
    watch();
    if (!hasPendingChanges())
        m_writeTimer.stop();
    return !hasPendingChanges();
}
