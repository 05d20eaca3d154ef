#include "main_window/LockGatePage.h"

#include "platform/widgets/WrappingLabel.h"

#include <QAccessibleWidget>
#include <QEvent>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

using namespace Qt::StringLiterals;

namespace {

const QString obstacleName = u"lockObstacle"_s;

// The line under the lock is a notification to assistive technology: a
// screen reader reads it out as it comes on screen, wherever the focus is.
QAccessibleInterface *accessibleObstacle(const QString &, QObject *object)
{
    if (!object->isWidgetType() || object->objectName() != obstacleName)
        return nullptr;
    return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Notification);
}

} // namespace

LockGatePage::LockGatePage(QWidget *parent)
    : QWidget(parent), m_button(new QPushButton(this)), m_icon(new QLabel(m_button)),
      m_text(new QLabel(tr("変更するにはカギをクリックします"), m_button)),
      m_obstacle(new WrappingLabel(QString(), this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(20);
    m_button->setObjectName(u"lockButton"_s);
    auto *label = new QHBoxLayout(m_button);
    m_icon->setObjectName(u"lockIcon"_s);
    m_icon->setFixedSize(16, 16);
    // Shipped inside the program: a lookup in the icon themes would cost
    // more than the rest of the window.
    m_icon->setPixmap(QIcon(u":/icons/lock.png"_s).pixmap(16, 16));
    m_text->setObjectName(u"lockText"_s);
    // Texts, whether fixed or taken from the state, are shown as written.
    m_text->setTextFormat(Qt::PlainText);
    m_text->setToolTip(tr("マウスでクリック"));
    // The text sits in a child label, so assistive technology would hear only "button".
    m_button->setAccessibleName(m_text->text());
    m_button->setAccessibleDescription(m_text->toolTip());
    label->addWidget(m_icon);
    label->addWidget(m_text);
    m_button->setMinimumSize(label->sizeHint());
    connect(m_button, &QPushButton::clicked, this, &LockGatePage::lockClicked);
    layout->addWidget(m_button, 0, Qt::AlignHCenter);

    static const bool notification = [] {
        QAccessible::installFactory(accessibleObstacle);
        return true;
    }();
    (void)notification;
    m_obstacle->setObjectName(obstacleName);
    m_obstacle->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    // Growing, it makes the gate's top-aligned layout fill its height, which
    // then follows the line's wrapping in a window narrower than the line.
    QSizePolicy growing = m_obstacle->sizePolicy();
    growing.setVerticalPolicy(QSizePolicy::Expanding);
    m_obstacle->setSizePolicy(growing);
    layout->addWidget(m_obstacle);
}

void LockGatePage::showObstacle(const QString &obstacle)
{
    m_obstacle->setVisible(!obstacle.isEmpty());
    if (m_obstacle->text() == obstacle)
        return;
    m_obstacle->setText(obstacle);
    m_obstacle->setAccessibleName(obstacle);
    // Read out as a notification when it comes on screen; as the button's
    // description it is read again whenever the button takes the focus.
    m_button->setAccessibleDescription(obstacle.isEmpty() ? m_text->toolTip() : obstacle);
}

void LockGatePage::setAsking(bool asking)
{
    // Disabled, the button would pass the focus on to whatever Qt finds next
    // (screen readers follow it there); it gives the focus up instead.
    if (asking) {
        m_pressedFromKeyboard = m_button->hasFocus();
        if (m_pressedFromKeyboard)
            m_button->clearFocus();
    }
    m_button->setEnabled(!asking);
    if (!asking && std::exchange(m_pressedFromKeyboard, false) && !isHidden())
        m_button->setFocus();
}

void LockGatePage::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_button->setFocus();
}
