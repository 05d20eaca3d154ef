#include "tabs/WindowAccessor.h"

#include "platform/widgets/Enclosing.h"
#include "platform/windowing/HostWindow.h"

#include <QTimer>

WindowAccessor::WindowAccessor(Callback callback, QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFixedSize(0, 0);
    QTimer::singleShot(0, this, [this, callback = std::move(callback)] { callback(enclosing<HostWindow>(this)); });
}
