#pragma once

#include <QScrollArea>

class QLabel;
class QVBoxLayout;

// The frame of a main view: lines on top, then its pages one under another,
// all scrolling when the window is smaller than they are.
class PageColumn : public QScrollArea {
    Q_OBJECT

public:
    explicit PageColumn(QWidget *parent = nullptr);

    // A centred line of plain text above the pages.
    QLabel *addLine(const QString &name, const QString &text = {});
    // The parent for pages; add them with addPage().
    [[nodiscard]] QWidget *pageParent() const { return m_pages; }
    void addPage(QWidget *page);

private:
    QVBoxLayout *m_lines;
    QWidget *m_pages;
    QVBoxLayout *m_pageLayout;
};
