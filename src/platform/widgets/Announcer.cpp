#include "platform/widgets/Announcer.h"

#include <QAccessible>
#include <QAccessibleWidget>

using namespace Qt::StringLiterals;

namespace {

QAccessibleInterface *notificationFor(const QString &className, QObject *object)
{
    if (className != QLatin1StringView(Announcer::staticMetaObject.className()) || !object->isWidgetType())
        return nullptr;
    return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Notification);
}

} // namespace

Announcer::Announcer(QWidget *parent) : QWidget(parent)
{
    static const bool installed = [] {
        QAccessible::installFactory(notificationFor);
        return true;
    }();
    (void)installed;
    setObjectName(u"announcer"_s);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    // Showing, or screen readers skip it; a pixel that paints nothing.
    setGeometry(0, 0, 1, 1);
    hide();
}

void Announcer::announce(const QString &text)
{
    // Screen readers read a notification when it comes on screen.
    hide();
    setAccessibleName(text);
    raise();
    show();
}

void Announcer::announce(QWidget *window, const QString &text)
{
    if (!window)
        return;
    auto *announcer = window->findChild<Announcer *>(u"announcer"_s, Qt::FindDirectChildrenOnly);
    if (!announcer)
        announcer = new Announcer(window);
    announcer->announce(text);
}
