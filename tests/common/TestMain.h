#pragma once

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

// Points HOME, the XDG folders and the session bus of the test process at a
// private, empty place before Qt reads any of them, so tests never touch the
// real user's files nor start stray session daemons through dbus autolaunch.
inline void usePrivateHome(const QString &home)
{
    const QByteArray path = QFile::encodeName(home);
    const QString runtime = home + QStringLiteral("/runtime");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const std::pair<const char *, QByteArray> variables[] = {{"HOME", path}, {"XDG_CONFIG_HOME", path + "/.config"},
        {"XDG_DATA_HOME", path + "/.local/share"}, {"XDG_CACHE_HOME", path + "/.cache"}, {"XDG_RUNTIME_DIR", QFile::encodeName(runtime)}};
    for (const auto &[name, value] : variables)
        qputenv(name, value);
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
}

// A file's bytes ("<unreadable>" when it cannot be read), and writing them anew.
inline QByteArray fileContents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArrayLiteral("<unreadable>");
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// Like QTEST_MAIN, with a private HOME set up before the application object.
#define YUMEKAZU_TEST_MAIN(TestObject)                                                           \
    int main(int argc, char *argv[])                                                             \
    {                                                                                            \
        const QTemporaryDir home;                                                                \
        usePrivateHome(home.path());                                                             \
        QApplication app(argc, argv);                                                            \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                 \
        TestObject tc;                                                                           \
        QTEST_SET_MAIN_SOURCE_PATH                                                               \
        return QTest::qExec(&tc, argc, argv);                                                    \
    }
