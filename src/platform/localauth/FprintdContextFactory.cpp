#include "platform/localauth/FprintdContextFactory.h"

#include "platform/localauth/FprintdContext.h"

FprintdContextFactory::FprintdContextFactory(QDBusConnection bus, std::chrono::milliseconds scanTimeout)
    : m_bus(std::move(bus)), m_scanTimeout(scanTimeout)
{
}

std::unique_ptr<LAContext> FprintdContextFactory::makeContext(QWidget *promptParent)
{
    if (!m_bus)
        m_bus = QDBusConnection::systemBus();
    return std::make_unique<FprintdContext>(*m_bus, m_scanTimeout, promptParent);
}
