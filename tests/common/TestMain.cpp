#include "common/TestMain.h"

#include <QDir>
#include <QFile>

using namespace Qt::StringLiterals;

TestHome::TestHome()
{
    const QByteArray home = QFile::encodeName(m_dir.path());
    qputenv("HOME", home);
    qputenv("XDG_CONFIG_HOME", home + "/.config");
    qputenv("XDG_DATA_HOME", home + "/.local/share");
    qputenv("XDG_CACHE_HOME", home + "/.cache");
    const QByteArray runtime = home + "/runtime";
    QDir().mkpath(QFile::decodeName(runtime));
    QFile::setPermissions(QFile::decodeName(runtime),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", runtime);
    // No stray session daemons from dbus autolaunch.
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
}

QString TestHome::preferenceFile() const
{
    return m_dir.path() + u"/.config/yumekazu/preferences.ini"_s;
}
