#include "platform/authorization/PolkitAuthorizationServices.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QEventLoop>
#include <QMap>

#include <atomic>

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

const QString polkitService = u"org.freedesktop.PolicyKit1"_s;

QDBusMessage authorityCall(const QString &method)
{
    return QDBusMessage::createMethodCall(polkitService, u"/org/freedesktop/PolicyKit1/Authority"_s,
                                          u"org.freedesktop.PolicyKit1.Authority"_s, method);
}

// Drops the user's input to every window while installed.
class InputBlocker : public QObject {
public:
    InputBlocker()
    {
        if (auto *app = QCoreApplication::instance())
            app->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        return event->isInputEvent() || event->type() == QEvent::Shortcut
            || event->type() == QEvent::InputMethod;
    }
};

} // namespace

Q_DECLARE_METATYPE(PolkitSubject)

struct AuthorizationOpaqueRef : Handle {};

PolkitAuthorizationServices::PolkitAuthorizationServices(QString actionId)
    : m_actionId(std::move(actionId)), m_timeout(std::chrono::minutes(10))
{
}

PolkitAuthorizationServices::PolkitAuthorizationServices(QString actionId, QDBusConnection bus,
                                                         std::chrono::milliseconds timeout)
    : m_actionId(std::move(actionId)), m_bus(std::move(bus)), m_timeout(timeout)
{
}

QDBusConnection &PolkitAuthorizationServices::bus()
{
    if (!m_bus)
        m_bus = QDBusConnection::systemBus();
    static const bool registered = [] {
        qDBusRegisterMetaType<PolkitSubject>();
        qDBusRegisterMetaType<PolkitDetails>();
        return true;
    }();
    Q_UNUSED(registered);
    return *m_bus;
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
    if (!bus().isConnected() || bus().baseService().isEmpty())
        return AuthorizationStatus::serviceUnavailable;

    // polkit keys cancellation ids by bus name, and every window of this
    // process shares one: the counter is process-wide.
    static std::atomic<quint64> requests{0};
    m_cancellationId = m_actionId + u'-' + QString::number(++requests);
    auto message = authorityCall(u"CheckAuthorization"_s);
    const PolkitSubject subject{u"system-bus-name"_s, {{u"name"_s, bus().baseService()}}};
    const quint32 polkitFlags = (flags & AuthorizationFlag::interactionAllowed) ? 1u : 0u;
    message << QVariant::fromValue(subject) << m_actionId << QVariant::fromValue(PolkitDetails())
            << polkitFlags << m_cancellationId;

    QDBusPendingCallWatcher watcher(bus().asyncCall(message, int(m_timeout.count())));
    QEventLoop loop;
    m_pending = &loop;
    QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, [&loop] { loop.exit(0); });
    int exitCode = 0;
    if (!watcher.isFinished()) {
        // Modal: input is dropped, but a window's close request (which the
        // X11 plugin counts as input) still reaches the window and cancels.
        InputBlocker blocker;
        exitCode = loop.exec();
    }
    m_pending = nullptr;
    if (exitCode != 0)
        return AuthorizationStatus::canceled;

    const QDBusMessage reply = watcher.reply();
    if (reply.type() == QDBusMessage::ErrorMessage)
        return errorStatus(reply);
    // Anything but the expected answer (a stranger's reply shape) keeps the
    // gate shut.
    if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != u"(bba{ss})")
        return AuthorizationStatus::internal;
    // On a lax bus anyone can answer our call: only polkit's word counts.
    if (reply.service().isEmpty() || reply.service() != polkitOwner())
        return AuthorizationStatus::internal;
    const auto result = reply.arguments().constFirst().value<QDBusArgument>();
    bool authorized = false;
    bool challenge = false;
    PolkitDetails details;
    result.beginStructure();
    result >> authorized >> challenge >> details;
    result.endStructure();
    if (authorized && !challenge)
        return AuthorizationStatus::success;
    // Interaction was allowed, yet polkit still wants a challenge: no agent
    // answers for this session, so nobody was asked. After an agent asked,
    // a dismissal or a failed password is a plain refusal.
    if (!authorized && challenge && (flags & AuthorizationFlag::interactionAllowed))
        return AuthorizationStatus::noAgent;
    return AuthorizationStatus::denied;
}

OSStatus PolkitAuthorizationServices::errorStatus(const QDBusMessage &reply)
{
    const QString name = reply.errorName();
    if (name == u"org.freedesktop.DBus.Error.NoReply"_s) {
        // polkit went away while it was asking.
        if (polkitOwner().isEmpty())
            return AuthorizationStatus::serviceUnavailable;
        // Our own limit ran out: the agent must not go on asking for a
        // password nobody waits for.
        sendCancel();
        return AuthorizationStatus::canceled;
    }
    // Nobody owns polkit's name and the bus could not start it.
    if (name == u"org.freedesktop.DBus.Error.ServiceUnknown"_s || name == u"org.freedesktop.DBus.Error.NameHasNoOwner"_s
        || name == u"org.freedesktop.DBus.Error.Disconnected"_s || name.startsWith(u"org.freedesktop.DBus.Error.Spawn."_s)
        || name.startsWith(u"org.freedesktop.systemd1."_s))
        return AuthorizationStatus::serviceUnavailable;
    // polkit's only way of saying it does not know the action: "Action ID is
    // not registered".
    if (name == u"org.freedesktop.PolicyKit1.Error.Failed"_s && reply.errorMessage().contains(m_actionId + u' '))
        return AuthorizationStatus::actionNotInstalled;
    return AuthorizationStatus::internal;
}

QString PolkitAuthorizationServices::polkitOwner()
{
    const QDBusMessage reply = bus().call(
        QDBusMessage::createMethodCall(u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s,
                                       u"org.freedesktop.DBus"_s, u"GetNameOwner"_s)
            << polkitService,
        QDBus::Block, 2000);
    return reply.type() == QDBusMessage::ReplyMessage ? reply.arguments().value(0).toString() : QString();
}

void PolkitAuthorizationServices::sendCancel()
{
    // Only to a running polkit: a cancel must not start a fresh one.
    if (polkitOwner().isEmpty())
        return;
    auto message = authorityCall(u"CancelCheckAuthorization"_s);
    message << m_cancellationId;
    bus().send(message);
}

void PolkitAuthorizationServices::cancel()
{
    if (!m_pending)
        return;
    sendCancel();
    m_pending->exit(1);
}
