#include "tabs/TabActions.h"

#include "platform/windowing/HostWindow.h"
#include "platform/windowing/TabGroupWindow.h"
#include "platform/windowing/WindowSystem.h"

#include <iostream>

HostWindow *TabActions::window() const
{
    return m_window;
}

std::optional<int> TabActions::hostedBy(HostWindow *window)
{
    m_window = window;
    TabGroupWindow *group = window ? window->tabGroup() : nullptr;
    if (!group)
        return std::nullopt;
    std::cout << "Tab count: " << group->count() << std::endl;
    return group->count();
}

void TabActions::addNewTab() const
{
    if (!m_windows || !m_windows->makeMainWindow)
        return;
    HostWindow *key = m_windows->keyWindow();
    if (!key || !key->tabGroup())
        return;
    key->tabGroup()->addTabbedWindow(m_windows->makeMainWindow(), key, TabGroupWindow::Ordering::Above);
}

bool TabActions::selectTab(int index) const
{
    HostWindow *key = m_windows ? m_windows->keyWindow() : nullptr;
    TabGroupWindow *group = key ? key->tabGroup() : nullptr;
    if (!group)
        return false;
    const auto windows = group->windows();
    if (index < 0 || index >= windows.size())
        return false;
    windows[index]->makeKeyAndOrderFront();
    return true;
}
