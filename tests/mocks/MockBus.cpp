#include "mocks/MockBus.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QThread>

using namespace Qt::StringLiterals;

namespace {

void stopProcess(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}

} // namespace

MockBus::MockBus() : m_daemon(std::make_unique<QProcess>())
{
    m_daemon->setProgram(u"dbus-daemon"_s);
    m_daemon->setArguments({u"--session"_s, u"--nofork"_s, u"--nopidfile"_s, u"--print-address=1"_s});
    m_daemon->setProcessChannelMode(QProcess::SeparateChannels);
    m_daemon->start();
    if (!m_daemon->waitForStarted(5000))
        return;
    QByteArray line;
    const QDeadlineTimer deadline(5000);
    while (!line.contains('\n') && !deadline.hasExpired() && m_daemon->waitForReadyRead(deadline.remainingTime()))
        line += m_daemon->readAllStandardOutput();
    m_address = QString::fromUtf8(line.trimmed());
    if (!m_address.isEmpty())
        m_control = QDBusConnection::connectToBus(m_address, u"mockbus-control-"_s + m_address);
}

MockBus::~MockBus()
{
    for (auto &mock : m_mocks)
        stopProcess(*mock);
    m_mocks.clear();
    if (!m_address.isEmpty())
        QDBusConnection::disconnectFromBus(m_control.name());
    stopProcess(*m_daemon);
}

QDBusConnection MockBus::connect(const QString &connectionName)
{
    return QDBusConnection::connectToBus(m_address, connectionName);
}

QString MockBus::ourTemplate(const QString &fileName)
{
    return QStringLiteral(YUMEKAZU_MOCKS_DIR) + u'/' + fileName;
}

bool MockBus::startTemplate(const QString &templ, const QString &busName, const QVariantMap &parameters)
{
    if (m_address.isEmpty())
        return false;
    auto process = std::make_unique<QProcess>();
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(u"DBUS_SYSTEM_BUS_ADDRESS"_s, m_address);
    process->setProcessEnvironment(env);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList args{u"-m"_s, u"dbusmock"_s, u"--system"_s, u"--template"_s, templ};
    if (!parameters.isEmpty()) {
        args << u"-p"_s
             << QString::fromUtf8(QJsonDocument(QJsonObject::fromVariantMap(parameters)).toJson(QJsonDocument::Compact));
    }
    // The system interpreter: another python3 on PATH may lack dbusmock.
    process->start(u"/usr/bin/python3"_s, args);
    if (!process->waitForStarted(5000))
        return false;
    const QDeadlineTimer deadline(15000);
    while (!m_control.interface()->isServiceRegistered(busName).value()) {
        if (deadline.hasExpired() || process->state() == QProcess::NotRunning) {
            stopProcess(*process);
            return false;
        }
        QThread::msleep(20);
    }
    m_mocks.push_back(std::move(process));
    return true;
}

QVariantList MockBus::call(const QString &busName, const QString &objectPath, const QString &interface,
                           const QString &method, const QVariantList &arguments)
{
    auto message = QDBusMessage::createMethodCall(busName, objectPath, interface, method);
    message.setArguments(arguments);
    const QDBusMessage reply = m_control.call(message, QDBus::Block, 10000);
    if (reply.type() == QDBusMessage::ErrorMessage)
        qWarning("mock call %s failed: %s", qPrintable(method), qPrintable(reply.errorMessage()));
    return reply.arguments();
}
