#pragma once

#include <QLabel>

// A plain-text label that wraps its words. QLabel's preferred size comes from
// one way of measuring, its height for a given width from another; at
// fractional scale factors the two can differ by a fraction of a pixel, and
// laid out at exactly its preferred width the text takes a line more than the
// height it asked for: its last line is cut. Here the preferred width has a
// pixel to spare and the preferred height is the height for that width.
class WrappingLabel : public QLabel {
public:
    explicit WrappingLabel(const QString &text, QWidget *parent) : QLabel(text, parent)
    {
        setTextFormat(Qt::PlainText);
        setWordWrap(true);
    }
    [[nodiscard]] QSize sizeHint() const override
    {
        const int width = QLabel::sizeHint().width() + 1;
        return {width, heightForWidth(width)};
    }
};
