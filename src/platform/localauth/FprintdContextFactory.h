#pragma once

#include "platform/localauth/FingerprintPrompt.h"
#include "platform/localauth/LAContext.h"

#include <QDBusConnection>

#include <chrono>
#include <optional>

// Makes fingerprint checks over fprintd on the given bus.
class FprintdContextFactory : public LAContextFactory {
public:
    // The system bus, connected when the first check is made rather than at start.
    explicit FprintdContextFactory(FingerprintPrompt::Texts promptTexts);
    FprintdContextFactory(QDBusConnection bus, FingerprintPrompt::Texts promptTexts,
                          std::chrono::milliseconds scanTimeout = std::chrono::seconds(30));
    std::unique_ptr<LAContext> makeContext(QWidget *promptParent) override;

private:
    FingerprintPrompt::Texts m_promptTexts;
    std::optional<QDBusConnection> m_bus;
    std::chrono::milliseconds m_scanTimeout = std::chrono::seconds(30);
};
