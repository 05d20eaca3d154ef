#pragma once

#include "auth/AuthorizationController.h"
#include "main_window/AuthorizationLockView.h"
#include "platform/localauth/LAContext.h"

#include <QPointer>
#include <QTimer>

#include <thread>

// Stand-ins for the two gates, for the tests, the benchmarks and the manual's
// pictures, which are about what lies behind them. The real polkit and
// fprintd layers have tests of their own.

// Answers with scripted statuses, asking nobody, and records what it was
// asked. Creates must ask for nothing; checks for an empty right set with
// interaction and extension allowed, and no output. Handles point into it.
class ScriptedAuthorization : public AuthorizationServices {
public:
    explicit ScriptedAuthorization(QList<OSStatus> checks, OSStatus create = 0, bool nullHandle = false)
        : m_checks(std::move(checks)), m_create(create), m_nullHandle(nullHandle) {}
    OSStatus create(const AuthorizationRights *rights, const void *environment, AuthorizationFlags flags,
                    AuthorizationRef *ref) override
    {
        argumentsRight &= !rights && !environment && flags == 0;
        if (!m_nullHandle)
            made << (*ref = reinterpret_cast<AuthorizationRef>(quintptr(made.size() + 1))); // never dereferenced
        return m_create;
    }
    OSStatus copyRights(AuthorizationRef ref, const AuthorizationRights *rights, const void *environment,
                        AuthorizationFlags flags, AuthorizationRights **granted) override
    {
        argumentsRight &= rights && rights->count == 0 && !rights->items && !environment && flags == 3 && !granted;
        checked << ref;
        return m_checks.value(checked.size() - 1, m_checks.constLast());
    }
    void free(AuthorizationRef ref) override { freed << ref; }
    void cancel() override {}

    bool argumentsRight = true;
    QList<AuthorizationRef> made, checked, freed;

private:
    QList<OSStatus> m_checks;
    OSStatus m_create;
    bool m_nullHandle;
};

struct FixedAuthorization : ScriptedAuthorization {
    explicit FixedAuthorization(bool grant, OSStatus refusal = AuthorizationStatus::denied) : ScriptedAuthorization({grant ? 0 : refusal}) {}
};

struct Fingerprint {
    bool available = true;
    std::optional<QString> unavailableReason;
    int biometry = LAContext::biometryTypeTouchID;
    bool match = true;
    std::optional<QString> failureReason;
};

// Makes fingerprint checks that answer as `setup` says. Like a real service,
// the answer comes on a thread of its own; here the main thread waits for it,
// so a view that wrote its state from that thread is caught (the process
// stops) before its hand-over to the main thread could run.
class FakeFactory : public LAContextFactory {
public:
    Fingerprint setup;
    QList<QPointer<LAContext>> made;
    std::unique_ptr<LAContext> makeContext(QWidget *view) override
    {
        auto context = std::make_unique<Context>(setup, qobject_cast<AuthorizationLockView *>(view));
        made.append(context.get());
        return context;
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
                const auto state = [view = m_view] { return QVariantList{view->isAuthenticated(), view->authMessage(), view->showAlert()}; };
                const QVariantList before = m_view ? state() : QVariantList();
                const auto error = m_setup.failureReason ? std::optional(PlatformError{QStringLiteral("test"), -1, *m_setup.failureReason}) : std::nullopt;
                std::thread([&] { reply(m_setup.match, error); }).join();
                if (m_view && state() != before)
                    qFatal("the fingerprint reply changed the view off the main thread");
            });
        }
        Fingerprint m_setup;
        QPointer<AuthorizationLockView> m_view;
    };
};
