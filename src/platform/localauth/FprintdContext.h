#pragma once

#include "platform/localauth/FingerprintPrompt.h"
#include "platform/localauth/LAContext.h"

#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <memory>


class QDBusServiceWatcher;

// One fingerprint check through fprintd: availability (service, reader,
// enrolled prints), then claim, verify any finger, and release.
class FprintdContext : public LAContext {
    Q_OBJECT

public:
    static constexpr auto errorDomain = "org.yumekazu.Fingerprint";
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

    FprintdContext(QDBusConnection bus, std::chrono::milliseconds scanTimeout, QWidget *promptParent);
    ~FprintdContext() override;

    bool canEvaluatePolicy(int policy, std::optional<PlatformError> *error) override;
    [[nodiscard]] int biometryType() const override { return m_biometryType; }
    void evaluatePolicy(int policy, const QString &localizedReason, Reply reply) override;

    // The prompt while an evaluation runs, else null.
    [[nodiscard]] FingerprintPrompt *prompt() const { return m_prompt; }

private Q_SLOTS:
    void onVerifyStatus(const QString &result, bool done);

private:
    std::optional<PlatformError> checkAvailability();
    void claim();
    void startVerify();
    void fail(ErrorCode code, const QString &description);
    void finish(bool success, std::optional<PlatformError> error);
    void releaseDevice();

    QDBusConnection m_bus;
    std::chrono::milliseconds m_scanTimeout;
    QPointer<QWidget> m_promptParent;
    QString m_device;
    int m_biometryType = 0;

    Reply m_reply;
    bool m_running = false;
    bool m_claimed = false;
    bool m_verifying = false;
    std::optional<QDBusPendingCall> m_pending; // the Claim or VerifyStart in flight
    QTimer m_timer;
    std::unique_ptr<QDBusServiceWatcher> m_watcher;
    QPointer<FingerprintPrompt> m_prompt;
};
