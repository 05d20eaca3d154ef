#pragma once

#include <QPointer>
#include <QWidget>

class TabGroupWindow;

// One window of the application in the tab sense: a page that hosts one main
// view. A top-level TabGroupWindow shows one or more of them as tabs.
class HostWindow : public QWidget {
    Q_OBJECT

public:
    HostWindow(QWidget *content, const QString &title, QWidget *parent = nullptr);

    [[nodiscard]] QWidget *content() const { return m_content; }
    [[nodiscard]] QString title() const { return windowTitle(); }
    // The group that shows this window as a tab, or null while it is in none.
    [[nodiscard]] TabGroupWindow *tabGroup() const;
    // Makes this the selected tab of its group and brings the group to the front.
    void makeKeyAndOrderFront();

    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;

protected:
    // Closing a window closes its content first, which may clean up or refuse.
    void closeEvent(QCloseEvent *event) override;
    bool event(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QPointer<QWidget> m_content;
};
