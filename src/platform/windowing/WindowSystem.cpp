#include "platform/windowing/WindowSystem.h"

#include "platform/windowing/TabGroupWindow.h"

#include <QApplication>

HostWindow *WindowSystem::keyWindow() const
{
    auto *group = qobject_cast<TabGroupWindow *>(QApplication::activeWindow());
    return group ? group->currentWindow() : nullptr;
}
