#pragma once

#include "auth/AuthorizationController.h"
#include "main_window/AuthorizationLockView.h"
#include "platform/localauth/LAContext.h"

#include <QPointer>
#include <QTest>
#include <QTimer>

#include <memory>
#include <optional>
#include <thread>
#include <tuple>

// Stand-ins for the two gates, for tests and benchmarks that are about what
// lies behind them. The real polkit and fprintd layers have tests of their own.

struct Fingerprint {
    bool available = true;
    std::optional<QString> unavailableReason;
    int biometry = LAContext::biometryTypeTouchID;
    bool match = true;
    std::optional<QString> failureReason;
};

// Grants or denies without asking anybody.
class FixedAuthorization : public AuthorizationServices {
public:
    explicit FixedAuthorization(bool grant) : m_grant(grant) {}
    OSStatus create(const AuthorizationRights *, const void *, AuthorizationFlags, AuthorizationRef *ref) override
    {
        *ref = reinterpret_cast<AuthorizationRef>(&m_handle);
        return AuthorizationStatus::success;
    }
    OSStatus copyRights(AuthorizationRef, const AuthorizationRights *, const void *, AuthorizationFlags,
                        AuthorizationRights **) override
    {
        return m_grant ? AuthorizationStatus::success : AuthorizationStatus::denied;
    }
    void free(AuthorizationRef) override {}
    void cancel() override {}

private:
    bool m_grant;
    int m_handle = 0;
};

// Makes fingerprint checks that answer as `setup` says. Like a real service,
// the answer comes on a thread of its own; here the main thread waits for it,
// so a view that wrote its state from that thread is caught before its
// hand-over to the main thread could run.
class FakeFactory : public LAContextFactory {
public:
    Fingerprint setup;
    std::unique_ptr<LAContext> makeContext(QWidget *view) override
    {
        return std::make_unique<Context>(setup, qobject_cast<AuthorizationLockView *>(view));
    }

private:
    struct Context : LAContext {
        Context(Fingerprint setup, AuthorizationLockView *view) : m_setup(std::move(setup)), m_view(view) {}
        bool canEvaluatePolicy(int, std::optional<PlatformError> *error) override
        {
            if (m_setup.unavailableReason)
                *error = PlatformError{QStringLiteral("test"), -6, *m_setup.unavailableReason};
            return m_setup.available;
        }
        [[nodiscard]] int biometryType() const override { return m_setup.biometry; }
        void evaluatePolicy(int, const QString &, Reply reply) override
        {
            QTimer::singleShot(0, this, [this, reply] {
                const auto state = [view = m_view] {
                    return view ? std::tuple(view->isAuthenticated(), view->authMessage(), view->unlockContent(),
                                             view->showAlert(), view->alertMessage())
                                : std::tuple(false, QString(), false, false, QString());
                };
                const auto before = state();
                const auto reason = m_setup.failureReason;
                std::thread([&] {
                    reply(m_setup.match, reason ? std::optional(PlatformError{QStringLiteral("test"), -1, *reason})
                                                : std::nullopt);
                }).join();
                QVERIFY2(state() == before, "the fingerprint reply changed the view off the main thread");
            });
        }
        Fingerprint m_setup;
        QPointer<AuthorizationLockView> m_view;
    };
};
