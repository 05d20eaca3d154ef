#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

// One process per user session: the first owns the application's name on the
// session bus and answers the desktop's org.freedesktop.Application calls; a
// later launch finds the name taken and hands over to it.
class ApplicationService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    static inline const QString serviceName = QStringLiteral("org.yumekazu.Yumekazu");
    static inline const QString objectPath = QStringLiteral("/org/yumekazu/Yumekazu");
    static inline const QString interfaceName = QStringLiteral("org.freedesktop.Application");
    // How long a later launch waits for the first one to answer.
    static constexpr int handOverTimeoutMs = 5000;

    enum class Role {
        Primary,    // owns the name
        HandedOver, // another process took the activation: this one may exit
        Alone,      // no bus, or the owner did not answer: run on our own
    };

    explicit ApplicationService(QDBusConnection bus, QObject *parent = nullptr);
    ~ApplicationService() override;

    Role start();

Q_SIGNALS:
    void activationRequested();

public Q_SLOTS:
    // The methods of org.freedesktop.Application, named as on the bus.
    void Activate(const QVariantMap &platformData);
    void Open(const QStringList &uris, const QVariantMap &platformData);
    void ActivateAction(const QString &actionName, const QVariantList &parameter, const QVariantMap &platformData);

private:
    QDBusConnection m_bus;
    bool m_registered = false;
};
