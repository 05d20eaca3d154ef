#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;
class QMessageBox;
class QPushButton;
class WorkAreaPage;

// The second gate, shown once the first has opened: a banner, the state of
// the fingerprint check, its button, and the alert a failed check raises.
// The work area, once built, takes the place of the prompt inside the panel.
class FingerprintGatePage : public QWidget {
    Q_OBJECT

public:
    explicit FingerprintGatePage(QWidget *parent = nullptr);

    void showState(bool authenticated, const QString &message, bool prompting);
    // Raises the alert, or takes it down; one alert at a time.
    void showAlert(bool shown, const QString &message);
    // The page has just come on screen: the keyboard moves to its button,
    // and what a sighted user sees appear is said too.
    void present();
    // The work area comes in; its children are spaced as the panel's. The
    // keyboard starts at its top, and its arrival is said once the flood of
    // its new controls has passed.
    void addWorkArea(WorkAreaPage *workArea);

Q_SIGNALS:
    void touchIdClicked();
    // The alert was closed; the focus goes back to the button after.
    void alertDismissed();
    // For a screen reader, without moving the focus.
    void announcement(const QString &text);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // What the page shows, as a screen reader should say it: the banner and
    // the status, and the prompt while it is shown.
    [[nodiscard]] QString spokenState(bool withBanner) const;
    // Back to the button that raised the alert; without a window manager
    // nobody hands the focus back.
    void returnFocus();

    QWidget *m_panel;
    QLabel *m_banner;
    QLabel *m_statusTitle;
    QLabel *m_promptText;
    QPushButton *m_touchIdButton;
    QPointer<QMessageBox> m_alert;
};
