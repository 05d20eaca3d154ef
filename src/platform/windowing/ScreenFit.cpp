#include "platform/windowing/ScreenFit.h"

#include <QEvent>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>

ScreenFit::ScreenFit(QWidget *window) : QObject(window), m_window(window)
{
}

void ScreenFit::whenShown(QWidget *window)
{
    window->installEventFilter(new ScreenFit(window));
}

bool ScreenFit::eventFilter(QObject *watched, QEvent *event)
{
    // The native window exists once the widget is shown; its first exposure
    // comes after the window manager has framed and placed it.
    if (watched == m_window && event->type() == QEvent::Show && m_window->windowHandle())
        m_window->windowHandle()->installEventFilter(this);
    if (watched == m_window->windowHandle() && event->type() == QEvent::Expose && m_window->windowHandle()->isExposed()) {
        fit(m_window);
        deleteLater();
    }
    return false;
}

void ScreenFit::fit(QWidget *window)
{
    const QScreen *screen = window->screen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QRect frame = window->frameGeometry();
    const QSize chrome = frame.size() - window->size();
    const QSize size = window->size().boundedTo(area.size() - chrome).expandedTo(window->minimumSize());
    if (size != window->size())
        window->resize(size);
    const QSize outer = size + chrome;
    const QPoint inside(std::clamp(frame.x(), area.left(), std::max(area.left(), area.right() + 1 - outer.width())),
                        std::clamp(frame.y(), area.top(), std::max(area.top(), area.bottom() + 1 - outer.height())));
    if (inside != frame.topLeft())
        window->move(inside);
}
