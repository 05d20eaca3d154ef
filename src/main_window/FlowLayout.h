#pragma once

#include <QLayout>
#include <QList>

// Lays its items out left to right in their order and starts a new line when
// the next item would not fit, so a row of buttons in a narrow window wraps
// instead of squeezing or overlapping its labels. Each line is centred, its
// items centred on the line, with the style's usual spacing between them.
class FlowLayout final : public QLayout {
public:
    FlowLayout();
    ~FlowLayout() override;
    FlowLayout(const FlowLayout &) = delete;
    FlowLayout &operator=(const FlowLayout &) = delete;

    void addItem(QLayoutItem *item) override;
    [[nodiscard]] int count() const override { return int(m_items.size()); }
    [[nodiscard]] QLayoutItem *itemAt(int index) const override { return m_items.value(index); }
    QLayoutItem *takeAt(int index) override;

    [[nodiscard]] Qt::Orientations expandingDirections() const override { return {}; }
    [[nodiscard]] bool hasHeightForWidth() const override { return true; }
    [[nodiscard]] int heightForWidth(int width) const override;
    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSize() const override;
    void setGeometry(const QRect &rect) override;

private:
    // Places the items in rect (only measures when apply is false); returns the height used.
    int arrange(const QRect &rect, bool apply) const;
    [[nodiscard]] int gap(Qt::Orientation orientation) const;

    QList<QLayoutItem *> m_items;
};
