#pragma once

#include "platform/authorization/AuthorizationServices.h"

#include <QObject>

#include <memory>

// Why the last request could not reach a person at all (none when it did, or
// when it failed in a way the user cannot mend from here).
enum class AuthorizationObstacle { none, noAgent, serviceUnavailable, actionNotInstalled };

// The first gate of a main window: one administrator authorization per request.
class AuthorizationController : public QObject {
    Q_OBJECT

public:
    // The polkit action that opens the gate, installed by scripts/run and the package.
    static inline const QString actionId = QStringLiteral("org.yumekazu.unlock");

    // No services given: polkit on the system bus.
    explicit AuthorizationController(std::shared_ptr<AuthorizationServices> services = {},
                                     QObject *parent = nullptr);
    ~AuthorizationController() override;

    // Synchronous for the caller; true exactly when both service calls succeed.
    bool requestAuthorization();
    // The window is closing: a pending request ends with false at once.
    void cancel();
    [[nodiscard]] bool isRequesting() const { return m_requesting; }
    [[nodiscard]] AuthorizationObstacle obstacle() const { return m_obstacle; }
    // One line for the user: what is missing and what to do; empty for none.
    [[nodiscard]] static QString describe(AuthorizationObstacle obstacle);
    [[nodiscard]] AuthorizationRef authorizationRef() const { return m_authorizationRef.get(); }

private:
    struct Release {
        std::shared_ptr<AuthorizationServices> services;
        void operator()(AuthorizationRef ref) const
        {
            if (ref && services)
                services->free(ref);
        }
    };
    using Handle = std::unique_ptr<AuthorizationOpaqueRef, Release>;

    std::shared_ptr<AuthorizationServices> m_services;
    Handle m_authorizationRef;
    bool m_requesting = false;
    AuthorizationObstacle m_obstacle = AuthorizationObstacle::none;
};
