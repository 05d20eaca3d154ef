#include "tabs/TabOperations.h"

#include "platform/windowing/HostWindow.h"
#include "platform/windowing/TabGroupWindow.h"
#include "platform/windowing/WindowSystem.h"

#include <iostream>

void listAllWindowTabs(const WindowSystem &windows)
{
    HostWindow *key = windows.keyWindow();
    TabGroupWindow *group = key ? key->tabGroup() : nullptr;
    if (!group) {
        std::cout << "No tab group found" << std::endl;
        return;
    }
    const auto tabs = group->windows();
    for (qsizetype i = 0; i < tabs.size(); ++i)
        std::cout << "Tab " << i << ": " << tabs[i]->title().toStdString() << std::endl;
}
