#include "platform/authorization/PolkitAuthorizationServices.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QEventLoop>
#include <QMap>

using namespace Qt::StringLiterals;

using PolkitDetails = QMap<QString, QString>;

namespace {

struct PolkitSubject {
    QString kind;
    QVariantMap details;
};

QDBusArgument &operator<<(QDBusArgument &argument, const PolkitSubject &subject)
{
    argument.beginStructure();
    argument << subject.kind << subject.details;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, PolkitSubject &subject)
{
    argument.beginStructure();
    argument >> subject.kind >> subject.details;
    argument.endStructure();
    return argument;
}

// A handle records only that it was made; polkit itself keeps no session for us.
struct Handle {};

} // namespace

Q_DECLARE_METATYPE(PolkitSubject)

struct AuthorizationOpaqueRef : Handle {};

PolkitAuthorizationServices::PolkitAuthorizationServices(QDBusConnection bus,
                                                         std::chrono::milliseconds timeout)
    : m_bus(std::move(bus)), m_timeout(timeout)
{
    qDBusRegisterMetaType<PolkitSubject>();
    qDBusRegisterMetaType<PolkitDetails>();
}

PolkitAuthorizationServices::~PolkitAuthorizationServices()
{
    cancel();
}

OSStatus PolkitAuthorizationServices::create(const AuthorizationRights *, const void *,
                                             AuthorizationFlags, AuthorizationRef *authorization)
{
    if (!authorization)
        return AuthorizationStatus::internal;
    *authorization = new AuthorizationOpaqueRef;
    return AuthorizationStatus::success;
}

void PolkitAuthorizationServices::free(AuthorizationRef authorization)
{
    delete authorization;
}

OSStatus PolkitAuthorizationServices::copyRights(AuthorizationRef authorization, const AuthorizationRights *,
                                                 const void *, AuthorizationFlags flags,
                                                 AuthorizationRights **)
{
    if (!authorization)
        return AuthorizationStatus::internal;
    if (m_pending)
        return AuthorizationStatus::busy;
    if (!m_bus.isConnected() || m_bus.baseService().isEmpty())
        return AuthorizationStatus::internal;

    m_cancellationId = u"yumekazu-"_s + QString::number(++m_requests);
    auto message = QDBusMessage::createMethodCall(
        u"org.freedesktop.PolicyKit1"_s, u"/org/freedesktop/PolicyKit1/Authority"_s,
        u"org.freedesktop.PolicyKit1.Authority"_s, u"CheckAuthorization"_s);
    const PolkitSubject subject{u"system-bus-name"_s, {{u"name"_s, m_bus.baseService()}}};
    const quint32 polkitFlags = (flags & AuthorizationFlag::interactionAllowed) ? 1u : 0u;
    message << QVariant::fromValue(subject) << actionId << QVariant::fromValue(PolkitDetails())
            << polkitFlags << m_cancellationId;

    QDBusPendingCallWatcher watcher(m_bus.asyncCall(message, int(m_timeout.count())));
    QEventLoop loop;
    m_pending = &loop;
    QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, [&loop] { loop.exit(0); });
    const int exitCode = watcher.isFinished() ? 0 : loop.exec(QEventLoop::ExcludeUserInputEvents);
    m_pending = nullptr;
    if (exitCode != 0)
        return AuthorizationStatus::canceled;

    const QDBusMessage reply = watcher.reply();
    // Anything but the expected answer (an error, an unregistered action, a
    // stranger's reply shape) keeps the gate shut.
    if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != u"(bba{ss})")
        return AuthorizationStatus::internal;
    const auto result = reply.arguments().constFirst().value<QDBusArgument>();
    bool authorized = false;
    bool challenge = false;
    PolkitDetails details;
    result.beginStructure();
    result >> authorized >> challenge >> details;
    result.endStructure();
    // A challenge without an agent to answer it is a refusal.
    return authorized ? AuthorizationStatus::success : AuthorizationStatus::denied;
}

void PolkitAuthorizationServices::cancel()
{
    if (!m_pending)
        return;
    auto message = QDBusMessage::createMethodCall(
        u"org.freedesktop.PolicyKit1"_s, u"/org/freedesktop/PolicyKit1/Authority"_s,
        u"org.freedesktop.PolicyKit1.Authority"_s, u"CancelCheckAuthorization"_s);
    message << m_cancellationId;
    m_bus.asyncCall(message);
    m_pending->exit(1);
}
