#include "app/ApplicationService.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>

ApplicationService::ApplicationService(QDBusConnection bus, QObject *parent)
    : QObject(parent), m_bus(std::move(bus))
{
}

ApplicationService::~ApplicationService()
{
    if (m_registered) {
        m_bus.unregisterService(serviceName);
        m_bus.unregisterObject(objectPath);
    }
}

ApplicationService::Role ApplicationService::start()
{
    if (!m_bus.isConnected())
        return Role::Alone;
    // The object first: the bus may pass on a call the moment the name is ours.
    if (!m_bus.registerObject(objectPath, this, QDBusConnection::ExportAllSlots))
        return Role::Alone;
    if (m_bus.registerService(serviceName)) {
        m_registered = true;
        return Role::Primary;
    }
    m_bus.unregisterObject(objectPath);
    QDBusMessage call = QDBusMessage::createMethodCall(serviceName, objectPath, interfaceName, QStringLiteral("Activate"));
    call << QVariantMap();
    const QDBusMessage reply = m_bus.call(call, QDBus::Block, handOverTimeoutMs);
    // An owner that does not answer must not keep the user from their note.
    return reply.type() == QDBusMessage::ReplyMessage ? Role::HandedOver : Role::Alone;
}

void ApplicationService::Activate(const QVariantMap &)
{
    Q_EMIT activationRequested();
}

// The application opens no files from outside: an open request only brings it
// forward, behind its locks like any other window.
void ApplicationService::Open(const QStringList &, const QVariantMap &)
{
    Q_EMIT activationRequested();
}

void ApplicationService::ActivateAction(const QString &actionName, const QVariantList &, const QVariantMap &)
{
    if (calledFromDBus())
        sendErrorReply(QDBusError::NotSupported, QStringLiteral("No such action: ") + actionName);
}
