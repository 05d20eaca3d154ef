#include "auth/AuthorizationController.h"

#include "platform/authorization/PolkitAuthorizationServices.h"

AuthorizationController::AuthorizationController(std::shared_ptr<AuthorizationServices> services,
                                                 QObject *parent)
    : QObject(parent),
      m_services(services ? std::move(services) : std::make_shared<PolkitAuthorizationServices>(actionId)),
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

    m_obstacle = AuthorizationObstacle::none;
    AuthorizationRef raw = nullptr;
    const OSStatus created = m_services->create(nullptr, nullptr, 0, &raw);
    Handle local(raw, Release{m_services});
    if (created != AuthorizationStatus::success || !local)
        return false;

    AuthorizationRights rights{0, nullptr};
    const OSStatus copied = m_services->copyRights(
        local.get(), &rights, nullptr,
        AuthorizationFlag::interactionAllowed | AuthorizationFlag::extendRights, nullptr);
    if (copied != AuthorizationStatus::success) {
        m_obstacle = copied == AuthorizationStatus::noAgent           ? AuthorizationObstacle::noAgent
                   : copied == AuthorizationStatus::serviceUnavailable ? AuthorizationObstacle::serviceUnavailable
                   : copied == AuthorizationStatus::actionNotInstalled ? AuthorizationObstacle::actionNotInstalled
                                                                      : AuthorizationObstacle::none;
        return false;
    }
    m_authorizationRef = std::move(local);
    return true;
}

void AuthorizationController::cancel()
{
    if (m_requesting)
        m_services->cancel();
}

QString AuthorizationController::describe(AuthorizationObstacle obstacle)
{
    switch (obstacle) {
    case AuthorizationObstacle::noAgent:
        return tr("パスワードを尋ねる認証エージェントがありません。デスクトップの polkit 認証エージェントを起動してから、もう一度押してください。");
    case AuthorizationObstacle::serviceUnavailable:
        return tr("認証サービス polkit に接続できません。polkit（polkitd とシステムバス）が動いているか確かめてから、もう一度押してください。");
    case AuthorizationObstacle::actionNotInstalled:
        return tr("polkit アクション %1 がインストールされていません。scripts/run を実行するか、パッケージを入れ直してください。").arg(actionId);
    case AuthorizationObstacle::none:
        break;
    }
    return {};
}
