#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <memory>
#include <vector>

// A private D-Bus daemon that stands in for the system bus, with dbusmock
// services on it. Everything it starts is stopped (by PID) when it goes.
class MockBus {
public:
    MockBus();
    ~MockBus();
    MockBus(const MockBus &) = delete;
    MockBus &operator=(const MockBus &) = delete;

    // A fresh client connection to this bus, with its own unique name.
    [[nodiscard]] QDBusConnection connect(const QString &connectionName);

    // Starts `python3 -m dbusmock --template TEMPLATE` (a template name shipped
    // with dbusmock, e.g. "polkitd", or a path to one of ours) and waits until
    // busName is owned. Parameters go to the template as JSON.
    bool startTemplate(const QString &templ, const QString &busName,
                       const QVariantMap &parameters = {});

    // Calls a method of the mock's control interface org.freedesktop.DBus.Mock
    // (or another interface) on busName/objectPath; returns the reply arguments.
    QVariantList call(const QString &busName, const QString &objectPath, const QString &interface,
                      const QString &method, const QVariantList &arguments = {});

    // Path of one of our own templates in tests/mocks/.
    static QString ourTemplate(const QString &fileName);

private:
    std::unique_ptr<QProcess> m_daemon;
    std::vector<std::unique_ptr<QProcess>> m_mocks;
    QString m_address;
    QDBusConnection m_control{QString()};
};
