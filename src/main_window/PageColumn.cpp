#include "main_window/PageColumn.h"

#include <QLabel>
#include <QStyle>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

PageColumn::PageColumn(QWidget *parent) : QScrollArea(parent)
{
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    // Only the controls inside take the focus; the area follows them into view.
    setFocusPolicy(Qt::NoFocus);
    auto *content = new QWidget(this);
    setWidget(content);
    m_lines = new QVBoxLayout(content);

    m_pages = new QWidget(content);
    m_pages->setObjectName(u"gateStack"_s);
    m_pageLayout = new QVBoxLayout(m_pages);
    m_pageLayout->setSpacing(20);
    m_pageLayout->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    const int pad = style()->pixelMetric(QStyle::PM_LayoutRightMargin);
    m_pageLayout->setContentsMargins(0, 0, pad, pad);
    m_lines->addWidget(m_pages, 1);
}

QLabel *PageColumn::addLine(const QString &name, const QString &text)
{
    auto *line = new QLabel(text, widget());
    line->setObjectName(name);
    // Texts, whether fixed or taken from the state, are shown as written.
    line->setTextFormat(Qt::PlainText);
    line->setAlignment(Qt::AlignCenter);
    m_lines->insertWidget(m_lines->count() - 1, line);
    // Assistive technology reads the children in order: the lines come first.
    m_pages->raise();
    return line;
}

void PageColumn::addPage(QWidget *page)
{
    m_pageLayout->addWidget(page);
}
