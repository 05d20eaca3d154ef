#include "mocks/MockBus.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QThread>

using namespace Qt::StringLiterals;

MockBus::MockBus()
{
    auto &daemon = *m_processes.emplace_back(std::make_unique<QProcess>());
    daemon.start(u"dbus-daemon"_s, {u"--session"_s, u"--nofork"_s, u"--nopidfile"_s, u"--print-address=1"_s});
    QByteArray line;
    while (!line.contains('\n') && daemon.waitForReadyRead(5000))
        line += daemon.readAllStandardOutput();
    m_address = QString::fromUtf8(line.trimmed());
    m_control = connect(u"mockbus-control-"_s + m_address);
}

MockBus::~MockBus()
{
    QDBusConnection::disconnectFromBus(m_control.name());
    // The mocks before the bus they serve.
    for (auto it = m_processes.rbegin(); it != m_processes.rend(); ++it) {
        (*it)->terminate();
        if (!(*it)->waitForFinished(3000))
            (*it)->kill();
        (*it)->waitForFinished(3000);
    }
}

QDBusConnection MockBus::connect(const QString &connectionName) const
{
    return QDBusConnection::connectToBus(m_address, connectionName);
}

bool MockBus::start(const QString &templateFile, const QString &busName, const QVariantMap &parameters)
{
    auto &process = *m_processes.emplace_back(std::make_unique<QProcess>());
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(u"DBUS_SYSTEM_BUS_ADDRESS"_s, m_address);
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // The system interpreter: another python3 on PATH may lack dbusmock.
    process.start(u"/usr/bin/python3"_s,
                  {u"-m"_s, u"dbusmock"_s, u"--system"_s, u"--template"_s, dir + u'/' + templateFile, u"-p"_s,
                   QString::fromUtf8(QJsonDocument(QJsonObject::fromVariantMap(parameters)).toJson(QJsonDocument::Compact))});
    const QDeadlineTimer deadline(15000);
    while (process.waitForStarted(5000) && !m_control.interface()->isServiceRegistered(busName).value()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return m_control.interface()->isServiceRegistered(busName).value();
}

QVariantList MockBus::mock(const QString &busName, const QString &objectPath, const QString &method,
                           const QVariantList &arguments)
{
    auto message = QDBusMessage::createMethodCall(busName, objectPath, u"org.freedesktop.DBus.Mock"_s, method);
    message.setArguments(arguments);
    return m_control.call(message, QDBus::Block, 10000).arguments();
}
