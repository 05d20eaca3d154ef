#include "platform/localauth/FprintdContext.h"

#include "platform/localauth/FingerprintPrompt.h"

#include <QCoreApplication>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDeadlineTimer>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

const QString service = u"net.reactivated.Fprint"_s;
const QString managerPath = u"/net/reactivated/Fprint/Manager"_s;
const QString managerInterface = u"net.reactivated.Fprint.Manager"_s;
const QString deviceInterface = u"net.reactivated.Fprint.Device"_s;
const QString errorPrefix = u"net.reactivated.Fprint.Error."_s;

// Availability is asked synchronously: it never holds the window longer than
// this. A daemon still starting up is asked again by the evaluation.
constexpr int availabilityBudgetMs = 450;
// Calls the daemon answers late are still followed, so that what it grants
// after we gave up is given back.
constexpr int lateAnswerMs = 10 * 60 * 1000;

QString tr(const char *text)
{
    return QCoreApplication::translate("FprintdContext", text);
}

PlatformError makeError(int code, const QString &description)
{
    return PlatformError{QString::fromLatin1(FprintdContext::errorDomain), code, description};
}

QString readerMissingText()
{
    return tr("指紋リーダーが見つかりません");
}

QDBusMessage deviceCall(const QString &daemon, const QString &device, const QString &method,
                        const QVariantList &args = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(daemon, device, deviceInterface, method);
    message.setArguments(args);
    return message;
}

// What the user is told about a failed daemon call.
PlatformError describe(const QDBusError &error)
{
    const QString name = error.name();
    if (name == errorPrefix + u"AlreadyInUse"_s)
        return makeError(FprintdContext::busy, tr("指紋リーダーは別の操作で使用中です"));
    if (name == errorPrefix + u"PermissionDenied"_s)
        return makeError(FprintdContext::notPermitted, tr("指紋リーダーを使う権限がありません"));
    if (name == errorPrefix + u"NoEnrolledPrints"_s)
        return makeError(FprintdContext::noPrints, tr("登録された指紋がありません"));
    if (name == errorPrefix + u"NoSuchDevice"_s)
        return makeError(FprintdContext::readerMissing, readerMissingText());
    if (error.type() == QDBusError::NoReply || error.type() == QDBusError::Timeout)
        return makeError(FprintdContext::serviceMissing, tr("指紋認証サービスが応答しません"));
    if (error.type() == QDBusError::ServiceUnknown || error.type() == QDBusError::Disconnected)
        return makeError(FprintdContext::serviceMissing, tr("指紋認証サービスが見つかりません"));
    return makeError(FprintdContext::readerError, tr("指紋リーダーでエラーが発生しました"));
}

} // namespace

FprintdContext::FprintdContext(QDBusConnection bus, std::chrono::milliseconds scanTimeout, QWidget *promptParent,
                               FingerprintPrompt::Texts promptTexts)
    : m_bus(std::move(bus)), m_scanTimeout(scanTimeout), m_promptParent(promptParent),
      m_promptTexts(std::move(promptTexts))
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (m_verifying)
            fail(timedOut, tr("時間内に指紋を確認できませんでした"));
        else
            fail(serviceMissing, tr("指紋認証サービスが応答しません"));
    });
}

FprintdContext::~FprintdContext()
{
    // Gone mid-check: stop and free the reader, but answer nobody.
    if (m_running) {
        m_reply = nullptr;
        releaseDevice();
    }
    delete m_prompt;
}

bool FprintdContext::canEvaluatePolicy(int policy, std::optional<PlatformError> *error)
{
    std::optional<PlatformError> problem;
    if (policy != policyDeviceOwnerAuthenticationWithBiometricsOrWatch)
        problem = makeError(policyUnsupported, tr("この認証方式には対応していません"));
    else
        problem = checkAvailability();
    if (error)
        *error = problem;
    return !problem;
}

std::optional<PlatformError> FprintdContext::checkAvailability()
{
    m_device.clear();
    m_biometryType = 0;
    m_lookUpLater = false;
    if (!m_bus.isConnected())
        return makeError(serviceMissing, tr("指紋認証サービスが見つかりません"));

    const QDeadlineTimer budget(availabilityBudgetMs);
    const auto ask = [this, &budget](const QDBusMessage &message) {
        return m_bus.call(message, QDBus::Block, int(std::max<qint64>(1, budget.remainingTime())));
    };
    const auto slow = [](const QDBusMessage &reply) {
        return reply.type() == QDBusMessage::ErrorMessage
            && (QDBusError(reply).type() == QDBusError::NoReply || QDBusError(reply).type() == QDBusError::Timeout);
    };
    // The daemon starts on demand; this first call may wake it.
    const QDBusMessage device = ask(
        QDBusMessage::createMethodCall(service, managerPath, managerInterface, u"GetDefaultDevice"_s));
    QDBusMessage fingers;
    if (!slow(device) && device.type() != QDBusMessage::ErrorMessage) {
        const QString path = device.arguments().value(0).value<QDBusObjectPath>().path();
        if (path.isEmpty())
            return makeError(readerMissing, readerMissingText());
        fingers = ask(deviceCall(service, path, u"ListEnrolledFingers"_s, {QString()}));
        if (!slow(fingers))
            m_device = path;
    }
    if (slow(device) || slow(fingers)) {
        // Still starting (a slow reader): not an absence. The evaluation
        // looks again without holding the window.
        m_lookUpLater = true;
        m_biometryType = biometryTypeTouchID;
        return std::nullopt;
    }
    if (device.type() == QDBusMessage::ErrorMessage)
        return describe(QDBusError(device));
    return checkFingers(fingers);
}

std::optional<PlatformError> FprintdContext::checkFingers(const QDBusMessage &fingers)
{
    if (fingers.type() == QDBusMessage::ErrorMessage) {
        m_device.clear();
        return describe(QDBusError(fingers));
    }
    if (fingers.arguments().value(0).toStringList().isEmpty()) {
        m_device.clear();
        return makeError(noPrints, tr("登録された指紋がありません"));
    }
    m_biometryType = biometryTypeTouchID;
    return std::nullopt;
}

void FprintdContext::evaluatePolicy(int policy, const QString &localizedReason, Reply reply)
{
    m_reply = std::move(reply);
    m_running = true;
    if (policy != policyDeviceOwnerAuthenticationWithBiometricsOrWatch || (m_device.isEmpty() && !m_lookUpLater)) {
        // Never answered from inside this call.
        QMetaObject::invokeMethod(this, [this] {
            fail(policyUnsupported, tr("指紋リーダーの準備ができていません"));
        }, Qt::QueuedConnection);
        return;
    }

    m_prompt = new FingerprintPrompt(m_promptTexts, localizedReason, m_promptParent);
    connect(m_prompt, &FingerprintPrompt::cancelled, this,
            [this] { fail(cancelled, tr("認証がキャンセルされました")); });
    m_prompt->show();

    m_watcher = std::make_unique<QDBusServiceWatcher>(service, m_bus, QDBusServiceWatcher::WatchForUnregistration);
    connect(m_watcher.get(), &QDBusServiceWatcher::serviceUnregistered, this, [this] {
        m_gone = true; // the daemon forgot the claim with its own exit
        fail(serviceStopped, tr("指紋認証サービスが停止しました"));
    });
    // The daemon has as long to hand us the reader (its permission check
    // included) as the user has to present a finger.
    m_timer.start(m_scanTimeout);
    if (!m_lookUpLater) {
        claim();
        return;
    }
    call(QDBusMessage::createMethodCall(service, managerPath, managerInterface, u"GetDefaultDevice"_s), false,
         [this](const QDBusMessage &device) {
        m_device = device.arguments().value(0).value<QDBusObjectPath>().path();
        if (m_device.isEmpty()) {
            fail(readerMissing, readerMissingText());
            return;
        }
        m_bus.callWithCallback(deviceCall(service, m_device, u"ListEnrolledFingers"_s, {QString()}), this,
                               SLOT(onLateFingers(QDBusMessage)), SLOT(onLateFingers(QDBusError, QDBusMessage)),
                               lateAnswerMs);
    });
}

void FprintdContext::onLateFingers(const QDBusMessage &fingers)
{
    if (!m_running)
        return;
    if (const auto problem = checkFingers(fingers)) {
        finish(false, problem);
        return;
    }
    claim();
}

void FprintdContext::onLateFingers(const QDBusError &, const QDBusMessage &fingers)
{
    onLateFingers(fingers);
}

void FprintdContext::call(const QDBusMessage &message, bool grants, std::function<void(const QDBusMessage &)> next)
{
    const QDBusPendingCall pending = m_bus.asyncCall(message, lateAnswerMs);
    if (grants)
        m_pending = pending;
    auto *watcher = new QDBusPendingCallWatcher(pending, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, grants, next = std::move(next)](QDBusPendingCallWatcher *answer) {
        answer->deleteLater();
        if (grants)
            m_pending.reset();
        if (!m_running)
            return;
        if (answer->isError()) {
            finish(false, describe(answer->error()));
            return;
        }
        next(answer->reply());
    });
}

void FprintdContext::claim()
{
    call(deviceCall(service, m_device, u"Claim"_s, {QString()}), true, [this](const QDBusMessage &granted) {
        // From here on everything goes to the daemon that holds our claim.
        m_daemon = granted.service();
        m_claimed = true;
        // The daemon's signals are not in its introspection data, so connect by name.
        m_bus.connect(m_daemon, m_device, deviceInterface, u"VerifyStatus"_s, this,
                      SLOT(onVerifyStatus(QString, bool)));
        call(deviceCall(m_daemon, m_device, u"VerifyStart"_s, {u"any"_s}), true, [this](const QDBusMessage &) {
            m_verifying = true;
            m_timer.start(m_scanTimeout);
        });
    });
}

void FprintdContext::onVerifyStatus(const QString &result, bool done)
{
    // Statuses before our VerifyStart was answered belong to nobody's scan of ours.
    if (!m_running || !m_verifying)
        return;
    // Whatever the result, the daemon still wants VerifyStop: m_verifying stays set.
    if (result == u"verify-match"_s) {
        finish(true, std::nullopt);
        return;
    }
    static const QHash<QString, const char *> retry = {
        {u"verify-retry-scan"_s, QT_TRANSLATE_NOOP("FprintdContext", "もう一度指を触れてください")},
        {u"verify-swipe-too-short"_s, QT_TRANSLATE_NOOP("FprintdContext", "指をもう少しゆっくり動かしてください")},
        {u"verify-finger-not-centered"_s, QT_TRANSLATE_NOOP("FprintdContext", "指をセンサーの中央に置いてください")},
        {u"verify-remove-and-retry"_s, QT_TRANSLATE_NOOP("FprintdContext", "指を一度離してから、もう一度触れてください")},
    };
    if (const auto it = retry.constFind(result); it != retry.constEnd()) {
        if (!done) {
            if (m_prompt)
                m_prompt->setHint(tr(*it));
            return;
        }
        fail(readerError, tr("指紋を読み取れませんでした"));
        return;
    }
    if (result == u"verify-no-match"_s) {
        fail(noMatch, tr("指紋が一致しませんでした"));
    } else if (result == u"verify-disconnected"_s) {
        fail(disconnected, tr("指紋リーダーが切断されました"));
    } else {
        // An unplugged reader ends the scan with an unknown error and its
        // device goes away once released: give it back, then look for it.
        m_timer.stop();
        m_bus.disconnect(m_daemon, m_device, deviceInterface, u"VerifyStatus"_s, this,
                         SLOT(onVerifyStatus(QString, bool)));
        m_bus.send(deviceCall(m_daemon, m_device, u"VerifyStop"_s));
        m_verifying = false;
        m_claimed = false;
        auto *released = new QDBusPendingCallWatcher(m_bus.asyncCall(deviceCall(m_daemon, m_device, u"Release"_s)), this);
        connect(released, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *release) {
            release->deleteLater();
            auto *listed = new QDBusPendingCallWatcher(m_bus.asyncCall(QDBusMessage::createMethodCall(
                m_daemon, managerPath, managerInterface, u"GetDevices"_s)), this);
            connect(listed, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *answer) {
                answer->deleteLater();
                const QDBusPendingReply<QList<QDBusObjectPath>> devices = *answer;
                if (devices.isValid() && devices.value().contains(QDBusObjectPath(m_device)))
                    fail(readerError, tr("指紋リーダーでエラーが発生しました"));
                else
                    fail(disconnected, tr("指紋リーダーが切断されました"));
            });
        });
    }
}

void FprintdContext::fail(ErrorCode code, const QString &description)
{
    finish(false, makeError(code, description));
}

void FprintdContext::finish(bool success, std::optional<PlatformError> error)
{
    if (!m_running)
        return;
    m_running = false;
    releaseDevice();
    if (m_prompt) {
        m_prompt->hide();
        m_prompt->deleteLater();
    }
    // The reply may end this context's life; touch nothing after it.
    if (Reply reply = std::exchange(m_reply, nullptr))
        reply(success, std::move(error));
}

void FprintdContext::releaseDevice()
{
    m_timer.stop();
    m_watcher.reset();
    if (!m_daemon.isEmpty())
        m_bus.disconnect(m_daemon, m_device, deviceInterface, u"VerifyStatus"_s, this,
                         SLOT(onVerifyStatus(QString, bool)));
    // Asynchronous and independent of this object, which may be gone before
    // the answers come. The bus keeps the order: stop first, then release.
    // Addressed to the daemon that granted the claim, so cleaning up never
    // starts a new one.
    const QDBusConnection bus = m_bus;
    const QString device = m_device;
    const auto stopAndRelease = [bus, device](const QString &daemon, bool verifying) {
        if (verifying)
            bus.send(deviceCall(daemon, device, u"VerifyStop"_s));
        bus.send(deviceCall(daemon, device, u"Release"_s));
    };
    if (m_gone) {
        // Nothing to give back to a daemon that has exited.
    } else if (m_pending) {
        // A Claim or VerifyStart is unanswered, or answered but not handled:
        // the daemon may grant what we gave up on, so undo it by its answer.
        const bool claimPhase = !m_claimed;
        const QString daemon = m_daemon;
        const auto undo = [stopAndRelease, claimPhase, daemon](const QDBusPendingCall &answer) {
            if (claimPhase && !answer.isError())
                stopAndRelease(answer.reply().service(), false);
            else if (!claimPhase)
                stopAndRelease(daemon, !answer.isError());
        };
        if (m_pending->isFinished()) {
            undo(*m_pending);
        } else {
            auto *late = new QDBusPendingCallWatcher(*m_pending, QCoreApplication::instance());
            QObject::connect(late, &QDBusPendingCallWatcher::finished, late, [undo](QDBusPendingCallWatcher *answer) {
                answer->deleteLater();
                undo(*answer);
            });
        }
    } else if (m_claimed) {
        stopAndRelease(m_daemon, m_verifying);
    }
    m_pending.reset();
    m_verifying = false;
    m_claimed = false;
}
