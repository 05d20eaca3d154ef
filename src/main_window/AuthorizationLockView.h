#pragma once

#include "classifier/ModelLoad.h"
#include "main_window/AppServices.h"
#include "main_window/Person.h"
#include "tabs/TabActions.h"

#include <QDateTime>
#include <QList>
#include <QWidget>

#include <memory>
#include <optional>

class FingerprintGatePage;
class LockGatePage;
class PageColumn;
class QLabel;
class SampleTableModel;
class TouchIdAction;
struct TouchIdResult;
class WorkAreaPage;

// The content of every main window: a heading, the lock gate and, once both
// gates are passed, the work area. The fields below are the view's state;
// every write goes through refresh(), so what is shown follows the state.
// The pages render it; the actions are handed to the rooms that own them.
class AuthorizationLockView : public QWidget {
    Q_OBJECT

public:
    explicit AuthorizationLockView(AppServices services, QWidget *parent = nullptr);
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
    // Null when the bundled model could not be loaded. The load starts when
    // the work area first appears, off the main thread; the first use waits
    // for it (and starts it, should it come first).
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

private:
    void refresh();
    void buildWorkArea();
    void applyTouchIdResult(const TouchIdResult &result);
    // The pages' announcements all go through one announcer, the view's.
    void announce(const QString &text);

    AppServices m_services;

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
    // The five tables people1 to people5, and the one on show.
    SampleTableModel *m_people;
    // uString and bunreiString live in the preference store.
    int m_sp1 = 0;
    int m_sp2 = 0;
    int m_sp3 = 0;
    QString m_text;
    // The field `window` and the tab actions.
    TabActions m_tabs;
    std::optional<QString> m_result;
    // Loaded at the first use at the latest, which a const accessor may be.
    mutable ModelLoad m_model;
    int m_winIndex = 1;

    TouchIdAction *m_touchId;
    QString m_lockObstacle;

    // The pages; each is built the first time it shows.
    QLabel *m_animalLine = nullptr;
    PageColumn *m_column = nullptr;
    LockGatePage *m_lockGate = nullptr;
    FingerprintGatePage *m_fingerprintGate = nullptr;
    WorkAreaPage *m_workArea = nullptr;
};
