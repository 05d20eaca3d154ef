#pragma once

#include <QObject>

class QWidget;

// Keeps a top-level window, frame included, inside its screen's available
// area: shrunk where the screen is smaller (never below the window's minimum
// size) and moved inside. The window manager's frame is known only once the
// window is on screen, so the first fit waits for that.
class ScreenFit final : public QObject {

public:
    // Fits window once, as soon as it is first on screen.
    static void whenShown(QWidget *window);
    // Fits window now, with the frame it has now.
    static void fit(QWidget *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit ScreenFit(QWidget *window);
    QWidget *m_window;
};
