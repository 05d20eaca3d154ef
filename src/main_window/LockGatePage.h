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
    // gives up the focus; takeFocus() gives it back.
    void setAsking(bool asking);
    // Why the last press could not ask anyone, under the button; empty: nothing.
    void showObstacle(const QString &obstacle);
    [[nodiscard]] bool buttonHasFocus() const;
    void takeFocus();

Q_SIGNALS:
    void lockClicked();

private:
    QPushButton *m_button;
    QLabel *m_icon;
    QLabel *m_text;
    QLabel *m_obstacle;
};
