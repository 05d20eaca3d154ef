#pragma once

#include "platform/localauth/FingerprintPrompt.h"
#include "platform/localauth/LAContext.h"

#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

class QDBusError;
class QDBusMessage;
class QDBusServiceWatcher;

// One fingerprint check through fprintd: availability (service, reader,
// enrolled prints), then claim, verify any finger, and release.
class FprintdContext : public LAContext {
    Q_OBJECT

public:
    // Errors are named for the service they come from, not for an app.
    static constexpr auto errorDomain = "net.reactivated.Fprint";
    enum ErrorCode {
        serviceMissing = 1,
        readerMissing,
        noPrints,
        notPermitted,
        busy,
        noMatch,
        disconnected,
        readerError,
        timedOut,
        cancelled,
        serviceStopped,
        policyUnsupported,
    };

    FprintdContext(QDBusConnection bus, std::chrono::milliseconds scanTimeout, QWidget *promptParent,
                   FingerprintPrompt::Texts promptTexts);
    ~FprintdContext() override;

    bool canEvaluatePolicy(int policy, std::optional<PlatformError> *error) override;
    [[nodiscard]] int biometryType() const override { return m_biometryType; }
    void evaluatePolicy(int policy, const QString &localizedReason, Reply reply) override;

    // The prompt while an evaluation runs, else null.
    [[nodiscard]] FingerprintPrompt *prompt() const { return m_prompt; }

private Q_SLOTS:
    void onVerifyStatus(const QString &result, bool done);
    void onLateFingers(const QDBusMessage &fingers);
    void onLateFingers(const QDBusError &, const QDBusMessage &fingers);

private:
    std::optional<PlatformError> checkAvailability();
    std::optional<PlatformError> checkFingers(const QDBusMessage &fingers);
    // grants: the answer hands us something (claim, scan) to give back if we
    // have given up by then.
    void call(const QDBusMessage &message, bool grants, std::function<void(const QDBusMessage &)> next);
    void claim();
    void fail(ErrorCode code, const QString &description);
    void finish(bool success, std::optional<PlatformError> error);
    void releaseDevice();

    QDBusConnection m_bus;
    std::chrono::milliseconds m_scanTimeout;
    QPointer<QWidget> m_promptParent;
    FingerprintPrompt::Texts m_promptTexts;
    QString m_device;
    QString m_daemon; // unique bus name of the daemon holding our claim
    int m_biometryType = 0;
    bool m_lookUpLater = false;

    Reply m_reply;
    bool m_running = false;
    bool m_claimed = false;
    bool m_verifying = false;
    bool m_gone = false;
    std::optional<QDBusPendingCall> m_pending; // the Claim or VerifyStart not yet handled
    QTimer m_timer;
    std::unique_ptr<QDBusServiceWatcher> m_watcher;
    QPointer<FingerprintPrompt> m_prompt;
};
