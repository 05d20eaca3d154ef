#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

// The first gate: the lock button, which asks for the administrator's
// authorization.
class LockGatePage : public QWidget {
    Q_OBJECT

public:
    explicit LockGatePage(QWidget *parent = nullptr);

    // While a request is pending the button cannot be pressed again, and
    // gives up the focus; when it ends, a keyboard user who pressed it comes
    // back to it while the gate is still shown, and the reason below is read
    // with it.
    void setAsking(bool asking);
    // Why the last press could not ask anyone, under the button; empty: nothing.
    void showObstacle(const QString &obstacle);

Q_SIGNALS:
    void lockClicked();

protected:
    // Keyboard users can open the lock at once with Space.
    void showEvent(QShowEvent *event) override;

private:
    QPushButton *m_button;
    QLabel *m_icon;
    QLabel *m_text;
    QLabel *m_obstacle;
    bool m_pressedFromKeyboard = false;
};
