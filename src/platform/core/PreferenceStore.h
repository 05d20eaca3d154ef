#pragma once

#include <QFuture>
#include <QFutureWatcher>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariant>

#include <optional>

// The per-user key-value store behind every preference of the application.
//
// One instance serves the whole process: every window reads and writes through
// it, so a write is visible everywhere at once (valueChanged). Values live in
// memory and are written to an INI file (through QSettings, atomically) shortly
// after a change and at once on flush(). Reading a key never writes it.
class PreferenceStore : public QObject {
    Q_OBJECT

public:
    // Longest time a change waits in memory before it is written to disk.
    static constexpr int writeDelayMs = 500;

    // ~/.config/yumekazu/preferences.ini, honouring XDG_CONFIG_HOME.
    static QString standardFilePath();

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
    // Where an unreadable or corrupt store file was moved at start, if it was.
    [[nodiscard]] std::optional<QString> backupPath() const { return m_backupPath; }
    [[nodiscard]] bool hasPendingChanges() const { return m_dirty || m_inFlight; }

Q_SIGNALS:
    void valueChanged(const QString &key);

private:
    void load();
    void moveAside();
    void store(const QString &key, const QVariant &value);
    void writeSoon();
    void collectWrite();
    static bool writeFile(const QString &filePath, const QHash<QString, QVariant> &values);

    QString m_filePath;
    QHash<QString, QVariant> m_values;
    QTimer m_writeTimer;
    std::optional<QString> m_backupPath;
    bool m_dirty = false;
    bool m_inFlight = false;
    QFuture<bool> m_writing;
    QFutureWatcher<bool> m_writeWatcher;
};
