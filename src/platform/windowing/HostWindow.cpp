#include "platform/windowing/HostWindow.h"

#include "platform/windowing/TabGroupWindow.h"

#include <QCloseEvent>
#include <QVBoxLayout>

HostWindow::HostWindow(QWidget *content, QWidget *parent) : QWidget(parent), m_content(content)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
    setWindowTitle(QStringLiteral("Yumekazu"));
}

TabGroupWindow *HostWindow::tabGroup() const
{
    for (QWidget *w = parentWidget(); w; w = w->parentWidget()) {
        if (auto *group = qobject_cast<TabGroupWindow *>(w))
            return group;
    }
    return nullptr;
}

void HostWindow::makeKeyAndOrderFront()
{
    if (TabGroupWindow *group = tabGroup())
        group->makeKey(this);
}

void HostWindow::closeEvent(QCloseEvent *event)
{
    if (m_content && !m_content->close())
        event->ignore();
    else
        event->accept();
}
