#pragma once

#include <QCheckBox>

// A check box whose text wraps onto as many lines as its width needs, so a
// long label stays readable in a narrow column. As with any check box, a
// click on the text toggles it, and the text is its accessible name.
class WrappingCheckBox final : public QCheckBox {
    Q_OBJECT

public:
    explicit WrappingCheckBox(const QString &text, QWidget *parent = nullptr);

    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;
    [[nodiscard]] bool hasHeightForWidth() const override { return true; }
    [[nodiscard]] int heightForWidth(int width) const override;
    // Where the wrapped text is drawn at the current size.
    [[nodiscard]] QRect textRect() const;

protected:
    [[nodiscard]] bool hitButton(const QPoint &pos) const override;
    void paintEvent(QPaintEvent *event) override;

private:
    [[nodiscard]] QSize indicatorSize() const;
    [[nodiscard]] int textLeft() const;
    [[nodiscard]] QRect textBounds(int width) const;
};
