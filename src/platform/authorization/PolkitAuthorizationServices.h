#pragma once

#include "platform/authorization/AuthorizationServices.h"

#include <QDBusConnection>
#include <QPointer>
#include <QString>

#include <chrono>
#include <optional>

class QDBusMessage;
class QEventLoop;

// Authorization through polkit: copyRights asks polkit whether this process
// (its unique bus name) may perform the action the caller names, letting the
// desktop's agent ask for an administrator's password when interaction is
// allowed. The wait is modal: the event loop runs, user input is dropped.
class PolkitAuthorizationServices final : public AuthorizationServices {
public:
    // The system bus, connected at the first request rather than with the window.
    explicit PolkitAuthorizationServices(QString actionId);
    PolkitAuthorizationServices(QString actionId, QDBusConnection bus,
                                         std::chrono::milliseconds timeout = std::chrono::minutes(10));
    ~PolkitAuthorizationServices() override;

    OSStatus create(const AuthorizationRights *rights, const void *environment,
                    AuthorizationFlags flags, AuthorizationRef *authorization) override;
    OSStatus copyRights(AuthorizationRef authorization, const AuthorizationRights *rights,
                        const void *environment, AuthorizationFlags flags,
                        AuthorizationRights **authorizedRights) override;
    void free(AuthorizationRef authorization) override;
    void cancel() override;

private:
    [[nodiscard]] QString polkitOwner();
    // The status for an error polkit (or the bus on its behalf) answered.
    OSStatus errorStatus(const QDBusMessage &reply);
    void sendCancel();
    QDBusConnection &bus();

    QString m_actionId;
    std::optional<QDBusConnection> m_bus;
    std::chrono::milliseconds m_timeout;
    QPointer<QEventLoop> m_pending;
    QString m_cancellationId;
};
