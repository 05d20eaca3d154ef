#pragma once

#include <QDBusConnection>
#include <QProcess>
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
    [[nodiscard]] QDBusConnection connect(const QString &connectionName) const;
    // Starts one of our templates in tests/mocks/ (parameters go to it as
    // JSON) and waits until it owns busName.
    bool start(const QString &templateFile, const QString &busName, const QVariantMap &parameters = {});
    // Calls a method of a mock's control interface; returns the reply's arguments.
    QVariantList mock(const QString &busName, const QString &objectPath, const QString &method,
                      const QVariantList &arguments = {});

    static inline const QString dir = QStringLiteral(YUMEKAZU_MOCKS_DIR);

private:
    std::vector<std::unique_ptr<QProcess>> m_processes; // the bus first
    QString m_address;
    QDBusConnection m_control{QString()};
};
