#include "platform/windowing/TabGroupWindow.h"

#include "platform/windowing/HostWindow.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCloseEvent>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// The tab widget's page stack is a plain container to screen readers: as a
// "layered pane" it would be announced each time the window comes forward.
QAccessibleInterface *plainPageStack(const QString &className, QObject *object)
{
    if (className != "QStackedWidget"_L1 || !object->parent()
        || !qobject_cast<TabGroupWindow *>(object->parent()->parent()))
        return nullptr;
    return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Client);
}

} // namespace

TabGroupWindow::TabGroupWindow(QWidget *parent) : QMainWindow(parent), m_tabs(new QTabWidget(this))
{
    static const bool installed = [] {
        QAccessible::installFactory(plainPageStack);
        return true;
    }();
    (void)installed;
    setAttribute(Qt::WA_DeleteOnClose);
    m_tabs->setTabBarAutoHide(true);
    m_tabs->setDocumentMode(true);
    m_tabs->setTabsClosable(true);
    m_tabs->setMovable(true);
    setCentralWidget(m_tabs);
    connect(m_tabs, &QTabWidget::tabCloseRequested, this,
            [this](int index) { closeWindow(qobject_cast<HostWindow *>(m_tabs->widget(index))); });
    connect(m_tabs, &QTabWidget::currentChanged, this, &TabGroupWindow::updateTitle);
    connect(m_tabs->tabBar(), &QTabBar::tabMoved, this, &TabGroupWindow::windowsChanged);
    // Adding the second tab shows the tab bar, taking the last one hides it.
    connect(this, &TabGroupWindow::windowsChanged, this, &TabGroupWindow::updateSizeLimits);
    // The tab widget hands its focus to the bar even while the bar is hidden:
    // with one tab Tab would stop on a bar no one can see.
    connect(this, &TabGroupWindow::windowsChanged, this,
            [this] { m_tabs->setFocusPolicy(m_tabs->count() > 1 ? Qt::TabFocus : Qt::NoFocus); });
}

QList<HostWindow *> TabGroupWindow::windows() const
{
    QList<HostWindow *> result;
    for (int i = 0; i < m_tabs->count(); ++i) {
        if (auto *window = qobject_cast<HostWindow *>(m_tabs->widget(i)))
            result.append(window);
    }
    return result;
}

int TabGroupWindow::count() const
{
    return m_tabs->count();
}

HostWindow *TabGroupWindow::currentWindow() const
{
    return qobject_cast<HostWindow *>(m_tabs->currentWidget());
}

void TabGroupWindow::addTabbedWindow(HostWindow *window, HostWindow *relativeTo, Ordering ordering)
{
    if (!window || ordering == Ordering::Out)
        return;
    if (TabGroupWindow *old = window->tabGroup(); old && old != this)
        old->takeWindow(window);
    const int anchor = relativeTo ? m_tabs->indexOf(relativeTo) : -1;
    int position = m_tabs->count();
    if (anchor >= 0)
        position = ordering == Ordering::Above ? anchor + 1 : anchor;
    m_tabs->insertTab(position, window, window->title());
    disconnect(window, &QWidget::windowTitleChanged, this, nullptr); // once, if it is added again
    connect(window, &QWidget::windowTitleChanged, this, [this, window](const QString &title) {
        const int index = m_tabs->indexOf(window);
        if (index >= 0)
            m_tabs->setTabText(index, title);
        updateTitle();
    });
    updateTitle();
    Q_EMIT windowsChanged();
}

void TabGroupWindow::makeKey(HostWindow *window)
{
    const int index = m_tabs->indexOf(window);
    if (index < 0)
        return;
    m_tabs->setCurrentIndex(index);
    show();
    raise();
    activateWindow();
}

void TabGroupWindow::takeWindow(HostWindow *window)
{
    const int index = m_tabs->indexOf(window);
    if (index < 0)
        return;
    m_tabs->removeTab(index);
    window->setParent(nullptr);
    disconnect(window, nullptr, this, nullptr);
    Q_EMIT windowsChanged();
    if (m_tabs->count() == 0)
        QTimer::singleShot(0, this, &QWidget::close);
}

void TabGroupWindow::closeWindow(HostWindow *window)
{
    if (!window || m_tabs->indexOf(window) < 0)
        return;
    // Let the window's content refuse or clean up first (pending requests).
    if (!window->close())
        return;
    takeWindow(window);
    window->deleteLater();
}

void TabGroupWindow::closeEvent(QCloseEvent *event)
{
    for (HostWindow *window : windows()) {
        if (!window->close()) {
            event->ignore();
            return;
        }
    }
    event->accept();
}

void TabGroupWindow::showEvent(QShowEvent *event)
{
    // The menu bar is filled after construction; its height is known by now.
    updateSizeLimits();
    QMainWindow::showEvent(event);
}

void TabGroupWindow::updateSizeLimits()
{
    const auto all = windows();
    if (all.isEmpty())
        return;
    QSize low(0, 0);
    QSize high(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    for (const HostWindow *window : all) {
        if (const QWidget *content = window->content()) {
            low = low.expandedTo(content->minimumSize());
            high = high.boundedTo(content->maximumSize());
        }
    }
    // The menu bar and, while shown, the tab bar come on top of the content;
    // in document mode the tab widget draws no frame of its own.
    int chrome = menuWidget() ? menuWidget()->sizeHint().height() : 0;
    if (const QTabBar *bar = m_tabs->tabBar(); !bar->isHidden()) {
        chrome += bar->sizeHint().height();
        // Squeezed below its own minimum the bar's buttons would overlap.
        low.setWidth(std::max(low.width(), bar->minimumSizeHint().width()));
    }
    high = high.expandedTo(low);
    const QSize limit(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    setMinimumSize((low + QSize(0, chrome)).boundedTo(limit));
    setMaximumSize((high + QSize(0, chrome)).boundedTo(limit));
}

void TabGroupWindow::updateTitle()
{
    if (HostWindow *current = currentWindow())
        setWindowTitle(current->title());
}
