#include "main_window/FlowLayout.h"

#include <QApplication>
#include <QStyle>
#include <QWidget>

#include <algorithm>

FlowLayout::FlowLayout()
{
    setContentsMargins(0, 0, 0, 0);
}

int FlowLayout::gap(Qt::Orientation orientation) const
{
    // What a box layout would use between two buttons.
    const QWidget *widget = parentWidget();
    const QStyle *style = widget ? widget->style() : QApplication::style();
    const int metric = style->pixelMetric(orientation == Qt::Horizontal ? QStyle::PM_LayoutHorizontalSpacing
                                                                         : QStyle::PM_LayoutVerticalSpacing,
                                          nullptr, widget);
    return metric >= 0 ? metric
                       : style->layoutSpacing(QSizePolicy::PushButton, QSizePolicy::PushButton, orientation,
                                              nullptr, widget);
}

FlowLayout::~FlowLayout()
{
    while (QLayoutItem *item = takeAt(0))
        delete item;
}

void FlowLayout::addItem(QLayoutItem *item)
{
    m_items.append(item);
}

QLayoutItem *FlowLayout::takeAt(int index)
{
    if (index < 0 || index >= m_items.size())
        return nullptr;
    return m_items.takeAt(index);
}

int FlowLayout::heightForWidth(int width) const
{
    return arrange(QRect(0, 0, width, 0), false);
}

QSize FlowLayout::sizeHint() const
{
    // Everything on one line when there is room for it.
    int width = 0;
    int height = 0;
    for (const QLayoutItem *item : m_items) {
        if (item->isEmpty())
            continue;
        width += item->sizeHint().width() + (width > 0 ? gap(Qt::Horizontal) : 0);
        height = std::max(height, item->sizeHint().height());
    }
    const QMargins m = contentsMargins();
    return QSize(width + m.left() + m.right(), height + m.top() + m.bottom());
}

QSize FlowLayout::minimumSize() const
{
    // As narrow as the widest item; the height follows from heightForWidth.
    QSize size;
    for (const QLayoutItem *item : m_items)
        if (!item->isEmpty())
            size = size.expandedTo(item->minimumSize());
    const QMargins m = contentsMargins();
    return size + QSize(m.left() + m.right(), m.top() + m.bottom());
}

void FlowLayout::setGeometry(const QRect &rect)
{
    QLayout::setGeometry(rect);
    arrange(rect, true);
}

int FlowLayout::arrange(const QRect &rect, bool apply) const
{
    const QRect area = rect.marginsRemoved(contentsMargins());
    const int across = gap(Qt::Horizontal);
    const int down = gap(Qt::Vertical);
    QList<QLayoutItem *> line;
    int lineWidth = 0;
    int lineHeight = 0;
    int y = area.y();
    int bottom = area.y();
    const auto placeLine = [&] {
        if (apply) {
            int x = area.x() + std::max(0, (area.width() - lineWidth) / 2);
            for (QLayoutItem *item : std::as_const(line)) {
                const QSize hint = item->sizeHint();
                const int width = std::min(hint.width(), area.width());
                item->setGeometry(QRect(x, y + (lineHeight - hint.height()) / 2, width, hint.height()));
                x += width + across;
            }
        }
        bottom = y + lineHeight;
        y = bottom + down;
        line.clear();
        lineWidth = 0;
        lineHeight = 0;
    };
    for (QLayoutItem *item : m_items) {
        if (item->isEmpty())
            continue;
        const QSize hint = item->sizeHint();
        if (!line.isEmpty() && lineWidth + across + hint.width() > area.width())
            placeLine();
        lineWidth += (line.isEmpty() ? 0 : across) + hint.width();
        lineHeight = std::max(lineHeight, hint.height());
        line.append(item);
    }
    if (!line.isEmpty())
        placeLine();
    return bottom - rect.y() + contentsMargins().bottom();
}
