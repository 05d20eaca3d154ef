#pragma once

#include <QFileSystemWatcher>
#include <QFuture>
#include <QFutureWatcher>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <optional>

// The per-user key-value store behind every preference of the application.
//
// One instance serves the whole process: every window reads and writes through
// it, so a write is visible everywhere at once (valueChanged). Other processes
// may share the file: a write takes a lock beside it, reads the file again and
// replaces it atomically with only this process's own changes applied on top,
// so no key written elsewhere is lost; where both changed the same text, the
// two are merged so that neither side's words are dropped. Changes made to the
// file from outside are read back and reported through valueChanged like our
// own. Writes happen shortly after a change and at once on flush(); one that
// fails is kept in memory, reported through writeFailure and tried again
// until it succeeds. Reading a key never writes it.
class PreferenceStore : public QObject {
    Q_OBJECT

public:
    // Longest time a change waits in memory before it is written to disk:
    // what a crash of the whole process can cost.
    static constexpr int writeDelayMs = 50;
    // How often a write that failed is tried again.
    static constexpr int retryDelayMs = 1000;

    // Why the changes could not be written, and where.
    struct WriteFailure {
        enum class Reason { NoSpace, ReadOnly, NoPermission, NotAStore, Busy, Other };
        Reason reason = Reason::Other;
        QString path;   // the file or folder that refused
        QString detail; // the system's own words
        bool operator==(const WriteFailure &) const = default;
    };

    // relativePath under the user's configuration folder (~/.config unless
    // XDG_CONFIG_HOME says otherwise).
    static QString standardFilePath(const QString &relativePath);

    explicit PreferenceStore(QString filePath, QObject *parent = nullptr);
    ~PreferenceStore() override;

    PreferenceStore(const PreferenceStore &) = delete;
    PreferenceStore &operator=(const PreferenceStore &) = delete;

    [[nodiscard]] bool contains(const QString &key) const;
    // The stored text, or nothing when the key is absent.
    [[nodiscard]] std::optional<QString> string(const QString &key) const;
    [[nodiscard]] QString string(const QString &key, const QString &defaultValue) const;
    // The stored integer; 0 when the key is absent or holds no number.
    [[nodiscard]] int integer(const QString &key) const;

    void setString(const QString &key, const QString &value);
    void setInteger(const QString &key, int value);

    // Writes pending changes now. False when the file could not be written; the
    // changes then stay pending and are tried again with the next write.
    bool flush();

    [[nodiscard]] QString filePath() const { return m_filePath; }
    // Where the last store file that could not be read whole was kept, if one was.
    [[nodiscard]] std::optional<QString> backupPath() const { return m_backupPath; }
    [[nodiscard]] bool hasPendingChanges() const { return !m_pending.isEmpty() || !m_sent.isEmpty(); }
    // Set while the last write failed, or while the store file is a link to
    // something that is not a store (which is never written through).
    [[nodiscard]] std::optional<WriteFailure> writeFailure() const { return m_failure; }

Q_SIGNALS:
    void valueChanged(const QString &key);
    // The file did not read whole: what could be read was kept, the original
    // file was kept at backupPath and the store file was written anew.
    void repaired(const QString &backupPath);
    void writeFailureChanged();

public:
    // What identifies one version of the file on disk.
    struct Stamp {
        bool exists = false;
        quint64 device = 0, inode = 0, size = 0;
        qint64 modifiedNs = 0, changedNs = 0;
        bool operator==(const Stamp &) const = default;
    };
    struct SyncResult {
        bool ok = false;                 // every change handed over is on disk
        bool read = false;               // values hold what the disk held
        QHash<QString, QString> values;  // as read (the known values where not read)
        QHash<QString, QString> written; // the changes as stored, merged with the disk's
        Stamp stamp;
        QString backupPath;
        std::optional<WriteFailure> failure;
    };

private:
    static Stamp stampOf(const QString &path);
    // Runs on any thread: only its arguments are touched.
    static SyncResult sync(const QString &path, const QHash<QString, QString> &base, const Stamp &baseStamp,
                           const QHash<QString, QString> &changes);
    void setValue(const QString &key, const QString &value);
    QHash<QString, QString> takePending();
    void startSync();
    void collectSync();
    void apply(const SyncResult &result);
    void watch();
    void checkFile();
    void store(const QString &key, const QString &value);

    QString m_filePath;
    QHash<QString, QString> m_values; // what every window sees
    QHash<QString, QString> m_base;   // what the file held when last read or written
    QSet<QString> m_pending;          // changed here, not yet handed to a write
    QHash<QString, QString> m_sent;   // handed to the write in flight
    Stamp m_stamp;                    // of the file as last read or written
    std::optional<WriteFailure> m_failure;
    QTimer m_writeTimer;
    QTimer m_checkTimer;
    QFileSystemWatcher m_watcher;
    std::optional<QString> m_backupPath;
    QFuture<SyncResult> m_sync;
    QFutureWatcher<SyncResult> m_syncWatcher;
};
