#include "tabs/WindowAccessor.h"

#include "platform/windowing/HostWindow.h"

#include <QTimer>

namespace {

HostWindow *hostOf(QWidget *widget)
{
    for (QWidget *w = widget->parentWidget(); w; w = w->parentWidget()) {
        if (auto *host = qobject_cast<HostWindow *>(w))
            return host;
    }
    return nullptr;
}

} // namespace

WindowAccessor::WindowAccessor(Callback callback, QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFixedSize(0, 0);
    QTimer::singleShot(0, this, [this, callback = std::move(callback)] { callback(hostOf(this)); });
}
