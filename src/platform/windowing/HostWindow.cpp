#include "platform/windowing/HostWindow.h"

#include "platform/widgets/Enclosing.h"
#include "platform/windowing/TabGroupWindow.h"

#include <QCloseEvent>
#include <QEvent>
#include <QStyle>

HostWindow::HostWindow(QWidget *content, const QString &title, QWidget *parent) : QWidget(parent), m_content(content)
{
    content->setParent(this);
    setWindowTitle(title);
}

TabGroupWindow *HostWindow::tabGroup() const
{
    return enclosing<TabGroupWindow>(this);
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

QSize HostWindow::sizeHint() const
{
    return m_content ? m_content->sizeHint().expandedTo(minimumSizeHint()) : QWidget::sizeHint();
}

QSize HostWindow::minimumSizeHint() const
{
    return m_content ? m_content->minimumSize().expandedTo(m_content->minimumSizeHint())
                     : QWidget::minimumSizeHint();
}

bool HostWindow::event(QEvent *event)
{
    // The content's limits or hint changed: the tab page follows.
    if (event->type() == QEvent::LayoutRequest)
        updateGeometry();
    return QWidget::event(event);
}

void HostWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (!m_content)
        return;
    // The content takes what its limits allow and sits centred in the rest,
    // should the frame be forced larger than it.
    const QSize size = this->size().boundedTo(m_content->maximumSize()).expandedTo(m_content->minimumSize());
    m_content->setGeometry(QStyle::alignedRect(layoutDirection(), Qt::AlignCenter, size, rect()));
}
