#include "platform/localauth/FprintdContextFactory.h"

#include "platform/localauth/FprintdContext.h"

FprintdContextFactory::FprintdContextFactory(FingerprintPrompt::Texts promptTexts)
    : m_promptTexts(std::move(promptTexts))
{
}

FprintdContextFactory::FprintdContextFactory(QDBusConnection bus, FingerprintPrompt::Texts promptTexts,
                                             std::chrono::milliseconds scanTimeout)
    : m_promptTexts(std::move(promptTexts)), m_bus(std::move(bus)), m_scanTimeout(scanTimeout)
{
}

std::unique_ptr<LAContext> FprintdContextFactory::makeContext(QWidget *promptParent)
{
    if (!m_bus)
        m_bus = QDBusConnection::systemBus();
    return std::make_unique<FprintdContext>(*m_bus, m_scanTimeout, promptParent, m_promptTexts);
}
