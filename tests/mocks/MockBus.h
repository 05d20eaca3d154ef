#pragma once

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThread>

#include <deque>

// A private D-Bus daemon that stands in for the system bus, with our dbusmock
// templates (tests/mocks/) on it. Everything it starts is stopped by PID when
// it goes.
class MockBus {
public:
    static inline const QString dir = QStringLiteral(YUMEKAZU_MOCKS_DIR);

    MockBus()
    {
        auto &daemon = m_processes.emplace_back();
        daemon.startCommand(QStringLiteral("dbus-daemon --session --nofork --nopidfile --print-address=1"));
        QByteArray line;
        while (!line.contains('\n') && daemon.waitForReadyRead(5000))
            line += daemon.readAllStandardOutput();
        m_address = QString::fromUtf8(line.trimmed());
        m_control = connect(QStringLiteral("mockbus-control-") + m_address);
    }
    ~MockBus()
    {
        QDBusConnection::disconnectFromBus(m_control.name());
        // The mocks before the bus they serve.
        for (auto it = m_processes.rbegin(); it != m_processes.rend(); ++it) {
            it->kill();
            it->waitForFinished(3000);
        }
    }

    // A fresh client connection to this bus, with its own unique name.
    [[nodiscard]] QDBusConnection connect(const QString &connectionName) const
    {
        return QDBusConnection::connectToBus(m_address, connectionName);
    }

    // Starts one of our templates (parameters go to it as JSON) and waits until it owns busName.
    bool start(const QString &templateFile, const QString &busName, const QVariantMap &parameters = {})
    {
        auto &process = m_processes.emplace_back();
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.setEnvironment(QProcess::systemEnvironment() << QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS=") + m_address);
        // The system interpreter: another python3 on PATH may lack dbusmock.
        process.start(QStringLiteral("/usr/bin/python3"),
                      {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--system"), QStringLiteral("--template"),
                       dir + u'/' + templateFile, QStringLiteral("-p"),
                       QString::fromUtf8(QJsonDocument(QJsonObject::fromVariantMap(parameters)).toJson(QJsonDocument::Compact))});
        const QDeadlineTimer deadline(15000);
        while (process.waitForStarted(5000) && !m_control.interface()->isServiceRegistered(busName).value()
               && !deadline.hasExpired())
            QThread::msleep(20);
        return m_control.interface()->isServiceRegistered(busName).value();
    }

    // Calls a method of a mock's control interface; returns the reply's arguments.
    QVariantList mock(const QString &busName, const QString &path, const QString &method, const QVariantList &arguments = {})
    {
        auto message = QDBusMessage::createMethodCall(busName, path, QStringLiteral("org.freedesktop.DBus.Mock"), method);
        message.setArguments(arguments);
        return m_control.call(message, QDBus::Block, 10000).arguments();
    }

private:
    std::deque<QProcess> m_processes; // the bus first
    QString m_address;
    QDBusConnection m_control{QString()};
};
