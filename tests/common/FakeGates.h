#pragma once

#include "auth/AuthorizationController.h"
#include "platform/localauth/LAContext.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <optional>

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

// Makes fingerprint checks that answer as `setup` says, through the event loop.
class FakeFactory : public LAContextFactory {
public:
    Fingerprint setup;
    std::unique_ptr<LAContext> makeContext(QWidget *) override { return std::make_unique<Context>(setup); }

private:
    struct Context : LAContext {
        explicit Context(Fingerprint setup) : m_setup(std::move(setup)) {}
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
                const auto reason = m_setup.failureReason;
                reply(m_setup.match, reason ? std::optional(PlatformError{QStringLiteral("test"), -1, *reason})
                                            : std::nullopt);
            });
        }
        Fingerprint m_setup;
    };
};

// QTest::keyClicks only knows ASCII.
inline void typeText(QWidget *widget, const QString &text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(widget, &release);
    }
}
