#include "platform/localauth/FprintdContext.h"

#include "platform/localauth/FingerprintPrompt.h"

#include <QCoreApplication>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>

using namespace Qt::StringLiterals;

namespace {

const QString service = u"net.reactivated.Fprint"_s;
const QString managerPath = u"/net/reactivated/Fprint/Manager"_s;
const QString managerInterface = u"net.reactivated.Fprint.Manager"_s;
const QString deviceInterface = u"net.reactivated.Fprint.Device"_s;
const QString errorPrefix = u"net.reactivated.Fprint.Error."_s;

// Availability is asked synchronously; it must never hold the window for long.
constexpr int quickCallMs = 2500;
// Claiming may wait for the daemon's own permission check.
constexpr int claimCallMs = 20000;

QString tr(const char *text)
{
    return QCoreApplication::translate("FprintdContext", text);
}

PlatformError makeError(int code, const QString &description)
{
    return PlatformError{QString::fromLatin1(FprintdContext::errorDomain), code, description};
}

QDBusMessage deviceCall(const QString &device, const QString &method, const QVariantList &args = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, device, deviceInterface, method);
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
        return makeError(FprintdContext::readerMissing, tr("指紋リーダーが見つかりません"));
    if (error.type() == QDBusError::NoReply || error.type() == QDBusError::Timeout)
        return makeError(FprintdContext::serviceMissing, tr("指紋認証サービスが応答しません"));
    if (error.type() == QDBusError::ServiceUnknown || error.type() == QDBusError::Disconnected)
        return makeError(FprintdContext::serviceMissing, tr("指紋認証サービスが見つかりません"));
    return makeError(FprintdContext::readerError, tr("指紋リーダーでエラーが発生しました"));
}

} // namespace

FprintdContext::FprintdContext(QDBusConnection bus, std::chrono::milliseconds scanTimeout, QWidget *promptParent)
    : m_bus(std::move(bus)), m_scanTimeout(scanTimeout), m_promptParent(promptParent)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this,
            [this] { fail(timedOut, tr("時間内に指紋を確認できませんでした")); });
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
    if (!m_bus.isConnected())
        return makeError(serviceMissing, tr("指紋認証サービスが見つかりません"));

    const QDBusMessage hasOwner = m_bus.call(
        QDBusMessage::createMethodCall(u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s,
                                       u"org.freedesktop.DBus"_s, u"NameHasOwner"_s)
            << service,
        QDBus::Block, quickCallMs);
    // The daemon starts on demand, so an unowned name is not yet an absent service.
    if (hasOwner.type() == QDBusMessage::ErrorMessage)
        return makeError(serviceMissing, tr("指紋認証サービスが見つかりません"));

    const QDBusMessage device = m_bus.call(
        QDBusMessage::createMethodCall(service, managerPath, managerInterface, u"GetDefaultDevice"_s),
        QDBus::Block, quickCallMs);
    if (device.type() == QDBusMessage::ErrorMessage)
        return describe(QDBusError(device));
    const QDBusObjectPath path = device.arguments().value(0).value<QDBusObjectPath>();
    if (path.path().isEmpty())
        return makeError(readerMissing, tr("指紋リーダーが見つかりません"));

    const QDBusMessage fingers = m_bus.call(deviceCall(path.path(), u"ListEnrolledFingers"_s, {QString()}),
                                            QDBus::Block, quickCallMs);
    if (fingers.type() == QDBusMessage::ErrorMessage)
        return describe(QDBusError(fingers));
    if (fingers.arguments().value(0).toStringList().isEmpty())
        return makeError(noPrints, tr("登録された指紋がありません"));

    m_device = path.path();
    m_biometryType = biometryTypeTouchID;
    return std::nullopt;
}

void FprintdContext::evaluatePolicy(int policy, const QString &localizedReason, Reply reply)
{
    m_reply = std::move(reply);
    m_running = true;
    if (policy != policyDeviceOwnerAuthenticationWithBiometricsOrWatch || m_device.isEmpty()) {
        // Never answered from inside this call.
        QMetaObject::invokeMethod(this, [this] {
            fail(policyUnsupported, tr("指紋リーダーの準備ができていません"));
        }, Qt::QueuedConnection);
        return;
    }

    m_prompt = new FingerprintPrompt(localizedReason, m_promptParent);
    connect(m_prompt, &FingerprintPrompt::cancelled, this,
            [this] { fail(cancelled, tr("認証がキャンセルされました")); });
    m_prompt->show();

    m_watcher = std::make_unique<QDBusServiceWatcher>(service, m_bus, QDBusServiceWatcher::WatchForUnregistration);
    connect(m_watcher.get(), &QDBusServiceWatcher::serviceUnregistered, this, [this] {
        m_claimed = false; // the daemon forgot the claim with its own exit
        m_verifying = false;
        fail(serviceStopped, tr("指紋認証サービスが停止しました"));
    });
    // The daemon's signals are not in its introspection data, so connect by name.
    m_bus.connect(service, m_device, deviceInterface, u"VerifyStatus"_s, this, SLOT(onVerifyStatus(QString, bool)));
    claim();
}

void FprintdContext::claim()
{
    m_pending = m_bus.asyncCall(deviceCall(m_device, u"Claim"_s, {QString()}), claimCallMs);
    auto *watcher = new QDBusPendingCallWatcher(*m_pending, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *call) {
        call->deleteLater();
        if (!m_running)
            return;
        if (call->isError()) {
            finish(false, describe(call->error()));
            return;
        }
        m_claimed = true;
        startVerify();
    });
}

void FprintdContext::startVerify()
{
    m_pending = m_bus.asyncCall(deviceCall(m_device, u"VerifyStart"_s, {u"any"_s}), quickCallMs * 4);
    auto *watcher = new QDBusPendingCallWatcher(*m_pending, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *call) {
        call->deleteLater();
        if (!m_running)
            return;
        if (call->isError()) {
            finish(false, describe(call->error()));
            return;
        }
        m_verifying = true;
        m_timer.start(m_scanTimeout);
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
    if (result == u"verify-no-match"_s)
        fail(noMatch, tr("指紋が一致しませんでした"));
    else if (result == u"verify-disconnected"_s)
        fail(disconnected, tr("指紋リーダーが切断されました"));
    else
        fail(readerError, tr("指紋リーダーでエラーが発生しました"));
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
    if (!m_device.isEmpty())
        m_bus.disconnect(service, m_device, deviceInterface, u"VerifyStatus"_s, this,
                         SLOT(onVerifyStatus(QString, bool)));
    // Asynchronous and independent of this object, which may be gone before
    // the answers come. The bus keeps the order: stop first, then release.
    const QDBusConnection bus = m_bus;
    const QString device = m_device;
    const auto stopAndRelease = [bus, device](bool verifying, bool claimed) {
        if (verifying)
            bus.send(deviceCall(device, u"VerifyStop"_s));
        if (claimed)
            bus.send(deviceCall(device, u"Release"_s));
    };
    if (m_pending) {
        // A Claim or VerifyStart is in flight or answered but not yet handled:
        // the daemon may grant what we gave up on, so undo it by its answer.
        const bool claimPhase = !m_claimed;
        const bool verifying = m_verifying;
        const auto undo = [stopAndRelease, claimPhase, verifying](bool granted) {
            if (claimPhase)
                stopAndRelease(false, granted);
            else
                stopAndRelease(granted || verifying, true);
        };
        if (m_pending->isFinished()) {
            undo(!m_pending->isError());
        } else {
            auto *late = new QDBusPendingCallWatcher(*m_pending, QCoreApplication::instance());
            QObject::connect(late, &QDBusPendingCallWatcher::finished, late, [undo](QDBusPendingCallWatcher *call) {
                call->deleteLater();
                undo(!call->isError());
            });
        }
    } else {
        stopAndRelease(m_verifying, m_claimed);
    }
    m_pending.reset();
    m_verifying = false;
    m_claimed = false;
}
