#include "app/WrappingCheckBox.h"

#include <QStyleOptionButton>
#include <QStylePainter>

#include <algorithm>
#include <climits>

namespace {

constexpr int textFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;

} // namespace

WrappingCheckBox::WrappingCheckBox(const QString &text, QWidget *parent) : QCheckBox(text, parent)
{
    // Columns share the width equally; the height follows the wrapped text.
    QSizePolicy policy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

QSize WrappingCheckBox::indicatorSize() const
{
    QStyleOptionButton option;
    initStyleOption(&option);
    return {style()->pixelMetric(QStyle::PM_IndicatorWidth, &option, this),
            style()->pixelMetric(QStyle::PM_IndicatorHeight, &option, this)};
}

int WrappingCheckBox::textLeft() const
{
    QStyleOptionButton option;
    initStyleOption(&option);
    return indicatorSize().width() + style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, &option, this);
}

QRect WrappingCheckBox::textBounds(int width) const
{
    const int available = std::max(1, width - textLeft());
    return fontMetrics().boundingRect(QRect(textLeft(), 0, available, INT_MAX / 2), textFlags, text());
}

QRect WrappingCheckBox::textRect() const
{
    return textBounds(width());
}

int WrappingCheckBox::heightForWidth(int width) const
{
    return std::max(indicatorSize().height(), textBounds(width).height());
}

QSize WrappingCheckBox::sizeHint() const
{
    // About ten characters a line unless the text is shorter.
    const int line = std::min(fontMetrics().horizontalAdvance(text()), 10 * fontMetrics().height());
    const int width = textLeft() + line;
    return {width, heightForWidth(width)};
}

QSize WrappingCheckBox::minimumSizeHint() const
{
    return indicatorSize();
}

bool WrappingCheckBox::hitButton(const QPoint &pos) const
{
    // The box with the gap beside it, and the text.
    const QRect box(0, 0, textLeft(), std::max(indicatorSize().height(), fontMetrics().height()));
    return box.contains(pos) || textRect().contains(pos);
}

void WrappingCheckBox::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    // The box sits beside the first line of text.
    const QSize box = indicatorSize();
    const int firstLine = fontMetrics().height();
    option.rect = QRect(QPoint(0, std::max(0, (firstLine - box.height()) / 2)), box);
    painter.drawPrimitive(QStyle::PE_IndicatorCheckBox, option);
    const QRect text = textRect();
    painter.drawItemText(text, textFlags, palette(), isEnabled(), this->text(), QPalette::WindowText);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = text.adjusted(-1, 0, 1, 0);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}
