#include "auth/AuthorizationController.h"

#include "platform/authorization/PolkitAuthorizationServices.h"

AuthorizationController::AuthorizationController(std::shared_ptr<AuthorizationServices> services,
                                                 QObject *parent)
    : QObject(parent),
      m_services(services ? std::move(services) : std::make_shared<PolkitAuthorizationServices>()),
      m_authorizationRef(nullptr, Release{m_services})
{
}

AuthorizationController::~AuthorizationController() = default;

bool AuthorizationController::requestAuthorization()
{
    if (m_requesting)
        return false;
    m_requesting = true;
    struct Done {
        bool &flag;
        ~Done() { flag = false; }
    } done{m_requesting};

    AuthorizationRef raw = nullptr;
    const OSStatus created = m_services->create(nullptr, nullptr, 0, &raw);
    Handle local(raw, Release{m_services});
    if (created != AuthorizationStatus::success || !local)
        return false;

    AuthorizationRights rights{0, nullptr};
    const OSStatus copied = m_services->copyRights(
        local.get(), &rights, nullptr,
        AuthorizationFlag::interactionAllowed | AuthorizationFlag::extendRights, nullptr);
    if (copied != AuthorizationStatus::success)
        return false;
    m_authorizationRef = std::move(local);
    return true;
}

void AuthorizationController::cancel()
{
    if (m_requesting)
        m_services->cancel();
}
