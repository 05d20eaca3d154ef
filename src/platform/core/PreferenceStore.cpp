#include "platform/core/PreferenceStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QtConcurrent/QtConcurrentRun>

using namespace Qt::StringLiterals;

namespace {

constexpr auto privateFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr auto privateDir = privateFile | QFileDevice::ExeOwner;

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
    connect(&m_writeTimer, &QTimer::timeout, this, &PreferenceStore::writeSoon);
    connect(&m_writeWatcher, &QFutureWatcher<bool>::finished, this, &PreferenceStore::collectWrite);
    load();
}

PreferenceStore::~PreferenceStore()
{
    flush();
}

void PreferenceStore::load()
{
    const QFileInfo info(m_filePath);
    if (!info.exists())
        return;
    if (!info.isFile() || !info.isReadable()) {
        moveAside();
        return;
    }
    // QSettings replaces bytes that are not UTF-8; writing them back would
    // lose the user's text, so such a file counts as corrupt.
    {
        QFile file(m_filePath);
        if (!file.open(QIODevice::ReadOnly)) {
            moveAside();
            return;
        }
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString decoded = utf8.decode(file.readAll());
        if (utf8.hasError()) {
            moveAside();
            return;
        }
    }
    QSettings settings(m_filePath, QSettings::IniFormat);
    // The file is parsed on first access; only then does status() tell.
    const QStringList keys = settings.allKeys();
    if (settings.status() != QSettings::NoError) {
        moveAside();
        return;
    }
    for (const QString &key : keys)
        m_values.insert(key, settings.value(key));
}

// A store we cannot read is kept for the user to recover, never overwritten.
void PreferenceStore::moveAside()
{
    const QString stamp = QDateTime::currentDateTime().toString(u"yyyyMMdd-HHmmss"_s);
    QString target = m_filePath + u".broken-"_s + stamp;
    for (int n = 1; QFileInfo::exists(target); ++n)
        target = m_filePath + u".broken-"_s + stamp + u'-' + QString::number(n);
    if (QFile::rename(m_filePath, target)) {
        m_backupPath = target;
    } else {
        qWarning("Could not move the unreadable preference file aside; it will not be overwritten.");
        // Keep writes away from it: an empty path makes flush() a no-op.
        m_filePath.clear();
    }
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
    return it->toString();
}

QString PreferenceStore::string(const QString &key, const QString &defaultValue) const
{
    return string(key).value_or(defaultValue);
}

int PreferenceStore::integer(const QString &key) const
{
    const auto it = m_values.constFind(key);
    if (it == m_values.constEnd())
        return 0;
    bool ok = false;
    const int value = it->toString().trimmed().toInt(&ok);
    return ok ? value : 0;
}

void PreferenceStore::setString(const QString &key, const QString &value)
{
    store(key, value);
}

void PreferenceStore::setInteger(const QString &key, int value)
{
    store(key, value);
}

void PreferenceStore::store(const QString &key, const QVariant &value)
{
    const auto it = m_values.find(key);
    if (it != m_values.end() && it->toString() == value.toString()
        && it->typeId() == value.typeId())
        return;
    m_values.insert(key, value);
    m_dirty = true;
    // Not restarted by further changes: a change never waits longer than the delay.
    if (!m_writeTimer.isActive())
        m_writeTimer.start();
    Q_EMIT valueChanged(key);
}

// Runs on any thread: only its arguments are touched.
bool PreferenceStore::writeFile(const QString &filePath, const QHash<QString, QVariant> &values)
{
    const QFileInfo info(filePath);
    if (!QDir().mkpath(info.absolutePath()))
        return false;
    if (!info.exists()) {
        // Our folder and file are the user's alone. The file is created private
        // first; QSettings then replaces it atomically and keeps the
        // permissions of the file it replaces.
        QFile::setPermissions(info.absolutePath(), privateDir);
        QFile file(filePath);
        if (!file.open(QIODevice::WriteOnly, privateFile))
            return false;
    }
    {
        QSettings settings(filePath, QSettings::IniFormat);
        settings.clear();
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            settings.setValue(it.key(), it.value());
        settings.sync();
        if (settings.status() != QSettings::NoError)
            return false;
    }
    if ((QFile::permissions(filePath) & ~privateFile) != 0)
        QFile::setPermissions(filePath, privateFile);
    return true;
}

// A timed write goes to a worker thread with a copy of the values (cheap:
// the strings are shared), so a large note never stalls typing.
void PreferenceStore::writeSoon()
{
    if (m_writing.isRunning()) {
        m_writeTimer.start(); // one write at a time; try again shortly
        return;
    }
    collectWrite();
    if (!m_dirty || m_filePath.isEmpty())
        return;
    m_dirty = false;
    m_inFlight = true;
    m_writing = QtConcurrent::run(&PreferenceStore::writeFile, m_filePath, m_values);
    m_writeWatcher.setFuture(m_writing);
}

// Takes in the result of a finished background write.
void PreferenceStore::collectWrite()
{
    if (!m_inFlight || !m_writing.isFinished())
        return;
    m_inFlight = false;
    if (!m_writing.result()) {
        // Not on disk: keep it pending and try again with the next write.
        m_dirty = true;
        if (!m_writeTimer.isActive())
            m_writeTimer.start();
    }
}

bool PreferenceStore::flush()
{
    m_writeTimer.stop();
    m_writing.waitForFinished();
    collectWrite();
    m_writeTimer.stop();
    if (!m_dirty || m_filePath.isEmpty())
        return true;
    if (!writeFile(m_filePath, m_values))
        return false;
    m_dirty = false;
    return true;
}
