#pragma once

#include "platform/localauth/LAContext.h"

#include <QDBusConnection>

#include <chrono>

// Makes fingerprint checks over fprintd on the given bus.
class FprintdContextFactory : public LAContextFactory {
public:
    explicit FprintdContextFactory(QDBusConnection bus = QDBusConnection::systemBus(),
                                   std::chrono::milliseconds scanTimeout = std::chrono::seconds(30));
    std::unique_ptr<LAContext> makeContext(QWidget *promptParent) override;

private:
    QDBusConnection m_bus;
    std::chrono::milliseconds m_scanTimeout;
};
