#pragma once

#include "main_window/MainViewServices.h"
#include "main_window/Person.h"

#include <QDateTime>
#include <QFuture>
#include <QList>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <optional>
#include <vector>

class LAContext;
class QCalendarWidget;
class QLabel;
class NoteEditor;
class QPushButton;
class QTableWidget;
class QTimeEdit;
class QVBoxLayout;
class QMessageBox;

// The content of every main window: a heading, the lock gate and, once both
// gates are passed, the work area. The fields below are the view's state;
// every write goes through refresh(), so what is shown follows the state.
class AuthorizationLockView : public QWidget {
    Q_OBJECT

public:
    explicit AuthorizationLockView(MainViewServices services, QWidget *parent = nullptr);
    ~AuthorizationLockView() override;

    // Visible state, as other parts of the program use it.
    [[nodiscard]] QString uString() const;
    void setUString(const QString &value);
    [[nodiscard]] QString bunreiString() const;
    void setBunreiString(const QString &value);
    [[nodiscard]] int sp1() const { return m_sp1; }
    [[nodiscard]] int sp2() const { return m_sp2; }
    [[nodiscard]] int sp3() const { return m_sp3; }
    void setSp1(int value);
    void setSp2(int value);
    void setSp3(int value);
    [[nodiscard]] QString text() const { return m_text; }
    void setText(const QString &value);
    // Null when the bundled model could not be loaded. The load starts with
    // the view, off the main thread; the first use waits for it to finish.
    [[nodiscard]] const MyModel *model() const;

    // Read-only views of the private state, for tests and the tab layer.
    [[nodiscard]] bool unlocked() const { return m_unlocked; }
    // Why the last press could not ask anyone; empty when it did.
    [[nodiscard]] QString lockObstacle() const { return m_lockObstacle; }
    [[nodiscard]] bool isAuthenticated() const { return m_isAuthenticated; }
    [[nodiscard]] bool unlockContent() const { return m_unlockContent; }
    [[nodiscard]] QString authMessage() const { return m_authMessage; }
    [[nodiscard]] bool showAlert() const { return m_showAlert; }
    [[nodiscard]] QString alertMessage() const { return m_alertMessage; }
    [[nodiscard]] int peopleNum() const { return m_peopleNum; }
    [[nodiscard]] QDateTime dateTime() const { return m_dateTime; }
    [[nodiscard]] std::optional<QString> result() const { return m_result; }
    [[nodiscard]] int winIndex() const { return m_winIndex; }
    // The field `window`; named so it does not hide QWidget::window().
    [[nodiscard]] HostWindow *hostWindow() const;
    [[nodiscard]] const QList<Person> &people(int number) const;

    // Actions.
    void lockAction();
    void authenticateWithTouchID();
    void openText();
    void saveText();
    void predict();
    void saveButton();
    void startWaitTask();
    void advancePeopleNum();
    void reloadModel();
    void addNewTab();
    void selectTab(int index);
    void accessorCallback(HostWindow *window);
    void setDateTime(const QDateTime &value);
    void dismissAlert();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void refresh();
    void loadLockIconSoon();
    void buildContentPanel();
    void buildWorkArea();
    void startupParagraphRule();
    void showTable();
    void applyTouchIdReply(bool success, const std::optional<PlatformError> &error);
    bool eventFilter(QObject *watched, QEvent *event) override;

    MainViewServices m_services;

    // State, in declaration order.
    std::unique_ptr<AuthorizationController> m_auth;
    bool m_unlocked = false;
    QString m_authMessage;
    bool m_isAuthenticated = false;
    bool m_showAlert = false;
    QString m_alertMessage;
    bool m_unlockContent = false;
    QDateTime m_dateTime;
    int m_peopleNum = 1;
    QList<Person> m_people1, m_people2, m_people3, m_people4, m_people5;
    // uString and bunreiString live in the preference store.
    int m_sp1 = 0;
    int m_sp2 = 0;
    int m_sp3 = 0;
    QString m_text;
    QPointer<HostWindow> m_window;
    std::optional<QString> m_result;
    mutable QFuture<Expected<std::shared_ptr<MyModel>>> m_modelLoad;
    mutable bool m_modelPending = false;
    mutable std::shared_ptr<MyModel> m_model;
    int m_winIndex = 1;

    // Touch ID evaluations in flight; each context lives until its reply.
    std::vector<std::unique_ptr<LAContext>> m_touchIdContexts;
    bool m_requestingAuthorization = false;
    QString m_lockObstacle;

    // Widgets.
    QVBoxLayout *m_gate = nullptr;
    QLabel *m_heading = nullptr;
    QLabel *m_animalLine = nullptr;
    QPushButton *m_lockButton = nullptr;
    QLabel *m_lockIcon = nullptr;
    QLabel *m_lockObstacleLine = nullptr;
    bool m_lockIconRequested = false;
    QLabel *m_banner = nullptr;
    QWidget *m_contentPanel = nullptr;
    QLabel *m_statusTitle = nullptr;
    QLabel *m_promptText = nullptr;
    QPushButton *m_touchIdButton = nullptr;
    QWidget *m_workArea = nullptr;
    QCalendarWidget *m_calendar = nullptr;
    QTimeEdit *m_time = nullptr;
    QTableWidget *m_table = nullptr;
    int m_tableShown = 0;
    NoteEditor *m_editor = nullptr;
    QLabel *m_resultLine = nullptr;
    QPointer<QMessageBox> m_alert;
};
