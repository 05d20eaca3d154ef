#include "auth/TouchIdAction.h"

#include "platform/localauth/LAContext.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

#include <algorithm>

TouchIdAction::TouchIdAction(LAContextFactory *contexts, QObject *parent)
    : QObject(parent), m_contexts(contexts)
{
}

TouchIdAction::~TouchIdAction() = default;

QString TouchIdAction::failedText()
{
    return tr("認証に失敗しました");
}

FingerprintPrompt::Texts TouchIdAction::promptTexts()
{
    return {tr("指紋認証"), tr("指紋リーダーに指を触れてください"), tr("キャンセル")};
}

void TouchIdAction::start(QWidget *promptParent)
{
    std::unique_ptr<LAContext> context = m_contexts ? m_contexts->makeContext(promptParent) : nullptr;
    std::optional<PlatformError> error;
    const int policy = LAContext::policyDeviceOwnerAuthenticationWithBiometricsOrWatch;
    if (!context || !context->canEvaluatePolicy(policy, &error)) {
        const QString alert = error ? error->localizedDescription : tr("生体認証が利用できません");
        QTimer::singleShot(0, this, [this, alert] { emit answered({TouchIdResult::Kind::CannotAsk, alert}); });
        return;
    }
    if (context->biometryType() != LAContext::biometryTypeTouchID) {
        emit answered({TouchIdResult::Kind::CannotAsk, tr("このマックではTouch IDが利用できません")});
        return;
    }
    LAContext *raw = context.get();
    m_inFlight.push_back(std::move(context));
    const QPointer<TouchIdAction> self(this);
    raw->evaluatePolicy(policy, tr("Touch IDで本人確認を行います"),
                        [self, raw](bool success, std::optional<PlatformError> replyError) {
        const QString reason = replyError ? replyError->localizedDescription : failedText();
        // The reply does no work of its own: it hands over to the main thread.
        QMetaObject::invokeMethod(qApp, [self, raw, success, reason] {
            if (self)
                self->finish(raw, success, reason);
        }, Qt::QueuedConnection);
    });
}

void TouchIdAction::finish(LAContext *context, bool success, const QString &reason)
{
    const auto it = std::find_if(m_inFlight.begin(), m_inFlight.end(),
                                 [context](const auto &c) { return c.get() == context; });
    if (it != m_inFlight.end()) {
        // The context may still be on the stack that called its reply.
        (*it)->deleteLater();
        it->release();
        m_inFlight.erase(it);
    }
    emit answered(success ? TouchIdResult{TouchIdResult::Kind::Matched, {}}
                          : TouchIdResult{TouchIdResult::Kind::NotMatched, reason});
}

void TouchIdAction::cancel()
{
    m_inFlight.clear();
}
