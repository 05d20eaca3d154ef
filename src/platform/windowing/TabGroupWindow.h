#pragma once

#include <QList>
#include <QMainWindow>

class HostWindow;
class QTabWidget;

// A top-level window holding an ordered group of HostWindows as tabs. The tab
// bar shows only while the group holds more than one window; the group closes
// itself when its last window goes. The window can be neither smaller nor
// larger than its windows' content allows, plus its menu bar and tab bar.
class TabGroupWindow : public QMainWindow {
    Q_OBJECT

public:
    enum class Ordering { Below = -1, Out = 0, Above = 1 };

    explicit TabGroupWindow(QWidget *parent = nullptr);

    [[nodiscard]] QList<HostWindow *> windows() const;
    [[nodiscard]] int count() const;
    [[nodiscard]] HostWindow *currentWindow() const;

    // Adds window to this group next to relativeTo (above: after it), or at the
    // end when relativeTo is not in the group. Ordering::Out does nothing.
    void addTabbedWindow(HostWindow *window, HostWindow *relativeTo, Ordering ordering);
    void makeKey(HostWindow *window);
    // Takes window out of the group without destroying it.
    void takeWindow(HostWindow *window);
    // Closes (destroys) one tab.
    void closeWindow(HostWindow *window);

Q_SIGNALS:
    void windowsChanged();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void updateTitle();
    void updateSizeLimits();

    QTabWidget *m_tabs;
};
