#pragma once

#include "platform/core/Expected.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QWidget;

// One local-authentication session: can the owner be checked with biometry
// here, which kind, and one asynchronous evaluation.
class LAContext : public QObject {
    Q_OBJECT

public:
    static constexpr int policyDeviceOwnerAuthenticationWithBiometricsOrWatch = 4;
    static constexpr int biometryTypeTouchID = 1; // here: a fingerprint reader
    using Reply = std::function<void(bool success, std::optional<PlatformError> error)>;
    using QObject::QObject;

    // false when the policy cannot be evaluated; *error may then hold the reason.
    virtual bool canEvaluatePolicy(int policy, std::optional<PlatformError> *error) = 0;
    // Valid after a successful canEvaluatePolicy.
    [[nodiscard]] virtual int biometryType() const = 0;
    // Returns at once; calls reply exactly once later, never from inside this call.
    // Destroying the context mid-evaluation stops it without a reply.
    virtual void evaluatePolicy(int policy, const QString &localizedReason, Reply reply) = 0;
};

class LAContextFactory {
public:
    virtual ~LAContextFactory() = default;
    // promptParent: the window the prompt belongs to (may be null).
    virtual std::unique_ptr<LAContext> makeContext(QWidget *promptParent) = 0;
};
